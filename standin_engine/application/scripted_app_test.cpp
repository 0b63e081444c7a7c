#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "message_pump.h"
#include "standin_windows_test_support.h"
#include "weft_standin_test_controls.h"
#include "weft_windows.h"

namespace {

using standin::testing::CreateEngine;
using standin::testing::HostWindow;
using test_support::kQuietTime;
using test_support::PumpFor;
using test_support::PumpUntil;
using Lines = std::vector<std::string>;

constexpr wchar_t kScriptVariable[] = L"WEFT_STANDIN_SCRIPT";
constexpr wchar_t kLogVariable[] = L"WEFT_STANDIN_LOG";
constexpr char kWindowChannel[] = "quillmere/window";
// "setTitle" with the string Hello.
constexpr char kSetHello[] = "07 08 73 65 74 54 69 74 6C 65 07 05 48 65 6C 6C 6F";

std::wstring TempFile(const wchar_t* prefix) {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  wchar_t path[MAX_PATH] = {};
  GetTempFileNameW(folder, prefix, 0, path);
  return path;
}

Lines ReadLines(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  Lines lines;
  std::string line;
  while (std::getline(file, line)) {
    lines.push_back(line);
  }
  return lines;
}

bool IsFrame(const std::string& line) {
  return line.rfind("frame ", 0) == 0;
}

// The lines other than frames, which come whenever the view draws.
Lines Events(const Lines& lines) {
  Lines events;
  for (const std::string& line : lines) {
    if (!IsFrame(line)) {
      events.push_back(line);
    }
  }
  return events;
}

// Frames count from 1 without gaps.
bool FramesNumberedInOrder(const Lines& lines) {
  int expected = 1;
  for (const std::string& line : lines) {
    if (!IsFrame(line)) {
      continue;
    }
    if (line.rfind("frame " + std::to_string(expected++) + " visible ", 0) != 0) {
      return false;
    }
  }
  return true;
}

// The host's side of "quillmere/window": takes "setTitle" with a short string as the title,
// answering on the spot or leaving the answer to the test.
struct TitleHandler {
  HWND window = nullptr;
  bool answer_at_once = true;
  WeftDesktopMessengerRef messenger = nullptr;
  const WeftDesktopMessageResponseHandle* kept = nullptr;
  std::vector<std::vector<uint8_t>> received;
};

void HandleTitle(WeftDesktopMessengerRef messenger, const IncomingMessage* message,
                 void* user_data) {
  auto* handler = static_cast<TitleHandler*>(user_data);
  handler->received.emplace_back(message->message, message->message + message->message_size);
  const std::vector<uint8_t>& bytes = handler->received.back();
  if (bytes.size() > 11 && bytes[10] == 0x07) {
    const std::string title(bytes.begin() + 12, bytes.end());
    SetWindowTextA(handler->window, title.c_str());
  }
  if (!handler->answer_at_once) {
    handler->messenger = messenger;
    handler->kept = message->response_handle;
    return;
  }
  const uint8_t success[] = {0x00, 0x00};
  WeftDesktopMessengerSendResponse(messenger, message->response_handle, success, sizeof(success));
}

void Reveal(void* user_data) {
  ShowWindow(static_cast<HWND>(user_data), SW_SHOWNORMAL);
}

class ScriptedAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WeftStandinReset();
    log_path_ = TempFile(L"log");
    SetEnvironmentVariableW(kLogVariable, log_path_.c_str());
  }
  void TearDown() override {
    if (controller_ != nullptr) {
      WeftDesktopViewControllerDestroy(controller_);
    }
    SetEnvironmentVariableW(kLogVariable, nullptr);
    SetEnvironmentVariableW(kScriptVariable, nullptr);
    DeleteFileW(log_path_.c_str());
    if (!script_path_.empty()) {
      DeleteFileW(script_path_.c_str());
    }
    WeftStandinReset();
  }

  void UseScript(const Lines& lines) {
    script_path_ = TempFile(L"scr");
    std::ofstream file(script_path_.c_str(), std::ios::binary);
    for (const std::string& line : lines) {
      file << line << "\r\n";
    }
    file.close();
    SetEnvironmentVariableW(kScriptVariable, script_path_.c_str());
  }

  // Starts the engine in the host window the way the host does, up to the first frame.
  void Start() {
    WeftDesktopEngineRef engine = CreateEngine();
    ASSERT_NE(engine, nullptr);
    controller_ = WeftDesktopViewControllerCreate(200, 100, engine);
    ASSERT_NE(controller_, nullptr);
    host_.Embed(WeftDesktopViewGetHWND(WeftDesktopViewControllerGetView(controller_)));
    handler_.window = host_.get();
    WeftDesktopMessengerSetCallback(WeftDesktopEngineGetMessenger(engine), kWindowChannel,
                                    HandleTitle, &handler_);
    WeftDesktopEngineSetNextFrameCallback(engine, Reveal, host_.get());
    WeftDesktopViewControllerForceRedraw(controller_);
  }

  bool EventsReach(size_t count) {
    return PumpUntil([this, count] { return Events(ReadLines(log_path_)).size() >= count; });
  }

  // The first frame comes while the host window is still hidden; the rest may come any time.
  void ExpectLog(const Lines& events) {
    const Lines lines = ReadLines(log_path_);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "frame 1 visible 0");
    EXPECT_TRUE(FramesNumberedInOrder(lines));
    EXPECT_EQ(Events(lines), events);
  }

  std::wstring log_path_;
  std::wstring script_path_;
  HostWindow host_;
  TitleHandler handler_;
  WeftDesktopViewControllerRef controller_ = nullptr;
};

