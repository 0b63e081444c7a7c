#include "weft/binary_messenger_impl.h"

#include <memory>
#include <utility>

#include "weft/diagnostic_line.h"

namespace weft {
namespace {

constexpr char kDuplicateResponseLine[] =
    "Error: Response can be set only once. Ignoring duplicate response.";
constexpr char kUncaughtExceptionLine[] =
    "Error: A channel handler or reply callback threw an exception; it was ignored.";

void ReleaseMessenger(WeftDesktopMessengerRef messenger) {
  if (messenger != nullptr) {
    WeftDesktopMessengerRelease(messenger);
  }
}

// One engine library reference on a messenger, shared by copies that may be released on
// different threads; the last holder releases the reference.
class SharedMessengerHandle {
 public:
  // Takes over one reference on messenger. Should the shared count not be allocated, the
  // reference is released before the failure leaves.
  explicit SharedMessengerHandle(WeftDesktopMessengerRef messenger)
      : messenger_(messenger, &ReleaseMessenger) {}

  WeftDesktopMessengerRef get() const { return messenger_.get(); }

 private:
  std::shared_ptr<WeftDesktopMessenger> messenger_;
};

// Holds the engine library's messenger lock for its lifetime.
class MessengerLock {
 public:
  explicit MessengerLock(WeftDesktopMessengerRef messenger)
      : locked_(WeftDesktopMessengerLock(messenger)) {}
  ~MessengerLock() {
    if (locked_ != nullptr) {
      WeftDesktopMessengerUnlock(locked_);
    }
  }

  MessengerLock(const MessengerLock&) = delete;
  MessengerLock& operator=(const MessengerLock&) = delete;

 private:
  WeftDesktopMessengerRef locked_;
};

// Answers one incoming message, at most once per copy. Callable from any thread, also after
// the engine has gone: the shared handle keeps the engine library's messenger alive, and the
// lock keeps its availability from changing between the test and the response.
class ResponseSender {
 public:
  ResponseSender(SharedMessengerHandle messenger,
                 const WeftDesktopMessageResponseHandle* response_handle)
      : messenger_(std::move(messenger)), response_handle_(response_handle) {}

  void operator()(const uint8_t* data, size_t data_size) {
    MessengerLock lock(messenger_.get());
    if (!WeftDesktopMessengerIsAvailable(messenger_.get())) {
      return;
    }
    if (response_handle_ == nullptr) {
      WriteDiagnosticLine(kDuplicateResponseLine);
      return;
    }
    WeftDesktopMessengerSendResponse(messenger_.get(), response_handle_, data, data_size);
    response_handle_ = nullptr;
  }

 private:
  SharedMessengerHandle messenger_;
  const WeftDesktopMessageResponseHandle* response_handle_;
};

static_assert(ReplyCallback::kStoredInPlace<ResponseSender>,
              "answering an incoming message must not need a heap allocation");

// The callback waiting for the reply to one sent message; its address is the send's user data.
struct PendingReply {
  ReplyCallback reply;
};

void Dispatch(WeftDesktopMessengerRef messenger, const IncomingMessage& message,
              const BinaryHandler& handler) {
  const WeftDesktopMessageResponseHandle* response_handle = message.response_handle;
  SharedMessengerHandle shared(WeftDesktopMessengerAddRef(messenger));
  ReplyCallback reply(ResponseSender(shared, response_handle));
  handler(message.message, message.message_size, std::move(reply));
}

// Called by the engine library for every message on a registered channel; user_data is the
// channel's stored handler, so no lookup by name is needed.
void DispatchIncomingMessage(WeftDesktopMessengerRef messenger, const IncomingMessage* message,
                             void* user_data) {
  try {
    Dispatch(messenger, *message, *static_cast<const BinaryHandler*>(user_data));
  } catch (...) {
    WriteDiagnosticLine(kUncaughtExceptionLine);
  }
}

// Called by the engine library exactly once for every accepted send with reply.
void DeliverReplyToSender(const uint8_t* data, size_t data_size, void* user_data) {
  std::unique_ptr<PendingReply> pending(static_cast<PendingReply*>(user_data));
  try {
    pending->reply(data, data_size);
  } catch (...) {
    WriteDiagnosticLine(kUncaughtExceptionLine);
  }
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(WeftDesktopMessengerRef messenger_handle)
    : messenger_handle_(messenger_handle) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::SendBytes(const std::string& channel, const uint8_t* message,
                                    size_t message_size, ReplyCallback reply) const {
  if (!reply) {
    WeftDesktopMessengerSend(messenger_handle_, channel.c_str(), message, message_size);
    return;
  }
  auto pending = std::make_unique<PendingReply>(PendingReply{std::move(reply)});
  if (WeftDesktopMessengerSendWithReply(messenger_handle_, channel.c_str(), message, message_size,
                                        &DeliverReplyToSender, pending.get())) {
    // From now on DeliverReplyToSender owns the record.
    static_cast<void>(pending.release());
  }
}

void BinaryMessengerImpl::SetChannelHandler(const std::string& channel, BinaryHandler handler) {
  if (!handler) {
    channel_handlers_.erase(channel);
    WeftDesktopMessengerSetCallback(messenger_handle_, channel.c_str(), nullptr, nullptr);
    return;
  }
  BinaryHandler& stored = channel_handlers_[channel];
  stored = std::move(handler);
  WeftDesktopMessengerSetCallback(messenger_handle_, channel.c_str(), &DispatchIncomingMessage,
                                  &stored);
}

}  // namespace weft
