// Encoding and decoding 16 MiB typed arrays, each set against allocating and copying the same
// number of bytes in the same run.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "weft/byte_streams.h"
#include "weft/encodable_value.h"
#include "weft/standard_codec_serializer.h"

namespace {

constexpr size_t kPayloadBytes = size_t{16} << 20;
constexpr char kMemcpyName[] = "Memcpy";

const weft::StandardCodecSerializer& Serializer() {
  return weft::StandardCodecSerializer::SharedInstance();
}

const weft::EncodableValue& Doubles() {
  static const weft::EncodableValue value(std::vector<double>(kPayloadBytes / sizeof(double), 1.5));
  return value;
}

const weft::EncodableValue& Bytes() {
  static const weft::EncodableValue value(std::vector<uint8_t>(kPayloadBytes, 0x5A));
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

void Memcpy(benchmark::State& state) {
  const std::vector<uint8_t> source(kPayloadBytes, 0x5A);
  for (auto _ : state) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[kPayloadBytes]);
    std::memcpy(copy.get(), source.data(), kPayloadBytes);
    benchmark::DoNotOptimize(copy.get());
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

void Encode(benchmark::State& state, const weft::EncodableValue& value) {
  for (auto _ : state) {
    std::vector<uint8_t> bytes;
    weft::ByteBufferStreamWriter writer(&bytes);
    Serializer().WriteValue(value, &writer);
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

void Decode(benchmark::State& state, const weft::EncodableValue& value) {
  const std::vector<uint8_t> bytes = Encoded(value);
  for (auto _ : state) {
    weft::ByteBufferStreamReader reader(bytes.data(), bytes.size());
    weft::EncodableValue decoded = Serializer().ReadTaggedValue(&reader);
    benchmark::DoNotOptimize(&decoded);
    benchmark::ClobberMemory();
  }
  SetBytes(state);
}

void EncodeDoubles(benchmark::State& state) {
  Encode(state, Doubles());
}
void DecodeDoubles(benchmark::State& state) {
  Decode(state, Doubles());
}
void EncodeBytes(benchmark::State& state) {
  Encode(state, Bytes());
}
void DecodeBytes(benchmark::State& state) {
  Decode(state, Bytes());
}

BENCHMARK(Memcpy)->Name(kMemcpyName)->Unit(benchmark::kMillisecond);
BENCHMARK(EncodeDoubles)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeDoubles)->Unit(benchmark::kMillisecond);
BENCHMARK(EncodeBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeBytes)->Unit(benchmark::kMillisecond);

// Prints as usual and keeps each benchmark's time per iteration for the closing table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration) {
        times_[run.benchmark_name()] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    const auto memcpy_time = times_.find(kMemcpyName);
    if (memcpy_time == times_.end()) {
      return;
    }
    std::printf("\n%-16s %s\n", "benchmark", "time / memcpy of 16 MiB");
    for (const auto& [name, time] : times_) {
      std::printf("%-16s %.2f\n", name.c_str(), time / memcpy_time->second);
    }
  }

 private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
