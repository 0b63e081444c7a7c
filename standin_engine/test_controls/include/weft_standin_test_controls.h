// Test controls of the stand-in engine library, exported beside the engine interface.
//
// In-process tests use them to watch every engine library call, to make chosen calls fail,
// to let the engine consume a window message, and to play the application side of a channel.
// The product never calls them.
#ifndef WEFT_STANDIN_CONTROLS_H_
#define WEFT_STANDIN_CONTROLS_H_

#include "weft_windows.h"

#ifdef __cplusplus
extern "C" {
#endif

// One entry per function of the engine library interface.
typedef enum {
  kWeftStandinEngineCreate,
  kWeftStandinEngineDestroy,
  kWeftStandinEngineGetMessenger,
  kWeftStandinEngineGetPluginRegistrar,
  kWeftStandinEngineReloadSystemFonts,
  kWeftStandinEngineSetNextFrameCallback,
  kWeftStandinViewControllerCreate,
  kWeftStandinViewControllerDestroy,
  kWeftStandinViewControllerGetView,
  kWeftStandinViewControllerForceRedraw,
  kWeftStandinViewControllerHandleTopLevelWindowProc,
  kWeftStandinViewGetHWND,
  kWeftStandinMessengerSend,
  kWeftStandinMessengerSendWithReply,
  kWeftStandinMessengerSetCallback,
  kWeftStandinMessengerSendResponse,
  kWeftStandinMessengerAddRef,
  kWeftStandinMessengerRelease,
  kWeftStandinMessengerLock,
  kWeftStandinMessengerUnlock,
  kWeftStandinMessengerIsAvailable,
  kWeftStandinGetDpiForMonitor,
  kWeftStandinResyncOutputStreams,
  kWeftStandinCallKinds
} WeftStandinCall;

// Forgets counts, failures, consumed messages, observations and replies. Live objects stay.
WEFT_DESKTOP_EXPORT void WeftStandinReset(void);

// How often the function was called since the last reset.
WEFT_DESKTOP_EXPORT uint32_t WeftStandinCallCount(WeftStandinCall call);
// A global sequence number of the function's latest call (1, 2, ... across all functions
// since the last reset), or 0 when it was not called. Compares call orders.
WEFT_DESKTOP_EXPORT uint64_t WeftStandinLastCallSequence(WeftStandinCall call);

// Makes a function fail until cleared: WeftDesktopViewControllerCreate returns null,
// WeftDesktopMessengerSendWithReply returns false, WeftDesktopEngineCreate returns null.
// Failing WeftDesktopMessengerIsAvailable makes every messenger unavailable, not only that
// function's answer: nothing is delivered or sent, and responses are refused as after the
// engine's end; clearing it makes them available again. Other calls ignore it.
WEFT_DESKTOP_EXPORT void WeftStandinSetFailing(WeftStandinCall call, bool failing);

// WeftDesktopViewControllerHandleTopLevelWindowProc consumes this message with this result.
// Message 0 stops consuming.
WEFT_DESKTOP_EXPORT void WeftStandinConsumeWindowMessage(unsigned int message, intptr_t result);
// WeftDesktopViewControllerHandleTopLevelWindowProc writes this value into the result of this
// message and still returns false, leaving the message to the host. Message 0 stops it.
WEFT_DESKTOP_EXPORT void WeftStandinDeclineWindowMessage(unsigned int message, intptr_t written);

// What the host offered WeftDesktopViewControllerHandleTopLevelWindowProc.
typedef struct {
  WeftDesktopWindowHandle window;
  WeftDesktopWindowMessage message;
  WeftDesktopWParam wparam;
  WeftDesktopLParam lparam;
} WeftStandinOffer;
// The latest offer of this message since the last reset; false when there was none.
WEFT_DESKTOP_EXPORT bool WeftStandinLatestOffer(unsigned int message, WeftStandinOffer* offer);

// What the latest WeftDesktopEngineCreate and WeftDesktopViewControllerCreate received.
typedef struct {
  int32_t argument_count;
  bool argument_array_null;
  bool entrypoint_name_null;
  int32_t option_a;
  int32_t option_b;
  int32_t option_c;
  int32_t option_d;
  uint8_t option_flag;
  int32_t view_width;
  int32_t view_height;
} WeftStandinObserved;
WEFT_DESKTOP_EXPORT void WeftStandinGetObserved(WeftStandinObserved* observed);
// The argument at index as UTF-8 (copied by the stand-in), or null.
WEFT_DESKTOP_EXPORT const char* WeftStandinObservedArgument(int32_t index);
// The paths as passed, before resolution: 0 assets, 1 ICU data, 2 AOT library; or null.
WEFT_DESKTOP_EXPORT const wchar_t* WeftStandinObservedPath(int32_t which);

// A messenger without an engine, for tests of the channel layer on any platform. The caller
// holds the engine's reference; WeftStandinEndMessenger ends availability and drops it.
WEFT_DESKTOP_EXPORT WeftDesktopMessengerRef WeftStandinCreateMessenger(void);
WEFT_DESKTOP_EXPORT void WeftStandinEndMessenger(WeftDesktopMessengerRef messenger);
// Messengers not yet freed (their last reference not released).
WEFT_DESKTOP_EXPORT int32_t WeftStandinLiveMessengerCount(void);

// Plays the application side: delivers bytes on channel to the host's callback, on the
// calling thread, and returns an id for reading back the reply; 0 when the channel has no
// callback (nothing delivered).
WEFT_DESKTOP_EXPORT uint32_t WeftStandinInjectMessage(WeftDesktopMessengerRef messenger,
                                                      const char* channel, const uint8_t* bytes,
                                                      size_t size);
// -1 while the message is unanswered, otherwise the reply's size.
WEFT_DESKTOP_EXPORT int64_t WeftStandinReplySize(uint32_t id);
// Copies up to capacity bytes of the reply; returns the number copied.
WEFT_DESKTOP_EXPORT size_t WeftStandinReplyBytes(uint32_t id, uint8_t* buffer, size_t capacity);
// Responses refused because the handle was used already or is unknown.
WEFT_DESKTOP_EXPORT uint32_t WeftStandinRefusedResponseCount(void);
// Responses refused because their messenger had ended or was unavailable: a reply that reached
// the engine library after the engine's end.
WEFT_DESKTOP_EXPORT uint32_t WeftStandinLateResponseCount(void);

// Messages the host sent (with or without reply) since the last reset.
WEFT_DESKTOP_EXPORT uint32_t WeftStandinSentCount(void);
// Answers every pending send with reply with these bytes, on the calling thread.
WEFT_DESKTOP_EXPORT void WeftStandinAnswerPendingSends(const uint8_t* bytes, size_t size);

// Frames reported to a next-frame callback since the last reset.
WEFT_DESKTOP_EXPORT uint32_t WeftStandinFrameCount(void);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // WEFT_STANDIN_CONTROLS_H_
