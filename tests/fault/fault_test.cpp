// Faults injected through the stand-in engine's test controls: under the real WeftWindow and
// its title channel where the fault can reach them, on a bare stand-in messenger where it
// needs a handler of the test's own. Each must end as the host promises: the right line or
// result, no crash, and no message answered twice.
#include <windows.h>

#include <gtest/gtest.h>

#include "message_pump.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "weft/binary_messenger_impl.h"
#include "weft/encodable_value.h"
#include "weft/method_channel_endpoint.h"
#include "weft/standard_method_codec.h"
#include "weft/weft_view_controller.h"
#include "weft_standin_test_controls.h"
#include "weft_window.h"
#include "win32_window.h"
#include "window_title_channel.h"

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;
using Call = weft::MethodCall<weft::EncodableValue>;
using Result = std::unique_ptr<weft::MethodResult<weft::EncodableValue>>;

constexpr LogicalPoint kOrigin = {10, 10};
constexpr LogicalSize kSize = {320, 240};
constexpr wchar_t kScriptVariable[] = L"WEFT_STANDIN_SCRIPT";
constexpr wchar_t kLogVariable[] = L"WEFT_STANDIN_LOG";
constexpr char kFailedViewLine[] = "Failed to create view controller.\n";
constexpr char kUnansweredLine[] =
    "Warning: Failed to respond to a message. This is a memory leak.\n";
constexpr char kUncaughtLine[] =
    "Error: A channel handler or reply callback threw an exception; it was ignored.\n";
// "setTitle" with the string Hello, as the application sends it.
const std::vector<uint8_t> kSetTitleHello = {0x07, 0x08, 0x73, 0x65, 0x74, 0x54, 0x69, 0x74, 0x6C,
                                             0x65, 0x07, 0x05, 0x48, 0x65, 0x6C, 0x6C, 0x6F};
// "setTitle" with the string Again.
const std::vector<uint8_t> kSetTitleAgain = {0x07, 0x08, 0x73, 0x65, 0x74, 0x54, 0x69, 0x74, 0x6C,
                                             0x65, 0x07, 0x05, 0x41, 0x67, 0x61, 0x69, 0x6E};
constexpr char kSetTitleHelloHex[] = "0708736574546974 6C65 0705 48656C6C6F";
const std::vector<uint8_t> kSuccessReply = {0x00, 0x00};

using ::test_support::kQuietTime;
using ::test_support::PumpFor;
using ::test_support::PumpUntil;

