#include "engine_library.h"

#include <windows.h>

#include <string>

#include "startup_failure.h"

namespace {

constexpr wchar_t kEngineLibrary[] = L"weft_windows.dll";
constexpr char kEngineLibraryFailed[] = "Cannot load the engine library weft_windows.dll";
// The engine library's own imports come from its folder or from System32; the library search
// is System32 only (RestrictLibrarySearch), so by name alone the engine would not be found.
constexpr DWORD kEngineLibrarySearch =
    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;
// The longest path Windows hands out.
constexpr size_t kLongestPath = 32768;

// The handle is the process's for good: the delay-load imports point into the library until the
// process ends, so it is never freed.
HMODULE engine_library = nullptr;

// The folder of inkmoor.exe with its closing separator; empty when the path cannot be read.
std::wstring ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return {};
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    // Cut short: a longer buffer, up to the longest path.
    if (path.size() >= kLongestPath) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return {};
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

}  // namespace

bool LoadEngineLibrary() {
  const std::wstring folder = ProgramFolder();
  if (!folder.empty()) {
    engine_library =
        LoadLibraryExW((folder + kEngineLibrary).c_str(), nullptr, kEngineLibrarySearch);
  }
  if (engine_library == nullptr) {
    ReportStartupFailure(kEngineLibraryFailed, GetLastError());
    return false;
  }
  return true;
}
