#include "script.h"

#include <gtest/gtest.h>

namespace standin {
namespace {

using Kind = ScriptCommand::Kind;

TEST(ScriptTest, SkipsBlankLinesAndComments) {
  EXPECT_FALSE(ParseScriptLine(""));
  EXPECT_FALSE(ParseScriptLine(" \t "));
  EXPECT_FALSE(ParseScriptLine("# send x 00"));
  EXPECT_FALSE(ParseScriptLine("  #title"));
}

TEST(ScriptTest, ReadsSendWithChannelAndBytes) {
  const std::optional<ScriptCommand> command = ParseScriptLine("send quillmere/window 07 08 73 65");
  ASSERT_TRUE(command);
  EXPECT_EQ(command->kind, Kind::kSend);
  EXPECT_EQ(command->channel, "quillmere/window");
  EXPECT_EQ(command->bytes, (std::vector<uint8_t>{0x07, 0x08, 0x73, 0x65}));
}

TEST(ScriptTest, ASendMayCarryNoBytes) {
  const std::optional<ScriptCommand> command = ParseScriptLine("send a/b");
  ASSERT_TRUE(command);
  EXPECT_EQ(command->kind, Kind::kSend);
  EXPECT_EQ(command->channel, "a/b");
  EXPECT_TRUE(command->bytes.empty());
}

TEST(ScriptTest, ReadsTheCommandsWithoutArguments) {
  EXPECT_EQ(ParseScriptLine("title")->kind, Kind::kTitle);
  EXPECT_EQ(ParseScriptLine("visible")->kind, Kind::kVisible);
  EXPECT_EQ(ParseScriptLine("  close  ")->kind, Kind::kClose);
  EXPECT_EQ(ParseScriptLine("arguments")->kind, Kind::kArguments);
  EXPECT_EQ(ParseScriptLine("stats")->kind, Kind::kStats);
  EXPECT_EQ(ParseScriptLine("end")->kind, Kind::kEnd);
}

TEST(ScriptTest, ReadsARepeatCount) {
  const std::optional<ScriptCommand> command = ParseScriptLine("repeat 1000000");
  ASSERT_TRUE(command);
  EXPECT_EQ(command->kind, Kind::kRepeat);
  EXPECT_EQ(command->count, 1000000u);
}

TEST(ScriptTest, ReadsTheWayToCrash) {
  const std::pair<const char*, CrashWay> cases[] = {
      {"crash ui", CrashWay::kAccessViolation},
      {"crash thread", CrashWay::kThreadAccessViolation},
      {"crash  stack", CrashWay::kStackOverflow},
      {"crash terminate", CrashWay::kTerminate},
      {"crash throw", CrashWay::kUncaughtException},
  };
  for (const auto& [line, way] : cases) {
    const std::optional<ScriptCommand> command = ParseScriptLine(line);
    ASSERT_TRUE(command) << line;
    EXPECT_EQ(command->kind, Kind::kCrash) << line;
    EXPECT_EQ(command->crash, way) << line;
  }
}

TEST(ScriptTest, AnythingElseIsInvalidAndKeepsItsLine) {
  for (const char* line :
       {"send", "send a/b 0", "send a/b zz", "title now", "Title", "closed", "sendx a/b 00", "frob",
        "repeat", "repeat -1", "repeat 2x", "repeat 1234567890123", "end now", "stats 1", "crash",
        "crash UI", "crash ui now"}) {
    const std::optional<ScriptCommand> command = ParseScriptLine(line);
    ASSERT_TRUE(command) << line;
    EXPECT_EQ(command->kind, Kind::kInvalid) << line;
    EXPECT_EQ(command->line, line);
  }
  EXPECT_EQ(ParseScriptLine("  frob  ")->line, "frob");
}

TEST(ScriptTest, SplitsLinesEndingInLineFeedOrCarriageReturnLineFeed) {
  const std::vector<ScriptCommand> commands =
      ParseScript("# start\r\ntitle\r\n\r\nsend c 00\nvisible\nclose");
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[0].kind, Kind::kTitle);
  EXPECT_EQ(commands[1].kind, Kind::kSend);
  EXPECT_EQ(commands[1].bytes, std::vector<uint8_t>{0x00});
  EXPECT_EQ(commands[2].kind, Kind::kVisible);
  EXPECT_EQ(commands[3].kind, Kind::kClose);
}

}  // namespace
}  // namespace standin
