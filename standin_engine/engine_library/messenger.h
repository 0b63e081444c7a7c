// The engine library's messenger: carries byte messages between the host and the application.
#ifndef STANDIN_ENGINE_MESSENGER_H_
#define STANDIN_ENGINE_MESSENGER_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "weft_windows.h"

namespace standin {

// Receives the host's response to one message that the application sent; may run on any thread.
using ResponseSink = std::function<void(const uint8_t* bytes, size_t size)>;

enum class Delivery { kDelivered, kNoCallback, kUnavailable };
enum class Response { kSent, kUnknownHandle, kUnavailable };

// Reference counted: created with one reference, the engine's, and freed with the last one.
class Messenger {
 public:
  static Messenger* Create();
  static Messenger* FromHandle(WeftDesktopMessengerRef handle);
  WeftDesktopMessengerRef Handle();

  Messenger* AddRef();
  void Release();

  // The host's lock. False when the calling thread holds it already (Lock) or does not (Unlock).
  bool Lock();
  bool Unlock();

  // False after End, and while the test controls pause every messenger (failing
  // IsAvailable): then nothing is delivered, sent or answered, but open messages and pending
  // sends are kept for when it is available again.
  bool IsAvailable() const;
  // For good: no more delivery or response; pending sends of the host get the empty reply.
  void End();

  // A null callback removes the channel's callback.
  void SetCallback(const std::string& channel, IncomingMessageFn callback, void* user_data);
  // From the application to the host's callback, on the calling thread.
  Delivery Deliver(const std::string& channel, const uint8_t* bytes, size_t size,
                   ResponseSink sink);
  // Each delivered message takes one response.
  Response Respond(const WeftDesktopMessageResponseHandle* handle, const uint8_t* bytes,
                   size_t size);

  // From the host to the application, which reads nothing of them; a send with reply stays
  // pending until AnswerAllPendingSends or End.
  bool Send();
  bool SendWithReply(ReplyArrivedFn reply, void* user_data);

  static int32_t LiveCount();
  static void AnswerAllPendingSends(const uint8_t* bytes, size_t size);

 private:
  struct Callback {
    IncomingMessageFn function = nullptr;
    void* user_data = nullptr;
  };
  struct PendingSend {
    ReplyArrivedFn reply = nullptr;
    void* user_data = nullptr;
  };

  Messenger();
  ~Messenger();
  Messenger(const Messenger&) = delete;
  Messenger& operator=(const Messenger&) = delete;

  // With state_mutex_ held.
  bool IsOpen() const;
  std::vector<PendingSend> TakePendingSends();
  static void Answer(const std::vector<PendingSend>& sends, const uint8_t* bytes, size_t size);

  std::atomic<int32_t> references_{1};
  std::mutex host_lock_;
  std::atomic<std::thread::id> lock_owner_{};

  mutable std::mutex state_mutex_;
  bool available_ = true;
  std::map<std::string, Callback> callbacks_;
  std::map<uint64_t, ResponseSink> open_responses_;
  std::vector<PendingSend> pending_sends_;
};

}  // namespace standin

#endif  // STANDIN_ENGINE_MESSENGER_H_
