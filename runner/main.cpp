#include <windows.h>

#include <objbase.h>

#include <string>
#include <utility>
#include <vector>

#include "console.h"
#include "console_events.h"
#include "crash_handler.h"
#include "engine_library.h"
#include "system_library.h"
#include "utils.h"
#include "weft/engine_project.h"
#include "weft_window.h"
#include "weft_windows.h"
#include "window_geometry.h"

namespace {

constexpr wchar_t kBundleFolder[] = L"data";
constexpr wchar_t kWindowTitle[] = L"Quillmere";
constexpr LogicalPoint kWindowOrigin = {10, 10};
// The engine library, the window or the engine could not be set up; the cause is on
// standard error.
constexpr int kExitStartFailed = 1;

// The quit message's code: 0 once the window is destroyed, as PostQuitMessage(0) says.
int RunMessageLoop() {
  MSG message = {};
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace

int APIENTRY wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  // First, so that every start-up line reaches the console the host was started from. It calls
  // only the console and the C runtime, and loads no library.
  const bool console = SetUpConsole();
  if (console) {
    HandleConsoleEvents();
  }
  RestrictLibrarySearch();
  // Before the engine library is loaded, so that no engine code runs without it. Without it the
  // host still runs; a crash then ends as the system's default handling ends it.
  InstallCrashHandler();
  if (!LoadEngineLibrary()) {
    return kExitStartFailed;
  }
  if (console) {
    // The engine library's own runtime may keep the standard streams as they were at start.
    WeftDesktopResyncOutputStreams();
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  weft::EngineProject project(kBundleFolder);
  std::vector<std::string> arguments = CollectCommandLineArguments();
  project.SetEntryArguments(std::move(arguments));

  WeftWindow window(project);

  const double scale = ScaleForDpi(ReadScreenDpi());
  const LogicalSize size =
      InitialWindowSize(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), scale);
  if (!window.OpenWindow(kWindowTitle, kWindowOrigin, size)) {
    return kExitStartFailed;
  }
  window.SetQuitOnDestroy(true);

  const int exit_code = RunMessageLoop();
  CoUninitialize();
  return exit_code;
}