std::wstring Title(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

uint32_t Count(WeftStandinCall call) {
  return WeftStandinCallCount(call);
}

// Captures standard error, the stand-in's lines included (it writes to a duplicate of the
// stream that it takes afresh on a resync).
void CaptureAllErrors() {
  CaptureStderr();
  WeftDesktopResyncOutputStreams();
}
std::string CapturedErrors() {
  std::fflush(stderr);
  std::string captured = GetCapturedStderr();
  WeftDesktopResyncOutputStreams();
  return captured;
}

class FaultTest : public ::testing::Test {
 protected:
  // An empty script keeps the stand-in's application idle unless a test gives it one.
  void SetUp() override {
    WeftStandinReset();
    SetEnvironmentVariableW(kScriptVariable, L"");
    live_messengers_ = WeftStandinLiveMessengerCount();
  }
  void TearDown() override {
    EXPECT_EQ(WeftStandinLiveMessengerCount(), live_messengers_) << "a messenger was leaked";
    SetEnvironmentVariableW(kScriptVariable, nullptr);
    WeftStandinReset();
  }

  int32_t live_messengers_ = 0;
};

// The view controller cannot be made: the window reports it, keeps its native window until
// the object goes, and the engine that the engine library ended is never called again.
class FailedViewTest : public FaultTest {};

TEST_F(FailedViewTest, OpenWindowFailsOnceAndRegistersNothing) {
  WeftStandinSetFailing(kWeftStandinViewControllerCreate, true);
  HWND handle = nullptr;
  {
    WeftWindow window(weft::EngineProject(L"data"));
    CaptureStderr();
    EXPECT_FALSE(window.OpenWindow(L"Quillmere", kOrigin, kSize));
    EXPECT_EQ(GetCapturedStderr(), kFailedViewLine);
    handle = window.NativeHandle();
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_EQ(Count(kWeftStandinMessengerSetCallback), 0u);
    EXPECT_EQ(Count(kWeftStandinEngineSetNextFrameCallback), 0u);
    EXPECT_EQ(Count(kWeftStandinViewControllerForceRedraw), 0u);
    // No event marks a frame that never comes: the time stands for "nothing happened".
    PumpFor(kQuietTime);
    EXPECT_FALSE(IsWindowVisible(handle));
    EXPECT_EQ(WeftStandinFrameCount(), 0u);
  }
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(Count(kWeftStandinViewControllerDestroy), 0u);
  EXPECT_EQ(Count(kWeftStandinEngineDestroy), 0u);
}

TEST_F(FailedViewTest, AnEngineThatCannotStartFailsTheSameWay) {
  WeftStandinSetFailing(kWeftStandinEngineCreate, true);
  WeftWindow window(weft::EngineProject(L"data"));
  CaptureStderr();
  EXPECT_FALSE(window.OpenWindow(L"Quillmere", kOrigin, kSize));
  SendMessageW(window.NativeHandle(), WM_SIZE, SIZE_RESTORED, MAKELPARAM(200, 100));
  SendMessageW(window.NativeHandle(), WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(GetCapturedStderr(), kFailedViewLine);
}

// The failed creation took the engine over and ended it; a font change must not reach it.
TEST_F(FailedViewTest, AFontChangeAfterwardsMakesNoCallForTheEndedEngine) {
  WeftStandinSetFailing(kWeftStandinViewControllerCreate, true);
  WeftWindow window(weft::EngineProject(L"data"));
  CaptureStderr();
  EXPECT_FALSE(window.OpenWindow(L"Quillmere", kOrigin, kSize));
  GetCapturedStderr();
  SendMessageW(window.NativeHandle(), WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(Count(kWeftStandinEngineReloadSystemFonts), 0u);
}

TEST_F(FailedViewTest, TheNextWindowOfTheProcessOpensNormally) {
  WeftStandinSetFailing(kWeftStandinViewControllerCreate, true);
  {
    WeftWindow failed(weft::EngineProject(L"data"));
    CaptureStderr();
    EXPECT_FALSE(failed.OpenWindow(L"Quillmere", kOrigin, kSize));
    GetCapturedStderr();
  }
  WeftStandinSetFailing(kWeftStandinViewControllerCreate, false);
  WeftWindow window(weft::EngineProject(L"data"));
  ASSERT_TRUE(window.OpenWindow(L"Quillmere", kOrigin, kSize));
  HWND handle = window.NativeHandle();
  EXPECT_TRUE(PumpUntil([handle] { return IsWindowVisible(handle) != FALSE; }));
  DestroyWindow(handle);
}

// The stand-in's scripted application, run inside this process by the window's own engine.
class ScriptedApplication {
 public:
  explicit ScriptedApplication(const std::vector<std::string>& commands)
      : folder_(std::filesystem::temp_directory_path()),
        script_(folder_ / "fault_test_script.txt"),
        log_(folder_ / "fault_test_log.txt") {
    std::filesystem::remove(log_);
    std::ofstream file(script_, std::ios::binary);
    for (const std::string& command : commands) {
      file << command << "\n";
    }
    file.close();
    SetEnvironmentVariableW(kScriptVariable, script_.c_str());
    SetEnvironmentVariableW(kLogVariable, log_.c_str());
  }
  ~ScriptedApplication() {
    SetEnvironmentVariableW(kScriptVariable, L"");
    SetEnvironmentVariableW(kLogVariable, nullptr);
    std::error_code ignored;
    std::filesystem::remove(script_, ignored);
    std::filesystem::remove(log_, ignored);
  }

  // The event lines without the frame reports.
  std::vector<std::string> Events() const {
    std::ifstream file(log_, std::ios::binary);
    std::vector<std::string> events;
    std::string line;
    while (std::getline(file, line)) {
      if (line.rfind("frame ", 0) != 0) {
        events.push_back(line);
      }
    }
    return events;
  }

 private:
  std::filesystem::path folder_;
  std::filesystem::path script_;
  std::filesystem::path log_;
};

class WindowChannelFaultTest : public FaultTest {};

// The window procedure that the title handler's SetWindowTextW reaches before the answer.
WNDPROC g_window_procedure = nullptr;

// Makes the messenger unavailable while the title is being set, between delivery and answer.
LRESULT CALLBACK PauseMessengerOnSetText(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETTEXT) {
    WeftStandinSetFailing(kWeftStandinMessengerIsAvailable, true);
  }
  return CallWindowProcW(g_window_procedure, window, message, wparam, lparam);
}

TEST_F(WindowChannelFaultTest, AnAnswerWhileTheMessengerIsUnavailableIsDroppedAndUnlocked) {
  ScriptedApplication application(
      {std::string("send quillmere/window ") + kSetTitleHelloHex, "title"});
  WeftWindow window(weft::EngineProject(L"data"));
  CaptureAllErrors();
  ASSERT_TRUE(window.OpenWindow(L"Quillmere", kOrigin, kSize));
  HWND handle = window.NativeHandle();
  g_window_procedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PauseMessengerOnSetText)));
  // The title is set and the answer tried within one dispatch of the message.
  EXPECT_TRUE(PumpUntil([handle] { return Title(handle) == L"Hello"; }));
  // No event marks a reply that never comes: the application gets this long to read the title
  // anyway, which it must not do.
  PumpFor(2 * kQuietTime);

  EXPECT_EQ(Count(kWeftStandinMessengerSendResponse), 0u);
  EXPECT_GE(Count(kWeftStandinMessengerLock), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerUnlock), Count(kWeftStandinMessengerLock));
  // Still waiting for its reply, the application never reads the title.
  EXPECT_TRUE(application.Events().empty());

  WeftStandinSetFailing(kWeftStandinMessengerIsAvailable, false);
  DestroyWindow(handle);
  EXPECT_EQ(CapturedErrors(), "");
  EXPECT_TRUE(application.Events().empty());
  EXPECT_EQ(WeftStandinRefusedResponseCount(), 0u);
}

