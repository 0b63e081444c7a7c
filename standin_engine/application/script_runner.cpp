#include "script_runner.h"

#include "event_lines.h"

namespace standin {

ScriptRunner::ScriptRunner(std::vector<ScriptCommand> commands, ScriptEnvironment* environment)
    : commands_(std::move(commands)), environment_(environment) {}

void ScriptRunner::Start() {
  if (started_) {
    return;
  }
  started_ = true;
  RunUntilWaiting();
}

void ScriptRunner::OnReply(const uint8_t* bytes, size_t size) {
  if (wait_ != Wait::kReply) {
    return;
  }
  wait_ = Wait::kNone;
  environment_->Log(ReplyLine(waiting_channel_, bytes, size));
  RunUntilWaiting();
}

void ScriptRunner::Resume() {
  if (wait_ != Wait::kTurn) {
    return;
  }
  wait_ = Wait::kNone;
  RunUntilWaiting();
}

void ScriptRunner::RunUntilWaiting() {
  while (wait_ == Wait::kNone && next_ < commands_.size()) {
    const ScriptCommand& command = commands_[next_++];
    wait_ = Run(command);
  }
}

ScriptRunner::Wait ScriptRunner::Run(const ScriptCommand& command) {
  switch (command.kind) {
    case ScriptCommand::Kind::kSend:
      return RunSend(command);
    case ScriptCommand::Kind::kTitle:
      environment_->Log(TitleLine(environment_->TopLevelTitle()));
      return Wait::kNone;
    case ScriptCommand::Kind::kVisible:
      environment_->Log(VisibleLine(environment_->TopLevelVisible()));
      return Wait::kNone;
    case ScriptCommand::Kind::kClose:
      environment_->CloseTopLevel();
      environment_->ResumeLater();
      return Wait::kTurn;
    case ScriptCommand::Kind::kArguments:
      environment_->Log(ArgumentsLine(environment_->EngineArguments()));
      return Wait::kNone;
    case ScriptCommand::Kind::kStats:
      environment_->Log(StatsLine(environment_->Stats()));
      return Wait::kNone;
    case ScriptCommand::Kind::kRepeat:
      EnterRepeat(command);
      return Wait::kNone;
    case ScriptCommand::Kind::kEnd:
      LeaveRepeat(command);
      return Wait::kNone;
    case ScriptCommand::Kind::kCrash:
      environment_->Crash(command.crash, command.line);
      return Wait::kNone;
    case ScriptCommand::Kind::kInvalid:
      break;
  }
  environment_->Log(ErrorLine(command.line));
  return Wait::kNone;
}

void ScriptRunner::EnterRepeat(const ScriptCommand& command) {
  if (command.count == 0) {
    next_ = AfterMatchingEnd(next_);
    return;
  }
  loops_.push_back(Loop{next_, command.count - 1});
}

void ScriptRunner::LeaveRepeat(const ScriptCommand& command) {
  if (loops_.empty()) {
    environment_->Log(ErrorLine(command.line));
    return;
  }
  Loop& loop = loops_.back();
  if (loop.runs_left == 0) {
    loops_.pop_back();
    return;
  }
  --loop.runs_left;
  next_ = loop.first;
}

size_t ScriptRunner::AfterMatchingEnd(size_t first) const {
  size_t open = 1;
  for (size_t i = first; i < commands_.size(); ++i) {
    if (commands_[i].kind == ScriptCommand::Kind::kRepeat) {
      ++open;
    }
    if (commands_[i].kind == ScriptCommand::Kind::kEnd) {
      --open;
    }
    if (open == 0) {
      return i + 1;
    }
  }
  return commands_.size();
}

ScriptRunner::Wait ScriptRunner::RunSend(const ScriptCommand& command) {
  waiting_channel_ = command.channel;
  switch (environment_->SendWithReply(command.channel, command.bytes)) {
    case SendOutcome::kAwaitingReply:
      return Wait::kReply;
    case SendOutcome::kNoHandler:
      environment_->Log(ReplyLine(command.channel, nullptr, 0));
      return Wait::kNone;
    case SendOutcome::kRefused:
      break;
  }
  environment_->Log(RefusedLine(command.channel));
  return Wait::kNone;
}

}  // namespace standin
