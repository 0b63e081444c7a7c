// The C interface of the engine library weft_windows.dll, as the host uses it. The functions it
// declares are listed again, for linking, in weft_windows.def beside it.
//
// The header includes no Windows header, so that the portable channel layer can use the
// messenger part of it on any platform. The window types are spelled the way <windows.h>
// spells them on 64-bit Windows (STRICT handles, pointer-sized message parameters), so
// HWND, HMONITOR, WPARAM, LPARAM and LRESULT pass unchanged.
#ifndef WEFT_WINDOWS_H_
#define WEFT_WINDOWS_H_

#include <stddef.h>
#include <stdint.h>

#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#if defined(WEFT_DESKTOP_IMPLEMENTATION)
#define WEFT_DESKTOP_EXPORT __declspec(dllexport)
#else
#define WEFT_DESKTOP_EXPORT __declspec(dllimport)
#endif
#else
#define WEFT_DESKTOP_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

struct HWND__;
struct HMONITOR__;

typedef struct WeftDesktopEngine* WeftDesktopEngineRef;
typedef struct WeftDesktopViewController* WeftDesktopViewControllerRef;
typedef struct WeftDesktopView* WeftDesktopViewRef;
typedef struct WeftDesktopMessenger* WeftDesktopMessengerRef;
typedef struct WeftDesktopPluginRegistrar* WeftDesktopPluginRegistrarRef;
typedef struct WeftDesktopMessageResponseHandle WeftDesktopMessageResponseHandle;

typedef struct HWND__* WeftDesktopWindowHandle;       // HWND
typedef struct HMONITOR__* WeftDesktopMonitorHandle;  // HMONITOR
typedef unsigned int WeftDesktopWindowMessage;        // UINT
typedef uintptr_t WeftDesktopWParam;                  // WPARAM
typedef intptr_t WeftDesktopLParam;                   // LPARAM
typedef intptr_t WeftDesktopLResult;                  // LRESULT

// Zero-filled by the caller, valid only during WeftDesktopEngineCreate.
typedef struct {
  const wchar_t* assets_folder;
  const wchar_t* icu_data_file;
  const wchar_t* aot_library_file;
  const char* entrypoint_name;
  int32_t argument_count;
  const char** argument_array;  // argument_count UTF-8 strings; null when there are none
  int32_t option_a;
  int32_t option_b;
  int32_t option_c;
  int32_t option_d;
  uint8_t option_flag;
} EngineCreateParams;

// The host reads message, message_size and response_handle only.
typedef struct {
  size_t struct_size;
  const char* channel;
  const uint8_t* message;
  size_t message_size;
  const WeftDesktopMessageResponseHandle* response_handle;
} IncomingMessage;

typedef void (*IncomingMessageFn)(WeftDesktopMessengerRef messenger, const IncomingMessage* message,
                                  void* user_data);
typedef void (*ReplyArrivedFn)(const uint8_t* data, size_t data_size, void* user_data);
typedef void (*NextFrameFn)(void* user_data);

WEFT_DESKTOP_EXPORT WeftDesktopEngineRef WeftDesktopEngineCreate(const EngineCreateParams* params);
WEFT_DESKTOP_EXPORT bool WeftDesktopEngineDestroy(WeftDesktopEngineRef engine);
WEFT_DESKTOP_EXPORT WeftDesktopMessengerRef
WeftDesktopEngineGetMessenger(WeftDesktopEngineRef engine);
WEFT_DESKTOP_EXPORT WeftDesktopPluginRegistrarRef
WeftDesktopEngineGetPluginRegistrar(WeftDesktopEngineRef engine, const char* plugin_name);
WEFT_DESKTOP_EXPORT void WeftDesktopEngineReloadSystemFonts(WeftDesktopEngineRef engine);
WEFT_DESKTOP_EXPORT void WeftDesktopEngineSetNextFrameCallback(WeftDesktopEngineRef engine,
                                                               NextFrameFn callback,
                                                               void* user_data);

// Takes over the engine, also when it returns null.
WEFT_DESKTOP_EXPORT WeftDesktopViewControllerRef
WeftDesktopViewControllerCreate(int32_t width, int32_t height, WeftDesktopEngineRef engine);
WEFT_DESKTOP_EXPORT void WeftDesktopViewControllerDestroy(WeftDesktopViewControllerRef controller);
WEFT_DESKTOP_EXPORT WeftDesktopViewRef
WeftDesktopViewControllerGetView(WeftDesktopViewControllerRef controller);
WEFT_DESKTOP_EXPORT void WeftDesktopViewControllerForceRedraw(
    WeftDesktopViewControllerRef controller);
