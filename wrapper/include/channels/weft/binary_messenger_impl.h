#ifndef WEFT_BINARY_MESSENGER_IMPL_H_
#define WEFT_BINARY_MESSENGER_IMPL_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "weft/binary_messenger.h"
#include "weft_windows.h"

namespace weft {

// The messenger over the engine library's messenger. Used on the UI thread only; the
// callbacks it hands to incoming messages may answer from any thread.
class BinaryMessengerImpl : public BinaryMessenger {
 public:
  // Takes no reference on messenger_handle.
  explicit BinaryMessengerImpl(WeftDesktopMessengerRef messenger_handle);
  // Makes no engine library call: the engine must be gone before its messenger object, or
  // it would go on calling handlers that no longer exist.
  ~BinaryMessengerImpl() override;

  void SendBytes(const std::string& channel, const uint8_t* message, size_t message_size,
                 ReplyCallback reply) const override;
  void SetChannelHandler(const std::string& channel, BinaryHandler handler) override;

 private:
  WeftDesktopMessengerRef messenger_handle_;
  // Map nodes never move, so the address of a stored handler, which the engine library
  // keeps as user data, stays valid for the life of its entry.
  std::map<std::string, BinaryHandler> channel_handlers_;
};

}  // namespace weft

#endif  // WEFT_BINARY_MESSENGER_IMPL_H_
