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
    case ScriptCommand::Kind::kInvalid:
      break;
  }
  environment_->Log(ErrorLine(command.line));
  return Wait::kNone;
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
