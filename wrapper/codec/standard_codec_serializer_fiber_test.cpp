// Two decodes on one thread that interleave: fibers share the thread's thread-local storage, so
// whatever a decode keeps must belong to the decode itself.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "codec_test_support.h"
#include "weft/standard_codec_serializer.h"

namespace weft {
namespace {

using testing_support::Concat;
using testing_support::Hex;
using testing_support::NestedLists;
using testing_support::NestedValue;
using testing_support::OwnReader;
using testing_support::Repeat;

constexpr size_t kMaxDepth = StandardCodecSerializer::kMaxNestingDepth;

// Waits for each byte as a reader on a pipe would, by letting another fiber run meanwhile.
class SwitchingReader : public OwnReader {
 public:
  explicit SwitchingReader(std::vector<uint8_t> bytes)
      : OwnReader(Kind::kTellsRemaining, std::move(bytes)) {}

  uint8_t NextByte() override {
    Wait();
    return OwnReader::NextByte();
  }
  void NextBytes(uint8_t* buffer, size_t length) override {
    Wait();
    OwnReader::NextBytes(buffer, length);
  }

  // The fiber to run while waiting; none once that fiber has finished its own decode.
  void* other_fiber = nullptr;
  size_t switches = 0;

 private:
  void Wait() {
    if (other_fiber != nullptr) {
      ++switches;
      SwitchToFiber(other_fiber);
    }
  }
};

struct SecondDecode {
  SwitchingReader* first_reader = nullptr;
  SwitchingReader* reader = nullptr;
  void* first_fiber = nullptr;
  EncodableValue value;
  bool done = false;
};

// A fiber must not return: that would end the thread. It hands control back for good instead.
void CALLBACK RunSecondDecode(void* parameter) {
  SecondDecode& second = *static_cast<SecondDecode*>(parameter);
  second.value = StandardCodecSerializer::SharedInstance().ReadTaggedValue(second.reader);
  second.done = true;
  second.first_reader->other_fiber = nullptr;
  for (;;) {
    SwitchToFiber(second.first_fiber);
  }
}

// Each read of either decode switches to the other, so both are inside their lists at once,
// and each decode's depth reaches the limit. The first decode, of 257 reads, ends while the
// second, of 262, is still inside all of its lists.
TEST(StandardCodecSerializerFiberTest, InterleavedDecodesOnOneThreadKeepApart) {
  SwitchingReader first_reader(NestedLists(kMaxDepth));
  SwitchingReader second_reader(
      Concat(Repeat(Hex("0C 01"), kMaxDepth - 1), Hex("0C 03 03 07 00 00 00 07 02 61 62 01")));

  void* const first_fiber = ConvertThreadToFiber(nullptr);
  ASSERT_NE(first_fiber, nullptr);
  SecondDecode second;
  second.first_reader = &first_reader;
  second.reader = &second_reader;
  second.first_fiber = first_fiber;
  void* const second_fiber = CreateFiber(0, &RunSecondDecode, &second);
  ASSERT_NE(second_fiber, nullptr);
  first_reader.other_fiber = second_fiber;
  second_reader.other_fiber = first_fiber;

  testing_support::StderrLines capture;
  const EncodableValue first =
      StandardCodecSerializer::SharedInstance().ReadTaggedValue(&first_reader);
  if (!second.done) {
    second_reader.other_fiber = nullptr;
    SwitchToFiber(second_fiber);
  }
  const std::vector<std::string> lines = capture.Take();
  DeleteFiber(second_fiber);
  ConvertFiberToThread();

  EXPECT_TRUE(second.done);
  EXPECT_EQ(first, NestedValue(kMaxDepth, EncodableValue(true)));
  EXPECT_EQ(second.value,
            NestedValue(kMaxDepth - 1,
                        EncodableValue(ValueList{EncodableValue(int32_t{7}), EncodableValue("ab"),
                                                 EncodableValue(true)})));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(first_reader.switches, 257u);
  EXPECT_EQ(first_reader.calls, 257u);
  EXPECT_EQ(second_reader.calls, 262u);
}

}  // namespace
}  // namespace weft
