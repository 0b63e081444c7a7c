#include "weft/standard_codec_serializer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "codec_test_support.h"

namespace weft {
namespace {

using testing_support::Concat;
using testing_support::Decode;
using testing_support::Decoded;
using testing_support::DecodeWith;
using testing_support::Encode;
using testing_support::EncodeValueByValue;
using testing_support::EndOfInput;
using testing_support::Equivalent;
using testing_support::ForwardingWriter;
using testing_support::Hex;
using testing_support::kInvalidRead;
using testing_support::NestedLists;
using testing_support::NestedValue;
using testing_support::OwnReader;
using testing_support::Repeat;
using testing_support::StderrLines;
using testing_support::Times;
using testing_support::Valueless;

const std::string kTooDeep =
    "Nesting too deep in StandardCodecSerializer::ReadValueOfType; value read as null.";
constexpr size_t kMaxDepth = StandardCodecSerializer::kMaxNestingDepth;

std::vector<uint8_t> Filled(size_t size, uint8_t byte) {
  return std::vector<uint8_t>(size, byte);
}

TEST(StandardCodecSerializerTest, EncodesScalars) {
  EXPECT_EQ(Encode(EncodableValue()), Hex("00"));
  EXPECT_EQ(Encode(EncodableValue(true)), Hex("01"));
  EXPECT_EQ(Encode(EncodableValue(false)), Hex("02"));
  EXPECT_EQ(Encode(EncodableValue(int32_t{-2})), Hex("03 FE FF FF FF"));
  EXPECT_EQ(Encode(EncodableValue(int64_t{1})), Hex("04 01 00 00 00 00 00 00 00"));
  EXPECT_EQ(Encode(EncodableValue(1.0)), Hex("06 00 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"));
  EXPECT_EQ(Encode(EncodableValue("abc")), Hex("07 03 61 62 63"));
  EXPECT_EQ(Encode(EncodableValue("")), Hex("07 00"));
}

TEST(StandardCodecSerializerTest, EncodesArraysAlignedFromTheStartOfTheMessage) {
  EXPECT_EQ(Encode(EncodableValue(std::vector<uint8_t>{1, 2})), Hex("08 02 01 02"));
  EXPECT_EQ(Encode(EncodableValue(std::vector<int32_t>{1})), Hex("09 01 00 00 01 00 00 00"));
  EXPECT_EQ(Encode(EncodableValue(std::vector<float>{1.0f})), Hex("0E 01 00 00 00 00 80 3F"));
  EXPECT_EQ(Encode(EncodableValue(std::vector<int64_t>{1})),
            Hex("0A 01 00 00 00 00 00 00 01 00 00 00 00 00 00 00"));
  EXPECT_EQ(Encode(EncodableValue(std::vector<double>{1.0})),
            Hex("0B 01 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"));
  EXPECT_EQ(Encode(EncodableValue(std::vector<int32_t>{1}), 3),
            Hex("AA AA AA 09 01 00 00 00 01 00 00 00"));
}

TEST(StandardCodecSerializerTest, EmptyTypedArraysArePaddedLikeTheReaderExpects) {
  EXPECT_EQ(Encode(EncodableValue(std::vector<int32_t>{})), Hex("09 00 00 00"));
  EXPECT_EQ(Encode(EncodableValue(std::vector<double>{})), Hex("0B 00 00 00 00 00 00 00"));
  const EncodableValue list(
      ValueList{EncodableValue(true), EncodableValue(std::vector<int32_t>{}), EncodableValue(5)});
  const std::vector<uint8_t> bytes = Encode(list);
  EXPECT_EQ(bytes, Hex("0C 03 01 09 00 00 00 00 03 05 00 00 00"));
  EXPECT_EQ(Decode(bytes).value, list);
}

TEST(StandardCodecSerializerTest, EncodesListsAndMaps) {
  EXPECT_EQ(Encode(EncodableValue(ValueList{EncodableValue(1), EncodableValue("a")})),
            Hex("0C 02 03 01 00 00 00 07 01 61"));
  EXPECT_EQ(Encode(EncodableValue(ValueList{EncodableValue(1.0)})),
            Hex("0C 01 06 00 00 00 00 00 00 00 00 00 00 00 F0 3F"));
  EXPECT_EQ(Encode(EncodableValue(ValueMap{{EncodableValue("b"), EncodableValue()},
                                           {EncodableValue("a"), EncodableValue(true)}})),
            Hex("0D 02 07 01 61 01 07 01 62 00"));
}

TEST(StandardCodecSerializerTest, SizePrefixesTakeOneThreeOrFiveBytes) {
  EXPECT_EQ(Encode(EncodableValue(std::string(253, 'x'))), Concat(Hex("07 FD"), Filled(253, 'x')));
  EXPECT_EQ(Encode(EncodableValue(std::string(254, 'x'))),
            Concat(Hex("07 FE FE 00"), Filled(254, 'x')));
  EXPECT_EQ(Encode(EncodableValue(std::vector<uint8_t>(65535, 7))),
            Concat(Hex("08 FE FF FF"), Filled(65535, 7)));
  EXPECT_EQ(Encode(EncodableValue(std::vector<uint8_t>(65536, 7))),
            Concat(Hex("08 FF 00 00 01 00"), Filled(65536, 7)));
}

TEST(StandardCodecSerializerTest, RefusesCustomValuesWithOneLine) {
  StderrLines capture;
  EXPECT_EQ(Encode(EncodableValue(ValueList{EncodableValue(CustomValue(5)), EncodableValue(1)})),
            Hex("0C 02 00 03 01 00 00 00"));
  EXPECT_EQ(capture.Take(), std::vector<std::string>{
                                "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                                "Custom types require codec extensions."});
}

TEST(StandardCodecSerializerDeathTest, SizeOf2To32FailsLoudlyInDebugBuilds) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  EXPECT_DEBUG_DEATH(
      StandardCodecSerializer::SharedInstance().WriteSizePrefix(size_t{1} << 32, &writer),
      "2\\^32");
}

// Only the exact standard reader is read in place; a derived one is read through NextBytes.
struct RecordingReader : ByteBufferStreamReader {
  using ByteBufferStreamReader::ByteBufferStreamReader;
  void NextBytes(uint8_t* buffer, size_t length) override {
    lengths.push_back(length);
    ByteBufferStreamReader::NextBytes(buffer, length);
  }
  std::vector<size_t> lengths;
};

struct ReaderResult {
  const char* reader;
  Decoded decoded;
};

// The same bytes through the standard reader, one derived from it and one of the user's own
// that tells its remaining bytes.
std::vector<ReaderResult> DecodeThroughEachReader(const std::vector<uint8_t>& message) {
  ByteBufferStreamReader standard(message.data(), message.size());
  RecordingReader derived(message.data(), message.size());
  OwnReader own(OwnReader::Kind::kTellsRemaining, message);
  return {{"standard", DecodeWith(&standard)},
          {"derived", DecodeWith(&derived)},
          {"own", DecodeWith(&own)}};
}

std::vector<std::string> Lines(std::initializer_list<std::string> lines) {
  return lines;
}

TEST(StandardCodecSerializerTest, EveryReaderDecodesTheListedMessagesAlike) {
  const std::string unknown_15 = "Unknown type in StandardCodecSerializer::ReadValueOfType: 15";
  const std::vector<std::string> none;
  const std::vector<std::string> one_invalid_read = Times(kInvalidRead, 1);
  struct Case {
    std::vector<uint8_t> bytes;
    EncodableValue value;
    size_t position;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {Hex("05 02 31 32"), EncodableValue("12"), 4, none},
      {Hex("07 FE 05 00 61 62 63 64 65"), EncodableValue("abcde"), 9, none},
      {Hex("0D 02 03 01 00 00 00 01 03 01 00 00 00 02"),
       EncodableValue(ValueMap{{EncodableValue(1), EncodableValue(true)}}), 14, none},
      {Hex("03 01 00"), EncodableValue(0), 1, one_invalid_read},
      {Hex("07 05 61 62"), EncodableValue(std::string(5, '\0')), 2, one_invalid_read},
      {Hex("0C 02 01"), EncodableValue(ValueList{EncodableValue(true), EncodableValue()}), 3,
       one_invalid_read},
      {Hex("09 00"), EncodableValue(std::vector<int32_t>{}), 4, one_invalid_read},
      {Hex("07 FF 03 00 00 00 61 62 63"), EncodableValue("abc"), 9, none},
      {Hex(""), EncodableValue(), 0, one_invalid_read},
      // Runs that the rest of the message cannot back: one failed read that moves nothing,
      // then zeros up to the allowance, and empty beyond it.
      {Hex("07 FF FF FF FF FF 61"), EncodableValue(""), 6, one_invalid_read},
      {Hex("08 FE 00 04"), EncodableValue(std::vector<uint8_t>(1024)), 4, one_invalid_read},
      {Hex("08 FE 01 04"), EncodableValue(std::vector<uint8_t>()), 4, one_invalid_read},
      {Hex("0A 80 00 00 00 00 00 00"), EncodableValue(std::vector<int64_t>(128)), 8,
       one_invalid_read},
      {Hex("0B FF FF FF FF FF"), EncodableValue(std::vector<double>()), 8, one_invalid_read},
      {Hex("0E FF FF FF FF FF 00 00 01"), EncodableValue(std::vector<float>()), 8,
       one_invalid_read},
      {Hex("0C FF FF FF FF FF"), EncodableValue(ValueList{EncodableValue()}), 6, one_invalid_read},
      {Hex("0C 02 0F 07 FE 00 10 61"), EncodableValue(ValueList{EncodableValue(), ""}), 7,
       Lines({unknown_15, kInvalidRead})},
      {Hex("0D FF FF FF FF FF 01 01"),
       EncodableValue(ValueMap{{EncodableValue(true), EncodableValue(true)},
                               {EncodableValue(), EncodableValue()}}),
       8, Times(kInvalidRead, 2)},
      // A value too deep is skipped to the end of the message at most, without a failed read,
      // also where an empty typed array's padding passes the end.
      {Concat(Repeat(Hex("0C 01"), kMaxDepth), Hex("0C 02 01 09 00")),
       NestedValue(kMaxDepth, EncodableValue()), 264, Lines({kTooDeep})},
      {Concat(Repeat(Hex("0C 01"), kMaxDepth), Hex("0C 01 07 10 61")),
       NestedValue(kMaxDepth, EncodableValue()), 261, Lines({kTooDeep})},
  };
  for (size_t row = 0; row < std::size(cases); ++row) {
    const Case& c = cases[row];
    for (const ReaderResult& result : DecodeThroughEachReader(c.bytes)) {
      SCOPED_TRACE(::testing::Message() << "row " << row << ", " << result.reader << " reader");
      EXPECT_EQ(result.decoded.value, c.value);
      EXPECT_EQ(result.decoded.position, c.position);
      EXPECT_EQ(result.decoded.lines, c.lines);
    }
  }
}

TEST(StandardCodecSerializerTest, UnknownTagReadsAsNullAndReadingGoesOn) {
  const testing_support::Decoded alone = Decode(Hex("0F"));
  EXPECT_TRUE(alone.value.IsNull());
  EXPECT_EQ(alone.lines, std::vector<std::string>{
                             "Unknown type in StandardCodecSerializer::ReadValueOfType: 15"});

  const testing_support::Decoded in_list = Decode(Hex("0C 02 FF 01"));
  EXPECT_EQ(in_list.value, EncodableValue(ValueList{EncodableValue(), EncodableValue(true)}));
  EXPECT_EQ(in_list.lines, std::vector<std::string>{
                               "Unknown type in StandardCodecSerializer::ReadValueOfType: 255"});
}

TEST(StandardCodecSerializerTest, MapKeepsTheFirstOfEquivalentKeysAndStopsAtTheEnd) {
  EXPECT_EQ(Decode(Hex("0D 02 01 03 01 00 00 00 01 02")).value,
            EncodableValue(ValueMap{{EncodableValue(true), EncodableValue(1)}}));

  const testing_support::Decoded past_end = Decode(Hex("0D FF FF FF FF FF 01 01"));
  EXPECT_EQ(past_end.value, EncodableValue(ValueMap{{EncodableValue(true), EncodableValue(true)},
                                                    {EncodableValue(), EncodableValue()}}));
  EXPECT_EQ(past_end.lines, Times(kInvalidRead, 2));
}

// Each list reads its elements from its own bytes, whatever its enclosing lists still expect; a
// list stops at the first element that starts at the end of the message, which reads as null.
TEST(StandardCodecSerializerTest, TruncatedNestedListsKeepTheirStructure) {
  const EncodableValue null;
  const EncodableValue yes(true);
  struct Case {
    const char* message;
    EncodableValue value;
    size_t invalid_reads;
  };
  const Case cases[] = {
      {"0C 02 0C 01 00", ValueList{ValueList{null}, null}, 1},
      {"0C 03 0C 03 00 00 00", ValueList{ValueList{null, null, null}, null}, 1},
      {"0C 03 0C 02 01", ValueList{ValueList{yes, null}, null}, 2},
      {"0C 02 0C 06 01 01 01 01 01", ValueList{ValueList{yes, yes, yes, yes, yes, null}, null}, 2},
      {"0C 02 0C 02 0C 01 01", ValueList{ValueList{ValueList{yes}, null}, null}, 2},
  };
  for (const Case& c : cases) {
    for (const ReaderResult& result : DecodeThroughEachReader(Hex(c.message))) {
      SCOPED_TRACE(::testing::Message() << c.message << ", " << result.reader << " reader");
      EXPECT_EQ(result.decoded.value, c.value);
      EXPECT_EQ(result.decoded.lines, Times(kInvalidRead, c.invalid_reads));
    }
  }
}

// A writer written to the three operations of the stream interface alone, counting its calls.
class CountingWriter : public ByteStreamWriter {
 public:
  explicit CountingWriter(std::vector<uint8_t>* buffer) : inner_(buffer) {}
  void PutByte(uint8_t byte) override {
    ++calls;
    inner_.PutByte(byte);
  }
  void PutBytes(const uint8_t* data, size_t length) override {
    ++calls;
    inner_.PutBytes(data, length);
  }
  void PutPadding(uint8_t alignment) override {
    ++calls;
    inner_.PutPadding(alignment);
  }
  size_t calls = 0;

 private:
  ByteBufferStreamWriter inner_;
};

// Every byte reaches a reader of the three operations, in one call for each tag, size, padding
// and run (a run longer than the first chunk in several: such a reader cannot tell how many
// bytes remain), also for a string that ends early. Only a reader that can tell where the
// message ends has its lists stop there.
TEST(StandardCodecSerializerTest, AReaderOfTheThreeOperationsSeesEveryByte) {
  std::vector<uint8_t> long_bytes(131073);
  for (size_t i = 0; i < long_bytes.size(); ++i) {
    long_bytes[i] = static_cast<uint8_t>(i * 7);
  }
  struct Case {
    std::vector<uint8_t> message;
    EncodableValue value;
    size_t position;
    size_t invalid_reads;
    size_t calls;
    std::vector<size_t> lengths;
  };
  const Case cases[] = {
      {Hex("07 02 61 62"), EncodableValue("ab"), 4, 0, 3, {2}},
      {Hex("08 03 01 02 03"), EncodableValue(std::vector<uint8_t>{1, 2, 3}), 5, 0, 3, {3}},
      {Hex("0C 02 09 01 01 00 00 00 0B 01 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"),
       EncodableValue(ValueList{EncodableValue(std::vector<int32_t>{1}),
                                EncodableValue(std::vector<double>{1.0})}),
       24, 0, 10, std::vector<size_t>{4, 8}},
      {Hex("0D 01 07 01 61 0E 01 00 00 00 80 3F"),
       EncodableValue(ValueMap{{EncodableValue("a"), EncodableValue(std::vector<float>{1.0f})}}),
       12, 0, 9, std::vector<size_t>{1, 4}},
      {Hex("07 05 61 62"), EncodableValue(std::string(5, '\0')), 2, 1, 3, {5}},
      {Concat(Hex("08 FF 01 00 02 00"), long_bytes), EncodableValue(long_bytes), 131079, 0, 6,
       std::vector<size_t>{4, 65536, 65536, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "message of " << c.message.size() << " bytes");
    OwnReader reader(OwnReader::Kind::kThreeOperations, c.message);
    const Decoded decoded = DecodeWith(&reader);
    EXPECT_EQ(decoded.value, c.value);
    EXPECT_EQ(decoded.lines, Times(kInvalidRead, c.invalid_reads));
    EXPECT_EQ(decoded.position, c.position);
    EXPECT_EQ(reader.calls, c.calls);
    EXPECT_EQ(reader.lengths, c.lengths);
  }
}

TEST(StandardCodecSerializerTest, AWriterOfTheThreeOperationsGetsEveryByte) {
  const EncodableValue value(
      ValueList{EncodableValue("abc"), EncodableValue(std::vector<double>{1.0}),
                EncodableValue(ValueMap{{EncodableValue(1), EncodableValue()}})});
  std::vector<uint8_t> bytes;
  CountingWriter writer(&bytes);
  StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  EXPECT_EQ(bytes, Hex("0C 03 07 03 61 62 63 0B 01 00 00 00 00 00 00 00 "
                       "00 00 00 00 00 00 F0 3F 0D 01 03 01 00 00 00 00"));
  // Tag and size of the list; tag, size and bytes of the string; tag, size, padding and
  // elements of the array; tag and size of the map, tag and bytes of its key, tag of its value.
  EXPECT_EQ(writer.calls, 2u + 3u + 4u + 5u);
}

TEST(StandardCodecSerializerTest, ADerivedReaderReadsTheBytesThroughNextBytes) {
  const std::vector<uint8_t> message = Hex("07 02 61 62");
  RecordingReader reader(message.data(), message.size());
  EXPECT_EQ(StandardCodecSerializer::SharedInstance().ReadTaggedValue(&reader),
            EncodableValue("ab"));
  EXPECT_EQ(reader.lengths, std::vector<size_t>{2});
}

TEST(StandardCodecSerializerTest, AReaderThatLendsNothingIsReadAllTheSame) {
  struct Declining : ByteBufferStreamReader {
    using ByteBufferStreamReader::ByteBufferStreamReader;
    bool NextBytesInPlace(size_t, const uint8_t**) override { return false; }
  };
  const std::vector<uint8_t> text = Hex("07 02 61 62");
  Declining text_reader(text.data(), text.size());
  EXPECT_EQ(StandardCodecSerializer::SharedInstance().ReadTaggedValue(&text_reader),
            EncodableValue("ab"));
  const std::vector<uint8_t> array = Hex("09 01 00 00 2A 00 00 00");
  Declining array_reader(array.data(), array.size());
  EXPECT_EQ(StandardCodecSerializer::SharedInstance().ReadTaggedValue(&array_reader),
            EncodableValue(std::vector<int32_t>{42}));
}

TEST(StandardCodecSerializerTest, NestingIsBounded) {
  const testing_support::Decoded at_limit = Decode(NestedLists(kMaxDepth));
  EXPECT_EQ(at_limit.value, NestedValue(kMaxDepth, EncodableValue(true)));
  EXPECT_TRUE(at_limit.lines.empty());

  const testing_support::Decoded deeper = Decode(NestedLists(kMaxDepth + 1));
  EXPECT_EQ(deeper.value, NestedValue(kMaxDepth, EncodableValue()));
  EXPECT_EQ(deeper.lines, std::vector<std::string>{kTooDeep});

  const testing_support::Decoded very_deep = Decode(NestedLists(100000));
  EXPECT_EQ(very_deep.value, NestedValue(kMaxDepth, EncodableValue()));
  EXPECT_EQ(very_deep.lines, std::vector<std::string>{kTooDeep});
}

TEST(StandardCodecSerializerTest, TooDeepValueIsSkippedWholeAndSiblingsStillRead) {
  const EncodableValue too_deep(ValueMap{
      {EncodableValue("ab"), EncodableValue(std::vector<double>{1.0, 2.0})},
      {EncodableValue(1), EncodableValue(ValueList{EncodableValue(std::vector<float>{}),
                                                   EncodableValue(std::vector<int32_t>{7}),
                                                   EncodableValue(ValueMap{})})},
      {EncodableValue(int64_t{2}), EncodableValue(0.5)},
      {EncodableValue(std::vector<uint8_t>(300, 1)), EncodableValue(std::vector<int64_t>{3})},
  });
  const std::vector<uint8_t> message =
      Encode(NestedValue(kMaxDepth - 1, EncodableValue(ValueList{too_deep, EncodableValue(true)})));
  const testing_support::Decoded decoded = Decode(message);
  EXPECT_EQ(decoded.value,
            NestedValue(kMaxDepth - 1,
                        EncodableValue(ValueList{EncodableValue(), EncodableValue(true)})));
  EXPECT_EQ(decoded.lines, std::vector<std::string>{kTooDeep});
  EXPECT_EQ(decoded.position, message.size());
}

TEST(StandardCodecSerializerTest, ThreadsDecodeIndependently) {
  const std::vector<uint8_t> message = NestedLists(kMaxDepth);
  EncodableValue on_thread;
  std::thread([&] { on_thread = Decode(message).value; }).join();
  EXPECT_EQ(on_thread, NestedValue(kMaxDepth, EncodableValue(true)));
}

// A serializer with an extension type, to check that nested values reach the override.
class TaggingSerializer : public StandardCodecSerializer {
 public:
  static constexpr uint8_t kPointTag = 128;

  void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const override {
    const CustomValue* custom = std::get_if<CustomValue>(&value);
    if (custom == nullptr || custom->TryGet<int32_t>() == nullptr) {
      StandardCodecSerializer::WriteValue(value, stream);
      return;
    }
    stream->PutByte(kPointTag);
    stream->PutByte(static_cast<uint8_t>(*custom->TryGet<int32_t>()));
  }
  // Sized bytes that hold a message of their own, read as that message's value.
  static constexpr uint8_t kEmbeddedTag = 129;

  EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const override {
    if (type == kPointTag) {
      return EncodableValue(CustomValue(int32_t{stream->NextByte()}));
    }
    if (type == kEmbeddedTag) {
      std::vector<uint8_t> embedded(ReadSizePrefix(stream));
      stream->NextBytes(embedded.data(), embedded.size());
      ByteBufferStreamReader embedded_reader(embedded.data(), embedded.size());
      return ReadTaggedValue(&embedded_reader);
    }
    return StandardCodecSerializer::ReadValueOfType(type, stream);
  }
};

TEST(StandardCodecSerializerTest, DerivedSerializerSeesNestedValues) {
  const TaggingSerializer serializer;
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  serializer.WriteValue(EncodableValue(ValueList{EncodableValue(CustomValue(int32_t{9}))}),
                        &writer);
  EXPECT_EQ(bytes, Hex("0C 01 80 09"));

  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  const EncodableValue decoded = serializer.ReadTaggedValue(&reader);
  const CustomValue& custom = std::get<CustomValue>(std::get<ValueList>(decoded)[0]);
  EXPECT_EQ(*custom.TryGet<int32_t>(), 9);
}

// A decode is what reads from one reader: an extension reading nested values from the same
// reader counts on, a decode of bytes on a reader of their own counts from zero.
TEST(StandardCodecSerializerTest, DepthIsCountedPerReader) {
  const TaggingSerializer serializer;
  const std::vector<uint8_t> deeper = NestedLists(kMaxDepth + 1);
  ByteBufferStreamReader deeper_reader(deeper.data(), deeper.size());
  StderrLines deeper_capture;
  EXPECT_EQ(serializer.ReadTaggedValue(&deeper_reader), NestedValue(kMaxDepth, EncodableValue()));
  EXPECT_EQ(deeper_capture.Take(), std::vector<std::string>{kTooDeep});

  const std::vector<uint8_t> embedding = Concat(Hex("0C 01 81 FE 01 01"), NestedLists(kMaxDepth));
  ByteBufferStreamReader embedding_reader(embedding.data(), embedding.size());
  StderrLines embedding_capture;
  EXPECT_EQ(serializer.ReadTaggedValue(&embedding_reader),
            NestedValue(kMaxDepth + 1, EncodableValue(true)));
  EXPECT_TRUE(embedding_capture.Take().empty());
}

// A reader that cannot tell how many bytes remain gets its runs in chunks that grow with what
// it has delivered, the first of 64 KiB; what it throws reaches the caller as it was thrown,
// and the reader and the serializer decode as before afterwards.
TEST(StandardCodecSerializerTest, AStreamingReaderIsReadInChunksAndItsExceptionsPassThrough) {
  std::string text(200000, 'x');
  OwnReader reader(
      OwnReader::Kind::kStreaming,
      Concat(Hex("0C 02 07 FF 40 0D 03 00"), std::vector<uint8_t>(text.begin(), text.end())));
  EXPECT_THROW(StandardCodecSerializer::SharedInstance().ReadTaggedValue(&reader), EndOfInput);
  EXPECT_EQ(reader.lengths, (std::vector<size_t>{4, 65536, 65536, 68928}));

  reader.Reset(Concat(Hex("0C 02 0C 01 07 FF FF FF FF FF"), std::vector<uint8_t>(100000, 'y')));
  try {
    StandardCodecSerializer::SharedInstance().ReadTaggedValue(&reader);
    ADD_FAILURE() << "the end of the input went unnoticed";
  } catch (const EndOfInput& end) {
    EXPECT_STREQ(end.what(), "end of input");
  }
  EXPECT_EQ(reader.position(), 10u + 65536u);

  reader.Reset(NestedLists(kMaxDepth));
  const Decoded after = DecodeWith(&reader);
  EXPECT_EQ(after.value, NestedValue(kMaxDepth, EncodableValue(true)));
  EXPECT_TRUE(after.lines.empty());
  EXPECT_EQ(Decode(NestedLists(kMaxDepth)).value, NestedValue(kMaxDepth, EncodableValue(true)));

  reader.Reset(Concat(Hex("07 FF 40 0D 03 00"), std::vector<uint8_t>(text.begin(), text.end())));
  reader.lengths.clear();
  EXPECT_EQ(DecodeWith(&reader).value, EncodableValue(text));
  EXPECT_EQ(reader.lengths, (std::vector<size_t>{4, 65536, 65536, 68928}));
}

// The buffer writer is written directly and any other stream value by value; both must give
// the same bytes, padding included, after any prefix.
TEST(StandardCodecSerializerTest, OutermostWriteAnnouncesABoundOnItsBytesOnce) {
  const EncodableValue value(ValueList{
      EncodableValue(1.5), EncodableValue(std::string(300, 'x')),
      EncodableValue(std::vector<double>(3, 2.0)), EncodableValue(std::vector<float>(5, 1.0f)),
      EncodableValue(ValueMap{{EncodableValue("k"), EncodableValue(int64_t{7})}}),
      EncodableValue(std::vector<uint8_t>(70000, 1)), EncodableValue(int32_t{3}),
      EncodableValue(std::vector<int64_t>()), EncodableValue(ValueList{EncodableValue(-0.0)})});
  const size_t padded_values = 5;
  for (size_t prefix = 0; prefix < sizeof(double); ++prefix) {
    std::vector<uint8_t> bytes(prefix, 0);
    ForwardingWriter writer(&bytes);
    StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
    const size_t written = bytes.size() - prefix;
    ASSERT_EQ(writer.expected.size(), 1u);
    EXPECT_EQ(writer.expected[0], StandardCodecSerializer::SharedInstance().EncodedSize(value));
    EXPECT_GE(writer.expected[0], written);
    EXPECT_LE(writer.expected[0], written + padded_values * (sizeof(double) - 1));
    EXPECT_GE(bytes.capacity(), prefix + written);

    std::vector<uint8_t> direct(prefix, 0);
    ByteBufferStreamWriter direct_writer(&direct);
    StandardCodecSerializer::SharedInstance().WriteValue(value, &direct_writer);
    EXPECT_EQ(direct, bytes) << "prefix " << prefix;
    EXPECT_GE(direct.capacity(), prefix + written);
  }
}

TEST(StandardCodecSerializerTest, TypedArraysDecodeTheSameFromAnyAddress) {
  const EncodableValue value(std::vector<double>{1.0, -2.5, 1e300});
  const std::vector<uint8_t> encoded = Encode(value);
  for (size_t shift = 0; shift < sizeof(double); ++shift) {
    std::vector<uint8_t> storage(shift, 0);
    storage.insert(storage.end(), encoded.begin(), encoded.end());
    ByteBufferStreamReader reader(storage.data() + shift, encoded.size());
    EXPECT_EQ(StandardCodecSerializer::SharedInstance().ReadTaggedValue(&reader), value);
  }
}

// Values whose bytes the two ways of writing could get wrong: no alternative, custom values,
// padding after odd lengths, empty arrays, and payloads that end just before, at and just after
// the zero-filled room that the direct writer keeps ahead of it.
std::vector<EncodableValue> AwkwardValues() {
  std::vector<EncodableValue> values = {
      Valueless(),
      EncodableValue(ValueList{Valueless(), EncodableValue(int32_t{1}), Valueless()}),
      EncodableValue(ValueMap{{EncodableValue("k"), Valueless()},
                              {EncodableValue(int32_t{2}), EncodableValue(CustomValue(3))}}),
      EncodableValue(ValueList{EncodableValue(CustomValue(1)), EncodableValue(2.5)}),
      EncodableValue(ValueList{EncodableValue(std::vector<int64_t>()),
                               EncodableValue(std::vector<float>()), EncodableValue("abc"),
                               EncodableValue(-1.0), EncodableValue(std::vector<double>())}),
  };
  // Value heads of every kind meet the end of the room at every offset.
  ValueList heads;
  std::mt19937 pick(7);
  for (int32_t i = 0; i < 20000; ++i) {
    const EncodableValue kinds[] = {
        EncodableValue(1.5),        EncodableValue(i),
        EncodableValue("ab"),       EncodableValue(std::vector<double>()),
        EncodableValue(int64_t{i}), EncodableValue(std::vector<int32_t>{i}),
        EncodableValue(i % 2 == 0)};
    heads.push_back(kinds[pick() % 7]);
  }
  values.emplace_back(std::move(heads));
  for (const size_t room_edge : {4096, 8192}) {
    for (const size_t before : {size_t{0}, size_t{3}, size_t{30}}) {
      for (const size_t length : {room_edge - before - 1, room_edge - before,
                                  room_edge - before + 1, room_edge - before + 7}) {
        values.emplace_back(ValueList{EncodableValue(std::string(before, 'b')),
                                      EncodableValue(std::string(length, 's')), EncodableValue(0.5),
                                      EncodableValue(std::vector<int64_t>()),
                                      EncodableValue(std::vector<uint8_t>(length, 7))});
      }
    }
  }
  return values;
}

TEST(StandardCodecSerializerTest, DirectAndValueByValueWritesAgree) {
  const std::vector<EncodableValue> values = AwkwardValues();
  for (size_t i = 0; i < values.size(); ++i) {
    for (size_t prefix = 0; prefix < 8; ++prefix) {
      SCOPED_TRACE(::testing::Message() << "value " << i << ", prefix " << prefix);
      StderrLines direct_capture;
      const std::vector<uint8_t> direct = Encode(values[i], prefix);
      const std::vector<std::string> direct_lines = direct_capture.Take();
      StderrLines value_by_value_capture;
      EXPECT_EQ(EncodeValueByValue(values[i], prefix), direct);
      EXPECT_EQ(value_by_value_capture.Take(), direct_lines);
    }
  }
  EXPECT_EQ(Encode(Valueless()), Hex("00"));
  EXPECT_EQ(Encode(values[1]), Hex("0C 03 00 03 01 00 00 00 00"));
}

// A caller may keep a large vector and write many small values into it, or write many values
// one after another into a fresh one.
TEST(StandardCodecSerializerTest, ManyValuesIntoOneVectorNeitherOverreachNorReallocateEachTime) {
  std::vector<uint8_t> roomy;
  roomy.reserve(size_t{1} << 20);
  std::vector<uint8_t> fresh;
  std::vector<uint8_t> expected;
  size_t fresh_reallocations = 0;
  for (int32_t i = 0; i < 20000; ++i) {
    const EncodableValue value = i % 3 == 0 ? EncodableValue(1.5) : EncodableValue(i);
    ByteBufferStreamWriter roomy_writer(&roomy);
    StandardCodecSerializer::SharedInstance().WriteValue(value, &roomy_writer);
    const uint8_t* before = fresh.data();
    ByteBufferStreamWriter fresh_writer(&fresh);
    StandardCodecSerializer::SharedInstance().WriteValue(value, &fresh_writer);
    fresh_reallocations += fresh.data() != before ? 1 : 0;
    ForwardingWriter expected_writer(&expected);
    StandardCodecSerializer::SharedInstance().WriteValue(value, &expected_writer);
  }
  EXPECT_EQ(roomy, expected);
  EXPECT_EQ(fresh, expected);
  EXPECT_LE(fresh_reallocations, 40u);
}

// A vector grown again near the end would copy everything written so far and hold up to twice
// the memory; the sized room must take the whole value, its last value head included.
TEST(StandardCodecSerializerTest, EncodingIntoAVectorAllocatesOnce) {
  ValueList records;
  for (int32_t i = 0; i < 2000; ++i) {
    records.emplace_back(ValueMap{{EncodableValue("id"), EncodableValue(i)},
                                  {EncodableValue("on"), EncodableValue(i % 2 == 0)}});
  }
  const EncodableValue value(std::move(records));
  const size_t bound = StandardCodecSerializer::SharedInstance().EncodedSize(value);
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  EXPECT_LE(bytes.size(), bound);
  EXPECT_LE(bytes.capacity(), bound + 64);
}

// Large arrays are copied in blocks; every element must land once, in place, the last partial
// block included.
TEST(StandardCodecSerializerTest, LargeTypedArraysRoundTripElementForElement) {
  for (const size_t count : {size_t{1023}, size_t{1024}, size_t{1025}, size_t{5000}}) {
    std::vector<int32_t> integers(count);
    std::vector<double> doubles(count);
    for (size_t i = 0; i < count; ++i) {
      integers[i] = static_cast<int32_t>(i * 2654435761u);
      doubles[i] = static_cast<double>(i) + 0.5;
    }
    const EncodableValue value(ValueList{EncodableValue(true), EncodableValue(integers),
                                         EncodableValue(doubles), EncodableValue(int32_t{7})});
    const std::vector<uint8_t> bytes = Encode(value);
    const auto decoded = Decode(bytes);
    EXPECT_EQ(decoded.value, value) << count << " elements";
    EXPECT_EQ(decoded.position, bytes.size());
    EXPECT_TRUE(decoded.lines.empty());
  }
}

TEST(StandardCodecSerializerTest, SharedInstanceIsOne) {
  const StandardCodecSerializer* other = nullptr;
  std::thread([&] { other = &StandardCodecSerializer::SharedInstance(); }).join();
  EXPECT_EQ(other, &StandardCodecSerializer::SharedInstance());
}

// Values of every encodable alternative, with sizes around the size-prefix boundaries.
class ValueGenerator {
 public:
  explicit ValueGenerator(uint32_t seed) : random_(seed) {}

  EncodableValue Next(int depth) {
    switch (Pick(depth > 0 ? 14 : 12)) {
      case 0:
        return EncodableValue();
      case 1:
        return EncodableValue(Pick(2) == 0);
      case 2:
        return EncodableValue(static_cast<int32_t>(random_()));
      case 3:
        return EncodableValue(static_cast<int64_t>(Wide()));
      case 4:
        return EncodableValue(Double());
      case 5:
        return EncodableValue(Text());
      case 6:
        return EncodableValue(Array<uint8_t>([&] { return static_cast<uint8_t>(random_()); }));
      case 7:
        return EncodableValue(Array<int32_t>([&] { return static_cast<int32_t>(random_()); }));
      case 8:
        return EncodableValue(Array<int64_t>([&] { return static_cast<int64_t>(Wide()); }));
      case 9:
        return EncodableValue(Array<double>([&] { return Double(); }));
      case 10:
        return EncodableValue(Array<float>([&] { return static_cast<float>(Double()); }));
      case 11:
        return EncodableValue(Array<uint8_t>([] { return uint8_t{0}; }));
      case 12: {
        ValueList list(Pick(6));
        for (EncodableValue& element : list) {
          element = Next(depth - 1);
        }
        return EncodableValue(std::move(list));
      }
      default: {
        ValueMap map;
        for (size_t i = Pick(6); i > 0; --i) {
          map.try_emplace(Next(depth - 1), Next(depth - 1));
        }
        return EncodableValue(std::move(map));
      }
    }
  }

 private:
  size_t Pick(size_t bound) { return random_() % bound; }
  uint64_t Wide() { return (uint64_t{random_()} << 32) | random_(); }
  double Double() {
    constexpr double kSpecial[] = {0.0, -0.0, 1.0, std::numeric_limits<double>::quiet_NaN(),
                                   std::numeric_limits<double>::infinity()};
    return Pick(3) == 0 ? kSpecial[Pick(5)] : static_cast<double>(Wide()) / 3.0;
  }
  size_t Size() {
    constexpr size_t kBoundaries[] = {0, 1, 253, 254, 255, 65535, 65536, 65537};
    return Pick(4) == 0 ? kBoundaries[Pick(8)] : Pick(20);
  }
  std::string Text() {
    std::string text(Size(), '\0');
    for (char& c : text) {
      c = static_cast<char>(random_());
    }
    return text;
  }
  template <typename T, typename Make>
  std::vector<T> Array(Make make) {
    std::vector<T> array(Size());
    for (T& element : array) {
      element = make();
    }
    return array;
  }

  std::mt19937 random_;
};

TEST(StandardCodecSerializerTest, RandomValuesRoundTripAfterAnyPrefix) {
  ValueGenerator generator(20240611);
  for (int i = 0; i < 120; ++i) {
    const EncodableValue value = generator.Next(3);
    for (size_t prefix = 0; prefix < 8; ++prefix) {
      SCOPED_TRACE(::testing::Message() << "value " << i << ", prefix " << prefix);
      const std::vector<uint8_t> bytes = Encode(value, prefix);
      const testing_support::Decoded decoded = Decode(bytes, prefix);
      ASSERT_TRUE(decoded.lines.empty());
      ASSERT_EQ(decoded.position, bytes.size());
      ASSERT_TRUE(Equivalent(decoded.value, value));
      ASSERT_EQ(Encode(decoded.value, prefix), bytes);
      ASSERT_EQ(EncodeValueByValue(value, prefix), bytes);
    }
  }
}

}  // namespace
}  // namespace weft
