// Small helpers for tests that start other programs of the build.
#ifndef TESTS_SUPPORT_PROCESS_HELPERS_H_
#define TESTS_SUPPORT_PROCESS_HELPERS_H_

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

namespace test_support {

struct HandleClose {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleClose>;

// The folder of the running test program, with a trailing backslash. The build puts every
// program there.
inline std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
  path.resize(length);
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

}  // namespace test_support

#endif  // TESTS_SUPPORT_PROCESS_HELPERS_H_
