#include "inkmoor_launcher.h"

#include <cwchar>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <type_traits>

namespace test_support {

namespace {

constexpr wchar_t kScriptVariable[] = L"WEFT_STANDIN_SCRIPT";
constexpr wchar_t kLogVariable[] = L"WEFT_STANDIN_LOG";
constexpr UINT kEndedExitCode = 99;
constexpr char kFramePrefix[] = "frame ";
constexpr wchar_t kWindowClass[] = L"WEFT_RUNNER_WIN32_WINDOW";
constexpr DWORD kLogPollMilliseconds = 10;

struct EnvironmentFree {
  void operator()(wchar_t* block) const { FreeEnvironmentStringsW(block); }
};

// An inheritable handle exists only while this is held, so a process that another thread
// starts meanwhile cannot inherit this launch's error file.
std::mutex& ProcessStartMutex() {
  static std::mutex mutex;
  return mutex;
}

std::wstring TempPath(const wchar_t* prefix) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  wchar_t path[MAX_PATH] = {};
  GetTempFileNameW(folder, prefix, 0, path);
  return path;
}

std::string ReadFile(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(line);
  }
  return lines;
}

// Standard error is a text stream on Windows, so its line ends arrive as CR LF.
std::string WithUnixLineEnds(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      result.push_back(text[i]);
    }
  }
  return result;
}

bool StartsWithVariable(const std::wstring& entry, const wchar_t* name) {
  const std::wstring prefix = std::wstring(name) + L"=";
  return _wcsnicmp(entry.c_str(), prefix.c_str(), prefix.size()) == 0;
}

// This process's environment with the two variables of the stand-in's scripted application.
std::wstring EnvironmentBlock(const std::wstring& script_path, const std::wstring& log_path) {
  std::unique_ptr<wchar_t, EnvironmentFree> current(GetEnvironmentStringsW());
  std::wstring block;
  for (const wchar_t* entry = current.get(); entry != nullptr && *entry != L'\0';
       entry += wcslen(entry) + 1) {
    const std::wstring text(entry);
    if (StartsWithVariable(text, kScriptVariable) || StartsWithVariable(text, kLogVariable)) {
      continue;
    }
    block += text;
    block.push_back(L'\0');
  }
  block += std::wstring(kScriptVariable) + L"=" + script_path;
  block.push_back(L'\0');
  block += std::wstring(kLogVariable) + L"=" + log_path;
  block.push_back(L'\0');
  block.push_back(L'\0');
  return block;
}

// Null with *start_error set when the process could not be started.
OwnedHandle StartProcess(const std::wstring& executable, const LaunchOptions& options,
                         const std::wstring& error_path, std::wstring environment, DWORD* id,
                         DWORD* start_error) {
  std::lock_guard<std::mutex> hold(ProcessStartMutex());
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  OwnedHandle error_file(CreateFileW(error_path.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (error_file.get() == INVALID_HANDLE_VALUE) {
    static_cast<void>(error_file.release());
    *start_error = GetLastError();
    return nullptr;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = options.no_standard_handles ? nullptr : GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = options.no_standard_handles ? nullptr : error_file.get();
  startup.hStdError = startup.hStdOutput;
  std::wstring command_line = L"\"" + executable + L"\"";
  if (!options.arguments.empty()) {
    command_line += L" " + options.arguments;
  }
  const wchar_t* folder = options.working_folder.empty() ? nullptr : options.working_folder.c_str();
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(executable.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT, environment.data(), folder, &startup, &process)) {
    *start_error = GetLastError();
    return nullptr;
  }
  CloseHandle(process.hThread);
  *id = process.dwProcessId;
  return OwnedHandle(process.hProcess);
}

void WaitForEnd(HANDLE process, std::chrono::milliseconds limit, Launch* launch) {
  launch->finished =
      WaitForSingleObject(process, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
  if (!launch->finished) {
    TerminateProcess(process, kEndedExitCode);
    WaitForSingleObject(process, INFINITE);
  }
  GetExitCodeProcess(process, &launch->exit_code);
}

struct WindowSearch {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM search_address) {
  auto* search = reinterpret_cast<WindowSearch*>(search_address);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t class_name[64] = {};
  GetClassNameW(window, class_name, 64);
  if (owner != search->process_id || wcscmp(class_name, kWindowClass) != 0) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

}  // namespace

InkmoorProcess::InkmoorProcess(const std::wstring& executable,
                               const std::vector<std::string>& script, const LaunchOptions& options)
    : script_path_(TempPath(L"scr")), log_path_(TempPath(L"log")), error_path_(TempPath(L"err")) {
  {
    std::ofstream file(std::filesystem::path(script_path_), std::ios::binary);
    for (const std::string& line : script) {
      file << line << "\n";
    }
  }
  process_ = StartProcess(executable, options, error_path_,
                          EnvironmentBlock(script_path_, log_path_), &id_, &start_error_);
}

InkmoorProcess::~InkmoorProcess() {
  if (process_ && WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_.get(), kEndedExitCode);
    WaitForSingleObject(process_.get(), INFINITE);
  }
  DeleteFileW(script_path_.c_str());
  DeleteFileW(log_path_.c_str());
  DeleteFileW(error_path_.c_str());
}

// The log only grows, so a line once seen stays: polling it cannot miss the event. Whether the
// process has ended (or the time is up) is asked before each read, so that the last read comes
// after the end and still finds a line written just before it.
std::string InkmoorProcess::WaitForLogLine(const std::string& prefix,
                                           std::chrono::milliseconds limit) {
  if (!process_) {
    return {};
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const bool last_read =
        std::chrono::steady_clock::now() >= deadline ||
        WaitForSingleObject(process_.get(), kLogPollMilliseconds) == WAIT_OBJECT_0;
    for (const std::string& line : SplitLines(ReadFile(log_path_))) {
      if (line.rfind(prefix, 0) == 0) {
        return line;
      }
    }
    if (last_read) {
      return {};
    }
  }
}

HWND InkmoorProcess::TopLevelWindow() const {
  WindowSearch search = {id_, nullptr};
  EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

Launch InkmoorProcess::Finish(std::chrono::milliseconds limit) {
  Launch launch;
  launch.start_error = start_error_;
  if (process_) {
    WaitForEnd(process_.get(), limit, &launch);
  }
  launch.log = SplitLines(ReadFile(log_path_));
  launch.error_output = WithUnixLineEnds(ReadFile(error_path_));
  return launch;
}

Launch RunInkmoor(const std::wstring& executable, const std::vector<std::string>& script,
                  std::chrono::milliseconds limit, const LaunchOptions& options) {
  return InkmoorProcess(executable, script, options).Finish(limit);
}

std::wstring BundleExecutable() {
  return ProgramFolder() + L"..\\bundle\\inkmoor.exe";
}

std::vector<std::string> WithoutFrames(const std::vector<std::string>& log) {
  std::vector<std::string> lines;
  for (const std::string& line : log) {
    if (line.rfind(kFramePrefix, 0) != 0) {
      lines.push_back(line);
    }
  }
  return lines;
}

}  // namespace test_support
