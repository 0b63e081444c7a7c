// Crashes of the process on purpose, for the host's crash handler to catch.
#ifndef STANDIN_ENGINE_DELIBERATE_CRASH_H_
#define STANDIN_ENGINE_DELIBERATE_CRASH_H_

#include <cstdint>
#include <functional>

#include "script.h"

namespace standin {

// Crashes the process in the given way. announce receives the id of the thread that is about to
// crash, before it does. For a crash on a thread of its own this returns once that thread runs.
void CrashOnPurpose(CrashWay way, const std::function<void(uint32_t thread)>& announce);

}  // namespace standin

#endif  // STANDIN_ENGINE_DELIBERATE_CRASH_H_
