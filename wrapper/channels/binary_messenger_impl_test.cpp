#include "weft/binary_messenger_impl.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "standin_messenger_test_support.h"
#include "weft_standin_test_controls.h"

namespace weft {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const std::string kChannel = "test/channel";
const std::vector<uint8_t> kMessage = {0x07, 0x01, 0x41};
const std::vector<uint8_t> kAnswer = {0x00, 0x00};
constexpr char kDuplicateResponseLine[] =
    "Error: Response can be set only once. Ignoring duplicate response.\n";
constexpr char kUncaughtExceptionLine[] =
    "Error: A channel handler or reply callback threw an exception; it was ignored.\n";

// Watches one callable: how many copies of it live, how often it was called and with what.
struct Watch {
  int live = 0;
  int calls = 0;
  int live_during_call = 0;
  std::vector<uint8_t> bytes;
};

class WatchedReply {
 public:
  explicit WatchedReply(Watch* watch) : watch_(watch) { ++watch_->live; }
  WatchedReply(const WatchedReply& other) : watch_(other.watch_) { ++watch_->live; }
  WatchedReply& operator=(const WatchedReply&) = delete;
  ~WatchedReply() { --watch_->live; }

  void operator()(const uint8_t* data, size_t size) const {
    ++watch_->calls;
    watch_->live_during_call = watch_->live;
    watch_->bytes.assign(data, data + size);
  }

 private:
  Watch* watch_;
};

class BinaryMessengerImplTest : public StandinMessengerTest {
 protected:
  void SetUp() override {
    StandinMessengerTest::SetUp();
    messenger_ = std::make_unique<BinaryMessengerImpl>(handle());
  }

  void TearDown() override {
    EndEngine();
    kept_.clear();
    messenger_.reset();
    StandinMessengerTest::TearDown();
  }

  // Registers a handler that keeps every reply callback it receives in kept_.
  void KeepReplies() {
    messenger_->SetChannelHandler(kChannel, [this](const uint8_t*, size_t, ReplyCallback reply) {
      kept_.push_back(std::move(reply));
    });
  }

  std::unique_ptr<BinaryMessengerImpl> messenger_;
  std::vector<ReplyCallback> kept_;
};

TEST_F(BinaryMessengerImplTest, ConstructionAndDestructionCallNothing) {
  const uint32_t before = TotalCount();
  { BinaryMessengerImpl other(handle()); }
  EXPECT_EQ(TotalCount(), before);

  KeepReplies();
  const uint32_t registered = TotalCount();
  messenger_.reset();
  EXPECT_EQ(TotalCount(), registered);
}

TEST_F(BinaryMessengerImplTest, SendingWithoutAReplyNeverAsksForOne) {
  messenger_->SendBytes(kChannel, kMessage.data(), kMessage.size(), nullptr);

  EXPECT_EQ(Count(kWeftStandinMessengerSend), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerSendWithReply), 0u);
  EXPECT_EQ(WeftStandinSentCount(), 1u);
}

TEST_F(BinaryMessengerImplTest, AnAcceptedSendEndsItsRecordRightAfterItsOneReply) {
  Watch watch;
  messenger_->SendBytes(kChannel, kMessage.data(), kMessage.size(), WatchedReply(&watch));

  EXPECT_EQ(Count(kWeftStandinMessengerSendWithReply), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerSend), 0u);
  EXPECT_EQ(watch.live, 1);
  EXPECT_EQ(watch.calls, 0);

  WeftStandinAnswerPendingSends(kAnswer.data(), kAnswer.size());
  EXPECT_EQ(watch.calls, 1);
  EXPECT_EQ(watch.live_during_call, 1);
  EXPECT_EQ(watch.bytes, kAnswer);
  EXPECT_EQ(watch.live, 0);

  WeftStandinAnswerPendingSends(kAnswer.data(), kAnswer.size());
  EXPECT_EQ(watch.calls, 1);
}

