#ifndef RUNNER_WINDOW_TITLE_CHANNEL_H_
#define RUNNER_WINDOW_TITLE_CHANNEL_H_

#include <memory>

#include "weft/binary_messenger.h"
#include "weft/encodable_value.h"
#include "weft/method_call.h"
#include "weft/method_channel_endpoint.h"
#include "weft/method_result.h"
#include "win32_window.h"

// The one channel the host offers: the application sets the window title with "setTitle".
inline constexpr char kWindowChannelName[] = "quillmere/window";
inline constexpr char kSetTitleMethod[] = "setTitle";

// Answers every call before it returns: success for "setTitle" (whatever its argument),
// not implemented for any other method.
void HandleTitleCall(const Win32Window& window, const weft::MethodCall<weft::EncodableValue>& call,
                     std::unique_ptr<weft::MethodResult<weft::EncodableValue>> result);

// Opens "quillmere/window" on the messenger and serves it with HandleTitleCall on window,
// which must outlive every call.
std::unique_ptr<weft::MethodChannelEndpoint> OpenWindowTitleChannel(
    weft::BinaryMessenger* messenger, Win32Window* window);

#endif  // RUNNER_WINDOW_TITLE_CHANNEL_H_
