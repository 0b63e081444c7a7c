// The launch-hang baseline: a minimal Win32 program that makes inkmoor.exe's start-up calls
// (console, COM, screen DPI, window class, window, title bar theme, show, close) but loads no
// engine, and a launcher that starts it many times the way the soak starts inkmoor.exe.
//
//   baseline.exe                     one start-up: opens its window, closes it, exits with 0
//   baseline.exe --hang              the same, but stays open for ever (to check the watcher)
//   launcher.exe --launch N [--parallel P] [--limit S] [--hang-at K]
//                                    N launches of baseline.exe from the same folder (a copy of
//                                    this program under another name, so that the watcher can
//                                    tell the launches from the launcher), P at a time (2),
//                                    each given S seconds (30), the K-th (from 1) started with
//                                    --hang; prints one line per launch that failed or outlived
//                                    its limit and a summary line
//
// Built by tools/launch-hang-hunt with the project's mingw-w64 compiler; not part of the product.
#include <windows.h>

#include <dwmapi.h>
#include <objbase.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr wchar_t kClassName[] = L"WEFT_LAUNCH_HANG_BASELINE";
constexpr wchar_t kChildName[] = L"baseline.exe";
constexpr wchar_t kTitle[] = L"Quillmere";
constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kLightThemeValue[] = L"AppsUseLightTheme";
constexpr DWORD kImmersiveDarkModeAttribute = 20;
constexpr UINT kEndedExitCode = 99;

struct Options {
  bool hang = false;
  long launches = 0;  // 0: this process is one start-up
  long parallel = 2;
  long limit_seconds = 30;
  long hang_at = 0;
};

Options ReadOptions(int count, wchar_t** arguments) {
  Options options;
  for (int i = 1; i < count; ++i) {
    const std::wstring argument = arguments[i];
    const long value = i + 1 < count ? std::wcstol(arguments[i + 1], nullptr, 10) : 0;
    if (argument == L"--hang") {
      options.hang = true;
      continue;
    }
    if (argument == L"--launch") {
      options.launches = value;
    } else if (argument == L"--parallel") {
      options.parallel = value;
    } else if (argument == L"--limit") {
      options.limit_seconds = value;
    } else if (argument == L"--hang-at") {
      options.hang_at = value;
    }
    ++i;
  }
  return options;
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// As the host reads the screen's DPI before it opens its window.
int ReadScreenDpi() {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// As the host gives its window the title bar the user prefers.
void ApplySystemTheme(HWND window) {
  DWORD light_theme = 1;
  DWORD size = sizeof(light_theme);
  RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kLightThemeValue, RRF_RT_REG_DWORD, nullptr,
               &light_theme, &size);
  const BOOL dark = light_theme == 0 ? TRUE : FALSE;
  DwmSetWindowAttribute(window, kImmersiveDarkModeAttribute, &dark, sizeof(dark));
}

int StartUp(bool hang) {
  AttachConsole(ATTACH_PARENT_PROCESS);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const double scale = ReadScreenDpi() / 96.0;

  const HINSTANCE module = GetModuleHandleW(nullptr);
  WNDCLASSW window_class = {};
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = module;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kClassName;
  if (RegisterClassW(&window_class) == 0) {
    return 1;
  }
  MonitorFromPoint({10, 10}, MONITOR_DEFAULTTONEAREST);
  const HWND window =
      CreateWindowExW(0, kClassName, kTitle, WS_OVERLAPPEDWINDOW, static_cast<int>(10 * scale),
                      static_cast<int>(10 * scale), static_cast<int>(800 * scale),
                      static_cast<int>(600 * scale), nullptr, nullptr, module, nullptr);
  if (window == nullptr) {
    return 1;
  }
  ApplySystemTheme(window);
  ShowWindow(window, SW_SHOWNORMAL);
  if (!hang) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  CoUninitialize();
  return 0;
}

// baseline.exe beside this program.
std::wstring ChildPath() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path.substr(0, path.find_last_of(L"\\/") + 1) + kChildName;
}

// One launch: true when it ended within the limit with exit code 0.
bool LaunchOnce(const std::wstring& program, long number, const Options& options) {
  std::wstring command_line = L"\"" + program + L"\"";
  if (number == options.hang_at) {
    command_line += L" --hang";
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    std::printf("launch %ld: cannot start (error %lu)\n", number, GetLastError());
    return false;
  }
  CloseHandle(process.hThread);
  const DWORD limit = static_cast<DWORD>(options.limit_seconds) * 1000;
  const bool ended = WaitForSingleObject(process.hProcess, limit) == WAIT_OBJECT_0;
  if (!ended) {
    std::printf("launch %ld: hang: process %lu still running after %ld s\n", number,
                process.dwProcessId, options.limit_seconds);
    std::fflush(stdout);
    TerminateProcess(process.hProcess, kEndedExitCode);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  DWORD exit_code = 0;
  GetExitCodeProcess(process.hProcess, &exit_code);
  CloseHandle(process.hProcess);
  if (ended && exit_code != 0) {
    std::printf("launch %ld: exit code %lu\n", number, exit_code);
  }
  return ended && exit_code == 0;
}

int LaunchMany(const Options& options) {
  const std::wstring program = ChildPath();
  const auto start = std::chrono::steady_clock::now();
  std::atomic<long> next{1};
  std::atomic<long> failures{0};
  std::vector<std::thread> workers;
  for (long i = 0; i < options.parallel; ++i) {
    workers.emplace_back([&]() {
      for (long number = next++; number <= options.launches; number = next++) {
        if (!LaunchOnce(program, number, options)) {
          ++failures;
        }
      }
    });
  }
  for (std::thread& worker : workers) {
    worker.join();
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("baseline: %ld launches, %ld failures, %.1f s\n", options.launches, failures.load(),
              seconds);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  const Options options = ReadOptions(count, arguments);
  LocalFree(arguments);
  if (options.launches > 0) {
    return LaunchMany(options);
  }
  return StartUp(options.hang);
}