// Watches a reply callback: how many copies of it live and how often it was called.
struct ReplyWatch {
  int live = 0;
  int calls = 0;
  size_t size = 0;
};

class WatchedReply {
 public:
  explicit WatchedReply(ReplyWatch* watch) : watch_(watch) { ++watch_->live; }
  WatchedReply(const WatchedReply& other) : watch_(other.watch_) { ++watch_->live; }
  WatchedReply& operator=(const WatchedReply&) = delete;
  ~WatchedReply() { --watch_->live; }
  void operator()(const uint8_t*, size_t size) const {
    ++watch_->calls;
    watch_->size = size;
  }

 private:
  ReplyWatch* watch_;
};

TEST_F(WindowChannelFaultTest, ASendTheEngineRefusesIsDroppedUncalledAndTheNextIsAnswered) {
  auto controller =
      std::make_unique<weft::WeftViewController>(64, 48, weft::EngineProject(L"data"));
  ASSERT_NE(controller->ViewObject(), nullptr);
  weft::BinaryMessenger* messenger = controller->EngineObject()->ChannelMessenger();

  ReplyWatch refused;
  WeftStandinSetFailing(kWeftStandinMessengerSendWithReply, true);
  messenger->SendBytes("quillmere/window", kSetTitleHello.data(), kSetTitleHello.size(),
                       WatchedReply(&refused));
  EXPECT_EQ(refused.live, 0);
  EXPECT_EQ(refused.calls, 0);
  EXPECT_EQ(WeftStandinSentCount(), 0u);

  ReplyWatch accepted;
  WeftStandinSetFailing(kWeftStandinMessengerSendWithReply, false);
  messenger->SendBytes("quillmere/window", kSetTitleHello.data(), kSetTitleHello.size(),
                       WatchedReply(&accepted));
  EXPECT_EQ(accepted.live, 1);
  EXPECT_EQ(WeftStandinSentCount(), 1u);

  // The engine's end answers what is pending with the empty reply, once.
  controller.reset();
  EXPECT_EQ(accepted.calls, 1);
  EXPECT_EQ(accepted.size, 0u);
  EXPECT_EQ(accepted.live, 0);
  EXPECT_EQ(refused.calls, 0);
}

