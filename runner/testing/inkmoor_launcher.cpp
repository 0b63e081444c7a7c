#include "inkmoor_launcher.h"

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <type_traits>

namespace inkmoor::testing {

namespace {

constexpr wchar_t kScriptVariable[] = L"WEFT_STANDIN_SCRIPT";
constexpr wchar_t kLogVariable[] = L"WEFT_STANDIN_LOG";
constexpr UINT kEndedExitCode = 99;
constexpr char kFramePrefix[] = "frame ";

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

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
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Standard error is a text stream on Windows, so its line ends arrive as CR LF.
std::string WithUnixLineEnds(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
      result.push_back(text[i]);
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
    if (StartsWithVariable(text, kScriptVariable) || StartsWithVariable(text, kLogVariable))
      continue;
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

OwnedHandle StartProcess(const std::wstring& executable, const std::wstring& error_path,
                         std::wstring environment) {
  std::lock_guard<std::mutex> hold(ProcessStartMutex());
  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  OwnedHandle error_file(CreateFileW(error_path.c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (error_file.get() == INVALID_HANDLE_VALUE) {
    static_cast<void>(error_file.release());
    return nullptr;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = error_file.get();
  startup.hStdError = error_file.get();
  std::wstring command_line = L"\"" + executable + L"\"";
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(executable.c_str(), command_line.data(), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr, &startup,
                      &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
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

}  // namespace

Launch RunInkmoor(const std::wstring& executable, const std::vector<std::string>& script,
                  std::chrono::milliseconds limit) {
  const std::wstring script_path = TempPath(L"scr");
  const std::wstring log_path = TempPath(L"log");
  const std::wstring error_path = TempPath(L"err");
  {
    std::ofstream file(std::filesystem::path(script_path), std::ios::binary);
    for (const std::string& line : script)
      file << line << "\n";
  }

  Launch launch;
  OwnedHandle process =
      StartProcess(executable, error_path, EnvironmentBlock(script_path, log_path));
  if (process)
    WaitForEnd(process.get(), limit, &launch);

  launch.log = SplitLines(ReadFile(log_path));
  launch.error_output = WithUnixLineEnds(ReadFile(error_path));
  DeleteFileW(script_path.c_str());
  DeleteFileW(log_path.c_str());
  DeleteFileW(error_path.c_str());
  return launch;
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring BundleExecutable() {
  return ProgramFolder() + L"\\..\\bundle\\inkmoor.exe";
}

std::vector<std::string> WithoutFrames(const std::vector<std::string>& log) {
  std::vector<std::string> lines;
  for (const std::string& line : log) {
    if (line.rfind(kFramePrefix, 0) != 0)
      lines.push_back(line);
  }
  return lines;
}

}  // namespace inkmoor::testing
