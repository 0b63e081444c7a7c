#include "minimal_messenger.h"

#include <atomic>
#include <mutex>

struct WeftDesktopMessenger {
  IncomingMessageFn callback = nullptr;
  void* user_data = nullptr;
  std::atomic<int> references{1};
  std::recursive_mutex lock;
  std::vector<uint8_t> response;
};

struct WeftDesktopMessageResponseHandle {};

namespace weft_bench {
namespace {

constexpr char kChannelName[] = "inkmoor/window";

WeftDesktopMessenger messenger;
WeftDesktopMessageResponseHandle response_handle;

}  // namespace

WeftDesktopMessengerRef MinimalMessenger() {
  return &messenger;
}

void InjectMessage(const uint8_t* message, size_t message_size) {
  IncomingMessage incoming = {};
  incoming.struct_size = sizeof(incoming);
  incoming.channel = kChannelName;
  incoming.message = message;
  incoming.message_size = message_size;
  incoming.response_handle = &response_handle;
  messenger.callback(&messenger, &incoming, messenger.user_data);
}

const std::vector<uint8_t>& LastResponse() {
  return messenger.response;
}

}  // namespace weft_bench

extern "C" {

bool WeftDesktopMessengerSend(WeftDesktopMessengerRef, const char*, const uint8_t*, size_t) {
  return true;
}

bool WeftDesktopMessengerSendWithReply(WeftDesktopMessengerRef, const char*, const uint8_t*, size_t,
                                       ReplyArrivedFn, void*) {
  return false;
}

void WeftDesktopMessengerSetCallback(WeftDesktopMessengerRef target, const char*,
                                     IncomingMessageFn callback, void* user_data) {
  target->callback = callback;
  target->user_data = user_data;
}

bool WeftDesktopMessengerSendResponse(WeftDesktopMessengerRef target,
                                      const WeftDesktopMessageResponseHandle*, const uint8_t* data,
                                      size_t data_size) {
  target->response.assign(data, data + data_size);
  return true;
}

WeftDesktopMessengerRef WeftDesktopMessengerAddRef(WeftDesktopMessengerRef target) {
  target->references.fetch_add(1, std::memory_order_relaxed);
  return target;
}

void WeftDesktopMessengerRelease(WeftDesktopMessengerRef target) {
  target->references.fetch_sub(1, std::memory_order_acq_rel);
}

WeftDesktopMessengerRef WeftDesktopMessengerLock(WeftDesktopMessengerRef target) {
  target->lock.lock();
  return target;
}

void WeftDesktopMessengerUnlock(WeftDesktopMessengerRef target) {
  target->lock.unlock();
}

bool WeftDesktopMessengerIsAvailable(WeftDesktopMessengerRef) {
  return true;
}

}  // extern "C"