// A channel of the test's own on a messenger without an engine, so that the test can keep
// results, answer them from other threads and end the engine at will.
class StandinChannel {
 public:
  explicit StandinChannel(weft::MethodHandler handler)
      : handle_(WeftStandinCreateMessenger()),
        messenger_(std::make_unique<weft::BinaryMessengerImpl>(handle_)),
        channel_(messenger_.get(), kChannel, &weft::StandardMethodCodec::ForSerializer(nullptr)) {
    channel_.InstallMethodHandler(std::move(handler));
  }
  ~StandinChannel() {
    EndEngine();
    messenger_.reset();
  }

  uint32_t Send(const std::vector<uint8_t>& bytes) const {
    return WeftStandinInjectMessage(handle_, kChannel, bytes.data(), bytes.size());
  }

  void EndEngine() {
    if (handle_ != nullptr) {
      WeftStandinEndMessenger(std::exchange(handle_, nullptr));
    }
  }

 private:
  static constexpr char kChannel[] = "fault/channel";
  WeftDesktopMessengerRef handle_;
  std::unique_ptr<weft::BinaryMessengerImpl> messenger_;
  weft::MethodChannelEndpoint channel_;
};

std::vector<uint8_t> ReplyOf(uint32_t id) {
  const int64_t size = WeftStandinReplySize(id);
  std::vector<uint8_t> bytes(size > 0 ? static_cast<size_t>(size) : 0);
  WeftStandinReplyBytes(id, bytes.data(), bytes.size());
  return bytes;
}

// The real title handler on a messenger that becomes unavailable while a message is handled
// and available again later: the answer given meanwhile never reaches the application, nothing
// is delivered meanwhile, and afterwards the next message is delivered and answered.
TEST_F(WindowChannelFaultTest, TheChannelAnswersAgainOnceTheMessengerIsBack) {
  Win32Window window;
  ASSERT_TRUE(window.OpenWindow(L"Quillmere", kOrigin, kSize));
  bool pause = true;
  StandinChannel channel([&window, &pause](const Call& call, Result result) {
    WeftStandinSetFailing(kWeftStandinMessengerIsAvailable, pause);
    HandleTitleCall(window, call, std::move(result));
  });

  const uint32_t dropped = channel.Send(kSetTitleHello);
  EXPECT_EQ(Title(window.NativeHandle()), L"Hello");
  EXPECT_EQ(channel.Send(kSetTitleAgain), 0u) << "delivered while unavailable";
  EXPECT_EQ(Title(window.NativeHandle()), L"Hello");
  EXPECT_EQ(Count(kWeftStandinMessengerSendResponse), 0u);

  WeftStandinSetFailing(kWeftStandinMessengerIsAvailable, false);
  pause = false;
  const uint32_t answered = channel.Send(kSetTitleAgain);
  EXPECT_EQ(Title(window.NativeHandle()), L"Again");
  EXPECT_EQ(ReplyOf(answered), kSuccessReply);
  EXPECT_EQ(WeftStandinReplySize(dropped), -1);
  EXPECT_EQ(Count(kWeftStandinMessengerSendResponse), 1u);
  EXPECT_GE(Count(kWeftStandinMessengerLock), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerUnlock), Count(kWeftStandinMessengerLock));
  EXPECT_EQ(WeftStandinLateResponseCount(), 0u);
}

class EngineEndRaceTest : public FaultTest {};

