#ifndef WEFT_METHOD_CHANNEL_ENDPOINT_H_
#define WEFT_METHOD_CHANNEL_ENDPOINT_H_

#include <functional>
#include <memory>
#include <string>

#include "weft/binary_messenger.h"
#include "weft/encodable_value.h"
#include "weft/method_call.h"
#include "weft/method_codec.h"
#include "weft/method_result.h"

namespace weft {

// Receives each call on a channel with the result that answers it. The handler answers at
// once or keeps the result to answer later; may be empty.
using MethodHandler = std::function<void(const MethodCall<EncodableValue>& call,
                                         std::unique_ptr<MethodResult<EncodableValue>> result)>;

// Gives a channel name method-call semantics for calls from the application side.
class MethodChannelEndpoint {
 public:
  // messenger and codec must outlive every message on the channel. Registers nothing.
  MethodChannelEndpoint(BinaryMessenger* messenger, const std::string& name,
                        const MethodCodec<EncodableValue>* codec);
  // Leaves the registration in force: the registered handler holds copies of all it needs.
  ~MethodChannelEndpoint() = default;

  MethodChannelEndpoint(const MethodChannelEndpoint&) = delete;
  MethodChannelEndpoint& operator=(const MethodChannelEndpoint&) = delete;

  // Serves the channel with handler, replacing what was registered under its name; an empty
  // handler removes the registration.
  void InstallMethodHandler(MethodHandler handler) const;

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec<EncodableValue>* codec_;
};

}  // namespace weft

#endif  // WEFT_METHOD_CHANNEL_ENDPOINT_H_
