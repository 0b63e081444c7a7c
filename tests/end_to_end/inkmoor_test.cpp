// The real inkmoor.exe from the bundle, driven by the stand-in engine's scripted application.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "inkmoor_launcher.h"

namespace {

using ::test_support::BundleExecutable;
using ::test_support::InkmoorProcess;
using ::test_support::Launch;
using ::test_support::OwnedHandle;
using ::test_support::RunInkmoor;
using ::test_support::WithoutFrames;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::StartsWith;

constexpr std::chrono::seconds kLaunchLimit(60);
const test_support::LaunchOptions kFromTheConsole = {L"", L"", true};

// A console of the test's own, shared with the hosts it starts; the test outlives its events.
struct SharedConsole {
  SharedConsole() {
    FreeConsole();
    AllocConsole();
    SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);
  }
  ~SharedConsole() { FreeConsole(); }

  // The screen above the cursor, a line a row; a full row goes on in the next.
  std::string Text() const {
    const OwnedHandle screen(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr));
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(screen.get(), &info);
    std::string cells(static_cast<size_t>(info.dwSize.X), ' ');
    std::string text;
    for (SHORT row = 0; row < info.dwCursorPosition.Y; ++row) {
      DWORD read = 0;
      ReadConsoleOutputCharacterA(screen.get(), cells.data(), info.dwSize.X, {0, row}, &read);
      text += cells.substr(0, cells.find_last_not_of(' ') + 1) + (cells.back() == ' ' ? "\n" : "");
    }
    return text;
  }
};

// "setTitle" as a string value, ahead of each call's argument.
constexpr char kSetTitle[] = "07 08 73 65 74 54 69 74 6C 65";

std::string Send(const std::string& hex) {
  return "send quillmere/window " + hex;
}
std::string SetTitle(const std::string& argument_hex) {
  return Send(std::string(kSetTitle) + " " + argument_hex);
}

TEST(InkmoorTest, ShowsTheWindowOnlyAfterTheFirstFrameAndExitsCleanly) {
  const Launch launch = RunInkmoor(BundleExecutable(), {"visible", "title", "close"});
  ASSERT_TRUE(launch.finished);
  EXPECT_EQ(launch.exit_code, 0u);
  ASSERT_FALSE(launch.log.empty());
  EXPECT_EQ(launch.log.front(), "frame 1 visible 0");
  EXPECT_THAT(WithoutFrames(launch.log), ElementsAre("visible 1", "title Quillmere"));
  EXPECT_EQ(launch.error_output, "");
}

TEST(InkmoorTest, SetsTheTitleOverTheWindowChannel) {
  const Launch launch =
      RunInkmoor(BundleExecutable(), {
                                         SetTitle("07 05 48 65 6C 6C 6F"),
                                         "title",  // Hello
                                         SetTitle("07 00"),
                                         "title",  // empty
                                         SetTitle("07 05 61 62 00 63 64"),
                                         "title",  // ab NUL cd
                                         SetTitle("07 0A 51 75 69 6C 6C 20 F0 9F 96 8B"),
                                         "title",  // beyond the BMP
                                         "close",
                                     });
  ASSERT_TRUE(launch.finished);
  EXPECT_EQ(launch.exit_code, 0u);
  EXPECT_THAT(
      WithoutFrames(launch.log),
      ElementsAre("reply quillmere/window 0000", "title Hello", "reply quillmere/window 0000",
                  "title ", "reply quillmere/window 0000", "title ab",
                  "reply quillmere/window 0000", "title Quill \xF0\x9F\x96\x8B"));
  EXPECT_EQ(launch.error_output, "");
}

TEST(InkmoorTest, KeepsTheTitleForArgumentsThatAreNoString) {
  const Launch launch = RunInkmoor(BundleExecutable(),
                                   {
                                       SetTitle("07 04 4B 65 65 70"),        // Keep
                                       SetTitle("03 2A 00 00 00"),           // 42
                                       SetTitle("0C 01 07 01 61"),           // [a]
                                       SetTitle("0D 01 07 01 61 07 01 62"),  // {a: b}
                                       SetTitle("00"),                       // null
                                       SetTitle(""),  // no argument value at all
                                       "title",
                                       "close",
                                   });
  ASSERT_TRUE(launch.finished);
  EXPECT_EQ(launch.exit_code, 0u);
  EXPECT_THAT(
      WithoutFrames(launch.log),
      ElementsAre("reply quillmere/window 0000", "reply quillmere/window 0000",
                  "reply quillmere/window 0000", "reply quillmere/window 0000",
                  "reply quillmere/window 0000", "reply quillmere/window 0000", "title Keep"));
  EXPECT_EQ(launch.error_output, "Invalid read in StandardCodecByteStreamReader\n");
}

TEST(InkmoorTest, AnswersOtherMethodsAsNotImplemented) {
  const Launch launch =
      RunInkmoor(BundleExecutable(),
                 {
                     Send("07 08 53 65 74 54 69 74 6C 65 07 01 78"),     // SetTitle
                     Send("07 09 73 65 74 54 69 74 6C 65 20 07 01 78"),  // "setTitle "
                     Send("07 04 70 69 6E 67 00"),                       // ping
                     "title",
                     "close",
                 });
  ASSERT_TRUE(launch.finished);
  EXPECT_EQ(launch.exit_code, 0u);
  EXPECT_THAT(WithoutFrames(launch.log),
              ElementsAre("reply quillmere/window -", "reply quillmere/window -",
                          "reply quillmere/window -", "title Quillmere"));
  EXPECT_EQ(launch.error_output, "");
}

