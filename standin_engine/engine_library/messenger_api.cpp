// The messenger functions of the engine library interface.
#include <string>

#include "call_ledger.h"
#include "messenger.h"
#include "test_switches.h"
#include "weft_windows.h"

using standin::CountCall;
using standin::Messenger;

bool WeftDesktopMessengerSend(WeftDesktopMessengerRef messenger, const char* channel,
                              const uint8_t* /*message*/, size_t /*message_size*/) {
  CountCall(kWeftStandinMessengerSend);
  if (messenger == nullptr || channel == nullptr) {
    return false;
  }
  return Messenger::FromHandle(messenger)->Send();
}

bool WeftDesktopMessengerSendWithReply(WeftDesktopMessengerRef messenger, const char* channel,
                                       const uint8_t* /*message*/, size_t /*message_size*/,
                                       ReplyArrivedFn reply, void* user_data) {
  CountCall(kWeftStandinMessengerSendWithReply);
  if (standin::IsFailing(kWeftStandinMessengerSendWithReply)) {
    return false;
  }
  if (messenger == nullptr || channel == nullptr) {
    return false;
  }
  if (reply == nullptr) {
    return Messenger::FromHandle(messenger)->Send();
  }
  return Messenger::FromHandle(messenger)->SendWithReply(reply, user_data);
}

void WeftDesktopMessengerSetCallback(WeftDesktopMessengerRef messenger, const char* channel,
                                     IncomingMessageFn callback, void* user_data) {
  CountCall(kWeftStandinMessengerSetCallback);
  if (messenger == nullptr || channel == nullptr) {
    return;
  }
  Messenger::FromHandle(messenger)->SetCallback(channel, callback, user_data);
}

bool WeftDesktopMessengerSendResponse(WeftDesktopMessengerRef messenger,
                                      const WeftDesktopMessageResponseHandle* handle,
                                      const uint8_t* data, size_t data_size) {
  CountCall(kWeftStandinMessengerSendResponse);
  if (messenger == nullptr) {
    return false;
  }
  return Messenger::FromHandle(messenger)->Respond(handle, data, data_size) ==
         standin::Response::kSent;
}

WeftDesktopMessengerRef WeftDesktopMessengerAddRef(WeftDesktopMessengerRef messenger) {
  CountCall(kWeftStandinMessengerAddRef);
  if (messenger == nullptr) {
    return nullptr;
  }
  return Messenger::FromHandle(messenger)->AddRef()->Handle();
}

void WeftDesktopMessengerRelease(WeftDesktopMessengerRef messenger) {
  CountCall(kWeftStandinMessengerRelease);
  if (messenger != nullptr) {
    Messenger::FromHandle(messenger)->Release();
  }
}

WeftDesktopMessengerRef WeftDesktopMessengerLock(WeftDesktopMessengerRef messenger) {
  CountCall(kWeftStandinMessengerLock);
  if (messenger == nullptr || !Messenger::FromHandle(messenger)->Lock()) {
    return nullptr;
  }
  return messenger;
}

void WeftDesktopMessengerUnlock(WeftDesktopMessengerRef messenger) {
  CountCall(kWeftStandinMessengerUnlock);
  if (messenger != nullptr) {
    Messenger::FromHandle(messenger)->Unlock();
  }
}

bool WeftDesktopMessengerIsAvailable(WeftDesktopMessengerRef messenger) {
  CountCall(kWeftStandinMessengerIsAvailable);
  return messenger != nullptr && Messenger::FromHandle(messenger)->IsAvailable();
}
