#include "weft/method_channel_endpoint.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "standin_messenger_test_support.h"
#include "weft/binary_messenger_impl.h"
#include "weft/encodable_value.h"
#include "weft/standard_method_codec.h"
#include "weft_standin_test_controls.h"

namespace weft {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

using Call = MethodCall<EncodableValue>;
using Result = std::unique_ptr<MethodResult<EncodableValue>>;

const std::string kChannel = "quillmere/window";
// "setTitle" with the string Hello.
const std::vector<uint8_t> kSetTitleHello = {0x07, 0x08, 0x73, 0x65, 0x74, 0x54, 0x69, 0x74, 0x6C,
                                             0x65, 0x07, 0x05, 0x48, 0x65, 0x6C, 0x6C, 0x6F};
const std::vector<uint8_t> kSuccessReply = {0x00, 0x00};
const std::vector<uint8_t> kEmptyReply;
constexpr char kReaderLine[] = "Invalid read in StandardCodecByteStreamReader\n";
constexpr char kNotACallLine[] = "Invalid method call; method name is not a string.\n";
constexpr char kUndecodableLine[] =
    "Unable to construct method call from message on channel quillmere/window\n";
constexpr char kUnansweredLine[] =
    "Warning: Failed to respond to a message. This is a memory leak.\n";
constexpr char kUncaughtExceptionLine[] =
    "Error: A channel handler or reply callback threw an exception; it was ignored.\n";

class MethodChannelEndpointTest : public StandinMessengerTest {
 protected:
  void SetUp() override {
    StandinMessengerTest::SetUp();
    messenger_ = std::make_unique<BinaryMessengerImpl>(handle());
    channel_ = std::make_unique<MethodChannelEndpoint>(messenger_.get(), kChannel, &codec());
  }

  void TearDown() override {
    EndEngine();
    kept_.clear();
    channel_.reset();
    messenger_.reset();
    StandinMessengerTest::TearDown();
  }

  static const MethodCodec<EncodableValue>& codec() {
    return StandardMethodCodec::ForSerializer(nullptr);
  }

  // Installs a handler that records each call's method name and string argument.
  void RecordCalls(std::function<void(Result&)> answer) {
    channel_->InstallMethodHandler([this, answer](const Call& call, Result result) {
      const auto* text = call.arguments() ? std::get_if<std::string>(call.arguments()) : nullptr;
      calls_.push_back(call.method_name() + "(" + (text ? *text : "?") + ")");
      answer(result);
      if (result != nullptr) {
        kept_.push_back(std::move(result));
      }
    });
  }

  std::unique_ptr<BinaryMessengerImpl> messenger_;
  std::unique_ptr<MethodChannelEndpoint> channel_;
  std::vector<std::string> calls_;
  std::vector<Result> kept_;
};

TEST_F(MethodChannelEndpointTest, ACallReachesTheHandlerAndSuccessRepliesWithTwoZeroBytes) {
  RecordCalls([](Result& result) { result->Success(); });

  CaptureStderr();
  const uint32_t id = Inject(kChannel, kSetTitleHello);

  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(calls_, std::vector<std::string>{"setTitle(Hello)"});
  EXPECT_EQ(Reply(id), kSuccessReply);
  EXPECT_EQ(Count(kWeftStandinMessengerSendResponse), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 1u);
}

TEST_F(MethodChannelEndpointTest, ASingleZeroByteIsAnsweredEmptyAfterTwoLines) {
  RecordCalls([](Result& result) { result->Success(); });

  CaptureStderr();
  const uint32_t id = Inject(kChannel, {0x00});

  EXPECT_EQ(GetCapturedStderr(), std::string(kNotACallLine) + kUndecodableLine);
  EXPECT_EQ(Reply(id), kEmptyReply);
  EXPECT_TRUE(calls_.empty());
}

TEST_F(MethodChannelEndpointTest, AnEmptyMessageIsAnsweredEmptyAfterTheReaderLineAndTwoMore) {
  RecordCalls([](Result& result) { result->Success(); });

  CaptureStderr();
  const uint32_t id = Inject(kChannel, {});

  EXPECT_EQ(GetCapturedStderr(), std::string(kReaderLine) + kNotACallLine + kUndecodableLine);
  EXPECT_EQ(Reply(id), kEmptyReply);
  EXPECT_TRUE(calls_.empty());
}

TEST_F(MethodChannelEndpointTest, AResultDroppedUnansweredWarnsOnceAndNoReplyIsSent) {
  channel_->InstallMethodHandler([](const Call&, Result) {});

  CaptureStderr();
  const uint32_t id = Inject(kChannel, kSetTitleHello);

  EXPECT_EQ(GetCapturedStderr(), kUnansweredLine);
  EXPECT_TRUE(Unanswered(id));
  EXPECT_EQ(Count(kWeftStandinMessengerSendResponse), 0u);
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 1u);
}

TEST_F(MethodChannelEndpointTest, AKeptResultAnswersAfterTheHandlerHasReturned) {
  RecordCalls([](Result&) {});
  const uint32_t id = Inject(kChannel, kSetTitleHello);
  ASSERT_EQ(kept_.size(), 1u);
  EXPECT_TRUE(Unanswered(id));
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 0u);

  CaptureStderr();
  kept_[0]->Success();
  kept_.clear();

  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(Reply(id), kSuccessReply);
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 1u);
}

TEST_F(MethodChannelEndpointTest, AnEmptyHandlerRemovesTheRegistration) {
  RecordCalls([](Result& result) { result->Success(); });
  channel_->InstallMethodHandler(nullptr);

  EXPECT_EQ(Inject(kChannel, kSetTitleHello), 0u);
  EXPECT_TRUE(calls_.empty());
}

TEST_F(MethodChannelEndpointTest, TheHandlerKeepsWorkingAfterTheChannelObjectIsGone) {
  channel_ =
      std::make_unique<MethodChannelEndpoint>(messenger_.get(), std::string(kChannel), &codec());
  RecordCalls([](Result& result) { result->Success(); });
  channel_.reset();

  EXPECT_EQ(Reply(Inject(kChannel, kSetTitleHello)), kSuccessReply);
  EXPECT_EQ(calls_, std::vector<std::string>{"setTitle(Hello)"});

  CaptureStderr();
  Inject(kChannel, {0x00});
  EXPECT_EQ(GetCapturedStderr(), std::string(kNotACallLine) + kUndecodableLine);
}

TEST_F(MethodChannelEndpointTest, AHandlerThatThrowsBeforeAnsweringLeavesTheMessageUnanswered) {
  channel_->InstallMethodHandler(
      [](const Call&, Result) { throw std::runtime_error("handler failed"); });

  CaptureStderr();
  const uint32_t id = Inject(kChannel, kSetTitleHello);

  EXPECT_EQ(GetCapturedStderr(), std::string(kUnansweredLine) + kUncaughtExceptionLine);
  EXPECT_TRUE(Unanswered(id));
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 1u);
}

TEST_F(MethodChannelEndpointTest, AHandlerThatThrowsAfterAnsweringKeepsItsOneAnswer) {
  channel_->InstallMethodHandler([](const Call&, Result result) {
    result->Success();
    throw std::runtime_error("handler failed");
  });

  CaptureStderr();
  const uint32_t id = Inject(kChannel, kSetTitleHello);

  EXPECT_EQ(GetCapturedStderr(), kUncaughtExceptionLine);
  EXPECT_EQ(Reply(id), kSuccessReply);
  EXPECT_EQ(Count(kWeftStandinMessengerSendResponse), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 1u);
}

}  // namespace
}  // namespace weft
