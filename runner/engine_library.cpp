#include "engine_library.h"

#include <windows.h>

#include "startup_failure.h"

namespace {

constexpr wchar_t kEngineLibrary[] = L"weft_windows.dll";
constexpr char kEngineLibraryFailed[] = "Cannot load the engine library weft_windows.dll";
// The executable's folder first, then the system's; never the working folder, from which a
// planted DLL could be loaded.
constexpr DWORD kEngineLibrarySearch = LOAD_LIBRARY_SEARCH_DEFAULT_DIRS;

// The handle is the process's for good: the delay-load imports point into the library until the
// process ends, so it is never freed.
HMODULE engine_library = nullptr;

}  // namespace

bool LoadEngineLibrary() {
  engine_library = LoadLibraryExW(kEngineLibrary, nullptr, kEngineLibrarySearch);
  if (engine_library == nullptr) {
    ReportStartupFailure(kEngineLibraryFailed, GetLastError());
    return false;
  }
  return true;
}
