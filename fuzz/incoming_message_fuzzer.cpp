// The whole incoming path on any bytes: a message on "quillmere/window" goes through the
// stand-in engine library's messenger, BinaryMessengerImpl's dispatch, the method channel and
// the standard method codec to a title handler on a fake window. Every message gets exactly one
// reply, and that reply is the success envelope for "setTitle" and the empty reply otherwise.
// The window's title, checked against the target's own decode of the message, becomes the
// string argument of "setTitle" up to its first NUL and stays as it was for any other message.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "allocation_meter.h"
#include "diagnostic_sink.h"
#include "fuzz_check.h"
#include "weft/binary_messenger_impl.h"
#include "weft/encodable_value.h"
#include "weft/method_call.h"
#include "weft/method_channel_endpoint.h"
#include "weft/method_result.h"
#include "weft/standard_method_codec.h"
#include "weft_standin_test_controls.h"

namespace {

using weft::EncodableValue;

constexpr char kChannel[] = "quillmere/window";
constexpr char kSetTitle[] = "setTitle";
// Not empty, so that a title set to the empty string is told from one left alone.
constexpr char kInitialTitle[] = "Quillmere";
const std::vector<uint8_t> kSuccessEnvelope = {0x00, 0x00};

// Stands for the window: what its title handler saw and did.
struct FakeWindow {
  std::string title = kInitialTitle;
  bool set_title_called = false;
};

// The rules of the host's title handler, on the fake window: "setTitle" with a string sets the
// title up to its first NUL and succeeds, "setTitle" with anything else only succeeds, every
// other method is not implemented.
void HandleTitleCall(FakeWindow* window, const weft::MethodCall<EncodableValue>& call,
                     std::unique_ptr<weft::MethodResult<EncodableValue>> result) {
  if (call.method_name() != kSetTitle) {
    result->NotImplemented();
    return;
  }
  window->set_title_called = true;
  const auto* title = call.arguments() ? std::get_if<std::string>(call.arguments()) : nullptr;
  if (title != nullptr) {
    window->title = title->substr(0, title->find('\0'));
  }
  result->Success();
}

// The host side, set up once: the messenger with the title channel registered on it.
struct Host {
  Host()
      : handle(WeftStandinCreateMessenger()),
        messenger(handle),
        channel(&messenger, kChannel, &weft::StandardMethodCodec::ForSerializer()) {
    channel.InstallMethodHandler(
        [this](const weft::MethodCall<EncodableValue>& call,
               std::unique_ptr<weft::MethodResult<EncodableValue>> result) {
          HandleTitleCall(&window, call, std::move(result));
        });
  }

  WeftDesktopMessengerRef handle;
  weft::BinaryMessengerImpl messenger;
  weft::MethodChannelEndpoint channel;
  FakeWindow window;
};

Host& TheHost() {
  // Never destroyed: the engine library's messenger keeps the handler's address until exit.
  static Host* host = new Host();
  return *host;
}

std::vector<uint8_t> ReplyTo(uint32_t id) {
  const int64_t size = WeftStandinReplySize(id);
  fuzz::Check(size >= 0, "every message is answered before its dispatch returns");
  std::vector<uint8_t> reply(static_cast<size_t>(size));
  fuzz::Check(WeftStandinReplyBytes(id, reply.data(), reply.size()) == reply.size(),
              "the reply can be read back");
  return reply;
}

// Decodes the message apart from the channel, after the memory check: "setTitle" with a string
// sets the title to the string up to its first NUL, and anything else leaves it as it was.
void CheckTitle(const FakeWindow& window, const uint8_t* data, size_t size) {
  const std::unique_ptr<weft::MethodCall<EncodableValue>> call =
      weft::StandardMethodCodec::ForSerializer(nullptr).UnpackCall(data, size);
  const bool set_title = call != nullptr && call->method_name() == kSetTitle;
  fuzz::Check(window.set_title_called == set_title,
              "the handler is asked to set the title exactly for a setTitle call");
  const std::string* argument = set_title && call->arguments() != nullptr
                                    ? std::get_if<std::string>(call->arguments())
                                    : nullptr;
  // c_str() ends the string at its first NUL.
  const std::string expected = argument != nullptr ? argument->c_str() : kInitialTitle;
  fuzz::Check(window.title == expected,
              "the title is the setTitle argument up to its first NUL, or stays as it was");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::InstallDiagnosticSink();
  TheHost();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Host& host = TheHost();
  host.window = FakeWindow();

  fuzz::AllocationMeter meter;
  const uint32_t id = WeftStandinInjectMessage(host.handle, kChannel, data, size);
  meter.CheckWithinBound(size, "handling an incoming message");
  fuzz::Check(id != 0, "the channel is registered and the message delivered");

  const std::vector<uint8_t> reply = ReplyTo(id);
  fuzz::Check(reply == kSuccessEnvelope || reply.empty(),
              "the reply is the success envelope or the empty reply");
  fuzz::Check((reply == kSuccessEnvelope) == host.window.set_title_called,
              "exactly the calls of setTitle succeed");
  fuzz::Check(WeftStandinRefusedResponseCount() == 0, "no message is answered twice");
  CheckTitle(host.window, data, size);

  // The stand-in keeps every reply until it is reset.
  WeftStandinReset();
  return 0;
}
