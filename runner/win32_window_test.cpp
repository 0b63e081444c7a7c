#include "win32_window.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "weft_windows.h"
#include "window_geometry.h"

namespace {

using ::testing::AllOf;
using ::testing::AnyOf;
using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

constexpr wchar_t kClassName[] = L"WEFT_RUNNER_WIN32_WINDOW";
constexpr wchar_t kTitle[] = L"Inkmoor test window";
constexpr LogicalPoint kOrigin = {10, 10};
constexpr LogicalSize kSize = {320, 240};

bool ClassIsRegistered() {
  WNDCLASSW info = {};
  return GetClassInfoW(GetModuleHandleW(nullptr), kClassName, &info) != 0;
}

// Takes the quit message out of the queue if it is there.
bool TakeQuitMessage() {
  MSG message = {};
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

RECT WindowBounds(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

// The child's rectangle in its parent's client coordinates.
RECT ChildBounds(HWND child) {
  RECT rect = WindowBounds(child);
  MapWindowPoints(HWND_DESKTOP, GetAncestor(child, GA_PARENT), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

bool SameRect(const RECT& a, const RECT& b) {
  return EqualRect(&a, &b) != 0;
}

struct WindowDestroy {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using OwnedWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroy>;

// A child window waiting in a hidden holder, as an engine view does before it is embedded.
class ContentWindow {
 public:
  ContentWindow()
      : holder_(CreateWindowExW(0, L"STATIC", L"holder", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr)),
        content_(CreateWindowExW(0, L"STATIC", L"content", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                                 holder_.get(), nullptr, GetModuleHandleW(nullptr), nullptr)) {}

  HWND get() const { return content_.get(); }

 private:
  OwnedWindow holder_;
  OwnedWindow content_;
};

// Records what reaches the derived hooks.
class RecordingWindow : public Win32Window {
 public:
  using Win32Window::ClientBounds;

  std::vector<UINT> messages;
  // Whether NativeHandle already named the window when each message up to WM_DESTROY arrived.
  bool handle_known_for_every_message = true;
  bool accept_creation = true;
  bool refuse_create_message = false;
  int created_calls = 0;
  int destroying_calls = 0;

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override {
    messages.push_back(message);
    if (!destroy_seen_ && NativeHandle() != window) {
      handle_known_for_every_message = false;
    }
    destroy_seen_ = destroy_seen_ || message == WM_DESTROY;
    if (message == WM_CREATE && refuse_create_message) {
      return -1;
    }
    return Win32Window::HandleMessage(window, message, wparam, lparam);
  }
  bool OnCreated() override {
    ++created_calls;
    return accept_creation;
  }
  void OnDestroying() override { ++destroying_calls; }

 private:
  bool destroy_seen_ = false;
};

class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ClassIsRegistered());
    TakeQuitMessage();
  }
  void TearDown() override { EXPECT_FALSE(ClassIsRegistered()); }
};

TEST_F(Win32WindowTest, CreatesAHiddenOverlappedWindowOfTheClass) {
  Win32Window window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  const HWND handle = window.NativeHandle();
  ASSERT_NE(handle, nullptr);
  EXPECT_FALSE(IsWindowVisible(handle));

  wchar_t text[64] = {};
  GetClassNameW(handle, text, 64);
  EXPECT_STREQ(text, kClassName);
  GetWindowTextW(handle, text, 64);
  EXPECT_STREQ(text, kTitle);
  const LONG style = GetWindowLongW(handle, GWL_STYLE);
  EXPECT_EQ(style & WS_OVERLAPPEDWINDOW, WS_OVERLAPPEDWINDOW);
  EXPECT_EQ(style & WS_VISIBLE, 0);
  EXPECT_EQ(GetWindowLongW(handle, GWL_EXSTYLE) & ~WS_EX_WINDOWEDGE, 0);
}

TEST_F(Win32WindowTest, CreationIsScaledToTheMonitorDpi) {
  const double screen_scale = ScaleForDpi(ReadScreenDpi());
  const LogicalSize size =
      InitialWindowSize(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), screen_scale);
  const uint32_t monitor_dpi = WeftDesktopGetDpiForMonitor(
      MonitorFromPoint({kOrigin.x, kOrigin.y}, MONITOR_DEFAULTTONEAREST));
  ASSERT_GT(monitor_dpi, 0u);
  const PhysicalBounds expected = ScaleToPhysical(kOrigin, size, ScaleForDpi(monitor_dpi));

  Win32Window window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, size));
  const RECT bounds = WindowBounds(window.NativeHandle());
  EXPECT_EQ(bounds.left, expected.x);
  EXPECT_EQ(bounds.top, expected.y);
  EXPECT_EQ(bounds.right - bounds.left, expected.width);
  EXPECT_EQ(bounds.bottom - bounds.top, expected.height);
}

