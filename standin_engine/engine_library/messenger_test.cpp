#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "weft_standin_test_controls.h"
#include "weft_windows.h"

namespace {

using Bytes = std::vector<uint8_t>;

// What the host's side of a channel saw; keeps the response handles to answer later.
struct Listener {
  int calls = 0;
  WeftDesktopMessengerRef messenger = nullptr;
  Bytes bytes;
  bool bytes_pointer_null = false;
  std::vector<const WeftDesktopMessageResponseHandle*> handles;
};

void Listen(WeftDesktopMessengerRef messenger, const IncomingMessage* message, void* user_data) {
  auto* listener = static_cast<Listener*>(user_data);
  ++listener->calls;
  listener->messenger = messenger;
  listener->bytes_pointer_null = message->message == nullptr;
  listener->bytes.assign(message->message, message->message + message->message_size);
  listener->handles.push_back(message->response_handle);
}

struct Replies {
  int calls = 0;
  Bytes bytes;
};

void CollectReply(const uint8_t* data, size_t size, void* user_data) {
  auto* replies = static_cast<Replies*>(user_data);
  ++replies->calls;
  replies->bytes.assign(data, data + size);
}

Bytes ReplyOf(uint32_t id) {
  const int64_t size = WeftStandinReplySize(id);
  if (size < 0) {
    return {};
  }
  Bytes bytes(static_cast<size_t>(size));
  bytes.resize(WeftStandinReplyBytes(id, bytes.data(), bytes.size()));
  return bytes;
}

class MessengerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WeftStandinReset();
    live_before_ = WeftStandinLiveMessengerCount();
    messenger_ = WeftStandinCreateMessenger();
  }
  void TearDown() override {
    if (messenger_ != nullptr) {
      WeftStandinEndMessenger(messenger_);
    }
    EXPECT_EQ(WeftStandinLiveMessengerCount(), live_before_);
    WeftStandinReset();
  }

  uint32_t Inject(const char* channel, const Bytes& bytes) {
    return WeftStandinInjectMessage(messenger_, channel, bytes.data(), bytes.size());
  }

  void End() {
    WeftStandinEndMessenger(messenger_);
    messenger_ = nullptr;
  }

  int32_t live_before_ = 0;
  WeftDesktopMessengerRef messenger_ = nullptr;
  Listener listener_;
};

TEST_F(MessengerTest, TheLastReferenceFreesIt) {
  EXPECT_EQ(WeftStandinLiveMessengerCount(), live_before_ + 1);
  WeftDesktopMessengerRef held = WeftDesktopMessengerAddRef(messenger_);
  EXPECT_EQ(held, messenger_);
  End();
  EXPECT_EQ(WeftStandinLiveMessengerCount(), live_before_ + 1);
  EXPECT_FALSE(WeftDesktopMessengerIsAvailable(held));
  WeftDesktopMessengerRelease(held);
  EXPECT_EQ(WeftStandinLiveMessengerCount(), live_before_);
}

TEST_F(MessengerTest, DeliversToTheChannelsCallbackOnly) {
  WeftDesktopMessengerSetCallback(messenger_, "a/b", Listen, &listener_);
  EXPECT_EQ(Inject("c/d", {0x01}), 0u);
  EXPECT_EQ(listener_.calls, 0);

  EXPECT_NE(Inject("a/b", {0x07, 0x00}), 0u);
  EXPECT_EQ(listener_.calls, 1);
  EXPECT_EQ(listener_.messenger, messenger_);
  EXPECT_EQ(listener_.bytes, (Bytes{0x07, 0x00}));
}

TEST_F(MessengerTest, AnEmptyMessageStillPointsAtBytes) {
  WeftDesktopMessengerSetCallback(messenger_, "a/b", Listen, &listener_);
  EXPECT_NE(WeftStandinInjectMessage(messenger_, "a/b", nullptr, 0), 0u);
  EXPECT_FALSE(listener_.bytes_pointer_null);
  EXPECT_TRUE(listener_.bytes.empty());
}

TEST_F(MessengerTest, NullCallbackRemovesTheChannel) {
  WeftDesktopMessengerSetCallback(messenger_, "a/b", Listen, &listener_);
  WeftDesktopMessengerSetCallback(messenger_, "a/b", nullptr, nullptr);
  EXPECT_EQ(Inject("a/b", {0x01}), 0u);
  EXPECT_EQ(listener_.calls, 0);
}

TEST_F(MessengerTest, EachMessageIsAnsweredOnceOnly) {
  WeftDesktopMessengerSetCallback(messenger_, "a/b", Listen, &listener_);
  const uint32_t id = Inject("a/b", {0x01});
  EXPECT_EQ(WeftStandinReplySize(id), -1);
  const Bytes success = {0x00, 0x00};
  const Bytes other = {0x01};
  EXPECT_TRUE(WeftDesktopMessengerSendResponse(messenger_, listener_.handles.at(0), success.data(),
                                               success.size()));
  EXPECT_FALSE(WeftDesktopMessengerSendResponse(messenger_, listener_.handles.at(0), other.data(),
                                                other.size()));
  EXPECT_EQ(ReplyOf(id), success);
  EXPECT_EQ(WeftStandinRefusedResponseCount(), 1u);
}