// Answers from other threads race the engine's end: each message is answered once with the
// success reply or not at all, and no answer reaches the engine library after its end. Every
// round answers one message certainly before the end and one certainly after it, so that both
// outcomes occur; the one between races the end, which comes a little later from round to round.
TEST_F(EngineEndRaceTest, RepliesFromOtherThreadsNeverArriveTwiceOrAfterTheEnd) {
  constexpr int kRounds = 200;
  constexpr int kEndDelays = 16;
  enum Timing : size_t { kEarly, kRacing, kLate, kTimings };
  const auto answer_on_thread = [](Result result, const std::atomic<bool>* go) {
    return std::thread([go, result = std::move(result)]() mutable {
      while (!go->load()) {
        std::this_thread::yield();
      }
      result->Success();
      result.reset();
    });
  };
  uint32_t racing_answered = 0;
  CaptureAllErrors();
  for (int round = 0; round < kRounds; ++round) {
    std::vector<Result> kept;
    StandinChannel channel(
        [&kept](const Call&, Result result) { kept.push_back(std::move(result)); });
    std::vector<uint32_t> ids;
    for (size_t i = 0; i < kTimings; ++i) {
      ids.push_back(channel.Send(kSetTitleHello));
    }
    ASSERT_EQ(kept.size(), static_cast<size_t>(kTimings));

    const std::atomic<bool> now{true};
    answer_on_thread(std::move(kept[kEarly]), &now).join();
    std::atomic<bool> race{false};
    std::atomic<bool> after_end{false};
    std::thread racing = answer_on_thread(std::move(kept[kRacing]), &race);
    std::thread late = answer_on_thread(std::move(kept[kLate]), &after_end);
    race.store(true);
    for (int i = 0; i < round % kEndDelays; ++i) {
      std::this_thread::yield();
    }
    channel.EndEngine();
    after_end.store(true);
    racing.join();
    late.join();

    EXPECT_EQ(ReplyOf(ids[kEarly]), kSuccessReply) << "round " << round;
    EXPECT_EQ(WeftStandinReplySize(ids[kLate]), -1) << "round " << round;
    if (WeftStandinReplySize(ids[kRacing]) >= 0) {
      ++racing_answered;
      EXPECT_EQ(ReplyOf(ids[kRacing]), kSuccessReply) << "round " << round;
    }
  }
  EXPECT_EQ(CapturedErrors(), "");
  EXPECT_EQ(Count(kWeftStandinMessengerSendResponse), kRounds + racing_answered);
  EXPECT_GE(Count(kWeftStandinMessengerLock), 1u);
  EXPECT_EQ(Count(kWeftStandinMessengerUnlock), Count(kWeftStandinMessengerLock));
  EXPECT_EQ(WeftStandinRefusedResponseCount(), 0u);
  EXPECT_EQ(WeftStandinLateResponseCount(), 0u);
  std::cout << "engine end race: " << racing_answered << " of " << kRounds
            << " racing answers arrived before the end" << std::endl;
}

class ThrowingHandlerTest : public FaultTest {};

// However the handler fails, the channel layer contains it, and the next message is
// answered as if nothing had happened.
TEST_F(ThrowingHandlerTest, TheProcessGoesOnAndTheNextMessageIsAnsweredNormally) {
  enum class Step { kThrowBeforeAnswer, kThrowAfterAnswer, kThrowSomethingElse, kAnswer };
  Step step = Step::kAnswer;
  StandinChannel channel([&step](const Call&, Result result) {
    switch (step) {
      case Step::kThrowBeforeAnswer:
        throw std::runtime_error("handler failed");
      case Step::kThrowAfterAnswer:
        result->Success();
        throw std::runtime_error("handler failed after answering");
      case Step::kThrowSomethingElse:
        throw 7;
      case Step::kAnswer:
        result->Success();
        return;
    }
  });
  struct Case {
    Step step;
    std::string errors;
    bool answered;
  };
  const std::string unanswered = std::string(kUnansweredLine) + kUncaughtLine;
  const std::vector<Case> cases = {
      {Step::kThrowBeforeAnswer, unanswered, false},
      {Step::kAnswer, "", true},
      {Step::kThrowAfterAnswer, kUncaughtLine, true},
      {Step::kAnswer, "", true},
      {Step::kThrowSomethingElse, unanswered, false},
      {Step::kThrowBeforeAnswer, unanswered, false},
      {Step::kAnswer, "", true},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    step = cases[i].step;
    CaptureAllErrors();
    const uint32_t id = channel.Send(kSetTitleHello);
    EXPECT_EQ(CapturedErrors(), cases[i].errors) << "message " << i;
    EXPECT_EQ(WeftStandinReplySize(id) >= 0, cases[i].answered) << "message " << i;
    if (cases[i].answered) {
      EXPECT_EQ(ReplyOf(id), kSuccessReply) << "message " << i;
    }
  }
  EXPECT_EQ(Count(kWeftStandinMessengerRelease), cases.size());
  EXPECT_EQ(WeftStandinRefusedResponseCount(), 0u);
}

}  // namespace