TEST_F(Win32WindowTest, RevealShowsTheWindow) {
  Win32Window window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  EXPECT_FALSE(window.Reveal());  // it was hidden
  EXPECT_TRUE(IsWindowVisible(window.NativeHandle()));
  EXPECT_TRUE(window.Reveal());
}

TEST_F(Win32WindowTest, ClassLivesFromTheFirstOpeningUntilTheLastObjectGoes) {
  auto first = std::make_unique<Win32Window>();
  EXPECT_FALSE(ClassIsRegistered());
  ASSERT_TRUE(first->OpenWindow(kTitle, kOrigin, kSize));
  EXPECT_TRUE(ClassIsRegistered());

  auto second = std::make_unique<Win32Window>();
  ASSERT_TRUE(second->OpenWindow(kTitle, kOrigin, kSize));
  first.reset();
  EXPECT_TRUE(ClassIsRegistered());

  // A closed window leaves the class to its object.
  DestroyWindow(second->NativeHandle());
  EXPECT_TRUE(ClassIsRegistered());
  second.reset();
  EXPECT_FALSE(ClassIsRegistered());

  Win32Window again;
  ASSERT_TRUE(again.OpenWindow(kTitle, kOrigin, kSize));
  EXPECT_TRUE(ClassIsRegistered());
}

// The registry remembers that it registered the class; it does not register per window.
TEST_F(Win32WindowTest, RegistersTheClassOnlyOnce) {
  Win32Window first;
  ASSERT_TRUE(first.OpenWindow(kTitle, kOrigin, kSize));
  DestroyWindow(first.NativeHandle());
  ASSERT_TRUE(UnregisterClassW(kClassName, GetModuleHandleW(nullptr)));

  Win32Window second;
  CaptureStderr();
  EXPECT_FALSE(second.OpenWindow(kTitle, kOrigin, kSize));
  // Windows names the missing class with error 1407, Wine with 1411.
  EXPECT_THAT(GetCapturedStderr(),
              AnyOf("Cannot create the window: Cannot find window class. (error 1407)\n",
                    "Cannot create the window: Class does not exist. (error 1411)\n"));
  EXPECT_EQ(second.NativeHandle(), nullptr);
}

// Another class of the name in this module: the opening fails with the cause named, and the
// failure is not remembered as a registration.
TEST_F(Win32WindowTest, ATakenClassNameFailsTheOpeningUntilTheNameIsFree) {
  WNDCLASSW other = {};
  other.lpfnWndProc = DefWindowProcW;
  other.hInstance = GetModuleHandleW(nullptr);
  other.lpszClassName = kClassName;
  ASSERT_NE(RegisterClassW(&other), 0);

  RecordingWindow window;
  CaptureStderr();
  EXPECT_FALSE(window.OpenWindow(kTitle, kOrigin, kSize));
  EXPECT_EQ(GetCapturedStderr(),
            "Cannot register the window class WEFT_RUNNER_WIN32_WINDOW: Class already exists. "
            "(error 1410)\n");
  EXPECT_EQ(window.NativeHandle(), nullptr);
  EXPECT_EQ(window.created_calls, 0);

  ASSERT_TRUE(UnregisterClassW(kClassName, GetModuleHandleW(nullptr)));
  EXPECT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  EXPECT_EQ(window.created_calls, 1);
}