TEST_F(ScriptedAppTest, RunsTheScriptAfterTheFirstFrameInOrder) {
  UseScript({"# the host shows the window at the first frame", "visible",
             std::string("send quillmere/window ") + kSetHello, "", "title", "send nobody/here 01",
             "send quillmere/window", "frob 2", "close", "visible"});
  Start();
  ASSERT_TRUE(EventsReach(6));
  // The close destroys the host window and the view with it, after which nothing can run.
  ASSERT_TRUE(PumpUntil([this] { return !IsWindow(host_.get()); }));
  ExpectLog({"visible 1", "reply quillmere/window 0000", "title Hello", "reply nobody/here -",
             "reply quillmere/window 0000", "error frob 2"});
  EXPECT_FALSE(IsWindow(host_.get()));
}

TEST_F(ScriptedAppTest, ASendWaitsForAReplyFromAnotherThread) {
  UseScript({std::string("send quillmere/window ") + kSetHello, "title"});
  handler_.answer_at_once = false;
  Start();
  ASSERT_TRUE(PumpUntil([this] { return handler_.kept != nullptr; }));
  PumpFor(kQuietTime);
  ExpectLog({});

  WeftDesktopMessengerRef held = WeftDesktopMessengerAddRef(handler_.messenger);
  const WeftDesktopMessageResponseHandle* handle = handler_.kept;
  std::thread([held, handle] {
    const uint8_t reply[] = {0x00, 0x03, 0x2A, 0x00, 0x00, 0x00};
    WeftDesktopMessengerSendResponse(held, handle, reply, sizeof(reply));
    WeftDesktopMessengerRelease(held);
  }).join();
  ASSERT_TRUE(EventsReach(2));
  ExpectLog({"reply quillmere/window 00032A000000", "title Hello"});
}

TEST_F(ScriptedAppTest, WithoutAScriptTheDemoSetsItsOwnTitle) {
  Start();
  ASSERT_TRUE(EventsReach(1));
  const std::string title = "Quillmere \xC2\xB7 title set over quillmere/window";
  std::vector<uint8_t> expected = {0x07, 0x08, 's', 'e', 't',  'T',
                                   'i',  't',  'l', 'e', 0x07, static_cast<uint8_t>(title.size())};
  expected.insert(expected.end(), title.begin(), title.end());
  ASSERT_EQ(handler_.received.size(), 1u);
  EXPECT_EQ(handler_.received[0], expected);
  ExpectLog({"reply quillmere/window 0000"});
}

TEST_F(ScriptedAppTest, AnEmptyScriptRunsNothing) {
  UseScript({"# nothing"});
  Start();
  ASSERT_TRUE(PumpUntil([this] { return !ReadLines(log_path_).empty(); }));
  PumpFor(kQuietTime);
  EXPECT_TRUE(handler_.received.empty());
  ExpectLog({});
}

TEST_F(ScriptedAppTest, AnUnreadableScriptRunsNothingAndSaysSo) {
  SetEnvironmentVariableW(kScriptVariable, L"Z:\\nowhere\\script.txt");
  EXPECT_EQ(standin::testing::StandinLinesDuring([this] { Start(); }),
            "Stand-in engine: cannot read the script file, or it is too large; no command runs.\n");
  ASSERT_TRUE(PumpUntil([this] { return !ReadLines(log_path_).empty(); }));
  PumpFor(kQuietTime);
  EXPECT_TRUE(handler_.received.empty());
  ExpectLog({});
}

TEST_F(ScriptedAppTest, SendsAfterTheEngineEndedAreNotMade) {
  UseScript({std::string("send quillmere/window ") + kSetHello, "title"});
  handler_.answer_at_once = false;
  Start();
  ASSERT_TRUE(PumpUntil([this] { return handler_.kept != nullptr; }));
  WeftDesktopMessengerRef held = WeftDesktopMessengerAddRef(handler_.messenger);
  WeftDesktopViewControllerDestroy(controller_);
  controller_ = nullptr;
  EXPECT_FALSE(WeftDesktopMessengerSendResponse(held, handler_.kept, nullptr, 0));
  WeftDesktopMessengerRelease(held);
  PumpFor(kQuietTime);
  ExpectLog({});
}

TEST_F(ScriptedAppTest, ManyLinesRunInOrder) {
  Lines script;
  Lines expected;
  for (int i = 0; i < 200; ++i) {
    script.push_back(std::string("send quillmere/window ") + kSetHello);
    script.push_back("title");
    expected.push_back("reply quillmere/window 0000");
    expected.push_back("title Hello");
  }
  UseScript(script);
  Start();
  ASSERT_TRUE(EventsReach(expected.size()));
  ExpectLog(expected);
}

}  // namespace
