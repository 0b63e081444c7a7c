#include "weft/standard_method_codec.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "codec_test_support.h"

namespace weft {
namespace {

using testing_support::Hex;
using testing_support::kInvalidRead;
using testing_support::StderrLines;
using testing_support::Times;

const std::string kNotAString = "Invalid method call; method name is not a string.";

const StandardMethodCodec& Codec() {
  return StandardMethodCodec::ForSerializer(nullptr);
}

// What a result was given, copied out of the delivery call.
class RecordingResult : public MethodResult<EncodableValue> {
 public:
  enum class Outcome { kNone, kSuccess, kError, kNotImplemented };

  Outcome outcome = Outcome::kNone;
  int deliveries = 0;
  std::optional<EncodableValue> value;
  std::string code;
  std::string message;

 protected:
  void DeliverSuccess(const EncodableValue* result) override { Record(Outcome::kSuccess, result); }
  void DeliverError(const std::string& error_code, const std::string& error_message,
                    const EncodableValue* details) override {
    Record(Outcome::kError, details);
    code = error_code;
    message = error_message;
  }
  void DeliverNotImplemented() override { Record(Outcome::kNotImplemented, nullptr); }

 private:
  void Record(Outcome delivered, const EncodableValue* delivered_value) {
    outcome = delivered;
    ++deliveries;
    if (delivered_value != nullptr) {
      value = *delivered_value;
    }
  }
};

TEST(StandardMethodCodecTest, PacksSuccessReplies) {
  EXPECT_EQ(*Codec().PackSuccess(nullptr), Hex("00 00"));
  const EncodableValue ok("ok");
  EXPECT_EQ(*Codec().PackSuccess(&ok), Hex("00 07 02 6F 6B"));
  const EncodableValue one(1.0);
  EXPECT_EQ(*Codec().PackSuccess(&one), Hex("00 06 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"));
}

TEST(StandardMethodCodecTest, PacksErrorReplies) {
  EXPECT_EQ(*Codec().PackError("E", "", nullptr), Hex("01 07 01 45 00 00"));
  EXPECT_EQ(*Codec().PackError("E", "m", nullptr), Hex("01 07 01 45 07 01 6D 00"));
  EXPECT_EQ(*Codec().PackError("", "", nullptr), Hex("01 07 00 00 00"));
  const EncodableValue details(1);
  EXPECT_EQ(*Codec().PackError("E", "m", &details), Hex("01 07 01 45 07 01 6D 03 01 00 00 00"));
}

TEST(StandardMethodCodecTest, PacksCalls) {
  const MethodCall<EncodableValue> with_argument(
      "setTitle", std::make_unique<EncodableValue>(std::string("Hi")));
  EXPECT_EQ(*Codec().PackCall(with_argument), Hex("07 08 73 65 74 54 69 74 6C 65 07 02 48 69"));
  const MethodCall<EncodableValue> without_arguments("setTitle", nullptr);
  EXPECT_EQ(*Codec().PackCall(without_arguments), Hex("07 08 73 65 74 54 69 74 6C 65 00"));
}

TEST(StandardMethodCodecTest, AlignmentCountsFromTheStartOfTheEnvelope) {
  const EncodableValue value(1.0);
  const MethodCall<EncodableValue> call("ab", std::make_unique<EncodableValue>(value));
  EXPECT_EQ(*Codec().PackCall(call), Hex("07 02 61 62 06 00 00 00 00 00 00 00 00 00 F0 3F"));
  EXPECT_EQ(*Codec().PackSuccess(&value), Hex("00 06 00 00 00 00 00 00 00 00 00 00 00 00 F0 3F"));

  const std::unique_ptr<MethodCall<EncodableValue>> unpacked =
      Codec().UnpackCall(Codec().PackCall(call)->data(), Codec().PackCall(call)->size());
  ASSERT_NE(unpacked, nullptr);
  EXPECT_EQ(*unpacked->arguments(), value);
}

TEST(StandardMethodCodecTest, UnpacksCalls) {
  const std::vector<uint8_t> bytes = Hex("07 08 73 65 74 54 69 74 6C 65 07 02 48 69 FF FF");
  StderrLines capture;
  const std::unique_ptr<MethodCall<EncodableValue>> call =
      Codec().UnpackCall(bytes.data(), bytes.size());
  EXPECT_TRUE(capture.Take().empty());
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->method_name(), "setTitle");
  ASSERT_NE(call->arguments(), nullptr);
  EXPECT_EQ(*call->arguments(), EncodableValue("Hi"));
}

TEST(StandardMethodCodecTest, CallWithoutArgumentsValueHasNullArguments) {
  const std::vector<uint8_t> bytes = Hex("07 08 73 65 74 54 69 74 6C 65");
  StderrLines capture;
  const std::unique_ptr<MethodCall<EncodableValue>> call =
      Codec().UnpackCall(bytes.data(), bytes.size());
  EXPECT_EQ(capture.Take(), Times(kInvalidRead, 1));
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->method_name(), "setTitle");
  ASSERT_NE(call->arguments(), nullptr);
  EXPECT_TRUE(call->arguments()->IsNull());
}

