// Crashes of the real inkmoor.exe, caused on purpose by the stand-in's scripted application: each
// must leave exactly one minidump of the crash in %LOCALAPPDATA%\Quillmere\CrashDumps, name it on
// standard error and end the process with the crash's exception code.
#include <windows.h>

#include <dbghelp.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "inkmoor_launcher.h"

namespace {

namespace fs = std::filesystem;
using ::test_support::BundleExecutable;
using ::test_support::InkmoorProcess;
using ::test_support::Launch;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::IsSupersetOf;

constexpr std::chrono::seconds kLaunchLimit(60);
constexpr wchar_t kLocalAppData[] = L"LOCALAPPDATA";
constexpr char kDumpNamePrefix[] = "inkmoor-1.0.1+2-";
constexpr ULONG_PTR kNoParameter = ~ULONG_PTR{0};

// LOCALAPPDATA of the test's own for the launches made while this lives; the launcher hands this
// process's environment to inkmoor.exe.
class LocalAppData {
 public:
  explicit LocalAppData(const char* name) : folder_(fs::temp_directory_path() / name) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    SetEnvironmentVariableW(kLocalAppData, folder_.wstring().c_str());
  }
  ~LocalAppData() {
    SetEnvironmentVariableW(kLocalAppData, nullptr);
    fs::remove_all(folder_);
  }

  fs::path DumpFolder() const { return folder_ / "Quillmere" / "CrashDumps"; }

 private:
  fs::path folder_;
};

std::vector<std::string> FileNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  return names;
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// The stream of the given type, or null.
template <typename Stream>
const Stream* FindStream(const std::vector<uint8_t>& dump, ULONG type) {
  MINIDUMP_DIRECTORY* directory = nullptr;
  void* stream = nullptr;
  ULONG size = 0;
  if (!MiniDumpReadDumpStream(const_cast<uint8_t*>(dump.data()), type, &directory, &stream,
                              &size) ||
      size < sizeof(Stream)) {
    return nullptr;
  }
  return static_cast<const Stream*>(stream);
}

std::vector<DWORD> ThreadIds(const std::vector<uint8_t>& dump) {
  std::vector<DWORD> ids;
  const auto* list = FindStream<MINIDUMP_THREAD_LIST>(dump, ThreadListStream);
  for (ULONG i = 0; list != nullptr && i < list->NumberOfThreads; ++i) {
    ids.push_back(list->Threads[i].ThreadId);
  }
  return ids;
}

// The file names of the module list, lower case.
std::vector<std::wstring> ModuleNames(const std::vector<uint8_t>& dump) {
  std::vector<std::wstring> names;
  const auto* list = FindStream<MINIDUMP_MODULE_LIST>(dump, ModuleListStream);
  for (ULONG i = 0; list != nullptr && i < list->NumberOfModules; ++i) {
    const RVA at = list->Modules[i].ModuleNameRva;
    const auto* name = reinterpret_cast<const MINIDUMP_STRING*>(dump.data() + at);
    std::wstring path(name->Buffer, name->Length / sizeof(wchar_t));
    path = path.substr(path.find_last_of(L"\\/") + 1);
    CharLowerBuffW(path.data(), static_cast<DWORD>(path.size()));
    names.push_back(path);
  }
  return names;
}

// The thread that the application named before it crashed, from its "crash WAY THREAD" line.
DWORD AnnouncedThread(const Launch& launch, const std::string& command) {
  for (const std::string& line : launch.log) {
    if (line.rfind(command + " ", 0) == 0) {
      return static_cast<DWORD>(std::stoul(line.substr(command.size() + 1)));
    }
  }
  return 0;
}

struct CrashWay {
  const char* command;
  DWORD code;
  ULONG_PTR first_parameter;  // kNoParameter: not checked
};

