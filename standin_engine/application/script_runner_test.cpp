#include "script_runner.h"

#include <gtest/gtest.h>

#include <deque>

namespace standin {
namespace {

class FakeEnvironment : public ScriptEnvironment {
 public:
  SendOutcome SendWithReply(const std::string& channel,
                            const std::vector<uint8_t>& bytes) override {
    sent.push_back(channel + ":" + std::to_string(bytes.size()));
    if (outcomes.empty()) {
      return SendOutcome::kAwaitingReply;
    }
    const SendOutcome outcome = outcomes.front();
    outcomes.pop_front();
    return outcome;
  }
  std::string TopLevelTitle() override { return title; }
  bool TopLevelVisible() override { return visible; }
  void CloseTopLevel() override { ++closes; }
  void ResumeLater() override { ++resumes_asked; }
  void Log(const std::string& line) override { log.push_back(line); }
  ArgumentsSeen EngineArguments() override { return {1, false, {"a"}}; }
  ProcessStats Stats() override { return {}; }
  void Crash(CrashWay, const std::string&) override {}

  std::deque<SendOutcome> outcomes;
  std::vector<std::string> sent;
  std::vector<std::string> log;
  std::string title = "Quillmere";
  bool visible = true;
  int closes = 0;
  int resumes_asked = 0;
};

class ScriptRunnerTest : public ::testing::Test {
 protected:
  ScriptRunner Runner(std::string_view text) { return ScriptRunner(ParseScript(text), &env_); }

  FakeEnvironment env_;
};

TEST_F(ScriptRunnerTest, RunsCommandsThatNeedNoWaitingAtOnce) {
  ScriptRunner runner = Runner("title\nvisible\nfrob\n");
  runner.Start();
  EXPECT_EQ(env_.log, (std::vector<std::string>{"title Quillmere", "visible 1", "error frob"}));
  EXPECT_TRUE(runner.Finished());
}

TEST_F(ScriptRunnerTest, ASendWaitsForItsReplyBeforeTheNextCommand) {
  ScriptRunner runner = Runner("send quillmere/window 07 00\ntitle\n");
  runner.Start();
  EXPECT_EQ(env_.sent, std::vector<std::string>{"quillmere/window:2"});
  EXPECT_TRUE(env_.log.empty());
  EXPECT_FALSE(runner.Finished());

  const uint8_t reply[] = {0x00, 0x00};
  env_.title = "Hello";
  runner.OnReply(reply, sizeof(reply));
  EXPECT_EQ(env_.log, (std::vector<std::string>{"reply quillmere/window 0000", "title Hello"}));
  EXPECT_TRUE(runner.Finished());
}

TEST_F(ScriptRunnerTest, AReplyWithoutASendInProgressIsIgnored) {
  ScriptRunner runner = Runner("title\n");
  runner.OnReply(nullptr, 0);
  runner.Start();
  runner.OnReply(nullptr, 0);
  EXPECT_EQ(env_.log, std::vector<std::string>{"title Quillmere"});
}

TEST_F(ScriptRunnerTest, UnheardAndRefusedSendsFinishAtOnce) {
  env_.outcomes = {SendOutcome::kNoHandler, SendOutcome::kRefused};
  ScriptRunner runner = Runner("send a/b 01\nsend c/d\nvisible\n");
  runner.Start();
  EXPECT_EQ(env_.log, (std::vector<std::string>{"reply a/b -", "refused c/d", "visible 1"}));
}

TEST_F(ScriptRunnerTest, CloseGoesOnOnlyWhenResumed) {
  ScriptRunner runner = Runner("close\nvisible\n");
  runner.Start();
  EXPECT_EQ(env_.closes, 1);
  EXPECT_EQ(env_.resumes_asked, 1);
  EXPECT_TRUE(env_.log.empty());
  runner.Resume();
  EXPECT_EQ(env_.log, std::vector<std::string>{"visible 1"});
  runner.Resume();
  EXPECT_EQ(env_.log.size(), 1u);
}

TEST_F(ScriptRunnerTest, RepeatsBlocksAndNestsThem) {
  struct Case {
    const char* script;
    std::vector<std::string> log;
  };
  const Case cases[] = {
      {"repeat 2\ntitle\nend\nvisible\n", {"title Quillmere", "title Quillmere", "visible 1"}},
      {"repeat 0\ntitle\nrepeat 3\nvisible\nend\nend\narguments\n", {"arguments 1 61"}},
      {"repeat 2\nrepeat 2\ntitle\nend\nvisible\nend\n",
       {"title Quillmere", "title Quillmere", "visible 1", "title Quillmere", "title Quillmere",
        "visible 1"}},
      {"end\nrepeat 3\ntitle\n", {"error end", "title Quillmere"}},
  };
  for (const Case& c : cases) {
    FakeEnvironment env;
    ScriptRunner runner(ParseScript(c.script), &env);
    runner.Start();
    EXPECT_EQ(env.log, c.log) << c.script;
    EXPECT_TRUE(runner.Finished()) << c.script;
  }
}

TEST_F(ScriptRunnerTest, ARepeatedSendWaitsForEachReply) {
  ScriptRunner runner = Runner("repeat 3\nsend a/b 01\nend\n");
  runner.Start();
  const uint8_t reply[] = {0x00, 0x00};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(env_.sent.size(), static_cast<size_t>(i + 1));
    runner.OnReply(reply, sizeof(reply));
  }
  EXPECT_EQ(env_.log, std::vector<std::string>(3, "reply a/b 0000"));
  EXPECT_TRUE(runner.Finished());
}

TEST_F(ScriptRunnerTest, StartsOnlyOnce) {
  ScriptRunner runner = Runner("title\n");
  runner.Start();
  runner.Start();
  EXPECT_EQ(env_.log.size(), 1u);
}

}  // namespace
}  // namespace standin
