// The start-up floor: the least a Win32 program does to put a window on the screen and go
// away again. Registers a class, creates and shows a window, says so on standard output, then
// closes it through the message loop.

#include <windows.h>

#include <cstdio>

namespace {

constexpr wchar_t kClassName[] = L"MinimalWindow";
constexpr wchar_t kTitle[] = L"Minimal window";
constexpr char kShownLine[] = "shown\n";

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show_command) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kClassName;
  if (RegisterClassExW(&window_class) == 0) {
    return 1;
  }
  HWND window =
      CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    return 1;
  }
  ShowWindow(window, show_command);
  UpdateWindow(window);
  std::fputs(kShownLine, stdout);
  std::fflush(stdout);
  PostMessageW(window, WM_CLOSE, 0, 0);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
