// Where the host's libraries come from. Windows searches the program's folder first for a DLL
// named without a path, and that folder is often one that anyone can write to (a ZIP unpacked
// into Downloads), so a DLL planted there would run in the host. The host names the folder of
// every library it loads, and makes System32 the only folder searched for the rest.
#ifndef RUNNER_SYSTEM_LIBRARY_H_
#define RUNNER_SYSTEM_LIBRARY_H_

#include <windows.h>

// Makes System32 the only folder searched for a library named without a path, for every later
// load in the process, those of Windows' own DLLs included. The first thing the host does.
void RestrictLibrarySearch();

// The library of that name from System32, loaded for the rest of the process's life; null when
// it is not there.
HMODULE LoadSystemLibrary(const wchar_t* name);

// The export of that name as the function type it has; null when the module or the export is
// missing.
template <typename Function>
Function FindExport(HMODULE module, const char* name) {
  if (module == nullptr) {
    return nullptr;
  }
  const FARPROC procedure = GetProcAddress(module, name);
  // Through the generic function type, which converts to any other without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(procedure));
}

#endif  // RUNNER_SYSTEM_LIBRARY_H_
