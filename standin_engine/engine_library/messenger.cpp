#include "messenger.h"

#include <set>

#include "call_ledger.h"
#include "diagnostic_stream.h"
#include "test_switches.h"

namespace standin {

namespace {

constexpr char kRefusedResponseLine[] =
    "Stand-in engine: response refused: the message was answered already or is unknown.";
constexpr char kLateResponseLine[] =
    "Stand-in engine: response refused: the messenger is no longer available.";
constexpr char kLockHeldLine[] =
    "Stand-in engine: messenger lock refused: this thread holds it already.";
constexpr char kLockNotHeldLine[] =
    "Stand-in engine: messenger unlock refused: this thread does not hold the lock.";

// Callers may copy from the bytes they are given, so an empty message still points somewhere.
constexpr uint8_t kNoBytes[1] = {};

// Handles are never reused, so a stale one cannot answer a newer message.
std::atomic<uint64_t> g_next_response_id{1};

struct Registry {
  std::mutex mutex;
  std::set<Messenger*> live;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

const uint8_t* Bytes(const uint8_t* bytes, size_t size) {
  return size == 0 || bytes == nullptr ? kNoBytes : bytes;
}

const WeftDesktopMessageResponseHandle* HandleOf(uint64_t id) {
  return reinterpret_cast<const WeftDesktopMessageResponseHandle*>(static_cast<uintptr_t>(id));
}

uint64_t IdOf(const WeftDesktopMessageResponseHandle* handle) {
  return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle));
}

}  // namespace

Messenger* Messenger::Create() {
  return new Messenger();
}

Messenger* Messenger::FromHandle(WeftDesktopMessengerRef handle) {
  return reinterpret_cast<Messenger*>(handle);
}

WeftDesktopMessengerRef Messenger::Handle() {
  return reinterpret_cast<WeftDesktopMessengerRef>(this);
}

Messenger::Messenger() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  registry.live.insert(this);
}

Messenger::~Messenger() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  registry.live.erase(this);
}

Messenger* Messenger::AddRef() {
  references_.fetch_add(1, std::memory_order_relaxed);
  return this;
}

void Messenger::Release() {
  if (references_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete this;
  }
}

bool Messenger::Lock() {
  if (lock_owner_.load() == std::this_thread::get_id()) {
    WriteDiagnosticLine(kLockHeldLine);
    return false;
  }
  host_lock_.lock();
  lock_owner_.store(std::this_thread::get_id());
  return true;
}

bool Messenger::Unlock() {
  if (lock_owner_.load() != std::this_thread::get_id()) {
    WriteDiagnosticLine(kLockNotHeldLine);
    return false;
  }
  lock_owner_.store(std::thread::id());
  host_lock_.unlock();
  return true;
}

bool Messenger::IsAvailable() const {
  std::lock_guard<std::mutex> hold(state_mutex_);
  return IsOpen();
}

bool Messenger::IsOpen() const {
  return available_ && !IsFailing(kWeftStandinMessengerIsAvailable);
}

void Messenger::End() {
  // Under the host's lock, so that a response in progress on another thread sees either side.
  const bool held_here = lock_owner_.load() == std::this_thread::get_id();
  if (!held_here) {
    host_lock_.lock();
  }
  std::vector<PendingSend> pending;
  std::map<uint64_t, ResponseSink> open;
  {
    std::lock_guard<std::mutex> hold(state_mutex_);
    available_ = false;
    callbacks_.clear();
    open.swap(open_responses_);
    pending.swap(pending_sends_);
  }
  if (!held_here) {
    host_lock_.unlock();
  }
  Answer(pending, nullptr, 0);
}

void Messenger::SetCallback(const std::string& channel, IncomingMessageFn callback,
                            void* user_data) {
  std::lock_guard<std::mutex> hold(state_mutex_);
  if (callback == nullptr) {
    callbacks_.erase(channel);
    return;
  }
  callbacks_[channel] = Callback{callback, user_data};
}

Delivery Messenger::Deliver(const std::string& channel, const uint8_t* bytes, size_t size,
                            ResponseSink sink) {
  Callback callback;
  uint64_t id = 0;
  {
    std::lock_guard<std::mutex> hold(state_mutex_);
    if (!IsOpen()) {
      return Delivery::kUnavailable;
    }
    const auto found = callbacks_.find(channel);
    if (found == callbacks_.end()) {
      return Delivery::kNoCallback;
    }
    callback = found->second;
    id = g_next_response_id.fetch_add(1);
    open_responses_.emplace(id, std::move(sink));
  }
  IncomingMessage message = {};
  message.struct_size = sizeof(message);
  message.channel = channel.c_str();
  message.message = Bytes(bytes, size);
  message.message_size = size;
  message.response_handle = HandleOf(id);
  callback.function(Handle(), &message, callback.user_data);
  return Delivery::kDelivered;
}

Response Messenger::Respond(const WeftDesktopMessageResponseHandle* handle, const uint8_t* bytes,
                            size_t size) {
  ResponseSink sink;
  {
    std::lock_guard<std::mutex> hold(state_mutex_);
    if (!IsOpen()) {
      WriteDiagnosticLine(kLateResponseLine);
      CountLateResponse();
      return Response::kUnavailable;
    }
    const auto found = open_responses_.find(IdOf(handle));
    if (found == open_responses_.end()) {
      WriteDiagnosticLine(kRefusedResponseLine);
      CountRefusedResponse();
      return Response::kUnknownHandle;
    }
    sink = std::move(found->second);
    open_responses_.erase(found);
  }
  if (sink) {
    sink(Bytes(bytes, size), size);
  }
  return Response::kSent;
}

bool Messenger::Send() {
  if (!IsAvailable()) {
    return false;
  }
  CountSentMessage();
  return true;
}

bool Messenger::SendWithReply(ReplyArrivedFn reply, void* user_data) {
  {
    std::lock_guard<std::mutex> hold(state_mutex_);
    if (!IsOpen()) {
      return false;
    }
    pending_sends_.push_back(PendingSend{reply, user_data});
  }
  CountSentMessage();
  return true;
}

std::vector<Messenger::PendingSend> Messenger::TakePendingSends() {
  std::lock_guard<std::mutex> hold(state_mutex_);
  std::vector<PendingSend> pending;
  pending.swap(pending_sends_);
  return pending;
}

void Messenger::Answer(const std::vector<PendingSend>& sends, const uint8_t* bytes, size_t size) {
  for (const PendingSend& send : sends) {
    send.reply(Bytes(bytes, size), size, send.user_data);
  }
}

int32_t Messenger::LiveCount() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> hold(registry.mutex);
  return static_cast<int32_t>(registry.live.size());
}

void Messenger::AnswerAllPendingSends(const uint8_t* bytes, size_t size) {
  std::vector<PendingSend> pending;
  {
    Registry& registry = TheRegistry();
    std::lock_guard<std::mutex> hold(registry.mutex);
    for (Messenger* messenger : registry.live) {
      std::vector<PendingSend> taken = messenger->TakePendingSends();
      pending.insert(pending.end(), taken.begin(), taken.end());
    }
  }
  Answer(pending, bytes, size);
}

}  // namespace standin
