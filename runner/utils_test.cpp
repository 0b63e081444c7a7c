#include "utils.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "process_helpers.h"

namespace {

using ::test_support::OwnedHandle;
using ::test_support::ProgramFolder;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr size_t kConversionLimit = 32767;

std::vector<std::string> ParseProbeOutput(const std::string& output) {
  std::istringstream lines(output);
  std::string line;
  std::getline(lines, line);
  const size_t count = std::stoul(line);
  std::vector<std::string> arguments;
  while (arguments.size() < count && std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    std::string bytes;
    for (size_t at = 0; at + 1 < line.size(); at += 2) {
      bytes.push_back(static_cast<char>(std::stoi(line.substr(at, 2), nullptr, 16)));
    }
    arguments.push_back(bytes);
  }
  EXPECT_EQ(arguments.size(), count) << output;
  return arguments;
}

// Starts the probe with this text after its quoted program name and returns what
// CollectCommandLineArguments gave it.
std::vector<std::string> ArgumentsOfProbeRunWith(const std::wstring& arguments) {
  const std::wstring probe = ProgramFolder() + ARGS_PROBE_FILE_NAME;
  std::wstring command_line = L"\"" + probe + L"\"";
  if (!arguments.empty()) {
    command_line += L" " + arguments;
  }

  SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) {
    ADD_FAILURE() << "CreatePipe failed";
    return {};
  }
  const OwnedHandle reader(read_end);
  OwnedHandle writer(write_end);
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(probe.c_str(), &command_line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    ADD_FAILURE() << "CreateProcessW failed: " << GetLastError();
    return {};
  }
  const OwnedHandle process_handle(process.hProcess);
  const OwnedHandle thread_handle(process.hThread);
  writer.reset();

  std::string output;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(reader.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    output.append(buffer, read);
  }
  WaitForSingleObject(process_handle.get(), INFINITE);
  DWORD exit_code = 1;
  GetExitCodeProcess(process_handle.get(), &exit_code);
  EXPECT_EQ(exit_code, 0u);
  return ParseProbeOutput(output);
}

TEST(CollectCommandLineArguments, NoArgumentsGiveAnEmptyList) {
  EXPECT_THAT(ArgumentsOfProbeRunWith(L""), IsEmpty());
}

TEST(CollectCommandLineArguments, KeepsAnEmptyArgumentInItsPlace) {
  EXPECT_THAT(ArgumentsOfProbeRunWith(L"first \"\" third"), ElementsAre("first", "", "third"));
}

TEST(CollectCommandLineArguments, ConvertsToUtf8) {
  EXPECT_THAT(ArgumentsOfProbeRunWith(L"caf\u00e9 \"two words\" \U0001F58B"),
              ElementsAre("caf\xC3\xA9", "two words", "\xF0\x9F\x96\x8B"));
}

TEST(CollectCommandLineArguments, UnpairedSurrogateBecomesEmpty) {
  const std::wstring lone_high = L"a\xD800z";
  EXPECT_THAT(ArgumentsOfProbeRunWith(L"before " + lone_high + L" after"),
              ElementsAre("before", "", "after"));
}

// The system limits a whole command line to 32767 code units, so a longer argument cannot
// reach a process; the longest that fits arrives whole.
TEST(CollectCommandLineArguments, LongArgumentArrivesWhole) {
  const std::string expected(32000, 'q');
  EXPECT_THAT(ArgumentsOfProbeRunWith(std::wstring(expected.size(), L'q')), ElementsAre(expected));
}

TEST(WideToUtf8, NullAndEmptyGiveEmpty) {
  EXPECT_EQ(WideToUtf8(nullptr), "");
  EXPECT_EQ(WideToUtf8(L""), "");
}

TEST(WideToUtf8, ConvertsEveryPlane) {
  EXPECT_EQ(WideToUtf8(L"Quill \u00e9\u4e2d\U0001F58B"),
            "Quill \xC3\xA9\xE4\xB8\xAD\xF0\x9F\x96\x8B");
}

TEST(WideToUtf8, StopsAtTheTerminator) {
  const wchar_t text[] = {L'a', L'b', L'\0', L'c', L'\0'};
  EXPECT_EQ(WideToUtf8(text), "ab");
}

TEST(WideToUtf8, IllFormedTextGivesEmpty) {
  const wchar_t lone_low[] = {L'a', 0xDC00, L'\0'};
  const wchar_t high_at_end[] = {L'a', 0xD83D, L'\0'};
  const wchar_t reversed_pair[] = {0xDD8B, 0xD83D, L'\0'};
  EXPECT_EQ(WideToUtf8(lone_low), "");
  EXPECT_EQ(WideToUtf8(high_at_end), "");
  EXPECT_EQ(WideToUtf8(reversed_pair), "");
}

TEST(WideToUtf8, ReadsAtMostTheLimit) {
  const std::wstring at_limit(kConversionLimit, L'a');
  const std::wstring beyond(kConversionLimit + 5000, L'a');
  EXPECT_EQ(WideToUtf8(at_limit.c_str()), std::string(kConversionLimit, 'a'));
  EXPECT_EQ(WideToUtf8(beyond.c_str()), std::string(kConversionLimit, 'a'));
}

TEST(WideToUtf8, LimitKeepsASurrogatePairTogether) {
  const std::wstring quill = L"\U0001F58B";
  const std::wstring before_pair(kConversionLimit - 1, L'a');
  EXPECT_EQ(WideToUtf8((before_pair + quill + L"tail").c_str()),
            std::string(kConversionLimit - 1, 'a'));

  const std::wstring pair_fits(kConversionLimit - 2, L'a');
  EXPECT_EQ(WideToUtf8((pair_fits + quill + L"tail").c_str()),
            std::string(kConversionLimit - 2, 'a') + "\xF0\x9F\x96\x8B");
}

}  // namespace
