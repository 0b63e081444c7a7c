// The test controls exported beside the engine library interface.
#include "call_ledger.h"
#include "messenger.h"
#include "observations.h"
#include "reply_book.h"
#include "test_switches.h"
#include "weft_standin_test_controls.h"

using standin::Messenger;

void WeftStandinReset(void) {
  standin::ResetLedger();
  standin::ResetSwitches();
  standin::ResetObservations();
  standin::ResetReplies();
}

uint32_t WeftStandinCallCount(WeftStandinCall call) {
  return standin::CallCount(call);
}

uint64_t WeftStandinLastCallSequence(WeftStandinCall call) {
  return standin::LastCallSequence(call);
}

void WeftStandinSetFailing(WeftStandinCall call, bool failing) {
  standin::SetFailing(call, failing);
}

void WeftStandinConsumeWindowMessage(unsigned int message, intptr_t result) {
  standin::SetConsumedMessage(standin::ConsumedMessage{message, result});
}

void WeftStandinDeclineWindowMessage(unsigned int message, intptr_t written) {
  standin::SetDeclinedMessage(standin::DeclinedMessage{message, written});
}

bool WeftStandinLatestOffer(unsigned int message, WeftStandinOffer* offer) {
  return standin::LatestOffer(message, offer);
}

void WeftStandinGetObserved(WeftStandinObserved* observed) {
  standin::FillObserved(observed);
}

const char* WeftStandinObservedArgument(int32_t index) {
  return standin::ObservedArgument(index);
}

const wchar_t* WeftStandinObservedPath(int32_t which) {
  return standin::ObservedPath(which);
}

WeftDesktopMessengerRef WeftStandinCreateMessenger(void) {
  return Messenger::Create()->Handle();
}

void WeftStandinEndMessenger(WeftDesktopMessengerRef messenger) {
  if (messenger == nullptr) {
    return;
  }
  Messenger* ended = Messenger::FromHandle(messenger);
  ended->End();
  ended->Release();
}

int32_t WeftStandinLiveMessengerCount(void) {
  return Messenger::LiveCount();
}

uint32_t WeftStandinInjectMessage(WeftDesktopMessengerRef messenger, const char* channel,
                                  const uint8_t* bytes, size_t size) {
  if (messenger == nullptr || channel == nullptr || (bytes == nullptr && size != 0)) {
    return 0;
  }
  const uint32_t id = standin::OpenReply();
  const auto store = [id](const uint8_t* reply, size_t reply_size) {
    standin::StoreReply(id, reply, reply_size);
  };
  if (Messenger::FromHandle(messenger)->Deliver(channel, bytes, size, store) !=
      standin::Delivery::kDelivered) {
    standin::ForgetReply(id);
    return 0;
  }
  return id;
}

int64_t WeftStandinReplySize(uint32_t id) {
  return standin::ReplySize(id);
}

size_t WeftStandinReplyBytes(uint32_t id, uint8_t* buffer, size_t capacity) {
  return standin::CopyReply(id, buffer, capacity);
}

uint32_t WeftStandinRefusedResponseCount(void) {
  return standin::RefusedResponseCount();
}

uint32_t WeftStandinLateResponseCount(void) {
  return standin::LateResponseCount();
}

uint32_t WeftStandinSentCount(void) {
  return standin::SentMessageCount();
}

void WeftStandinAnswerPendingSends(const uint8_t* bytes, size_t size) {
  if (bytes == nullptr) {
    size = 0;
  }
  Messenger::AnswerAllPendingSends(bytes, size);
}

uint32_t WeftStandinFrameCount(void) {
  return standin::ReportedFrameCount();
}
