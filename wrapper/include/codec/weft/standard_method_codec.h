#ifndef WEFT_STANDARD_METHOD_CODEC_H_
#define WEFT_STANDARD_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "weft/encodable_value.h"
#include "weft/method_call.h"
#include "weft/method_codec.h"
#include "weft/method_result.h"
#include "weft/standard_codec_serializer.h"

namespace weft {

// Frames method calls and replies around values of the standard message format. One codec
// exists per serializer, shared process-wide and never destroyed.
class StandardMethodCodec : public MethodCodec<EncodableValue> {
 public:
  // The codec bound to serializer; null means the shared standard serializer. Not locked:
  // callers on different threads must not overlap.
  static const StandardMethodCodec& ForSerializer(
      const StandardCodecSerializer* serializer = nullptr);

  std::unique_ptr<MethodCall<EncodableValue>> UnpackCall(const uint8_t* message,
                                                         size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> PackCall(
      const MethodCall<EncodableValue>& call) const override;
  std::unique_ptr<std::vector<uint8_t>> PackSuccess(const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> PackError(const std::string& error_code,
                                                  const std::string& error_message,
                                                  const EncodableValue* details) const override;
  // Throws std::bad_variant_access for an error reply whose code is not a string or whose
  // message is neither a string nor null; the result then receives nothing.
  bool UnpackReply(const uint8_t* reply, size_t reply_size,
                   MethodResult<EncodableValue>* result) const override;

 private:
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer);

  const StandardCodecSerializer* serializer_;
};

}  // namespace weft

#endif  // WEFT_STANDARD_METHOD_CODEC_H_
