// Runs the scripted application's commands in order, each after the previous one finished.
#ifndef STANDIN_ENGINE_SCRIPT_RUNNER_H_
#define STANDIN_ENGINE_SCRIPT_RUNNER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "event_lines.h"
#include "script.h"

namespace standin {

enum class SendOutcome {
  kAwaitingReply,  // the reply comes later through ScriptRunner::OnReply
  kNoHandler,      // no one listens on the channel: the empty reply
  kRefused,
};

// What the commands act on: the application's messenger and its top-level window.
class ScriptEnvironment {
 public:
  virtual ~ScriptEnvironment() = default;
  virtual SendOutcome SendWithReply(const std::string& channel,
                                    const std::vector<uint8_t>& bytes) = 0;
  virtual std::string TopLevelTitle() = 0;
  virtual bool TopLevelVisible() = 0;
  // Only asks for the close; the runner goes on once ResumeLater's turn has come.
  virtual void CloseTopLevel() = 0;
  // Arranges a later call of ScriptRunner::Resume, after what is queued already.
  virtual void ResumeLater() = 0;
  virtual void Log(const std::string& line) = 0;
  virtual ArgumentsSeen EngineArguments() = 0;
  virtual ProcessStats Stats() = 0;
  // Crashes the process on purpose, after logging CrashLine(line, the crashing thread).
  virtual void Crash(CrashWay way, const std::string& line) = 0;
};

class ScriptRunner {
 public:
  ScriptRunner(std::vector<ScriptCommand> commands, ScriptEnvironment* environment);

  void Start();
  // The reply to the send in progress; ignored when no send waits.
  void OnReply(const uint8_t* bytes, size_t size);
  void Resume();

  bool Finished() const { return wait_ == Wait::kNone && next_ == commands_.size(); }

 private:
  enum class Wait { kNone, kReply, kTurn };

  // A repeat block that is running: where its commands start and how many more times they run.
  struct Loop {
    size_t first = 0;
    uint64_t runs_left = 0;
  };

  void RunUntilWaiting();
  Wait Run(const ScriptCommand& command);
  Wait RunSend(const ScriptCommand& command);
  void EnterRepeat(const ScriptCommand& command);
  void LeaveRepeat(const ScriptCommand& command);
  // The index after the end that matches the repeat before `first`, or the script's end.
  size_t AfterMatchingEnd(size_t first) const;

  std::vector<ScriptCommand> commands_;
  ScriptEnvironment* environment_;
  size_t next_ = 0;
  bool started_ = false;
  Wait wait_ = Wait::kNone;
  std::string waiting_channel_;
  std::vector<Loop> loops_;
};

}  // namespace standin

#endif  // STANDIN_ENGINE_SCRIPT_RUNNER_H_
