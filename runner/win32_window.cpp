#include "win32_window.h"

#include <cwchar>
#include <iterator>

#include "resources/resource.h"
#include "startup_failure.h"
#include "system_library.h"
#include "weft_windows.h"

namespace {

constexpr wchar_t kWindowClassName[] = L"WEFT_RUNNER_WIN32_WINDOW";
constexpr char kClassRegistrationFailed[] =
    "Cannot register the window class WEFT_RUNNER_WIN32_WINDOW";
constexpr char kWindowCreationFailed[] = "Cannot create the window";

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kLightThemeValue[] = L"AppsUseLightTheme";
// DWMWA_USE_IMMERSIVE_DARK_MODE, which older SDK headers lack.
constexpr DWORD kImmersiveDarkModeAttribute = 20;
// The area that WM_SETTINGCHANGE names when the user switches between light and dark.
constexpr wchar_t kColorSetArea[] = L"ImmersiveColorSet";

// Not a known DLL, so by name alone it would be looked for in the program's folder first.
constexpr wchar_t kDwmLibrary[] = L"dwmapi.dll";
constexpr char kSetWindowAttributeExport[] = "DwmSetWindowAttribute";
using SetWindowAttributeFunction = HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD);

constexpr wchar_t kUser32Module[] = L"user32.dll";
constexpr char kNonClientScalingExport[] = "EnableNonClientDpiScaling";
using EnableNonClientDpiScalingFunction = BOOL(WINAPI*)(HWND);

constexpr UINT kDpiChangedPositionFlags = SWP_NOZORDER | SWP_NOACTIVATE;

// Win32Window objects alive in the process; the class goes when it drops to 0.
int32_t live_window_count = 0;

// WM_SETTINGCHANGE names the changed area in lparam, when it names one at all.
bool NamesColorSetChange(LPARAM lparam) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the message carries a pointer in lparam.
  const auto* area = reinterpret_cast<const wchar_t*>(lparam);
  return area != nullptr && std::wcscmp(area, kColorSetArea) == 0;
}

BOOL CALLBACK TakeOwnWindow(HWND window, LPARAM found_address) {
  // One longer than the name, so that a longer name cut short does not match.
  wchar_t class_name[std::size(kWindowClassName) + 1] = {};
  GetClassNameW(window, class_name, static_cast<int>(std::size(class_name)));
  if (std::wcscmp(class_name, kWindowClassName) != 0) {
    return TRUE;
  }
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the enumeration carries a pointer in lparam.
  *reinterpret_cast<HWND*>(found_address) = window;
  return FALSE;
}

}  // namespace

Win32Window::Win32Window() {
  ++live_window_count;
}

// A derived window has ended its own state in its destructor; OnDestroying would reach only
// this class's empty version here.
Win32Window::~Win32Window() {
  --live_window_count;
  ReleaseNativeWindow();
}

bool Win32Window::OpenWindow(const std::wstring& title, const LogicalPoint& origin,
                             const LogicalSize& size) {
  Teardown();
  const wchar_t* class_name = WindowClassRegistry::Instance().ClassName();
  if (class_name == nullptr) {
    return false;
  }

  const HMONITOR monitor = MonitorFromPoint({origin.x, origin.y}, MONITOR_DEFAULTTONEAREST);
  const double scale = ScaleForDpi(WeftDesktopGetDpiForMonitor(monitor));
  const PhysicalBounds bounds = ScaleToPhysical(origin, size, scale);

  const HWND window = CreateWindowExW(0, class_name, title.c_str(), WS_OVERLAPPEDWINDOW, bounds.x,
                                      bounds.y, bounds.width, bounds.height, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), this);
  if (window == nullptr) {
    ReportStartupFailure(kWindowCreationFailed, GetLastError());
    // A window refused after WM_NCCREATE is gone without WM_DESTROY on some systems.
    handle_ = nullptr;
    return false;
  }
  ApplySystemTheme(window);
  return OnCreated();
}

bool Win32Window::Reveal() {
  return ShowWindow(handle_, SW_SHOWNORMAL) != 0;
}

void Win32Window::Teardown() {
  OnDestroying();
  ReleaseNativeWindow();
}

void Win32Window::ReleaseNativeWindow() {
  if (handle_ != nullptr) {
    DestroyWindow(handle_);
    handle_ = nullptr;
  }
  if (live_window_count == 0) {
    WindowClassRegistry::Instance().Unregister();
  }
}

