#ifndef WEFT_METHOD_CODEC_H_
#define WEFT_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "weft/method_call.h"
#include "weft/method_result.h"

namespace weft {

// Turns method calls and their outcomes into byte strings and back. Stateless: one codec
// serves any number of channels.
template <typename T>
class MethodCodec {
 public:
  MethodCodec() = default;
  virtual ~MethodCodec() = default;

  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;

  // Null when the message does not start with a method name.
  virtual std::unique_ptr<MethodCall<T>> UnpackCall(const uint8_t* message,
                                                    size_t message_size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> PackCall(const MethodCall<T>& call) const = 0;
  // result is null when there is no value.
  virtual std::unique_ptr<std::vector<uint8_t>> PackSuccess(const T* result) const = 0;
  // details is null when there are none.
  virtual std::unique_ptr<std::vector<uint8_t>> PackError(const std::string& error_code,
                                                          const std::string& error_message,
                                                          const T* details) const = 0;
  // Delivers a success or error reply to result; false for an unknown reply tag.
  virtual bool UnpackReply(const uint8_t* reply, size_t reply_size,
                           MethodResult<T>* result) const = 0;
};

}  // namespace weft

#endif  // WEFT_METHOD_CODEC_H_
