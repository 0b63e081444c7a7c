// A seeded soak of the real inkmoor.exe: many launches, each playing a script of random valid
// and invalid messages on the window channel; every reply, every title read back and the exit
// code are checked. The seed is printed; INKMOOR_SOAK_SEED=<seed> replays a run.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "inkmoor_launcher.h"
#include "soak_script.h"
#include "weft/encodable_value.h"
#include "weft/standard_method_codec.h"

namespace {

using ::test_support::BundleExecutable;
using ::test_support::ExpectedOutcome;
using ::test_support::GenerateSoakMessages;
using ::test_support::GenerateSoakScript;
using ::test_support::Launch;
using ::test_support::PredictOutcome;
using ::test_support::RunInkmoor;
using ::test_support::SoakScript;
using ::test_support::TitleAsLogged;
using ::test_support::WithoutFrames;

constexpr char kSeedVariable[] = "INKMOOR_SOAK_SEED";
constexpr char kLaunchesVariable[] = "INKMOOR_SOAK_LAUNCHES";
constexpr size_t kDefaultLaunches = 200;
constexpr size_t kMaxLaunchDigits = 9;
constexpr size_t kParallelLaunches = 2;
constexpr auto kLaunchLimit = std::chrono::seconds(30);
constexpr size_t kModelMessages = 20000;

constexpr char kNotACallLine[] = "Invalid method call; method name is not a string.";
constexpr char kUndecodableLine[] =
    "Unable to construct method call from message on channel quillmere/window";
constexpr char kInvalidReadLine[] = "Invalid read in StandardCodecByteStreamReader";
constexpr char kUnknownTypeLine[] = "Unknown type in StandardCodecSerializer::ReadValueOfType: ";
constexpr char kTooDeepLine[] =
    "Nesting too deep in StandardCodecSerializer::ReadValueOfType; value read as null.";

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int value : values) {
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return bytes;
}

