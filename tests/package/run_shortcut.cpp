// Starts what a shortcut starts and waits for it to end: the installer's round trip runs the
// installed program the way its Start-menu entry does. The shell starts a shortcut without
// handing out a process to wait on, so the link is read with IShellLinkW and its command is
// started here, in the link's working folder or in another one.
//
//   run_shortcut LINK [FOLDER]
//
// Prints "target T", "folder F", "arguments A" and, once the program has ended, "exit N"; exits
// with the program's exit code, or with kFailed after a line on standard error.
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <string>

#include "process_helpers.h"

namespace {

constexpr int kFailed = 125;
constexpr DWORD kTimeLimitMilliseconds = 120000;
constexpr UINT kEndedExitCode = 124;

struct ComRelease {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <typename Interface>
using ComPtr = std::unique_ptr<Interface, ComRelease>;

class ComApartment {
 public:
  ComApartment() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (ok_) {
      CoUninitialize();
    }
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

  bool ok() const { return ok_; }

 private:
  bool ok_;
};

struct Shortcut {
  std::wstring target;
  std::wstring folder;
  std::wstring arguments;
};

void PrintLine(const char* label, const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size,
                      nullptr, nullptr);
  std::printf("%s %s\n", label, bytes.c_str());
  std::fflush(stdout);
}

int Fail(const char* what) {
  std::fprintf(stderr, "run_shortcut: %s\n", what);
  return kFailed;
}

// Empty target when the link cannot be read.
Shortcut ReadShortcut(const wchar_t* path) {
  IShellLinkW* raw_link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&raw_link)))) {
    return {};
  }
  ComPtr<IShellLinkW> link(raw_link);
  IPersistFile* raw_file = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&raw_file)))) {
    return {};
  }
  ComPtr<IPersistFile> file(raw_file);
  if (FAILED(file->Load(path, STGM_READ))) {
    return {};
  }
  wchar_t target[MAX_PATH] = {};
  wchar_t folder[MAX_PATH] = {};
  wchar_t arguments[INFOTIPSIZE] = {};
  if (FAILED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) ||
      FAILED(link->GetWorkingDirectory(folder, MAX_PATH)) ||
      FAILED(link->GetArguments(arguments, INFOTIPSIZE))) {
    return {};
  }
  return {target, folder, arguments};
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2 && argc != 3) {
    return Fail("usage: run_shortcut LINK [FOLDER]");
  }
  const ComApartment apartment;
  if (!apartment.ok()) {
    return Fail("COM did not start");
  }
  const Shortcut shortcut = ReadShortcut(argv[1]);
  if (shortcut.target.empty()) {
    return Fail("the link cannot be read or has no target");
  }
  PrintLine("target", shortcut.target);
  PrintLine("folder", shortcut.folder);
  PrintLine("arguments", shortcut.arguments);

  // As the shell does: the quoted target, then the link's arguments.
  std::wstring command = L"\"" + shortcut.target + L"\"";
  if (!shortcut.arguments.empty()) {
    command += L" " + shortcut.arguments;
  }
  const std::wstring folder = argc == 3 ? argv[2] : shortcut.folder;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(shortcut.target.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &started)) {
    return Fail("the target did not start");
  }
  const test_support::OwnedHandle process(started.hProcess);
  const test_support::OwnedHandle thread(started.hThread);

  if (WaitForSingleObject(process.get(), kTimeLimitMilliseconds) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), kEndedExitCode);
    return Fail("the program was still running at the time limit and was ended");
  }
  DWORD exit_code = 0;
  GetExitCodeProcess(process.get(), &exit_code);
  PrintLine("exit", std::to_wstring(exit_code));
  return static_cast<int>(exit_code);
}
