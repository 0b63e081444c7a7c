#include "system_library.h"

#include "startup_failure.h"

namespace {

constexpr DWORD kSystemFolderOnly = LOAD_LIBRARY_SEARCH_SYSTEM32;
constexpr char kSearchNotRestricted[] = "Cannot restrict the library search to System32";

}  // namespace

void RestrictLibrarySearch() {
  // Every Windows the host supports has the call; the host runs on without it, as before.
  if (!SetDefaultDllDirectories(kSystemFolderOnly)) {
    ReportStartupFailure(kSearchNotRestricted, GetLastError());
  }
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  return LoadLibraryExW(name, nullptr, kSystemFolderOnly);
}