TEST(InkmoorTest, AnswersMessagesThatAreNoMethodCallWithTheEmptyReply) {
  const Launch launch = RunInkmoor(BundleExecutable(), {Send("00"), Send(""), "title", "close"});
  ASSERT_TRUE(launch.finished);
  EXPECT_EQ(launch.exit_code, 0u);
  EXPECT_THAT(
      WithoutFrames(launch.log),
      ElementsAre("reply quillmere/window -", "reply quillmere/window -", "title Quillmere"));
  EXPECT_EQ(launch.error_output,
            "Invalid method call; method name is not a string.\n"
            "Unable to construct method call from message on channel quillmere/window\n"
            "Invalid read in StandardCodecByteStreamReader\n"
            "Invalid method call; method name is not a string.\n"
            "Unable to construct method call from message on channel quillmere/window\n");
}

// The command line after the program name, through the real wWinMain, reaches the engine as
// UTF-8: an empty argument keeps its place, an unpaired surrogate makes its argument empty.
TEST(InkmoorTest, PassesTheCommandLineToTheEngine) {
  struct Case {
    std::wstring arguments;
    const char* seen;
  };
  const Case cases[] = {
      {L"", "arguments 0 null"},
      {L"first \"\" third", "arguments 3 6669727374 - 7468697264"},
      {L"a\xD800z \xD83D\xDD8B", "arguments 2 - F09F968B"},
      {L"\"two words\" \x00E9", "arguments 2 74776F20776F726473 C3A9"},
  };
  for (const Case& c : cases) {
    const Launch launch =
        RunInkmoor(BundleExecutable(), {"arguments", "close"}, kLaunchLimit, {c.arguments, L""});
    ASSERT_TRUE(launch.finished);
    EXPECT_EQ(launch.exit_code, 0u);
    EXPECT_THAT(WithoutFrames(launch.log), ElementsAre(c.seen));
  }
}

// How the host ends from a console: not on Ctrl+C (by default at once), by the time WM_ENDSESSION
// returns (Windows may end the process then), and with the quit message's code.
TEST(InkmoorTest, EndsInOrderWithTheQuitMessagesCode) {
  const SharedConsole console;
  for (const UINT ending : {WM_CLOSE, WM_ENDSESSION, WM_QUIT}) {
    InkmoorProcess process(BundleExecutable(), {"visible"}, kFromTheConsole);
    ASSERT_EQ(process.WaitForLogLine("visible", kLaunchLimit), "visible 1");
    const HWND window = process.TopLevelWindow();
    if (ending == WM_CLOSE) {
      ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
      const OwnedHandle watched(OpenProcess(SYNCHRONIZE, FALSE, process.id()));
      EXPECT_EQ(WaitForSingleObject(watched.get(), 2000), DWORD{WAIT_TIMEOUT});
      PostMessageW(window, WM_CLOSE, 0, 0);
    } else if (ending == WM_ENDSESSION) {
      SendMessageW(window, WM_ENDSESSION, TRUE, 0);
      EXPECT_FALSE(IsWindow(window));
    } else {
      PostThreadMessageW(GetWindowThreadProcessId(window, nullptr), WM_QUIT, 3, 0);
    }
    EXPECT_EQ(process.Finish(kLaunchLimit).exit_code, ending == WM_QUIT ? 3u : 0u) << ending;
  }
  EXPECT_EQ(console.Text(), "");
}

// A bundle missing a part: exit code 1, and the host's last line names what failed (the engine
// may write its own cause before it), before any script runs.
TEST(InkmoorTest, ExitsWithOneAndNamesTheMissingPartOfTheBundle) {
  namespace fs = std::filesystem;
  struct Case {
    std::vector<const char*> files;
    const char* last_line_start;
    const char* last_line_end;
  };
  const Case cases[] = {
      {{"inkmoor.exe", "weft_windows.dll"}, "Failed to create view controller.\n", "\n"},
      // Windows calls error 126 "The specified module could not be found.", Wine "Module not
      // found." Started with no handles, the line reaches the console only when it is attached
      // before the load.
      {{"inkmoor.exe"}, "Cannot load the engine library weft_windows.dll: ", " (error 126)\n"},
  };
  const fs::path bundle = fs::path(BundleExecutable()).parent_path();
  const fs::path bare = fs::temp_directory_path() / "inkmoor-incomplete";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.last_line_start);
    fs::remove_all(bare);
    fs::create_directories(bare);
    for (const char* file : c.files) {
      fs::copy_file(bundle / file, bare / file);
    }
    const Launch launch = RunInkmoor((bare / "inkmoor.exe").wstring(), {"close"});
    // The same lines, engine library's included, on the console it was started from.
    const SharedConsole console;
    const Launch on_console =
        RunInkmoor((bare / "inkmoor.exe").wstring(), {"close"}, kLaunchLimit, kFromTheConsole);
    fs::remove_all(bare);
    EXPECT_EQ(on_console.exit_code, 1u);
    EXPECT_EQ(console.Text(), launch.error_output);
    ASSERT_TRUE(launch.finished);
    EXPECT_EQ(launch.exit_code, 1u);
    const std::string& errors = launch.error_output;
    const size_t last_line = errors.find_last_of('\n', errors.size() - 2);
    EXPECT_THAT(errors.substr(last_line == std::string::npos ? 0 : last_line + 1),
                AllOf(StartsWith(c.last_line_start), EndsWith(c.last_line_end)));
    EXPECT_TRUE(launch.log.empty());
  }
}

}  // namespace