TEST_F(MessengerTest, UnknownHandlesAreRefused) {
  const auto* made_up = reinterpret_cast<const WeftDesktopMessageResponseHandle*>(uintptr_t{77});
  EXPECT_FALSE(WeftDesktopMessengerSendResponse(messenger_, made_up, nullptr, 0));
  EXPECT_FALSE(WeftDesktopMessengerSendResponse(messenger_, nullptr, nullptr, 0));
  EXPECT_EQ(WeftStandinRefusedResponseCount(), 2u);
}

TEST_F(MessengerTest, AHandleOfAnotherMessengerIsUnknown) {
  WeftDesktopMessengerRef other = WeftStandinCreateMessenger();
  Listener other_listener;
  WeftDesktopMessengerSetCallback(other, "a/b", Listen, &other_listener);
  const uint32_t id = WeftStandinInjectMessage(other, "a/b", nullptr, 0);
  EXPECT_FALSE(
      WeftDesktopMessengerSendResponse(messenger_, other_listener.handles.at(0), nullptr, 0));
  EXPECT_EQ(WeftStandinReplySize(id), -1);
  WeftStandinEndMessenger(other);
}

TEST_F(MessengerTest, AfterTheEndNothingIsDeliveredOrAnswered) {
  WeftDesktopMessengerSetCallback(messenger_, "a/b", Listen, &listener_);
  const uint32_t id = Inject("a/b", {0x01});
  WeftDesktopMessengerRef held = WeftDesktopMessengerAddRef(messenger_);
  End();
  EXPECT_FALSE(WeftDesktopMessengerIsAvailable(held));
  EXPECT_FALSE(WeftDesktopMessengerSendResponse(held, listener_.handles.at(0), nullptr, 0));
  EXPECT_EQ(WeftStandinReplySize(id), -1);
  EXPECT_EQ(WeftStandinRefusedResponseCount(), 0u);
  EXPECT_EQ(WeftStandinInjectMessage(held, "a/b", nullptr, 0), 0u);
  EXPECT_EQ(listener_.calls, 1);
  WeftDesktopMessengerRelease(held);
}

TEST_F(MessengerTest, AResponseMayComeFromAnotherThread) {
  WeftDesktopMessengerSetCallback(messenger_, "a/b", Listen, &listener_);
  const uint32_t id = Inject("a/b", {0x01});
  WeftDesktopMessengerRef held = WeftDesktopMessengerAddRef(messenger_);
  const WeftDesktopMessageResponseHandle* handle = listener_.handles.at(0);
  bool sent = false;
  std::thread responder([held, handle, &sent] {
    const uint8_t reply[] = {0x00, 0x07};
    WeftDesktopMessengerRef locked = WeftDesktopMessengerLock(held);
    if (WeftDesktopMessengerIsAvailable(held)) {
      sent = WeftDesktopMessengerSendResponse(held, handle, reply, sizeof(reply));
    }
    WeftDesktopMessengerUnlock(locked);
    WeftDesktopMessengerRelease(held);
  });
  responder.join();
  EXPECT_TRUE(sent);
  EXPECT_EQ(ReplyOf(id), (Bytes{0x00, 0x07}));
}

TEST_F(MessengerTest, TheLockExcludesOtherThreads) {
  WeftDesktopMessengerRef locked = WeftDesktopMessengerLock(messenger_);
  ASSERT_EQ(locked, messenger_);
  std::atomic<bool> entered{false};
  std::thread other([this, &entered] {
    WeftDesktopMessengerRef inner = WeftDesktopMessengerLock(messenger_);
    entered = true;
    WeftDesktopMessengerUnlock(inner);
  });
  // No event marks a thread that stays out: it gets this long to get in, which it must not.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(entered);
  WeftDesktopMessengerUnlock(locked);
  other.join();
  EXPECT_TRUE(entered);
}

TEST_F(MessengerTest, LockingTwiceOnOneThreadIsRefusedInsteadOfHanging) {
  WeftDesktopMessengerRef locked = WeftDesktopMessengerLock(messenger_);
  EXPECT_EQ(WeftDesktopMessengerLock(messenger_), nullptr);
  WeftDesktopMessengerUnlock(locked);
  WeftDesktopMessengerUnlock(locked);
  EXPECT_EQ(WeftDesktopMessengerLock(messenger_), messenger_);
  WeftDesktopMessengerUnlock(messenger_);
}

