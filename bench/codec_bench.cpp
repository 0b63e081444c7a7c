// Encoding and decoding 16 MiB typed arrays, each set against allocating and copying the same
// number of bytes in the same run.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "weft/byte_streams.h"
#include "weft/encodable_value.h"
#include "weft/standard_codec_serializer.h"

namespace {

constexpr size_t kPayloadBytes = size_t{16} << 20;
constexpr uint8_t kFillByte = 0x5A;

const weft::StandardCodecSerializer& Serializer() {
  return weft::StandardCodecSerializer::SharedInstance();
}

template <typename T>
const weft::EncodableValue& Array() {
  static const weft::EncodableValue value(
      std::vector<T>(kPayloadBytes / sizeof(T), static_cast<T>(kFillByte)));
  return value;
}

std::vector<uint8_t> Encoded(const weft::EncodableValue& value) {
  std::vector<uint8_t> bytes;
  weft::ByteBufferStreamWriter writer(&bytes);
  Serializer().WriteValue(value, &writer);
  return bytes;
}

void SetBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(kPayloadBytes));
}

// The floor: a fresh block of the payload's size, written once.
void Memcpy(benchmark::State& state) {
  const std::vector<uint8_t> source(kPayloadBytes, kFillByte);
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[kPayloadBytes]);
    std::memcpy(copy.get(), source.data(), kPayloadBytes);
    benchmark::DoNotOptimize(copy.get());
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

template <typename T>
void Encode(benchmark::State& state) {
  const weft::EncodableValue& value = Array<T>();
  for (auto _ : state) {
    std::vector<uint8_t> bytes;
    weft::ByteBufferStreamWriter writer(&bytes);
    Serializer().WriteValue(value, &writer);
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

template <typename T>
void Decode(benchmark::State& state) {
  const std::vector<uint8_t> bytes = Encoded(Array<T>());
  for (auto _ : state) {
    weft::ByteBufferStreamReader reader(bytes.data(), bytes.size());
    weft::EncodableValue decoded = Serializer().ReadTaggedValue(&reader);
    benchmark::DoNotOptimize(&decoded);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(Encode<uint8_t>)->Name("Encode/bytes")->Unit(benchmark::kMillisecond);
BENCHMARK(Decode<uint8_t>)->Name("Decode/bytes")->Unit(benchmark::kMillisecond);
BENCHMARK(Encode<int32_t>)->Name("Encode/int32")->Unit(benchmark::kMillisecond);
BENCHMARK(Decode<int32_t>)->Name("Decode/int32")->Unit(benchmark::kMillisecond);
BENCHMARK(Encode<float>)->Name("Encode/float")->Unit(benchmark::kMillisecond);
BENCHMARK(Decode<float>)->Name("Decode/float")->Unit(benchmark::kMillisecond);
BENCHMARK(Encode<double>)->Name("Encode/double")->Unit(benchmark::kMillisecond);
BENCHMARK(Decode<double>)->Name("Decode/double")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
