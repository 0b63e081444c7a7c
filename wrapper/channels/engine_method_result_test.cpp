#include "weft/engine_method_result.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "weft/encodable_value.h"
#include "weft/standard_method_codec.h"

namespace weft {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr char kDuplicateResultLine[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.\n";
constexpr char kUnansweredLine[] =
    "Warning: Failed to respond to a message. This is a memory leak.\n";

std::unique_ptr<std::vector<uint8_t>> Bytes(const std::string& text) {
  return std::make_unique<std::vector<uint8_t>>(text.begin(), text.end());
}

// Encodes outcomes over plain strings as readable text, and counts the encodings.
class TextCodec : public MethodCodec<std::string> {
 public:
  std::unique_ptr<MethodCall<std::string>> UnpackCall(const uint8_t*, size_t) const override {
    return nullptr;
  }
  std::unique_ptr<std::vector<uint8_t>> PackCall(const MethodCall<std::string>&) const override {
    return Bytes("call");
  }
  std::unique_ptr<std::vector<uint8_t>> PackSuccess(const std::string* result) const override {
    ++encodings;
    return Bytes("success " + (result != nullptr ? *result : "none"));
  }
  std::unique_ptr<std::vector<uint8_t>> PackError(const std::string& code,
                                                  const std::string& message,
                                                  const std::string* details) const override {
    ++encodings;
    return Bytes("error " + code + " " + message + " " + (details != nullptr ? *details : "none"));
  }
  bool UnpackReply(const uint8_t*, size_t, MethodResult<std::string>*) const override {
    return false;
  }

  mutable int encodings = 0;
};

// What the reply callback received, call by call.
struct Sent {
  bool null_data;
  std::string text;
};

class EngineMethodResultTest : public testing::Test {
 protected:
  std::unique_ptr<EngineMethodResult<std::string>> MakeResult() {
    return std::make_unique<EngineMethodResult<std::string>>(
        [this](const uint8_t* data, size_t size) {
          sent_.push_back({data == nullptr, std::string(data, data + size)});
        },
        &codec_);
  }

  TextCodec codec_;
  std::vector<Sent> sent_;
};

TEST_F(EngineMethodResultTest, EachOutcomeSendsItsEncoding) {
  MakeResult()->Success();
  MakeResult()->Success(std::string("ok"));
  MakeResult()->Error("E", "bad", std::string("more"));
  MakeResult()->Error("E");
  MakeResult()->NotImplemented();

  ASSERT_EQ(sent_.size(), 5u);
  EXPECT_EQ(sent_[0].text, "success none");
  EXPECT_EQ(sent_[1].text, "success ok");
  EXPECT_EQ(sent_[2].text, "error E bad more");
  EXPECT_EQ(sent_[3].text, "error E  none");
  EXPECT_TRUE(sent_[4].null_data);
  EXPECT_EQ(sent_[4].text, "");
}

TEST_F(EngineMethodResultTest, ALaterOutcomeWritesOneLineAndSendsNothing) {
  auto result = MakeResult();
  CaptureStderr();
  result->Success();
  result->NotImplemented();
  result.reset();

  EXPECT_EQ(GetCapturedStderr(), kDuplicateResultLine);
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].text, "success none");
}

TEST_F(EngineMethodResultTest, EveryDuplicateIsEncodedFirstAndReportedOnce) {
  auto result = MakeResult();
  CaptureStderr();
  result->Success();
  result->Error("E");
  result->Success();

  EXPECT_EQ(GetCapturedStderr(), std::string(kDuplicateResultLine) + kDuplicateResultLine);
  EXPECT_EQ(sent_.size(), 1u);
  EXPECT_EQ(codec_.encodings, 3);
}

TEST_F(EngineMethodResultTest, AnUnansweredResultWarnsOnceAndDropsTheCallbackUncalled) {
  auto watched = std::make_shared<int>(0);
  std::weak_ptr<int> watch = watched;
  auto result = std::make_unique<EngineMethodResult<std::string>>(
      [watched = std::move(watched)](const uint8_t*, size_t) { ++*watched; }, &codec_);

  CaptureStderr();
  result.reset();

  EXPECT_EQ(GetCapturedStderr(), kUnansweredLine);
  EXPECT_TRUE(watch.expired());
}

TEST_F(EngineMethodResultTest, ACallbackThatReentersTheResultCannotAnswerTwice) {
  std::unique_ptr<EngineMethodResult<std::string>> result;
  int calls = 0;
  result = std::make_unique<EngineMethodResult<std::string>>(
      [&](const uint8_t*, size_t) {
        ++calls;
        result->NotImplemented();
      },
      &codec_);

  CaptureStderr();
  result->Success();
  result.reset();

  EXPECT_EQ(GetCapturedStderr(), kDuplicateResultLine);
  EXPECT_EQ(calls, 1);
}

TEST_F(EngineMethodResultTest, ACallbackThatThrowsHasStillBeenUsed) {
  auto result = std::make_unique<EngineMethodResult<std::string>>(
      [](const uint8_t*, size_t) { throw std::runtime_error("send failed"); }, &codec_);

  CaptureStderr();
  EXPECT_THROW(result->Success(), std::runtime_error);
  result.reset();

  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(ReplyTrackerTest, AnEmptyVectorIsSentAsANullPointer) {
  const uint8_t sentinel = 0;
  const uint8_t* received = &sentinel;
  size_t received_size = 1;
  ReplyTracker tracker([&](const uint8_t* data, size_t size) {
    received = data;
    received_size = size;
  });

  const std::vector<uint8_t> empty;
  tracker.SendOnce(&empty);

  EXPECT_EQ(received, nullptr);
  EXPECT_EQ(received_size, 0u);
}

// The same outcomes with the standard codec, as the application receives them.
class EngineMethodResultWireTest : public testing::Test {
 protected:
  std::unique_ptr<EngineMethodResult<EncodableValue>> MakeResult() {
    return std::make_unique<EngineMethodResult<EncodableValue>>(
        [this](const uint8_t* data, size_t size) {
          null_data_ = data == nullptr;
          sent_.emplace_back(data, data + size);
        },
        &StandardMethodCodec::ForSerializer(nullptr));
  }

  bool null_data_ = false;
  std::vector<std::vector<uint8_t>> sent_;
};

TEST_F(EngineMethodResultWireTest, OutcomesReachTheApplicationInTheStandardEnvelope) {
  MakeResult()->Success();
  MakeResult()->Success(EncodableValue());
  MakeResult()->Error("E");
  MakeResult()->NotImplemented();

  const std::vector<uint8_t> success = {0x00, 0x00};
  const std::vector<uint8_t> error = {0x01, 0x07, 0x01, 0x45, 0x00, 0x00};
  EXPECT_EQ(sent_, std::vector<std::vector<uint8_t>>({success, success, error, {}}));
  EXPECT_TRUE(null_data_);
}

}  // namespace
}  // namespace weft
