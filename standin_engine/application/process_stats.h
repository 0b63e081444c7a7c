// The process's use of memory, handles and window objects, read from inside the process.
#ifndef STANDIN_ENGINE_PROCESS_STATS_H_
#define STANDIN_ENGINE_PROCESS_STATS_H_

#include <cstdint>

#include "event_lines.h"

namespace standin {

// Milliseconds since some fixed moment; differences of two readings are durations.
uint64_t MonotonicMilliseconds();

// Private bytes, handles, USER and GDI objects now, and the milliseconds since `start`.
ProcessStats ReadProcessStats(uint64_t start);

}  // namespace standin

#endif  // STANDIN_ENGINE_PROCESS_STATS_H_
