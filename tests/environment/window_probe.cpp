// Watches the real inkmoor.exe from another process on the same Wine desktop: where its
// top-level window lands at start-up, that the view fills the client area, that the window
// shows only after the first frame, and that a WM_DPICHANGED from outside moves it to the
// suggested rectangle without activating it or changing the Z order.
//
//   window_probe.exe REPORT INKMOOR_EXE screen=WxH dpi=N window=X,Y,WxH client=WxH
//                    to_dpi=N suggest=X,Y,WxH client_after=WxH
//
// Every number is what the caller worked out for this screen and DPI; the probe only measures
// and compares. REPORT (a Windows path) receives one line per check, see observer_report.h.
#include <windows.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "handle_text.h"
#include "inkmoor_launcher.h"
#include "observer_report.h"
#include "process_helpers.h"

namespace {

using environment::HandleText;
using environment::kEventLimit;
using environment::kNoWait;
using environment::kSendLimitMilliseconds;
using environment::ObserverReport;
using test_support::InkmoorProcess;
using test_support::Launch;
using test_support::OwnedHandle;

constexpr wchar_t kObserverClass[] = L"InkmoorEnvironmentObserver";
constexpr int kClassNameLength = 64;

struct Size {
  int width = 0;
  int height = 0;
};

struct Box {
  int x = 0;
  int y = 0;
  Size size;
};

// What the caller expects, read from the command line.
struct Expectation {
  Size screen;
  int dpi = 0;
  Box window;
  Size client;
  int to_dpi = 0;
  Box suggested;
  Size client_after;
};

std::string Text(const Size& size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

std::string Text(const Box& box) {
  return std::to_string(box.x) + "," + std::to_string(box.y) + " " + Text(box.size);
}

// For messages only: the class names and paths here are ASCII.
std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}

bool ParseSize(const std::wstring& text, Size* size) {
  int consumed = 0;
  return swscanf(text.c_str(), L"%dx%d%n", &size->width, &size->height, &consumed) == 2 &&
         static_cast<size_t>(consumed) == text.size();
}

bool ParseBox(const std::wstring& text, Box* box) {
  int consumed = 0;
  return swscanf(text.c_str(), L"%d,%d,%dx%d%n", &box->x, &box->y, &box->size.width,
                 &box->size.height, &consumed) == 4 &&
         static_cast<size_t>(consumed) == text.size();
}

bool ParseNumber(const std::wstring& text, int* number) {
  int consumed = 0;
  return swscanf(text.c_str(), L"%d%n", number, &consumed) == 1 &&
         static_cast<size_t>(consumed) == text.size();
}

// name=value arguments; every one of the seven must be there and well formed.
bool ParseExpectation(int count, wchar_t** arguments, Expectation* expected) {
  std::map<std::wstring, std::wstring> values;
  for (int i = 0; i < count; ++i) {
    const std::wstring argument = arguments[i];
    const size_t equals = argument.find(L'=');
    if (equals == std::wstring::npos) {
      return false;
    }
    values[argument.substr(0, equals)] = argument.substr(equals + 1);
  }
  return values.size() == 7 && ParseSize(values[L"screen"], &expected->screen) &&
         ParseNumber(values[L"dpi"], &expected->dpi) &&
         ParseBox(values[L"window"], &expected->window) &&
         ParseSize(values[L"client"], &expected->client) &&
         ParseNumber(values[L"to_dpi"], &expected->to_dpi) &&
         ParseBox(values[L"suggest"], &expected->suggested) &&
         ParseSize(values[L"client_after"], &expected->client_after);
}

struct ScreenDcRelease {
  void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
using ScreenDc = std::unique_ptr<std::remove_pointer_t<HDC>, ScreenDcRelease>;

// What the host reads for its start-up size.
int ScreenDpi() {
  const ScreenDc screen(GetDC(nullptr));
  return GetDeviceCaps(screen.get(), LOGPIXELSX);
}

Box WindowBox(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return {rect.left, rect.top, {rect.right - rect.left, rect.bottom - rect.top}};
}

Size ClientSize(HWND window) {
  RECT rect = {};
  GetClientRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// The children of the window and where each lies in its client area, e.g.
// "1 child: 0,0 1796x988 visible".
std::string ChildPlacement(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  std::string text =
      std::to_string(children.size()) + (children.size() == 1 ? " child" : " children");
  for (const HWND child : children) {
    RECT rect = {};
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
    const Box box = {rect.left, rect.top, {rect.right - rect.left, rect.bottom - rect.top}};
    text += ": " + Text(box) + (IsWindowVisible(child) ? " visible" : " hidden");
  }
  return text;
}

std::string ExpectedChildPlacement(const Size& client) {
  return "1 child: " + Text(Box{0, 0, client}) + " visible";
}

std::string WindowName(HWND window) {
  if (window == nullptr) {
    return "(none)";
  }
  wchar_t class_name[kClassNameLength] = {};
  GetClassNameW(window, class_name, kClassNameLength);
  return Narrow(class_name) + "@" + HandleText(window);
}

BOOL CALLBACK CollectVisible(HWND window, LPARAM windows) {
  if (IsWindowVisible(window)) {
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
  }
  return TRUE;
}

// The visible top-level windows from top to bottom; hidden helper windows (IME, the engine's
// view holder) would only add noise.
std::string VisibleZOrder() {
  std::vector<HWND> windows;
  EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&windows));
  std::string text;
  for (const HWND window : windows) {
    text += (text.empty() ? "" : " > ") + WindowName(window);
  }
  return text;
}

// A plain window of the observer that sits above the host and holds the foreground, so that a
// host that activates or raises itself is seen doing so.
class ObserverWindow {
 public:
  explicit ObserverWindow(const Box& box) {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = kObserverClass;
    RegisterClassW(&window_class);
    handle_ = CreateWindowExW(0, kObserverClass, L"observer", WS_OVERLAPPEDWINDOW, box.x, box.y,
                              box.size.width, box.size.height, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    ShowWindow(handle_, SW_SHOWNORMAL);
    SetForegroundWindow(handle_);
  }
  ~ObserverWindow() {
    DestroyWindow(handle_);
    UnregisterClassW(kObserverClass, GetModuleHandleW(nullptr));
  }

  ObserverWindow(const ObserverWindow&) = delete;
  ObserverWindow& operator=(const ObserverWindow&) = delete;

  HWND get() const { return handle_; }

 private:
  HWND handle_ = nullptr;
};

struct RemoteFree {
  HANDLE process;
  void operator()(void* address) const { VirtualFreeEx(process, address, 0, MEM_RELEASE); }
};
using RemoteMemory = std::unique_ptr<void, RemoteFree>;

// WM_DPICHANGED carries a pointer that Wine does not marshal between processes, so the
// rectangle is first written into the host's own memory.
bool SendDpiChanged(HWND window, DWORD process_id, int dpi, const Box& suggested, LRESULT* result) {
  const OwnedHandle process(
      OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, process_id));
  if (!process) {
    return false;
  }
  const RECT rect = {suggested.x, suggested.y, suggested.x + suggested.size.width,
                     suggested.y + suggested.size.height};
  RemoteMemory remote(VirtualAllocEx(process.get(), nullptr, sizeof(rect), MEM_COMMIT | MEM_RESERVE,
                                     PAGE_READWRITE),
                      RemoteFree{process.get()});
  SIZE_T written = 0;
  if (!remote || !WriteProcessMemory(process.get(), remote.get(), &rect, sizeof(rect), &written) ||
      written != sizeof(rect)) {
    return false;
  }
  DWORD_PTR answer = 0;
  const LRESULT sent = SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                                           reinterpret_cast<LPARAM>(remote.get()), SMTO_ABORTIFHUNG,
                                           kSendLimitMilliseconds, &answer);
  *result = static_cast<LRESULT>(answer);
  return sent != 0;
}

