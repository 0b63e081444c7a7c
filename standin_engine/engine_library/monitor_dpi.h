// The DPI that Windows reports for a monitor (96 = scale 1).
#ifndef STANDIN_ENGINE_MONITOR_DPI_H_
#define STANDIN_ENGINE_MONITOR_DPI_H_

#include <windows.h>

#include <cstdint>

namespace standin {

// The monitor's effective DPI; the screen's when the system cannot tell it.
uint32_t MonitorDpi(HMONITOR monitor);

}  // namespace standin

#endif  // STANDIN_ENGINE_MONITOR_DPI_H_