TEST_F(MessengerTest, ASendWithReplyIsAnsweredExactlyOnce) {
  Replies replies;
  const Bytes message = {0x01};
  EXPECT_TRUE(WeftDesktopMessengerSendWithReply(messenger_, "a/b", message.data(), message.size(),
                                                CollectReply, &replies));
  EXPECT_TRUE(WeftDesktopMessengerSend(messenger_, "a/b", message.data(), message.size()));
  EXPECT_EQ(WeftStandinSentCount(), 2u);
  EXPECT_EQ(replies.calls, 0);

  const Bytes answer = {0x00, 0x01};
  WeftStandinAnswerPendingSends(answer.data(), answer.size());
  WeftStandinAnswerPendingSends(answer.data(), answer.size());
  End();
  EXPECT_EQ(replies.calls, 1);
  EXPECT_EQ(replies.bytes, answer);
}

TEST_F(MessengerTest, TheEndAnswersPendingSendsWithTheEmptyReply) {
  Replies replies;
  EXPECT_TRUE(
      WeftDesktopMessengerSendWithReply(messenger_, "a/b", nullptr, 0, CollectReply, &replies));
  End();
  EXPECT_EQ(replies.calls, 1);
  EXPECT_TRUE(replies.bytes.empty());
}

TEST_F(MessengerTest, SendsAreRefusedWhenFailingOrEnded) {
  Replies replies;
  WeftStandinSetFailing(kWeftStandinMessengerSendWithReply, true);
  EXPECT_FALSE(
      WeftDesktopMessengerSendWithReply(messenger_, "a/b", nullptr, 0, CollectReply, &replies));
  WeftStandinSetFailing(kWeftStandinMessengerSendWithReply, false);

  WeftDesktopMessengerRef held = WeftDesktopMessengerAddRef(messenger_);
  End();
  EXPECT_FALSE(WeftDesktopMessengerSendWithReply(held, "a/b", nullptr, 0, CollectReply, &replies));
  EXPECT_FALSE(WeftDesktopMessengerSend(held, "a/b", nullptr, 0));
  WeftStandinAnswerPendingSends(nullptr, 0);
  EXPECT_EQ(replies.calls, 0);
  EXPECT_EQ(WeftStandinSentCount(), 0u);
  WeftDesktopMessengerRelease(held);
}

// Failing availability pauses the messenger as the end would stop it, but only until cleared:
// the message delivered before can still be answered afterwards.
TEST_F(MessengerTest, FailingAvailabilityPausesDeliveryAndResponsesUntilCleared) {
  WeftDesktopMessengerSetCallback(messenger_, "a/b", Listen, &listener_);
  const uint32_t id = Inject("a/b", {0x01});
  const Bytes answer = {0x00, 0x00};
  Replies replies;
  WeftStandinSetFailing(kWeftStandinMessengerIsAvailable, true);
  EXPECT_FALSE(WeftDesktopMessengerIsAvailable(messenger_));
  EXPECT_EQ(Inject("a/b", {0x02}), 0u);
  EXPECT_FALSE(WeftDesktopMessengerSendResponse(messenger_, listener_.handles.at(0), answer.data(),
                                                answer.size()));
  EXPECT_FALSE(
      WeftDesktopMessengerSendWithReply(messenger_, "a/b", nullptr, 0, CollectReply, &replies));
  EXPECT_EQ(WeftStandinReplySize(id), -1);
  EXPECT_EQ(WeftStandinLateResponseCount(), 1u);
  EXPECT_EQ(listener_.calls, 1);

  WeftStandinSetFailing(kWeftStandinMessengerIsAvailable, false);
  EXPECT_TRUE(WeftDesktopMessengerIsAvailable(messenger_));
  EXPECT_TRUE(WeftDesktopMessengerSendResponse(messenger_, listener_.handles.at(0), answer.data(),
                                               answer.size()));
  EXPECT_EQ(ReplyOf(id), answer);
  EXPECT_NE(Inject("a/b", {0x02}), 0u);
  EXPECT_EQ(WeftStandinRefusedResponseCount(), 0u);
}

TEST_F(MessengerTest, CountsAndOrdersEveryCall) {
  WeftDesktopMessengerIsAvailable(messenger_);
  WeftDesktopMessengerRelease(WeftDesktopMessengerAddRef(messenger_));
  WeftDesktopMessengerIsAvailable(nullptr);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinMessengerIsAvailable), 2u);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinMessengerAddRef), 1u);
  EXPECT_EQ(WeftStandinLastCallSequence(kWeftStandinMessengerAddRef), 2u);
  EXPECT_EQ(WeftStandinLastCallSequence(kWeftStandinMessengerRelease), 3u);
  EXPECT_EQ(WeftStandinLastCallSequence(kWeftStandinMessengerIsAvailable), 4u);
  EXPECT_EQ(WeftStandinLastCallSequence(kWeftStandinMessengerLock), 0u);
  WeftStandinReset();
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinMessengerIsAvailable), 0u);
}

}  // namespace