bool EnvironmentHolds(const Expectation& expected, ObserverReport* report) {
  const Size screen = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  const int dpi = ScreenDpi();
  report->Note("set-up: screen " + Text(screen) + " at " + std::to_string(dpi) + " DPI");
  if (Text(screen) != Text(expected.screen) || dpi != expected.dpi) {
    report->SetUpFailed("the desktop is not " + Text(expected.screen) + " at " +
                        std::to_string(expected.dpi) + " DPI");
    return false;
  }
  return true;
}

void CheckStartUp(const Expectation& expected, HWND window, ObserverReport* report) {
  report->Expect("window", Text(WindowBox(window)), Text(expected.window));
  report->Expect("client area", Text(ClientSize(window)), Text(expected.client));
  report->Expect("view", ChildPlacement(window), ExpectedChildPlacement(expected.client));
  report->Expect("visible after the first frame", IsWindowVisible(window) ? "yes" : "no", "yes");
}

void CheckDpiChange(const Expectation& expected, const InkmoorProcess& host, HWND window,
                    ObserverReport* report) {
  // Beside the host, overlapping it, so that either order would show.
  const ObserverWindow observer({expected.window.x + 100, expected.window.y + 100, {400, 300}});
  const std::string foreground_before = WindowName(GetForegroundWindow());
  const std::string order_before = VisibleZOrder();
  report->Note("before WM_DPICHANGED: foreground " + foreground_before + ", Z order " +
               order_before);
  if (GetForegroundWindow() != observer.get() ||
      order_before.rfind(WindowName(observer.get()) + " > " + WindowName(window), 0) != 0) {
    report->SetUpFailed("the observer's window did not take the foreground above the host");
    return;
  }

  LRESULT result = -1;
  if (!SendDpiChanged(window, host.id(), expected.to_dpi, expected.suggested, &result)) {
    report->SetUpFailed("WM_DPICHANGED could not be sent to the host");
    return;
  }
  report->Expect("WM_DPICHANGED result", std::to_string(result), "0");
  report->Expect("window after WM_DPICHANGED", Text(WindowBox(window)), Text(expected.suggested));
  report->Expect("client area after WM_DPICHANGED", Text(ClientSize(window)),
                 Text(expected.client_after));
  report->Expect("view after WM_DPICHANGED", ChildPlacement(window),
                 ExpectedChildPlacement(expected.client_after));
  report->Expect("foreground after WM_DPICHANGED", WindowName(GetForegroundWindow()),
                 foreground_before);
  report->Expect("Z order after WM_DPICHANGED", VisibleZOrder(), order_before);
}

