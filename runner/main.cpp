#include <windows.h>

#include <objbase.h>

#include <string>
#include <utility>
#include <vector>

#include "crash_handler.h"
#include "engine_library.h"
#include "system_library.h"
#include "utils.h"
#include "weft/engine_project.h"
#include "weft_window.h"
#include "window_geometry.h"

namespace {

constexpr wchar_t kBundleFolder[] = L"data";
constexpr wchar_t kWindowTitle[] = L"Quillmere";
constexpr LogicalPoint kWindowOrigin = {10, 10};
constexpr int kExitSuccess = 0;
// The engine library, the window or the engine could not be set up; the cause is on
// standard error.
constexpr int kExitStartFailed = 1;

}  // namespace

int APIENTRY wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  RestrictLibrarySearch();
  // Before the engine library is loaded, so that no engine code runs without it. Without it the
  // host still runs; a crash then ends as the system's default handling ends it.
  InstallCrashHandler();
  // First the console, so that a failed load is reported where every other start-up line goes.
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && IsDebuggerPresent()) {
    AttachDebugConsole();
  }
  if (!LoadEngineLibrary()) {
    return kExitStartFailed;
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

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  CoUninitialize();
  return kExitSuccess;
}