void Win32Window::EmbedChild(HWND content) {
  child_ = content;
  SetParent(content, handle_);
  const RECT rect = ClientBounds();
  MoveWindow(content, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
  SetFocus(child_);
}

RECT Win32Window::ClientBounds() const {
  RECT rect = {};
  GetClientRect(handle_, &rect);
  return rect;
}

LRESULT Win32Window::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      handle_ = nullptr;
      Teardown();
      if (quit_on_destroy_) {
        PostQuitMessage(0);
      }
      return 0;
    case WM_SIZE: {
      const RECT rect = ClientBounds();
      if (child_ != nullptr) {
        MoveWindow(child_, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   TRUE);
      }
      return 0;
    }
    case WM_ACTIVATE:
      if (child_ != nullptr) {
        SetFocus(child_);
      }
      return 0;
    case WM_DPICHANGED: {
      // NOLINTNEXTLINE(performance-no-int-to-ptr): the message carries a pointer in lparam.
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      if (suggested != nullptr) {
        SetWindowPos(window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     kDpiChangedPositionFlags);
      }
      return 0;
    }
    case WM_ENDSESSION:
      // Windows may end the process as soon as this returns: the engine ends first.
      if (wparam != FALSE) {
        DestroyWindow(window);
      }
      return 0;
    case WM_DWMCOLORIZATIONCOLORCHANGED:
      ApplySystemTheme(window);
      return 0;
    case WM_SETTINGCHANGE:
      // The system's own handling still follows.
      if (NamesColorSetChange(lparam)) {
        ApplySystemTheme(window);
      }
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool Win32Window::OnCreated() {
  return true;
}

void Win32Window::OnDestroying() {}

LRESULT CALLBACK Win32Window::RouteMessage(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  if (message == WM_NCCREATE) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): the message carries a pointer in lparam.
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Win32Window*>(creation->lpCreateParams);
    // A window of the class made by anyone but OpenWindow has no object to route to.
    if (self != nullptr) {
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      EnableNonClientScaling(window);
      self->handle_ = window;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the window data holds the object's address.
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr) {
    return self->HandleMessage(window, message, wparam, lparam);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

WindowClassRegistry& WindowClassRegistry::Instance() {
  // Never destroyed: a window may still be torn down during static destruction.
  static WindowClassRegistry* const instance = new WindowClassRegistry();
  return *instance;
}

const wchar_t* WindowClassRegistry::ClassName() {
  if (!registered_) {
    const HINSTANCE module = GetModuleHandleW(nullptr);
    WNDCLASSW window_class = {};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = Win32Window::RouteMessage;
    window_class.hInstance = module;
    window_class.hIcon = LoadIconW(module, MAKEINTRESOURCEW(IDI_APP_ICON));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = kWindowClassName;
    if (RegisterClassW(&window_class) == 0 && !IsOwnClass(GetLastError())) {
      ReportStartupFailure(kClassRegistrationFailed, GetLastError());
      return nullptr;
    }
    registered_ = true;
  }
  return kWindowClassName;
}

// The class outlives an unregistration that a window of it, made by anyone but OpenWindow,
// prevented; registering it again then fails, but the class is still this registry's.
bool WindowClassRegistry::IsOwnClass(DWORD registration_error) {
  WNDCLASSW existing = {};
  const bool own = registration_error == ERROR_CLASS_ALREADY_EXISTS &&
                   GetClassInfoW(GetModuleHandleW(nullptr), kWindowClassName, &existing) &&
                   existing.lpfnWndProc == Win32Window::RouteMessage;
  SetLastError(registration_error);
  return own;
}

void WindowClassRegistry::Unregister() {
  UnregisterClassW(kWindowClassName, nullptr);
  registered_ = false;
}

std::optional<bool> ReadDarkModePreference() {
  DWORD light_theme = 0;
  DWORD size = sizeof(light_theme);
  if (RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue, RRF_RT_REG_DWORD, nullptr,
                   &light_theme, &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return light_theme == 0;
}

void ApplySystemTheme(HWND window) {
  const std::optional<bool> dark = ReadDarkModePreference();
  if (!dark) {
    return;
  }
  static const auto set_attribute = FindExport<SetWindowAttributeFunction>(
      LoadSystemLibrary(kDwmLibrary), kSetWindowAttributeExport);
  if (set_attribute == nullptr) {
    return;
  }
  const BOOL dark_mode = *dark ? TRUE : FALSE;
  set_attribute(window, kImmersiveDarkModeAttribute, &dark_mode, sizeof(dark_mode));
}

HWND FindOwnWindow(DWORD thread_id) {
  HWND found = nullptr;
  EnumThreadWindows(thread_id, TakeOwnWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

void EnableNonClientScaling(HWND window) {
  // user32 is one of the host's own imports, loaded for the process's life.
  const auto enable = FindExport<EnableNonClientDpiScalingFunction>(GetModuleHandleW(kUser32Module),
                                                                    kNonClientScalingExport);
  if (enable == nullptr) {
    return;
  }
  enable(window);
}