TEST(CrashTest, EachWayLeavesOneDumpOfTheCrashAndEndsWithItsCode) {
  const CrashWay ways[] = {
      {"crash ui", 0xC0000005, 1},                // access violation, on writing
      {"crash thread", 0xC0000005, 1},            // the same on the application's own thread
      {"crash stack", 0xC00000FD, kNoParameter},  // stack overflow
      {"crash terminate", 0xC0000409, 7},         // fast fail, FAST_FAIL_FATAL_APP_EXIT
      {"crash throw", 0xC0000409, 7},  // the same, an uncaught exception on its own thread
  };
  for (const CrashWay& way : ways) {
    SCOPED_TRACE(way.command);
    const LocalAppData app_data("inkmoor-crash-test");
    InkmoorProcess process(BundleExecutable(), {way.command});
    ASSERT_TRUE(process.started());
    const Launch launch = process.Finish(kLaunchLimit);
    ASSERT_TRUE(launch.finished);
    EXPECT_EQ(launch.exit_code, way.code);

    const std::vector<std::string> dumps = FileNames(app_data.DumpFolder());
    ASSERT_EQ(dumps.size(), 1u);
    const std::string& name = dumps[0];
    const std::string ending = "-" + std::to_string(process.id()) + ".dmp";
    EXPECT_EQ(name.rfind(kDumpNamePrefix, 0), 0u) << name;
    EXPECT_EQ(name.size(), std::string(kDumpNamePrefix).size() + 15 + ending.size()) << name;
    EXPECT_EQ(name.substr(name.size() - ending.size()), ending);
    const fs::path dump_path = app_data.DumpFolder() / name;
    EXPECT_THAT(launch.error_output,
                HasSubstr("Crash dump written to " + dump_path.string() + "\n"));

    const std::vector<uint8_t> dump = ReadBytes(dump_path);
    ASSERT_GE(dump.size(), sizeof(MINIDUMP_HEADER));
    EXPECT_EQ(std::string(dump.begin(), dump.begin() + 4), "MDMP");
    const auto* exception = FindStream<MINIDUMP_EXCEPTION_STREAM>(dump, ExceptionStream);
    ASSERT_NE(exception, nullptr);
    EXPECT_EQ(exception->ExceptionRecord.ExceptionCode, way.code);
    const DWORD crashed = AnnouncedThread(launch, way.command);
    EXPECT_NE(crashed, 0u);
    EXPECT_EQ(exception->ThreadId, crashed);
    EXPECT_THAT(ThreadIds(dump), Contains(crashed));
    if (way.first_parameter != kNoParameter) {
      ASSERT_GE(exception->ExceptionRecord.NumberParameters, 1u);
      EXPECT_EQ(exception->ExceptionRecord.ExceptionInformation[0], way.first_parameter);
    }
    EXPECT_THAT(ModuleNames(dump), IsSupersetOf({L"inkmoor.exe", L"weft_windows.dll"}));
  }
}

// Older dumps are pruned by their time, whatever their names; partial dumps go too.
TEST(CrashTest, TheFolderKeepsTheTenNewestDumps) {
  const LocalAppData app_data("inkmoor-crash-prune-test");
  const fs::path folder = app_data.DumpFolder();
  fs::create_directories(folder);
  std::vector<std::string> old_dumps;
  // The names sort opposite to the ages: the oldest dump has the latest date in its name.
  for (int day = 1; day <= 12; ++day) {
    const std::string name = "inkmoor-1.0.0+0-202601" + std::to_string(23 - day) + "-000000-1.dmp";
    std::ofstream(folder / name) << "MDMP";
    fs::last_write_time(folder / name,
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * (13 - day)));
    old_dumps.push_back(name);
  }
  std::ofstream(folder / "inkmoor-1.0.0+0-20260101-000000-2.dmp.tmp") << "MD";

  InkmoorProcess process(BundleExecutable(), {"crash ui"});
  const Launch launch = process.Finish(kLaunchLimit);
  ASSERT_TRUE(launch.finished);
  EXPECT_EQ(launch.exit_code, 0xC0000005u);

  const std::vector<std::string> left = FileNames(folder);
  EXPECT_EQ(left.size(), 10u);
  // The newest nine of the old ones stay beside the new dump.
  EXPECT_THAT(left, IsSupersetOf(std::vector<std::string>(old_dumps.begin() + 3, old_dumps.end())));
  EXPECT_THAT(left, Contains(HasSubstr("-" + std::to_string(process.id()) + ".dmp")));
}

}  // namespace
