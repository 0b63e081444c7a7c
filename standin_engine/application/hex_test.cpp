#include "hex.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(HexTest, ParsesDigitsOfEitherCaseWithBlanksAnywhere) {
  EXPECT_EQ(ParseHex("07 08 aB"), (Bytes{0x07, 0x08, 0xAB}));
  EXPECT_EQ(ParseHex("0\t708"), (Bytes{0x07, 0x08}));
  EXPECT_EQ(ParseHex(""), Bytes{});
  EXPECT_EQ(ParseHex("   "), Bytes{});
}

TEST(HexTest, RefusesOddDigitCountsAndOtherCharacters) {
  EXPECT_FALSE(ParseHex("0"));
  EXPECT_FALSE(ParseHex("07 0"));
  EXPECT_FALSE(ParseHex("0g"));
  EXPECT_FALSE(ParseHex("0x07"));
  EXPECT_FALSE(ParseHex("07,08"));
}

TEST(HexTest, FormatsUpperCaseWithoutSeparators) {
  const uint8_t bytes[] = {0x00, 0x0F, 0xA0, 0xFF};
  EXPECT_EQ(FormatHex(bytes, sizeof(bytes)), "000FA0FF");
  EXPECT_EQ(FormatHex(bytes, 0), "");
}

}  // namespace
}  // namespace standin
