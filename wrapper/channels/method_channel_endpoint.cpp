#include "weft/method_channel_endpoint.h"

#include <utility>

#include "weft/diagnostic_line.h"
#include "weft/engine_method_result.h"

namespace weft {
namespace {

constexpr char kUndecodableMessageLine[] =
    "Unable to construct method call from message on channel ";

// Captures copies only, so the handler keeps working after the channel object is gone.
BinaryHandler MakeBinaryHandler(MethodHandler method_handler,
                                const MethodCodec<EncodableValue>* codec, std::string name) {
  return [method_handler = std::move(method_handler), codec, name = std::move(name)](
             const uint8_t* message, size_t message_size, ReplyCallback reply) {
    // Made before decoding, so that an undecodable message is answered through it too.
    auto result = std::make_unique<EngineMethodResult<EncodableValue>>(std::move(reply), codec);
    std::unique_ptr<MethodCall<EncodableValue>> call = codec->UnpackCall(message, message_size);
    if (call == nullptr) {
      WriteDiagnosticLine(kUndecodableMessageLine, name);
      result->NotImplemented();
      return;
    }
    method_handler(*call, std::move(result));
  };
}

}  // namespace

MethodChannelEndpoint::MethodChannelEndpoint(BinaryMessenger* messenger, const std::string& name,
                                             const MethodCodec<EncodableValue>* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

void MethodChannelEndpoint::InstallMethodHandler(MethodHandler handler) const {
  if (!handler) {
    messenger_->SetChannelHandler(name_, nullptr);
    return;
  }
  messenger_->SetChannelHandler(name_, MakeBinaryHandler(std::move(handler), codec_, name_));
}

}  // namespace weft