TEST_F(BinaryMessengerImplTest, ARefusedSendEndsItsRecordAtOnceUncalled) {
  WeftStandinSetFailing(kWeftStandinMessengerSendWithReply, true);
  Watch watch;
  messenger_->SendBytes(kChannel, kMessage.data(), kMessage.size(), WatchedReply(&watch));

  EXPECT_EQ(Count(kWeftStandinMessengerSendWithReply), 1u);
  EXPECT_EQ(watch.live, 0);

  WeftStandinSetFailing(kWeftStandinMessengerSendWithReply, false);
  WeftStandinAnswerPendingSends(kAnswer.data(), kAnswer.size());
  EXPECT_EQ(watch.calls, 0);
}

TEST_F(BinaryMessengerImplTest, AThrowingReplyCallbackIsContainedAndItsRecordEnds) {
  Watch watch;
  messenger_->SendBytes(kChannel, kMessage.data(), kMessage.size(),
                        [guard = WatchedReply(&watch)](const uint8_t*, size_t) {
                          throw std::runtime_error("reply callback failed");
                        });

  CaptureStderr();
  WeftStandinAnswerPendingSends(kAnswer.data(), kAnswer.size());
  EXPECT_EQ(GetCapturedStderr(), kUncaughtExceptionLine);
  EXPECT_EQ(watch.live, 0);
}

TEST_F(BinaryMessengerImplTest, RemovingAChannelNeverRegisteredStillClearsItsCallback) {
  messenger_->SetChannelHandler(kChannel, nullptr);

  EXPECT_EQ(Count(kWeftStandinMessengerSetCallback), 1u);
  EXPECT_EQ(Inject(kChannel, kMessage), 0u);
}

TEST_F(BinaryMessengerImplTest, RemovingAHandlerDropsItUncalledAndStopsDelivery) {
  Watch watch;
  messenger_->SetChannelHandler(
      kChannel, [guard = WatchedReply(&watch)](const uint8_t* data, size_t size, ReplyCallback) {
        guard(data, size);
      });
  messenger_->SetChannelHandler(kChannel, nullptr);

  EXPECT_EQ(Count(kWeftStandinMessengerSetCallback), 2u);
  EXPECT_EQ(watch.live, 0);
  EXPECT_EQ(Inject(kChannel, kMessage), 0u);
  EXPECT_EQ(watch.calls, 0);
}

TEST_F(BinaryMessengerImplTest, ASecondHandlerReplacesTheFirst) {
  std::vector<int> reached;
  messenger_->SetChannelHandler(
      kChannel, [&reached](const uint8_t*, size_t, ReplyCallback) { reached.push_back(1); });
  messenger_->SetChannelHandler(
      kChannel, [&reached](const uint8_t*, size_t, ReplyCallback) { reached.push_back(2); });

  EXPECT_NE(Inject(kChannel, kMessage), 0u);
  EXPECT_EQ(reached, std::vector<int>{2});
  EXPECT_EQ(Count(kWeftStandinMessengerSetCallback), 2u);
}

TEST_F(BinaryMessengerImplTest, AMessageIsAnsweredOnceUnderTheLockAndReleasedOnce) {
  std::vector<uint8_t> received;
  messenger_->SetChannelHandler(kChannel,
                                [&received](const uint8_t* data, size_t size, ReplyCallback reply) {
                                  received.assign(data, data + size);
                                  reply(kAnswer.data(), kAnswer.size());
                                });

  const uint32_t id = Inject(kChannel, kMessage);

  EXPECT_EQ(received, kMessage);
  EXPECT_EQ(Reply(id), kAnswer);
  EXPECT_EQ(Count(kWeftStandinMessengerAddRef), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerLock), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerIsAvailable), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerSendResponse), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerUnlock), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 1u);
  EXPECT_LT(Sequence(kWeftStandinMessengerAddRef), Sequence(kWeftStandinMessengerLock));
  EXPECT_LT(Sequence(kWeftStandinMessengerLock), Sequence(kWeftStandinMessengerIsAvailable));
  EXPECT_LT(Sequence(kWeftStandinMessengerIsAvailable),
            Sequence(kWeftStandinMessengerSendResponse));
  EXPECT_LT(Sequence(kWeftStandinMessengerSendResponse), Sequence(kWeftStandinMessengerUnlock));
  EXPECT_LT(Sequence(kWeftStandinMessengerUnlock), Sequence(kWeftStandinMessengerRelease));
}

