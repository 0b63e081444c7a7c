#include "weft/byte_streams.h"

#include <gtest/gtest.h>

#include <vector>

#include "codec_test_support.h"

namespace weft {
namespace {

using testing_support::Hex;
using testing_support::kInvalidRead;
using testing_support::StderrLines;
using testing_support::Times;

TEST(ByteBufferStreamReaderTest, ReadsBytesThenReportsEachReadPastTheEnd) {
  const std::vector<uint8_t> bytes = Hex("0A 0B 0C");
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  StderrLines capture;
  EXPECT_EQ(reader.NextByte(), 0x0A);
  uint8_t pair[2] = {};
  reader.NextBytes(pair, 2);
  EXPECT_EQ(pair[0], 0x0B);
  EXPECT_EQ(pair[1], 0x0C);
  EXPECT_EQ(reader.NextByte(), 0);
  EXPECT_EQ(reader.NextByte(), 0);
  EXPECT_EQ(capture.Take(), Times(kInvalidRead, 2));
  EXPECT_EQ(reader.position(), 3u);
  EXPECT_EQ(reader.RemainingBytes(), 0u);
}

TEST(ByteBufferStreamReaderTest, ShortReadIsAllOrNothing) {
  const std::vector<uint8_t> bytes = Hex("01 02 03");
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  reader.NextByte();
  uint8_t buffer[4] = {9, 9, 9, 9};
  StderrLines capture;
  reader.NextBytes(buffer, 4);
  EXPECT_EQ(capture.Take(), Times(kInvalidRead, 1));
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), Hex("09 09 09 09"));
  EXPECT_EQ(reader.position(), 1u);
  reader.NextBytes(buffer, 2);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 2), Hex("02 03"));
}

TEST(ByteBufferStreamReaderTest, HugeLengthFailsWithoutWrapping) {
  const std::vector<uint8_t> bytes = Hex("01 02");
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  reader.NextByte();
  const uint8_t* lent = nullptr;
  StderrLines capture;
  EXPECT_FALSE(reader.NextBytesInPlace(SIZE_MAX, &lent));
  EXPECT_EQ(capture.Take(), Times(kInvalidRead, 1));
  EXPECT_EQ(reader.position(), 1u);
  EXPECT_TRUE(reader.NextBytesInPlace(1, &lent));
  EXPECT_EQ(lent, bytes.data() + 1);
}

TEST(ByteBufferStreamReaderTest, PaddingCountsFromTheStartAndMayPassTheEnd) {
  const std::vector<uint8_t> bytes(16);
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  uint8_t five[5];
  reader.NextBytes(five, 5);
  reader.SkipPadding(4);
  EXPECT_EQ(reader.position(), 8u);
  reader.SkipPadding(8);
  EXPECT_EQ(reader.position(), 8u);
  reader.SkipPadding(4);
  EXPECT_EQ(reader.position(), 8u);

  ByteBufferStreamReader short_reader(bytes.data(), 2);
  short_reader.NextBytes(five, 2);
  short_reader.SkipPadding(4);
  EXPECT_EQ(short_reader.position(), 4u);
  EXPECT_EQ(short_reader.RemainingBytes(), 0u);
  StderrLines capture;
  short_reader.NextBytes(five, 0);
  EXPECT_EQ(capture.Take(), Times(kInvalidRead, 1));
}

TEST(ByteBufferStreamReaderTest, EmptyReadAtTheEndSucceeds) {
  ByteBufferStreamReader reader(nullptr, 0);
  const uint8_t* lent = nullptr;
  StderrLines capture;
  EXPECT_TRUE(reader.NextBytesInPlace(0, &lent));
  reader.NextBytes(nullptr, 0);
  EXPECT_TRUE(capture.Take().empty());
}

TEST(ByteBufferStreamWriterTest, PadsFromTheStartOfTheBuffer) {
  std::vector<uint8_t> buffer = Hex("01 02 03 04 05");
  ByteBufferStreamWriter writer(&buffer);
  writer.PutPadding(8);
  EXPECT_EQ(buffer, Hex("01 02 03 04 05 00 00 00"));
  writer.PutPadding(8);
  EXPECT_EQ(buffer.size(), 8u);

  std::vector<uint8_t> empty;
  ByteBufferStreamWriter empty_writer(&empty);
  empty_writer.PutPadding(4);
  EXPECT_TRUE(empty.empty());
}

TEST(ByteBufferStreamWriterTest, AppendsBytes) {
  std::vector<uint8_t> buffer;
  ByteBufferStreamWriter writer(&buffer);
  writer.PutBytes(nullptr, 0);
  EXPECT_TRUE(buffer.empty());
  const std::vector<uint8_t> data = Hex("0A 0B");
  writer.PutByte(0x01);
  writer.PutBytes(data.data(), data.size());
  EXPECT_EQ(buffer, Hex("01 0A 0B"));
}

}  // namespace
}  // namespace weft
