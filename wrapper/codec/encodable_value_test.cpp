#include "weft/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "codec_test_support.h"

namespace weft {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

using testing_support::Equivalent;
using testing_support::NestedValue;
using testing_support::Valueless;

TEST(EncodableValueTest, AlternativesHaveTheirFixedIndexes) {
  EXPECT_EQ(EncodableValue().index(), 0u);
  EXPECT_EQ(EncodableValue(false).index(), 1u);
  EXPECT_EQ(EncodableValue(int32_t{1}).index(), 2u);
  EXPECT_EQ(EncodableValue(int64_t{1}).index(), 3u);
  EXPECT_EQ(EncodableValue(1.0).index(), 4u);
  EXPECT_EQ(EncodableValue("a").index(), 5u);
  EXPECT_EQ(EncodableValue(std::vector<uint8_t>{}).index(), 6u);
  EXPECT_EQ(EncodableValue(std::vector<int32_t>{}).index(), 7u);
  EXPECT_EQ(EncodableValue(std::vector<int64_t>{}).index(), 8u);
  EXPECT_EQ(EncodableValue(std::vector<double>{}).index(), 9u);
  EXPECT_EQ(EncodableValue(ValueList{}).index(), 10u);
  EXPECT_EQ(EncodableValue(ValueMap{}).index(), 11u);
  EXPECT_EQ(EncodableValue(CustomValue(7)).index(), 12u);
  EXPECT_EQ(EncodableValue(std::vector<float>{}).index(), 13u);
  EXPECT_TRUE(EncodableValue().IsNull());
  EXPECT_FALSE(EncodableValue(false).IsNull());
}

TEST(EncodableValueTest, StrictAndTestingAccess) {
  EncodableValue value(int32_t{3});
  EXPECT_THROW(std::get<std::string>(value), std::bad_variant_access);
  EXPECT_EQ(std::get_if<std::string>(&value), nullptr);
  EXPECT_EQ(std::get<int32_t>(value), 3);
  ASSERT_NE(std::get_if<int32_t>(&value), nullptr);

  const EncodableValue text(std::string("hi"));
  EXPECT_EQ(std::get<std::string>(text), "hi");
  EXPECT_EQ(*std::get_if<std::string>(&text), "hi");
}

TEST(EncodableValueTest, CopiesDeeply) {
  EncodableValue original(ValueList{EncodableValue(ValueList{EncodableValue("x")}),
                                    EncodableValue(CustomValue(std::string("held")))});
  EncodableValue copy = original;
  std::get<ValueList>(std::get<ValueList>(original)[0])[0] = "changed";

  const ValueList& list = std::get<ValueList>(copy);
  EXPECT_EQ(std::get<std::string>(std::get<ValueList>(list[0])[0]), "x");
  const CustomValue& custom = std::get<CustomValue>(list[1]);
  ASSERT_NE(custom.TryGet<std::string>(), nullptr);
  EXPECT_EQ(*custom.TryGet<std::string>(), "held");
  EXPECT_EQ(custom.TryGet<int>(), nullptr);
  EXPECT_NE(&custom, &std::get<CustomValue>(std::get<ValueList>(original)[1]));
}

TEST(EncodableValueTest, AlternativesOrderByIndexThenContent) {
  ValueMap map;
  map[EncodableValue("a")] = 1;
  map[EncodableValue(int64_t{3})] = 2;
  map[EncodableValue(int32_t{5})] = 3;
  map[EncodableValue(true)] = 4;
  map[EncodableValue()] = 5;
  std::vector<int32_t> order;
  for (const auto& entry : map) {
    order.push_back(std::get<int32_t>(entry.second));
  }
  EXPECT_EQ(order, (std::vector<int32_t>{5, 4, 3, 2, 1}));

  EXPECT_TRUE(EncodableValue(int32_t{100}) < EncodableValue(int64_t{-100}));
  EXPECT_TRUE(EncodableValue(ValueMap{}) < EncodableValue(CustomValue(1)));
  EXPECT_TRUE(EncodableValue(CustomValue(1)) < EncodableValue(std::vector<float>{}));
  EXPECT_TRUE(EncodableValue(false) < EncodableValue(true));
  EXPECT_TRUE(Equivalent(EncodableValue(), EncodableValue()));
}

TEST(EncodableValueTest, StringsAndByteArraysCompareAsUnsignedBytes) {
  EXPECT_TRUE(EncodableValue("ab") < EncodableValue("abc"));
  EXPECT_TRUE(EncodableValue("abc") < EncodableValue("b"));
  EXPECT_TRUE(EncodableValue("\x7F") < EncodableValue("\x80"));
  EXPECT_TRUE(EncodableValue("") < EncodableValue(std::string(1, '\0')));

  using Bytes = std::vector<uint8_t>;
  EXPECT_TRUE(EncodableValue(Bytes{1, 2}) < EncodableValue(Bytes{1, 2, 0}));
  EXPECT_TRUE(EncodableValue(Bytes{1, 2, 0}) < EncodableValue(Bytes{1, 3}));
  EXPECT_TRUE(EncodableValue(Bytes{0x7F}) < EncodableValue(Bytes{0x80}));
  EXPECT_TRUE(EncodableValue(std::vector<int32_t>{-1}) < EncodableValue(std::vector<int32_t>{0}));
  EXPECT_TRUE(EncodableValue(std::vector<int64_t>{-1}) < EncodableValue(std::vector<int64_t>{0}));
}

TEST(EncodableValueTest, NaNIsPassedOver) {
  EXPECT_TRUE(Equivalent(EncodableValue(kNaN), EncodableValue(1.0)));
  EXPECT_TRUE(EncodableValue(std::vector<double>{1.0, kNaN, 2.0}) <
              EncodableValue(std::vector<double>{1.0, 5.0, 3.0}));
  EXPECT_FALSE(EncodableValue(std::vector<double>{1.0, 5.0, 3.0}) <
               EncodableValue(std::vector<double>{1.0, kNaN, 2.0}));
  EXPECT_TRUE(EncodableValue(std::vector<float>{NAN}) <
              EncodableValue(std::vector<float>{NAN, 0.0f}));
  EXPECT_TRUE(Equivalent(EncodableValue(std::vector<float>{NAN}),
                         EncodableValue(std::vector<float>{1.0f})));
}

TEST(EncodableValueTest, ListsAndMapsWalkTheirElements) {
  EXPECT_TRUE(EncodableValue(ValueList{}) < EncodableValue(ValueList{EncodableValue()}));
  EXPECT_TRUE(Equivalent(EncodableValue(ValueList{EncodableValue()}),
                         EncodableValue(ValueList{EncodableValue()})));
  EXPECT_TRUE(EncodableValue(ValueList{EncodableValue(kNaN), EncodableValue(1)}) <
              EncodableValue(ValueList{EncodableValue(0.0), EncodableValue(2)}));

  EncodableValue to_a(ValueMap{{EncodableValue(1), EncodableValue("a")}});
  EncodableValue to_b(ValueMap{{EncodableValue(1), EncodableValue("b")}});
  EXPECT_TRUE(to_a < to_b);
  EXPECT_FALSE(to_b < to_a);
  EncodableValue key_2(ValueMap{{EncodableValue(2), EncodableValue("a")}});
  EXPECT_TRUE(to_b < key_2);
}

TEST(EncodableValueTest, CustomValuesOrderByIdentity) {
  EncodableValue first(CustomValue(1));
  EncodableValue second(CustomValue(1));
  EXPECT_FALSE(Equivalent(first, second));
  EXPECT_NE(first < second, second < first);
  EXPECT_TRUE(Equivalent(first, first));
  EncodableValue copy = first;
  EXPECT_FALSE(Equivalent(first, copy));
  EXPECT_TRUE(first == first);
  EXPECT_FALSE(first == copy);
}

TEST(EncodableValueTest, ValuelessIsLowest) {
  EncodableValue valueless = Valueless();
  ASSERT_TRUE(valueless.valueless_by_exception());
  EXPECT_TRUE(valueless < EncodableValue());
  EXPECT_FALSE(EncodableValue() < valueless);
  EXPECT_TRUE(Equivalent(valueless, Valueless()));
}

// Two equivalent values nested this deep would take 2^depth comparisons if each level asked
// both "less" and "greater" of its children.
TEST(EncodableValueTest, DeeplyNestedEquivalentValuesCompareInLinearTime) {
  const EncodableValue a = NestedValue(100, EncodableValue(1));
  const EncodableValue b = NestedValue(100, EncodableValue(1));
  EXPECT_FALSE(a < b);
  EXPECT_FALSE(b < a);
  EXPECT_TRUE(a < NestedValue(100, EncodableValue(2)));

  ValueMap map;
  map.emplace(a, EncodableValue(true));
  map.emplace(b, EncodableValue(false));
  EXPECT_EQ(map.size(), 1u);
}

}  // namespace
}  // namespace weft
