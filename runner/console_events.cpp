#include "console_events.h"

#include <windows.h>

#include "win32_window.h"

namespace {

// Windows ends the process 5 s after the close event, whatever the handler does; the engine's
// end has to fit in that.
constexpr DWORD kCloseWaitMs = 4500;

// Written before the handler is installed, read by the threads the events run on.
DWORD ui_thread_id = 0;

// The window is closed on its own thread, which ends the process once wWinMain returns; this
// thread ends with it. So the wait is for the orderly end, and the bound for a window that stays.
BOOL CloseTheWindow() {
  const HWND window = FindOwnWindow(ui_thread_id);
  if (window == nullptr || !PostMessageW(window, WM_CLOSE, 0, 0)) {
    return FALSE;
  }
  Sleep(kCloseWaitMs);
  return TRUE;
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      return TRUE;
    case CTRL_CLOSE_EVENT:
      return CloseTheWindow();
    default:
      // Logoff and shutdown: the window gets WM_ENDSESSION.
      return FALSE;
  }
}

}  // namespace

void HandleConsoleEvents() {
  ui_thread_id = GetCurrentThreadId();
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}
