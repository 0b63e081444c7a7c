// The lines of the scripted application's event log, one per event.
#ifndef STANDIN_ENGINE_EVENT_LINES_H_
#define STANDIN_ENGINE_EVENT_LINES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

std::string FrameLine(uint32_t number, bool visible);
// An empty reply is written as "-".
std::string ReplyLine(std::string_view channel, const uint8_t* bytes, size_t size);
std::string RefusedLine(std::string_view channel);
std::string TitleLine(std::string_view title);
std::string VisibleLine(bool visible);
std::string ErrorLine(std::string_view line);
// Written just before a crash on purpose: the script's line and the thread that will crash.
std::string CrashLine(std::string_view line, uint32_t thread);

// What the engine was created with, as the application sees it: the count as passed, "null" when
// the argument array was a null pointer, then each argument's UTF-8 bytes in hex ("-" when empty).
struct ArgumentsSeen {
  int32_t count = 0;
  bool array_null = true;
  std::vector<std::string> arguments;
};
std::string ArgumentsLine(const ArgumentsSeen& seen);

// The process's use of memory and handles, and the time since the application began.
struct ProcessStats {
  uint64_t private_bytes = 0;  // committed memory of this process alone
  uint64_t heap_bytes = 0;     // in use in the process's heaps
  uint32_t handles = 0;
  uint32_t windows = 0;  // of the application's thread, children included
  uint32_t user_objects = 0;
  uint32_t gdi_objects = 0;
  uint64_t milliseconds = 0;
};
std::string StatsLine(const ProcessStats& stats);

}  // namespace standin

#endif  // STANDIN_ENGINE_EVENT_LINES_H_
