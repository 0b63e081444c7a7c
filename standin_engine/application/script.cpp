#include "script.h"

#include "hex.h"

namespace standin {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr char kComment = '#';
constexpr std::string_view kSend = "send";
constexpr std::string_view kTitle = "title";
constexpr std::string_view kVisible = "visible";
constexpr std::string_view kClose = "close";
constexpr std::string_view kArguments = "arguments";
constexpr std::string_view kStats = "stats";
constexpr std::string_view kRepeat = "repeat";
constexpr std::string_view kEnd = "end";
constexpr std::string_view kCrash = "crash";
struct CrashWayName {
  std::string_view name;
  CrashWay way;
};
constexpr CrashWayName kCrashWays[] = {
    {"ui", CrashWay::kAccessViolation},      {"thread", CrashWay::kThreadAccessViolation},
    {"stack", CrashWay::kStackOverflow},     {"terminate", CrashWay::kTerminate},
    {"throw", CrashWay::kUncaughtException},
};
constexpr std::string_view kDigits = "0123456789";
// Enough for any count a script needs, and safe from overflow.
constexpr size_t kMaxCountDigits = 12;

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) {
    return {};
  }
  const size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

// Splits off the first word; the rest keeps its inner blanks but not its leading ones.
std::string_view TakeWord(std::string_view* text) {
  const size_t end = text->find_first_of(kBlanks);
  const std::string_view word = text->substr(0, end);
  *text = end == std::string_view::npos ? std::string_view() : Trim(text->substr(end));
  return word;
}

ScriptCommand Invalid(std::string_view line) {
  ScriptCommand command;
  command.line = std::string(line);
  return command;
}

ScriptCommand ParseSend(std::string_view line, std::string_view rest) {
  const std::string_view channel = TakeWord(&rest);
  if (channel.empty()) {
    return Invalid(line);
  }
  std::optional<std::vector<uint8_t>> bytes = ParseHex(rest);
  if (!bytes) {
    return Invalid(line);
  }
  ScriptCommand command;
  command.kind = ScriptCommand::Kind::kSend;
  command.channel = std::string(channel);
  command.bytes = std::move(*bytes);
  command.line = std::string(line);
  return command;
}

ScriptCommand ParseRepeat(std::string_view line, std::string_view rest) {
  if (rest.empty() || rest.size() > kMaxCountDigits ||
      rest.find_first_not_of(kDigits) != std::string_view::npos) {
    return Invalid(line);
  }
  ScriptCommand command;
  command.kind = ScriptCommand::Kind::kRepeat;
  command.count = std::stoull(std::string(rest));
  command.line = std::string(line);
  return command;
}

ScriptCommand ParseCrash(std::string_view line, std::string_view rest) {
  for (const CrashWayName& way : kCrashWays) {
    if (rest == way.name) {
      ScriptCommand command;
      command.kind = ScriptCommand::Kind::kCrash;
      command.crash = way.way;
      command.line = std::string(line);
      return command;
    }
  }
  return Invalid(line);
}

ScriptCommand Plain(ScriptCommand::Kind kind, std::string_view line, std::string_view rest) {
  if (!rest.empty()) {
    return Invalid(line);
  }
  ScriptCommand command;
  command.kind = kind;
  command.line = std::string(line);
  return command;
}

}  // namespace

std::optional<ScriptCommand> ParseScriptLine(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == kComment) {
    return std::nullopt;
  }
  std::string_view rest = line;
  const std::string_view word = TakeWord(&rest);
  if (word == kSend) {
    return ParseSend(line, rest);
  }
  if (word == kTitle) {
    return Plain(ScriptCommand::Kind::kTitle, line, rest);
  }
  if (word == kVisible) {
    return Plain(ScriptCommand::Kind::kVisible, line, rest);
  }
  if (word == kClose) {
    return Plain(ScriptCommand::Kind::kClose, line, rest);
  }
  if (word == kArguments) {
    return Plain(ScriptCommand::Kind::kArguments, line, rest);
  }
  if (word == kStats) {
    return Plain(ScriptCommand::Kind::kStats, line, rest);
  }
  if (word == kRepeat) {
    return ParseRepeat(line, rest);
  }
  if (word == kEnd) {
    return Plain(ScriptCommand::Kind::kEnd, line, rest);
  }
  if (word == kCrash) {
    return ParseCrash(line, rest);
  }
  return Invalid(line);
}

std::vector<ScriptCommand> ParseScript(std::string_view text) {
  std::vector<ScriptCommand> commands;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    std::optional<ScriptCommand> command = ParseScriptLine(line);
    if (command) {
      commands.push_back(std::move(*command));
    }
  }
  return commands;
}

}  // namespace standin
