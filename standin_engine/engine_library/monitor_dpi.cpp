#include "monitor_dpi.h"

#include "gdi_handles.h"

namespace standin {

namespace {

constexpr uint32_t kReferenceDpi = 96;
constexpr int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

// shcore is not on every system the host supports, so it is looked up at run time, from System32
// only: by name alone it would be looked for in the program's folder first. The module stays
// loaded for the life of the process: freeing it during unload is not allowed.
GetDpiForMonitorFn LookUpGetDpiForMonitor() {
  const HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (shcore == nullptr) {
    return nullptr;
  }
  const FARPROC found = GetProcAddress(shcore, "GetDpiForMonitor");
  return reinterpret_cast<GetDpiForMonitorFn>(reinterpret_cast<void (*)()>(found));
}

uint32_t ScreenDpi() {
  const ScreenDc screen;
  if (screen.get() == nullptr) {
    return kReferenceDpi;
  }
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSX);
  return dpi > 0 ? static_cast<uint32_t>(dpi) : kReferenceDpi;
}

}  // namespace

uint32_t MonitorDpi(HMONITOR monitor) {
  static const GetDpiForMonitorFn get_dpi_for_monitor = LookUpGetDpiForMonitor();
  UINT dpi_x = 0;
  UINT dpi_y = 0;
  if (monitor != nullptr && get_dpi_for_monitor != nullptr &&
      SUCCEEDED(get_dpi_for_monitor(monitor, kEffectiveDpi, &dpi_x, &dpi_y)) && dpi_x > 0) {
    return dpi_x;
  }
  return ScreenDpi();
}

}  // namespace standin
