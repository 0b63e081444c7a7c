// Closes the running host's window as a user would, so that it shuts down normally.
#include <windows.h>

namespace {

constexpr wchar_t kWindowClass[] = L"WEFT_RUNNER_WIN32_WINDOW";
constexpr int kAttempts = 100;
constexpr DWORD kPauseMilliseconds = 100;

}  // namespace

int wmain() {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    HWND window = FindWindowW(kWindowClass, nullptr);
    if (window != nullptr) {
      PostMessageW(window, WM_CLOSE, 0, 0);
      return 0;
    }
    Sleep(kPauseMilliseconds);
  }
  return 1;
}
