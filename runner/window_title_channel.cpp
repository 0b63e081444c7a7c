#include "window_title_channel.h"

#include <windows.h>

#include <string>
#include <utility>

#include "weft/standard_method_codec.h"

namespace {

// Reads up to the first NUL; ill-formed UTF-8 becomes replacement characters, not a failure.
std::wstring Utf8ToWide(const std::string& text) {
  const int count = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(count > 0 ? static_cast<size_t>(count) - 1 : 0, L'\0');
  if (count > 0) {
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), count);
  }
  return wide;
}

}  // namespace

void HandleTitleCall(const Win32Window& window, const weft::MethodCall<weft::EncodableValue>& call,
                     std::unique_ptr<weft::MethodResult<weft::EncodableValue>> result) {
  if (call.method_name() != kSetTitleMethod) {
    result->NotImplemented();
    return;
  }
  const auto* title = call.arguments() ? std::get_if<std::string>(call.arguments()) : nullptr;
  if (title != nullptr && window.NativeHandle() != nullptr) {
    SetWindowTextW(window.NativeHandle(), Utf8ToWide(*title).c_str());
  }
  result->Success();
}

std::unique_ptr<weft::MethodChannelEndpoint> OpenWindowTitleChannel(
    weft::BinaryMessenger* messenger, Win32Window* window) {
  auto channel = std::make_unique<weft::MethodChannelEndpoint>(
      messenger, kWindowChannelName, &weft::StandardMethodCodec::ForSerializer(nullptr));
  channel->InstallMethodHandler(
      [window](const weft::MethodCall<weft::EncodableValue>& call,
               std::unique_ptr<weft::MethodResult<weft::EncodableValue>> result) {
        HandleTitleCall(*window, call, std::move(result));
      });
  return channel;
}
