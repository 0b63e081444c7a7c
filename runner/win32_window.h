// The application's top-level window base: one native window of the runner's window class,
// created hidden at a logical position and size scaled to its monitor, with its title bar in
// step with the user's light or dark preference and an optional child filling its client area.
#ifndef RUNNER_WIN32_WINDOW_H_
#define RUNNER_WIN32_WINDOW_H_

#include <windows.h>

#include <optional>
#include <string>

#include "window_geometry.h"

class Win32Window {
 public:
  Win32Window();
  virtual ~Win32Window();

  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // True when the native window exists and OnCreated accepted it. A window this object had
  // before is torn down first.
  bool OpenWindow(const std::wstring& title, const LogicalPoint& origin, const LogicalSize& size);

  // Shows the window in its normal state; returns whether ShowWindow returned non-zero.
  bool Reveal();

  // Runs OnDestroying, destroys the native window if there is one, and unregisters the window
  // class once no Win32Window is left.
  void Teardown();

  // Makes content the child that fills the client area and holds the keyboard focus.
  void EmbedChild(HWND content);

  // Null before creation and after destruction.
  HWND NativeHandle() const { return handle_; }

  void SetQuitOnDestroy(bool value) { quit_on_destroy_ = value; }

 protected:
  // Client area in physical pixels; left and top are 0.
  RECT ClientBounds() const;

  virtual LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // Called once the native window exists; its result becomes that of OpenWindow.
  virtual bool OnCreated();
  virtual void OnDestroying();

 private:
  friend class WindowClassRegistry;

  // Destroys the native window if there is one, and unregisters the window class once no
  // Win32Window is left.
  void ReleaseNativeWindow();

  // The window procedure of the class: hands every message after WM_NCCREATE to the object.
  static LRESULT CALLBACK RouteMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  bool quit_on_destroy_ = false;
  HWND handle_ = nullptr;
  HWND child_ = nullptr;
};

// Registers the window class once per process, again after it was unregistered.
class WindowClassRegistry {
 public:
  static WindowClassRegistry& Instance();

  // Registers the class if needed; the name to create windows of it, or null when it cannot be
  // registered (reported on standard error, and tried again next time).
  const wchar_t* ClassName();
  void Unregister();

 private:
  WindowClassRegistry() = default;

  // Whether a registration that failed with registration_error found this registry's own class
  // still registered. Leaves registration_error as the last error.
  static bool IsOwnClass(DWORD registration_error);

  bool registered_ = false;
};

// The user's preference: dark when AppsUseLightTheme is 0, light for any other value, and
// nothing when the value cannot be read as a DWORD.
std::optional<bool> ReadDarkModePreference();

// Gives the window a dark or light title bar as the user prefers; leaves it as it is when
// the preference cannot be read.
void ApplySystemTheme(HWND window);

// The window of the runner's class that the thread owns, or null. Safe from any thread.
HWND FindOwnWindow(DWORD thread_id);

// Turns on DPI scaling of the non-client area where user32 offers it.
void EnableNonClientScaling(HWND window);

#endif  // RUNNER_WIN32_WINDOW_H_