TEST_F(BinaryMessengerImplTest, TheReleaseWaitsForTheLastCopyOfTheReply) {
  KeepReplies();
  const uint32_t id = Inject(kChannel, kMessage);
  ASSERT_EQ(kept_.size(), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 0u);

  kept_.push_back(kept_[0]);
  kept_[0] = nullptr;
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 0u);

  kept_.clear();
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 1u);
  EXPECT_TRUE(Unanswered(id));
}

TEST_F(BinaryMessengerImplTest, ASecondResponseSendsNothingAndWritesOneLine) {
  messenger_->SetChannelHandler(kChannel, [](const uint8_t*, size_t, ReplyCallback reply) {
    reply(kAnswer.data(), kAnswer.size());
    reply(kMessage.data(), kMessage.size());
  });

  CaptureStderr();
  const uint32_t id = Inject(kChannel, kMessage);
  EXPECT_EQ(GetCapturedStderr(), kDuplicateResponseLine);
  EXPECT_EQ(Reply(id), kAnswer);
  EXPECT_EQ(Count(kWeftStandinMessengerSendResponse), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerUnlock), 2u);
  EXPECT_EQ(WeftStandinRefusedResponseCount(), 0u);
}

TEST_F(BinaryMessengerImplTest, WhileUnavailableNothingIsSentButTheLockIsReleased) {
  KeepReplies();
  const uint32_t id = Inject(kChannel, kMessage);
  WeftStandinSetFailing(kWeftStandinMessengerIsAvailable, true);

  CaptureStderr();
  kept_[0](kAnswer.data(), kAnswer.size());
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(Count(kWeftStandinMessengerSendResponse), 0u);
  EXPECT_EQ(Count(kWeftStandinMessengerLock), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerUnlock), 1u);
  EXPECT_TRUE(Unanswered(id));

  WeftStandinSetFailing(kWeftStandinMessengerIsAvailable, false);
  kept_[0](kAnswer.data(), kAnswer.size());
  EXPECT_EQ(Reply(id), kAnswer);
}

TEST_F(BinaryMessengerImplTest, AResponseFromAnotherThreadIsSent) {
  KeepReplies();
  const uint32_t id = Inject(kChannel, kMessage);
  ReplyCallback reply = std::move(kept_[0]);
  kept_.clear();

  std::thread worker([reply = std::move(reply)]() mutable {
    reply(kAnswer.data(), kAnswer.size());
    reply = nullptr;
  });
  worker.join();

  EXPECT_EQ(Reply(id), kAnswer);
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 1u);
}

TEST_F(BinaryMessengerImplTest, AResponseAfterTheEngineHasEndedSendsNothing) {
  KeepReplies();
  const uint32_t id = Inject(kChannel, kMessage);
  const int32_t live = WeftStandinLiveMessengerCount();
  EndEngine();
  messenger_.reset();
  EXPECT_EQ(WeftStandinLiveMessengerCount(), live);

  CaptureStderr();
  kept_[0](kAnswer.data(), kAnswer.size());
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(Count(kWeftStandinMessengerSendResponse), 0u);
  EXPECT_EQ(Count(kWeftStandinMessengerUnlock), Count(kWeftStandinMessengerLock));
  EXPECT_TRUE(Unanswered(id));

  kept_.clear();
  EXPECT_EQ(WeftStandinLiveMessengerCount(), live - 1);
}

TEST_F(BinaryMessengerImplTest, AThrowingHandlerIsContainedAndTheMessageReleased) {
  messenger_->SetChannelHandler(kChannel, [](const uint8_t*, size_t, ReplyCallback) {
    throw std::runtime_error("handler failed");
  });

  CaptureStderr();
  const uint32_t id = Inject(kChannel, kMessage);
  EXPECT_EQ(GetCapturedStderr(), kUncaughtExceptionLine);
  EXPECT_TRUE(Unanswered(id));
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), 1u);
}

}  // namespace
}  // namespace weft
