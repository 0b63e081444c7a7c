#include "method_call_bytes.h"

#include <gtest/gtest.h>

#include <string>

namespace standin {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(MethodCallBytesTest, WritesTwoStringValues) {
  EXPECT_EQ(EncodeStringCall("setTitle", "Hello"),
            (Bytes{0x07, 0x08, 's', 'e', 't', 'T', 'i', 't', 'l', 'e', 0x07, 0x05, 'H', 'e', 'l',
                   'l', 'o'}));
  EXPECT_EQ(EncodeStringCall("", ""), (Bytes{0x07, 0x00, 0x07, 0x00}));
}

TEST(MethodCallBytesTest, LongStringsTakeTheLongerSizeForms) {
  const Bytes medium = EncodeStringCall("m", std::string(254, 'x'));
  ASSERT_EQ(medium.size(), 3u + 4u + 254u);
  EXPECT_EQ(Bytes(medium.begin() + 3, medium.begin() + 7), (Bytes{0x07, 0xFE, 0xFE, 0x00}));

  const Bytes shortest = EncodeStringCall("m", std::string(253, 'x'));
  EXPECT_EQ(Bytes(shortest.begin() + 3, shortest.begin() + 5), (Bytes{0x07, 0xFD}));

  const Bytes long_form = EncodeStringCall("m", std::string(0x10000, 'x'));
  EXPECT_EQ(Bytes(long_form.begin() + 3, long_form.begin() + 9),
            (Bytes{0x07, 0xFF, 0x00, 0x00, 0x01, 0x00}));
}

}  // namespace
}  // namespace standin