TEST(StandardMethodCodecTest, CallWhoseNameIsNoStringIsRefused) {
  const std::vector<uint8_t> null_name = Hex("00");
  StderrLines capture;
  EXPECT_EQ(Codec().UnpackCall(null_name.data(), null_name.size()), nullptr);
  EXPECT_EQ(capture.Take(), std::vector<std::string>{kNotAString});

  StderrLines capture_empty;
  EXPECT_EQ(Codec().UnpackCall(nullptr, 0), nullptr);
  EXPECT_EQ(capture_empty.Take(), (std::vector<std::string>{kInvalidRead, kNotAString}));

  const std::vector<uint8_t> unknown = Hex("20 07 01 61");
  StderrLines capture_unknown;
  EXPECT_EQ(Codec().UnpackCall(unknown.data(), unknown.size()), nullptr);
  EXPECT_EQ(capture_unknown.Take(),
            (std::vector<std::string>{
                "Unknown type in StandardCodecSerializer::ReadValueOfType: 32", kNotAString}));
}

TEST(StandardMethodCodecTest, UnknownReplyTagIsRejectedSilently) {
  const std::vector<uint8_t> bytes = Hex("02");
  RecordingResult result;
  StderrLines capture;
  EXPECT_FALSE(Codec().UnpackReply(bytes.data(), bytes.size(), &result));
  EXPECT_TRUE(capture.Take().empty());
  EXPECT_EQ(result.deliveries, 0);
}

TEST(StandardMethodCodecTest, UnpacksSuccessReplies) {
  const std::vector<uint8_t> bytes = Hex("00 00");
  RecordingResult result;
  EXPECT_TRUE(Codec().UnpackReply(bytes.data(), bytes.size(), &result));
  EXPECT_EQ(result.outcome, RecordingResult::Outcome::kSuccess);
  EXPECT_EQ(result.deliveries, 1);
  EXPECT_FALSE(result.value.has_value());

  const std::vector<uint8_t> with_value = Hex("00 07 02 6F 6B");
  RecordingResult valued;
  EXPECT_TRUE(Codec().UnpackReply(with_value.data(), with_value.size(), &valued));
  EXPECT_EQ(valued.value, EncodableValue("ok"));

  RecordingResult from_nothing;
  StderrLines capture;
  EXPECT_TRUE(Codec().UnpackReply(nullptr, 0, &from_nothing));
  EXPECT_EQ(capture.Take(), Times(kInvalidRead, 2));
  EXPECT_EQ(from_nothing.outcome, RecordingResult::Outcome::kSuccess);
  EXPECT_FALSE(from_nothing.value.has_value());
}

TEST(StandardMethodCodecTest, UnpacksErrorReplies) {
  const std::vector<uint8_t> bare = Hex("01 07 01 45 00 00");
  RecordingResult result;
  EXPECT_TRUE(Codec().UnpackReply(bare.data(), bare.size(), &result));
  EXPECT_EQ(result.outcome, RecordingResult::Outcome::kError);
  EXPECT_EQ(result.code, "E");
  EXPECT_EQ(result.message, "");
  EXPECT_FALSE(result.value.has_value());

  const std::vector<uint8_t> full = Hex("01 07 01 45 07 01 6D 03 01 00 00 00");
  RecordingResult detailed;
  EXPECT_TRUE(Codec().UnpackReply(full.data(), full.size(), &detailed));
  EXPECT_EQ(detailed.code, "E");
  EXPECT_EQ(detailed.message, "m");
  EXPECT_EQ(detailed.value, EncodableValue(1));
  EXPECT_EQ(detailed.deliveries, 1);
}

TEST(StandardMethodCodecTest, ErrorReplyWithWrongKindsThrowsAndDeliversNothing) {
  for (const char* text : {"01 00 00 00", "01 07 01 45 03 01 00 00 00 00"}) {
    SCOPED_TRACE(text);
    const std::vector<uint8_t> bytes = Hex(text);
    RecordingResult result;
    EXPECT_THROW(Codec().UnpackReply(bytes.data(), bytes.size(), &result), std::bad_variant_access);
    EXPECT_EQ(result.deliveries, 0);
  }
}

TEST(StandardMethodCodecTest, ForSerializerGivesOneCodecPerSerializer) {
  const StandardMethodCodec& by_null = StandardMethodCodec::ForSerializer(nullptr);
  EXPECT_EQ(&StandardMethodCodec::ForSerializer(nullptr), &by_null);
  EXPECT_EQ(&StandardMethodCodec::ForSerializer(&StandardCodecSerializer::SharedInstance()),
            &by_null);
  static const StandardCodecSerializer other;
  const StandardMethodCodec& for_other = StandardMethodCodec::ForSerializer(&other);
  EXPECT_NE(&for_other, &by_null);
  EXPECT_EQ(&StandardMethodCodec::ForSerializer(&other), &for_other);
}

}  // namespace
}  // namespace weft