// True when the engine consumed the message; the result is stored only then.
WEFT_DESKTOP_EXPORT bool WeftDesktopViewControllerHandleTopLevelWindowProc(
    WeftDesktopViewControllerRef controller, WeftDesktopWindowHandle window,
    WeftDesktopWindowMessage message, WeftDesktopWParam wparam, WeftDesktopLParam lparam,
    WeftDesktopLResult* result);
WEFT_DESKTOP_EXPORT WeftDesktopWindowHandle WeftDesktopViewGetHWND(WeftDesktopViewRef view);

WEFT_DESKTOP_EXPORT bool WeftDesktopMessengerSend(WeftDesktopMessengerRef messenger,
                                                  const char* channel, const uint8_t* message,
                                                  size_t message_size);
// True: reply is called exactly once later. False: it is never called.
WEFT_DESKTOP_EXPORT bool WeftDesktopMessengerSendWithReply(WeftDesktopMessengerRef messenger,
                                                           const char* channel,
                                                           const uint8_t* message,
                                                           size_t message_size,
                                                           ReplyArrivedFn reply, void* user_data);
// A null callback removes the channel's callback.
WEFT_DESKTOP_EXPORT void WeftDesktopMessengerSetCallback(WeftDesktopMessengerRef messenger,
                                                         const char* channel,
                                                         IncomingMessageFn callback,
                                                         void* user_data);
WEFT_DESKTOP_EXPORT bool WeftDesktopMessengerSendResponse(
    WeftDesktopMessengerRef messenger, const WeftDesktopMessageResponseHandle* handle,
    const uint8_t* data, size_t data_size);
WEFT_DESKTOP_EXPORT WeftDesktopMessengerRef
WeftDesktopMessengerAddRef(WeftDesktopMessengerRef messenger);
WEFT_DESKTOP_EXPORT void WeftDesktopMessengerRelease(WeftDesktopMessengerRef messenger);
WEFT_DESKTOP_EXPORT WeftDesktopMessengerRef
WeftDesktopMessengerLock(WeftDesktopMessengerRef messenger);
WEFT_DESKTOP_EXPORT void WeftDesktopMessengerUnlock(WeftDesktopMessengerRef messenger);
WEFT_DESKTOP_EXPORT bool WeftDesktopMessengerIsAvailable(WeftDesktopMessengerRef messenger);

WEFT_DESKTOP_EXPORT uint32_t WeftDesktopGetDpiForMonitor(WeftDesktopMonitorHandle monitor);
WEFT_DESKTOP_EXPORT void WeftDesktopResyncOutputStreams(void);

#ifdef __cplusplus
}  // extern "C"

static_assert(sizeof(EngineCreateParams) == 72, "EngineCreateParams is 72 bytes");
static_assert(offsetof(EngineCreateParams, assets_folder) == 0, "assets_folder at 0");
static_assert(offsetof(EngineCreateParams, icu_data_file) == 8, "icu_data_file at 8");
static_assert(offsetof(EngineCreateParams, aot_library_file) == 16, "aot_library_file at 16");
static_assert(offsetof(EngineCreateParams, entrypoint_name) == 24, "entrypoint_name at 24");
static_assert(offsetof(EngineCreateParams, argument_count) == 32, "argument_count at 32");
static_assert(offsetof(EngineCreateParams, argument_array) == 40, "argument_array at 40");
static_assert(offsetof(EngineCreateParams, option_a) == 48, "option_a at 48");
static_assert(offsetof(EngineCreateParams, option_b) == 52, "option_b at 52");
static_assert(offsetof(EngineCreateParams, option_c) == 56, "option_c at 56");
static_assert(offsetof(EngineCreateParams, option_d) == 60, "option_d at 60");
static_assert(offsetof(EngineCreateParams, option_flag) == 64, "option_flag at 64");
static_assert(offsetof(IncomingMessage, message) == 16, "message bytes at 16");
static_assert(offsetof(IncomingMessage, message_size) == 24, "message size at 24");
static_assert(offsetof(IncomingMessage, response_handle) == 32, "response handle at 32");
static_assert(sizeof(size_t) == 8, "counts are 64-bit");
#endif

#endif  // WEFT_WINDOWS_H_
