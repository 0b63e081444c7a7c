// Helpers shared by the stand-in's in-process tests under Windows.
#ifndef TESTS_SUPPORT_STANDIN_WINDOWS_TEST_SUPPORT_H_
#define TESTS_SUPPORT_STANDIN_WINDOWS_TEST_SUPPORT_H_

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "weft_windows.h"

namespace standin::testing {

inline WeftDesktopEngineRef CreateEngine(const wchar_t* assets = L"data\\weft_assets") {
  EngineCreateParams params = {};
  params.assets_folder = assets;
  params.icu_data_file = L"data\\icudtl.dat";
  params.aot_library_file = L"data\\app.so";
  params.entrypoint_name = "";
  return WeftDesktopEngineCreate(&params);
}

// What the stand-in writes to standard error while action runs.
inline std::string StandinLinesDuring(const std::function<void()>& action) {
  ::testing::internal::CaptureStderr();
  WeftDesktopResyncOutputStreams();
  action();
  std::string lines = ::testing::internal::GetCapturedStderr();
  WeftDesktopResyncOutputStreams();
  return lines;
}

// A hidden top-level window in the role of the host's window.
class HostWindow {
 public:
  HostWindow() {
    static const bool registered = [] {
      WNDCLASSW window_class = {};
      window_class.lpfnWndProc = DefWindowProcW;
      window_class.hInstance = GetModuleHandleW(nullptr);
      window_class.lpszClassName = kClass;
      RegisterClassW(&window_class);
      return true;
    }();
    static_cast<void>(registered);
    handle_ = CreateWindowExW(0, kClass, L"Quillmere", WS_OVERLAPPEDWINDOW, 10, 10, 400, 300,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  }
  ~HostWindow() {
    if (IsWindow(handle_)) {
      DestroyWindow(handle_);
    }
  }
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  HWND get() const { return handle_; }
  void Embed(HWND child) const {
    SetParent(child, handle_);
    RECT client = {};
    GetClientRect(handle_, &client);
    MoveWindow(child, 0, 0, client.right, client.bottom, TRUE);
  }

 private:
  static constexpr wchar_t kClass[] = L"StandinTestHostWindow";
  HWND handle_ = nullptr;
};

}  // namespace standin::testing

#endif  // TESTS_SUPPORT_STANDIN_WINDOWS_TEST_SUPPORT_H_
