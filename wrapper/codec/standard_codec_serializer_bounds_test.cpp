// Decoding hostile messages: memory and stack stay bounded. This program counts every
// allocation, and on Windows runs with the 1 MiB main-thread stack that programs get by default.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "codec_test_support.h"
#include "weft/standard_codec_serializer.h"

namespace {

// Live and peak bytes requested through operator new, headers not counted, and the largest
// single request.
size_t live_bytes = 0;
size_t peak_bytes = 0;
size_t largest_request = 0;
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t size) {
  largest_request = std::max(largest_request, size);
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  *static_cast<size_t*>(block) = size;
  live_bytes += size;
  peak_bytes = std::max(peak_bytes, live_bytes);
  return static_cast<char*>(block) + kHeader;
}

void Release(void* pointer) {
  if (pointer == nullptr) {
    return;
  }
  void* block = static_cast<char*>(pointer) - kHeader;
  live_bytes -= *static_cast<size_t*>(block);
  std::free(block);
}

}  // namespace

void* operator new(size_t size) {
  return Allocate(size);
}
void* operator new[](size_t size) {
  return Allocate(size);
}
void operator delete(void* pointer) noexcept {
  Release(pointer);
}
void operator delete[](void* pointer) noexcept {
  Release(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
  Release(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
  Release(pointer);
}

namespace weft {
namespace {

using testing_support::Concat;
using testing_support::EndOfInput;
using testing_support::Hex;
using testing_support::OwnReader;
using testing_support::Repeat;
using testing_support::StderrLines;

constexpr size_t kMaxDepth = StandardCodecSerializer::kMaxNestingDepth;

struct Measured {
  size_t peak = 0;
  size_t largest_request = 0;
};

// Memory of decoding a message beyond what was live before: its peak, and the largest single
// request. A reader that throws where its bytes end ends the decode there.
Measured MeasureDecode(ByteStreamReader* reader) {
  StderrLines capture;
  const size_t before = live_bytes;
  peak_bytes = live_bytes;
  largest_request = 0;
  try {
    EncodableValue value = StandardCodecSerializer::SharedInstance().ReadTaggedValue(reader);
  } catch (const EndOfInput&) {
  }
  const Measured measured{peak_bytes - before, largest_request};
  capture.Take();
  return measured;
}

// Through the standard reader, and through a streaming one that cannot tell how many bytes
// remain and throws where they end.
void ExpectBounded(const char* name, const std::vector<uint8_t>& message) {
  ByteBufferStreamReader standard(message.data(), message.size());
  const size_t peak = MeasureDecode(&standard).peak;
  OwnReader streaming_reader(OwnReader::Kind::kStreaming, message);
  const size_t streaming_peak = MeasureDecode(&streaming_reader).peak;
  std::printf("%-36s %9zu bytes in, %10zu bytes peak (%.1f per byte), streaming %10zu\n", name,
              message.size(), peak, static_cast<double>(peak) / static_cast<double>(message.size()),
              streaming_peak);
  EXPECT_LE(peak, StandardCodecSerializer::DecodeMemoryBound(message.size())) << name;
  EXPECT_LE(streaming_peak, StandardCodecSerializer::DecodeMemoryBound(message.size())) << name;
}

std::vector<uint8_t> Nulls(size_t count) {
  return std::vector<uint8_t>(count, 0);
}

// Six bytes that declare 4 GiB of string or bytes, 16 GiB of 32-bit and 32 GiB of 64-bit
// elements: a streaming reader gets the first chunk of 64 KiB (and a string's terminator)
// before it throws for want of bytes.
TEST(StandardCodecSerializerBoundsTest, AStreamingReaderGetsNoMemoryAheadOfItsBytes) {
  struct Case {
    const char* message;
    size_t largest_request;
  };
  const Case cases[] = {
      {"05 FF FF FF FF FF", 65537}, {"07 FF FF FF FF FF", 65537}, {"08 FF FF FF FF FF", 65536},
      {"09 FF FF FF FF FF", 65536}, {"0E FF FF FF FF FF", 65536}, {"0A FF FF FF FF FF", 65536},
      {"0B FF FF FF FF FF", 65536},
  };
  for (const Case& c : cases) {
    OwnReader reader(OwnReader::Kind::kStreaming, Hex(c.message));
    const Measured measured = MeasureDecode(&reader);
    EXPECT_EQ(measured.largest_request, c.largest_request) << c.message;
    EXPECT_LE(measured.peak, StandardCodecSerializer::DecodeMemoryBound(6)) << c.message;
  }
}

TEST(StandardCodecSerializerBoundsTest, HugeDeclaredSizesInAFewBytes) {
  for (const char* tag : {"05", "07", "08", "09", "0A", "0B", "0C", "0D", "0E"}) {
    ExpectBounded(tag, Hex(std::string(tag) + " FF FF FF FF FF 01 02 03"));
  }
  ExpectBounded("nested lying lists",
                Concat(Repeat(Hex("0C FF FF FF FF FF"), kMaxDepth - 1), Nulls(100000)));
  ExpectBounded("lying list of lying lists",
                Concat(Hex("0C FF FF FF FF FF"), Repeat(Hex("0C FF FF FF FF FF 00"), 20000)));
  ExpectBounded("lying list of one-element lists",
                Concat(Hex("0C FF FF FF FF FF"), Repeat(Hex("0C 01 00"), 50000)));
  ExpectBounded(
      "lying list of list chains",
      Concat(Hex("0C FF FF FF FF FF"), Repeat(Concat(Repeat(Hex("0C 01"), 100), Hex("00")), 1000)));
  ExpectBounded("lying map", Concat(Hex("0D FF FF FF FF FF"), Repeat(Hex("03 01 00 00 00 00"), 1)));
}

TEST(StandardCodecSerializerBoundsTest, DenseContainers) {
  ExpectBounded("list of nulls", Concat(Hex("0C FF 40 42 0F 00"), Nulls(1000000)));
  ExpectBounded("list of small maps",
                Concat(Hex("0C FF A0 86 01 00"), Repeat(Hex("0D 03 00 00 01 00 02 00"), 100000)));
  std::vector<uint8_t> map_of_keys = Hex("0D FF 00 00 01 00");
  for (uint32_t key = 0; key < 65536; ++key) {
    map_of_keys.push_back(0x07);
    map_of_keys.push_back(0x02);
    map_of_keys.push_back(static_cast<uint8_t>(key));
    map_of_keys.push_back(static_cast<uint8_t>(key >> 8));
    map_of_keys.push_back(0);
  }
  ExpectBounded("map of two-byte string keys", map_of_keys);
  ExpectBounded("list of empty lists",
                Concat(Hex("0C FF A0 86 01 00"), Repeat(Hex("0C 00"), 100000)));
}

TEST(StandardCodecSerializerBoundsTest, ShortReadsAtTheEnd) {
  ExpectBounded("byte arrays past the end",
                Concat(Hex("0C FF FF FF FF FF"), Repeat(Hex("08 FE 00 04"), 4096)));
  ExpectBounded("strings past the end",
                Concat(Hex("0C FF FF FF FF FF"), Repeat(Hex("07 FE 00 04"), 4096)));
  ExpectBounded("double arrays past the end",
                Concat(Hex("0C FF FF FF FF FF"), Repeat(Hex("0B 80"), 4096)));
}

TEST(StandardCodecSerializerBoundsTest, DeepNestingAndNoise) {
  ExpectBounded("lists nested 100000 deep", Concat(Repeat(Hex("0C 01"), 100000), Hex("01")));
  ExpectBounded("maps nested 100000 deep", Concat(Repeat(Hex("0D 01 00"), 100000), Hex("01")));
  std::mt19937 random(7);
  std::vector<uint8_t> noise(1 << 20);
  for (uint8_t& byte : noise) {
    byte = static_cast<uint8_t>(random() % 16);
  }
  noise[0] = 0x0C;
  ExpectBounded("random tags", noise);
}

// Records the lowest stack address reached while working on a value.
uintptr_t lowest_stack_address = UINTPTR_MAX;

void RecordStackDepth() {
  volatile char marker = 0;
  lowest_stack_address = std::min(lowest_stack_address, reinterpret_cast<uintptr_t>(&marker));
}

struct StackProbe {
  StackProbe() = default;
  StackProbe(const StackProbe&) { RecordStackDepth(); }
  ~StackProbe() { RecordStackDepth(); }
};

// Sees every nested value, and puts a probe at the innermost place.
class ProbingSerializer : public StandardCodecSerializer {
 public:
  static constexpr uint8_t kProbeTag = 0x80;

  void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const override {
    RecordStackDepth();
    if (std::holds_alternative<CustomValue>(value)) {
      stream->PutByte(kProbeTag);
      return;
    }
    StandardCodecSerializer::WriteValue(value, stream);
  }
  EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const override {
    RecordStackDepth();
    if (type == kProbeTag) {
      return EncodableValue(CustomValue(StackProbe()));
    }
    return StandardCodecSerializer::ReadValueOfType(type, stream);
  }
};

TEST(StandardCodecSerializerBoundsTest, ValuesAtTheDepthLimitFitTheMainThreadStack) {
  volatile char top = 0;
  const uintptr_t base = reinterpret_cast<uintptr_t>(&top);
  auto used = [base] {
    const size_t bytes = base - lowest_stack_address;
    lowest_stack_address = UINTPTR_MAX;
    return bytes;
  };
  const ProbingSerializer serializer;
  const std::vector<uint8_t> message = Concat(Repeat(Hex("0C 01"), kMaxDepth), Hex("80"));

  ByteBufferStreamReader reader(message.data(), message.size());
  auto decoded = std::make_unique<EncodableValue>(serializer.ReadTaggedValue(&reader));
  const size_t decode_bytes = used();
  auto copy = std::make_unique<EncodableValue>(*decoded);
  const size_t copy_bytes = used();
  EXPECT_NE(*copy < *decoded, *decoded < *copy);
  std::vector<uint8_t> encoded;
  ByteBufferStreamWriter writer(&encoded);
  serializer.WriteValue(*copy, &writer);
  const size_t encode_bytes = used();
  EXPECT_EQ(encoded, message);
  decoded.reset();
  copy.reset();
  const size_t destroy_bytes = used();

  std::printf("stack at depth %zu: decode %zu, copy %zu, encode %zu, destroy %zu bytes\n",
              kMaxDepth, decode_bytes, copy_bytes, encode_bytes, destroy_bytes);
#ifdef _WIN32
  constexpr size_t kStackBudget = 512 * 1024;
  EXPECT_LT(decode_bytes, kStackBudget);
  EXPECT_LT(copy_bytes, kStackBudget);
  EXPECT_LT(encode_bytes, kStackBudget);
  EXPECT_LT(destroy_bytes, kStackBudget);
#endif
}

}  // namespace
}  // namespace weft