std::vector<uint8_t> Concat(std::vector<uint8_t> first, const std::vector<uint8_t>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

const std::vector<uint8_t> kSetTitleName =
    Bytes({0x07, 0x08, 0x73, 0x65, 0x74, 0x54, 0x69, 0x74, 0x6C, 0x65});

std::string Describe(const ExpectedOutcome& outcome) {
  return std::string(outcome.is_call ? "call" : "no call") + ", reply " + outcome.reply +
         (outcome.sets_title ? ", title \"" + outcome.title_argument + "\"" : "");
}

TEST(SoakPredictionTest, FollowsTheDecodingRules) {
  const ExpectedOutcome hello = PredictOutcome(Concat(kSetTitleName, Bytes({7, 2, 0x48, 0x69})));
  EXPECT_EQ(Describe(hello), "call, reply 0000, title \"Hi\"");
  EXPECT_EQ(Describe(PredictOutcome(kSetTitleName)), "call, reply 0000");
  EXPECT_EQ(Describe(PredictOutcome(Concat(kSetTitleName, Bytes({3, 1, 0, 0, 0})))),
            "call, reply 0000");
  EXPECT_EQ(Describe(PredictOutcome({})), "no call, reply -");
  EXPECT_EQ(Describe(PredictOutcome(Bytes({0}))), "no call, reply -");
  EXPECT_EQ(Describe(PredictOutcome(Bytes({7, 8, 0x73, 0x65, 0x74}))), "call, reply -");
  // A longer size prefix than needed, and the legacy string tag.
  EXPECT_EQ(Describe(PredictOutcome(Bytes({5, 0xFE, 8, 0, 0x73, 0x65, 0x74, 0x54, 0x69, 0x74, 0x6C,
                                           0x65, 5, 0xFF, 1, 0, 0, 0, 0x61}))),
            "call, reply 0000, title \"a\"");
  // A title whose bytes end early, and one whose size prefix ends early.
  EXPECT_EQ(Describe(PredictOutcome(Concat(kSetTitleName, Bytes({7, 5, 0x61})))),
            "call, reply 0000, title \"\"");
  EXPECT_EQ(Describe(PredictOutcome(Concat(kSetTitleName, Bytes({7, 0xFE, 5})))),
            "call, reply 0000, title \"\"");
}

TEST(SoakPredictionTest, ConvertsTitlesAsTheHostAndTheApplicationDo) {
  EXPECT_EQ(TitleAsLogged("Hello"), "Hello");
  EXPECT_EQ(TitleAsLogged(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(TitleAsLogged("a\xFF"
                          "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(TitleAsLogged("\xF0\x9F\x96\x8B"), "\xF0\x9F\x96\x8B");
  EXPECT_EQ(TitleAsLogged(""), "");
}

// The soak trusts its prediction, so the prediction is held against the host's own decoder.
TEST(SoakPredictionTest, AgreesWithTheDecoderOnGeneratedMessages) {
  const weft::StandardMethodCodec& codec = weft::StandardMethodCodec::ForSerializer(nullptr);
  const std::vector<std::vector<uint8_t>> messages = GenerateSoakMessages(1, kModelMessages);
  ::testing::internal::CaptureStderr();
  size_t disagreements = 0;
  for (const std::vector<uint8_t>& message : messages) {
    const ExpectedOutcome predicted = PredictOutcome(message);
    std::unique_ptr<weft::MethodCall<weft::EncodableValue>> call =
        codec.UnpackCall(message.data(), message.size());
    const std::string* title = nullptr;
    if (call != nullptr && call->method_name() == "setTitle") {
      title = std::get_if<std::string>(call->arguments());
    }
    const bool agrees =
        predicted.is_call == (call != nullptr) &&
        (predicted.reply == "0000") == (call != nullptr && call->method_name() == "setTitle") &&
        predicted.sets_title == (title != nullptr) &&
        (title == nullptr || TitleAsLogged(*title) == TitleAsLogged(predicted.title_argument));
    disagreements += agrees ? 0 : 1;
  }
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(disagreements, 0u);
}

uint64_t TimeSeed() {
  return static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
}

uint64_t SoakSeed() {
  const char* text = std::getenv(kSeedVariable);
  if (text == nullptr || *text == '\0') {
    return TimeSeed();
  }
  return std::strtoull(text, nullptr, 0);
}

// The default when the variable is unset; nothing when it holds anything but a positive decimal
// number, so that a mistyped value cannot turn the soak into a run of no launch that passes.
std::optional<size_t> SoakLaunches() {
  const char* text = std::getenv(kLaunchesVariable);
  if (text == nullptr) {
    return kDefaultLaunches;
  }
  const std::string digits = text;
  if (digits.empty() || digits.size() > kMaxLaunchDigits ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return std::nullopt;
  }
  const size_t launches = std::stoul(digits);
  if (launches == 0) {
    return std::nullopt;
  }
  return launches;
}

// Spreads the run's seed over its launches (splitmix64), so launches differ in every bit.
uint64_t LaunchSeed(uint64_t seed, size_t launch) {
  uint64_t z = seed + 0x9E3779B97F4A7C15ull * (launch + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  std::string line;
  while (std::getline(stream, line)) {
    lines.push_back(line);
  }
  return lines;
}

bool IsExpectedDiagnostic(const std::string& line) {
  if (line == kNotACallLine || line == kUndecodableLine || line == kInvalidReadLine ||
      line == kTooDeepLine) {
    return true;
  }
  const std::string prefix = kUnknownTypeLine;
  return line.rfind(prefix, 0) == 0 && line.size() > prefix.size() &&
         line.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

// Only the decoder's own lines, and one pair for each message that is no method call.
std::string CheckDiagnostics(const std::string& error_output, size_t not_calls) {
  const std::vector<std::string> lines = Lines(error_output);
  size_t undecodable = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!IsExpectedDiagnostic(lines[i])) {
      return "unexpected line on standard error: " + lines[i];
    }
    if (lines[i] != kUndecodableLine) {
      continue;
    }
    ++undecodable;
    if (i == 0 || lines[i - 1] != kNotACallLine) {
      return "the undecodable line came without the codec's line before it";
    }
  }
  if (undecodable != not_calls) {
    return std::to_string(undecodable) + " undecodable lines for " + std::to_string(not_calls) +
           " messages that are no call";
  }
  return {};
}

std::string CheckLog(const std::vector<std::string>& log, const SoakScript& script) {
  const std::vector<std::string> events = WithoutFrames(log);
  const std::vector<std::string>& expected = script.expected_log;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (i >= events.size()) {
      return "the log ends before event " + std::to_string(i) + ", expected " + expected[i];
    }
    if (events[i] != expected[i]) {
      return "event " + std::to_string(i) + " is \"" + events[i] + "\", expected \"" + expected[i] +
             "\" after the command \"" + script.commands[i].substr(0, 200) + "\"";
    }
  }
  if (events.size() > expected.size()) {
    return "an event more than expected: " + events[expected.size()];
  }
  return {};
}

// For a launch that hung: how far the script got and what the process wrote, so that a rare
// hang can be told apart from a slow machine without replaying it.
std::string WhereItStopped(const Launch& launch, const SoakScript& script) {
  const std::vector<std::string> events = WithoutFrames(launch.log);
  std::string where = std::to_string(events.size()) + " of " +
                      std::to_string(script.expected_log.size()) + " events logged, " +
                      std::to_string(launch.log.size() - events.size()) + " frames";
  if (!events.empty()) {
    where += ", the last \"" + events.back().substr(0, 200) + "\"";
  }
  return where + "; standard error: \"" + launch.error_output.substr(0, 400) + "\"";
}

// Empty when the launch behaved; otherwise what went wrong first.
std::string CheckLaunch(const Launch& launch, const SoakScript& script) {
  // Told apart from a hang: such a launch never ran (Wine has been seen to fail a start under
  // heavy load with ERROR_INTERNAL_ERROR).
  if (launch.start_error != ERROR_SUCCESS) {
    return "could not be started: error " + std::to_string(launch.start_error);
  }
  if (!launch.finished) {
    return "still running after the time limit, " + WhereItStopped(launch, script);
  }
  if (launch.exit_code != 0) {
    return "exit code " + std::to_string(launch.exit_code);
  }
  std::string failure = CheckLog(launch.log, script);
  if (failure.empty()) {
    failure = CheckDiagnostics(launch.error_output, script.not_calls);
  }
  return failure;
}

struct LaunchReport {
  uint64_t seed = 0;
  size_t messages = 0;
  std::string failure;
};

TEST(InkmoorSoakTest, EveryLaunchAnswersEveryMessageAndKeepsTheLastValidTitle) {
  const uint64_t seed = SoakSeed();
  const std::optional<size_t> wanted = SoakLaunches();
  ASSERT_TRUE(wanted.has_value()) << kLaunchesVariable << " must be a positive number of launches";
  const size_t launches = *wanted;
  std::cout << "inkmoor soak seed " << seed << " (replay with " << kSeedVariable << "=" << seed
            << ")" << std::endl;
  const std::wstring executable = BundleExecutable();
  const auto start = std::chrono::steady_clock::now();

  std::vector<LaunchReport> reports(launches);
  std::atomic<size_t> next{0};
  auto work = [&]() {
    for (size_t i = next++; i < launches; i = next++) {
      LaunchReport& report = reports[i];
      report.seed = LaunchSeed(seed, i);
      const SoakScript script = GenerateSoakScript(report.seed);
      report.messages = script.messages;
      report.failure = CheckLaunch(RunInkmoor(executable, script.commands, kLaunchLimit), script);
    }
  };
  std::vector<std::thread> workers;
  for (size_t i = 0; i < kParallelLaunches; ++i) {
    workers.emplace_back(work);
  }
  for (std::thread& worker : workers) {
    worker.join();
  }

  size_t messages = 0;
  size_t failures = 0;
  for (size_t i = 0; i < launches; ++i) {
    messages += reports[i].messages;
    if (reports[i].failure.empty()) {
      continue;
    }
    ++failures;
    ADD_FAILURE() << "launch " << i << " (script seed " << reports[i].seed
                  << "): " << reports[i].failure;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << "inkmoor soak: seed " << seed << ", " << launches << " launches, " << messages
            << " messages, " << failures << " failures, " << seconds << " s" << std::endl;
}

}  // namespace
