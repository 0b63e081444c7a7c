// The command file of the scripted application: one command a line.
#ifndef STANDIN_ENGINE_SCRIPT_H_
#define STANDIN_ENGINE_SCRIPT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// The ways in which the application crashes the process on purpose.
enum class CrashWay {
  kAccessViolation,        // "ui": a write to address 0 on the UI thread
  kThreadAccessViolation,  // "thread": the same on a thread of the application's own
  kStackOverflow,          // "stack": endless recursion on the UI thread
  kTerminate,              // "terminate": an exception leaves a noexcept function
  kUncaughtException,      // "throw": an exception that nothing catches, on a thread of its own
};

struct ScriptCommand {
  enum class Kind {
    kSend,
    kTitle,
    kVisible,
    kClose,
    kArguments,
    kStats,
    kRepeat,
    kEnd,
    kCrash,
    kInvalid
  };
  Kind kind = Kind::kInvalid;
  std::string channel;         // kSend
  std::vector<uint8_t> bytes;  // kSend
  uint64_t count = 0;          // kRepeat: how often the commands up to the matching kEnd run
  CrashWay crash = CrashWay::kAccessViolation;  // kCrash
  std::string line;  // the line without surrounding blanks, for kInvalid's report
};

// Nothing for a blank line or a comment (first non-blank character '#').
std::optional<ScriptCommand> ParseScriptLine(std::string_view line);

// Lines end with LF or CR LF.
std::vector<ScriptCommand> ParseScript(std::string_view text);

}  // namespace standin

#endif  // STANDIN_ENGINE_SCRIPT_H_