void CheckClose(InkmoorProcess* host, HWND window, ObserverReport* report) {
  PostMessageW(window, WM_CLOSE, 0, 0);
  const Launch launch = host->Finish(kEventLimit);
  report->Expect("ended after WM_CLOSE", launch.finished ? "yes" : "no", "yes");
  report->Expect("exit code", std::to_string(launch.exit_code), "0");
  report->Expect("standard error", launch.error_output, "");
}

int Observe(const std::wstring& executable, const Expectation& expected, ObserverReport* report) {
  if (!EnvironmentHolds(expected, report)) {
    return report->Finish();
  }
  InkmoorProcess host(executable, {"visible"});
  if (!host.started()) {
    report->SetUpFailed("inkmoor.exe did not start: " + Narrow(executable));
    return report->Finish();
  }
  // The scripted application logs each frame with the window's visibility before the frame's
  // callback, and runs "visible" once the first frame's callback has run.
  report->Expect("first frame", host.WaitForLogLine("frame 1 ", kEventLimit), "frame 1 visible 0");
  report->Expect("after the first frame", host.WaitForLogLine("visible ", kEventLimit),
                 "visible 1");
  const HWND window = host.TopLevelWindow();
  if (window == nullptr) {
    report->HostFailed("no top-level window", host.Finish(kNoWait));
    return report->Finish();
  }
  CheckStartUp(expected, window, report);
  CheckDpiChange(expected, host, window, report);
  CheckClose(&host, window, report);
  return report->Finish();
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
  constexpr int kFixedArguments = 3;
  ObserverReport report(count > 1 ? arguments[1] : L"");
  Expectation expected;
  if (count < kFixedArguments ||
      !ParseExpectation(count - kFixedArguments, arguments + kFixedArguments, &expected)) {
    report.SetUpFailed(
        "usage: window_probe REPORT INKMOOR_EXE screen=WxH dpi=N window=X,Y,WxH client=WxH "
        "to_dpi=N suggest=X,Y,WxH client_after=WxH");
    return report.Finish();
  }
  return Observe(arguments[2], expected, &report);
}