// A window of the class that OpenWindow did not make keeps the class registered after the last
// object went; the next opening uses it.
TEST_F(Win32WindowTest, AClassKeptByAStrayWindowIsStillUsed) {
  auto owner = std::make_unique<Win32Window>();
  ASSERT_TRUE(owner->OpenWindow(kTitle, kOrigin, kSize));
  OwnedWindow stray(CreateWindowExW(0, kClassName, L"stray", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                    nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
  ASSERT_NE(stray, nullptr);
  owner.reset();
  ASSERT_TRUE(ClassIsRegistered());

  Win32Window again;
  CaptureStderr();
  EXPECT_TRUE(again.OpenWindow(kTitle, kOrigin, kSize));
  EXPECT_EQ(GetCapturedStderr(), "");
  // Gone before the last object, so that the class goes with it.
  stray.reset();
}

TEST_F(Win32WindowTest, OpeningAgainReplacesTheWindow) {
  RecordingWindow window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  const HWND first = window.NativeHandle();
  const int destroying_before = window.destroying_calls;

  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  EXPECT_FALSE(IsWindow(first));
  EXPECT_NE(window.NativeHandle(), nullptr);
  EXPECT_GT(window.destroying_calls, destroying_before);
  EXPECT_EQ(window.created_calls, 2);
}

TEST_F(Win32WindowTest, RefusedCreationKeepsTheWindowUntilTheObjectGoes) {
  HWND handle = nullptr;
  {
    RecordingWindow window;
    window.accept_creation = false;
    EXPECT_FALSE(window.OpenWindow(kTitle, kOrigin, kSize));
    EXPECT_EQ(window.created_calls, 1);
    handle = window.NativeHandle();
    EXPECT_TRUE(IsWindow(handle));
  }
  EXPECT_FALSE(IsWindow(handle));
}

TEST_F(Win32WindowTest, FailedNativeCreationSkipsTheHook) {
  RecordingWindow window;
  window.refuse_create_message = true;
  CaptureStderr();
  EXPECT_FALSE(window.OpenWindow(kTitle, kOrigin, kSize));
  // The error that a refused WM_CREATE leaves differs between systems.
  EXPECT_THAT(GetCapturedStderr(), AllOf(StartsWith("Cannot create the window: "),
                                         HasSubstr(" (error "), EndsWith(")\n")));
  EXPECT_EQ(window.created_calls, 0);
  EXPECT_EQ(window.NativeHandle(), nullptr);
}

std::vector<UINT>* hooked_messages = nullptr;

LRESULT CALLBACK RecordSentMessage(int code, WPARAM wparam, LPARAM lparam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lparam);
  wchar_t name[64] = {};
  GetClassNameW(sent->hwnd, name, 64);
  if (code == HC_ACTION && hooked_messages != nullptr && wcscmp(name, kClassName) == 0) {
    hooked_messages->push_back(sent->message);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST_F(Win32WindowTest, NothingBeforeWindowCreationReachesTheObject) {
  std::vector<UINT> sent;
  hooked_messages = &sent;
  const HHOOK hook =
      SetWindowsHookExW(WH_CALLWNDPROC, RecordSentMessage, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  RecordingWindow window;
  const bool opened = window.OpenWindow(kTitle, kOrigin, kSize);
  UnhookWindowsHookEx(hook);
  hooked_messages = nullptr;
  ASSERT_TRUE(opened);

  const auto creation = std::find(sent.begin(), sent.end(), static_cast<UINT>(WM_NCCREATE));
  ASSERT_NE(creation, sent.end());
  ASSERT_NE(creation, sent.begin()) << "no message came before WM_NCCREATE";
  EXPECT_EQ(sent.front(), static_cast<UINT>(WM_GETMINMAXINFO));
  EXPECT_THAT(window.messages, ElementsAreArray(creation + 1, sent.end()));
  EXPECT_THAT(window.messages, Not(Contains(static_cast<UINT>(WM_NCCREATE))));
  EXPECT_TRUE(window.handle_known_for_every_message);
}

TEST_F(Win32WindowTest, WindowOfTheClassWithoutObjectGetsDefaultHandling) {
  {
    Win32Window owner;
    ASSERT_TRUE(owner.OpenWindow(kTitle, kOrigin, kSize));
    const OwnedWindow stray(CreateWindowExW(0, kClassName, L"stray", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                            100, nullptr, nullptr, GetModuleHandleW(nullptr),
                                            nullptr));
    ASSERT_NE(stray, nullptr);
    EXPECT_EQ(SendMessageW(stray.get(), WM_SIZE, SIZE_RESTORED, 0), 0);
  }
  EXPECT_FALSE(ClassIsRegistered());
}

TEST_F(Win32WindowTest, EmbeddedChildFillsTheClientAreaAndFollowsEverySize) {
  RecordingWindow window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  const ContentWindow content;
  window.EmbedChild(content.get());
  EXPECT_EQ(GetAncestor(content.get(), GA_PARENT), window.NativeHandle());
  EXPECT_TRUE(SameRect(ChildBounds(content.get()), window.ClientBounds()));
  EXPECT_EQ(GetFocus(), content.get());

  const RECT first_client = window.ClientBounds();
  SetWindowPos(window.NativeHandle(), nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
  ASSERT_FALSE(SameRect(window.ClientBounds(), first_client));
  EXPECT_TRUE(SameRect(ChildBounds(content.get()), window.ClientBounds()));

  // Every size type counts, a minimised one too.
  MoveWindow(content.get(), 0, 0, 5, 5, FALSE);
  EXPECT_EQ(SendMessageW(window.NativeHandle(), WM_SIZE, SIZE_MINIMIZED, 0), 0);
  EXPECT_TRUE(SameRect(ChildBounds(content.get()), window.ClientBounds()));
}

TEST_F(Win32WindowTest, SizeWithoutChildOnlyAnswers) {
  Win32Window window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  EXPECT_EQ(SendMessageW(window.NativeHandle(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(100, 100)), 0);
}

TEST_F(Win32WindowTest, ActivationFocusesTheChild) {
  Win32Window window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  const ContentWindow content;
  window.EmbedChild(content.get());

  for (const WPARAM state : {WA_ACTIVE, WA_CLICKACTIVE, WA_INACTIVE}) {
    SetFocus(nullptr);
    EXPECT_EQ(SendMessageW(window.NativeHandle(), WM_ACTIVATE, state, 0), 0);
    EXPECT_EQ(GetFocus(), content.get()) << "state " << state;
  }
}

// Default processing would focus the top-level window itself.
TEST_F(Win32WindowTest, ActivationWithoutChildLeavesTheFocus) {
  Win32Window window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  SetFocus(nullptr);
  EXPECT_EQ(SendMessageW(window.NativeHandle(), WM_ACTIVATE, WA_ACTIVE, 0), 0);
  EXPECT_EQ(GetFocus(), nullptr);
}

TEST_F(Win32WindowTest, DpiChangeAppliesTheSuggestedRectangleWithoutActivating) {
  Win32Window window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  Win32Window other;
  ASSERT_TRUE(other.OpenWindow(kTitle, kOrigin, kSize));
  SetActiveWindow(other.NativeHandle());
  ASSERT_EQ(GetActiveWindow(), other.NativeHandle());
  const HWND above_before = GetWindow(window.NativeHandle(), GW_HWNDPREV);

  RECT suggested = {40, 50, 40 + 600, 50 + 450};
  EXPECT_EQ(SendMessageW(window.NativeHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&suggested)),
            0);
  EXPECT_TRUE(SameRect(WindowBounds(window.NativeHandle()), suggested));
  EXPECT_EQ(GetActiveWindow(), other.NativeHandle());
  EXPECT_EQ(GetWindow(window.NativeHandle(), GW_HWNDPREV), above_before);
  EXPECT_FALSE(IsWindowVisible(window.NativeHandle()));
}

TEST_F(Win32WindowTest, DpiChangeWithoutRectangleIsIgnored) {
  Win32Window window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  const RECT before = WindowBounds(window.NativeHandle());
  EXPECT_EQ(SendMessageW(window.NativeHandle(), WM_DPICHANGED, MAKEWPARAM(144, 144), 0), 0);
  EXPECT_TRUE(SameRect(WindowBounds(window.NativeHandle()), before));
}

TEST_F(Win32WindowTest, ClosingClearsTheHandleAndRunsTheHook) {
  RecordingWindow window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  const int destroying_before = window.destroying_calls;
  DestroyWindow(window.NativeHandle());
  EXPECT_EQ(window.NativeHandle(), nullptr);
  EXPECT_GT(window.destroying_calls, destroying_before);
  EXPECT_FALSE(TakeQuitMessage());
}

TEST_F(Win32WindowTest, QuitIsPostedOnlyWhenAsked) {
  Win32Window window;
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  window.SetQuitOnDestroy(true);
  DestroyWindow(window.NativeHandle());
  MSG quit = {};
  ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 0u);

  window.SetQuitOnDestroy(false);
  ASSERT_TRUE(window.OpenWindow(kTitle, kOrigin, kSize));
  DestroyWindow(window.NativeHandle());
  EXPECT_FALSE(TakeQuitMessage());
}

TEST_F(Win32WindowTest, DestroyingTheObjectDestroysItsWindow) {
  HWND quiet_handle = nullptr;
  {
    Win32Window quiet;
    ASSERT_TRUE(quiet.OpenWindow(kTitle, kOrigin, kSize));
    quiet_handle = quiet.NativeHandle();
  }
  EXPECT_FALSE(IsWindow(quiet_handle));
  EXPECT_FALSE(TakeQuitMessage());

  {
    Win32Window quitting;
    ASSERT_TRUE(quitting.OpenWindow(kTitle, kOrigin, kSize));
    quitting.SetQuitOnDestroy(true);
  }
  EXPECT_TRUE(TakeQuitMessage());
}

// Sets AppsUseLightTheme in the prefix for one test and puts back what was there.
class ThemeSetting {
 public:
  ThemeSetting() {
    DWORD disposition = 0;
    RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                    &disposition);
    created_key_ = disposition == REG_CREATED_NEW_KEY;
    DWORD size = 0;
    if (RegQueryValueExW(key_, kValue, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS) {
      original_.resize(size);
      RegQueryValueExW(key_, kValue, nullptr, &type_, original_.data(), &size);
      existed_ = true;
    }
  }
  ~ThemeSetting() {
    if (existed_) {
      RegSetValueExW(key_, kValue, 0, type_, original_.data(),
                     static_cast<DWORD>(original_.size()));
    } else {
      RegDeleteValueW(key_, kValue);
    }
    RegCloseKey(key_);
    if (created_key_) {
      RegDeleteKeyW(HKEY_CURRENT_USER, kKey);
    }
  }

  void Set(DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExW(key_, kValue, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }
  void SetDword(DWORD value) { Set(REG_DWORD, &value, sizeof(value)); }
  void Remove() { RegDeleteValueW(key_, kValue); }

 private:
  static constexpr wchar_t kKey[] =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
  static constexpr wchar_t kValue[] = L"AppsUseLightTheme";

  HKEY key_ = nullptr;
  bool created_key_ = false;
  bool existed_ = false;
  DWORD type_ = REG_NONE;
  std::vector<BYTE> original_;
};

TEST(ReadDarkModePreference, FollowsTheDwordValue) {
  ThemeSetting setting;
  setting.SetDword(0);
  EXPECT_EQ(ReadDarkModePreference(), std::optional<bool>(true));
  setting.SetDword(1);
  EXPECT_EQ(ReadDarkModePreference(), std::optional<bool>(false));
  setting.SetDword(2);
  EXPECT_EQ(ReadDarkModePreference(), std::optional<bool>(false));
}

TEST(ReadDarkModePreference, MissingValueGivesNothing) {
  ThemeSetting setting;
  setting.Remove();
  EXPECT_EQ(ReadDarkModePreference(), std::nullopt);
}

TEST(ReadDarkModePreference, ValueOfAnotherTypeGivesNothing) {
  ThemeSetting setting;
  const wchar_t text[] = L"0";
  setting.Set(REG_SZ, text, sizeof(text));
  EXPECT_EQ(ReadDarkModePreference(), std::nullopt);
  const BYTE binary[4] = {};
  setting.Set(REG_BINARY, binary, sizeof(binary));
  EXPECT_EQ(ReadDarkModePreference(), std::nullopt);
  const ULONGLONG quad = 0;
  setting.Set(REG_QWORD, &quad, sizeof(quad));
  EXPECT_EQ(ReadDarkModePreference(), std::nullopt);
}

}  // namespace
