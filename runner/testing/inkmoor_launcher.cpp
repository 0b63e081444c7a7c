#include "inkmoor_launcher.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace inkmoor::testing {

namespace {

constexpr wchar_t kScriptVariable[] = L"WEFT_STANDIN_SCRIPT";
constexpr wchar_t kLogVariable[] = L"WEFT_STANDIN_LOG";
constexpr char kFramePrefix[] = "frame ";
constexpr UINT kEndedExitCode = 99;

struct ScopedHandle {
  explicit ScopedHandle(HANDLE handle) : handle(handle) {}
  ~ScopedHandle() {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE)
      CloseHandle(handle);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE handle;
};

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

// Starts executable with error_output as its standard output and error, and waits.
void RunToEnd(const std::wstring& executable, HANDLE error_output, std::chrono::milliseconds limit,
              Launch* launch) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = error_output;
  startup.hStdError = error_output;
  std::wstring command_line = L"\"" + executable + L"\"";
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(executable.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return;
  }
  ScopedHandle process_handle(process.hProcess);
  ScopedHandle thread_handle(process.hThread);
  launch->finished =
      WaitForSingleObject(process.hProcess, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
  if (!launch->finished) {
    TerminateProcess(process.hProcess, kEndedExitCode);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  GetExitCodeProcess(process.hProcess, &launch->exit_code);
}

}  // namespace

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L"\\/"));
}

std::wstring BundleExecutable() {
  return ProgramFolder() + L"\\..\\bundle\\inkmoor.exe";
}

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
  {
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    ScopedHandle error_file(CreateFileW(error_path.c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    SetEnvironmentVariableW(kScriptVariable, script_path.c_str());
    SetEnvironmentVariableW(kLogVariable, log_path.c_str());
    RunToEnd(executable, error_file.handle, limit, &launch);
    SetEnvironmentVariableW(kScriptVariable, nullptr);
    SetEnvironmentVariableW(kLogVariable, nullptr);
  }

  launch.log = SplitLines(ReadFile(log_path));
  launch.error_output = WithUnixLineEnds(ReadFile(error_path));
  DeleteFileW(script_path.c_str());
  DeleteFileW(log_path.c_str());
  DeleteFileW(error_path.c_str());
  return launch;
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
