#include "crash_dump_folder.h"

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using ::testing::UnorderedElementsAre;

DumpAge Age(uint64_t written, const wchar_t* name) {
  DumpAge age;
  age.written = written;
  wcscpy_s(age.name, name);
  return age;
}

TEST(CrashDumpFolderTest, NamesTheDumpAfterVersionUtcTimeAndProcess) {
  DumpPath path;
  ASSERT_TRUE(AppendToPath(&path, L"C:\\dumps\\"));
  const SYSTEMTIME utc = {2026, 3, 4, 5, 7, 8, 9, 10};
  ASSERT_TRUE(AppendDumpFileName(&path, L"1.0.1+2", utc, 4242));
  EXPECT_STREQ(path.text, L"C:\\dumps\\inkmoor-1.0.1+2-20260305-070809-4242.dmp");
}

TEST(CrashDumpFolderTest, APathThatWouldNotFitStaysAsItWas) {
  DumpPath path;
  const std::wstring folder(kDumpPathCapacity - 20, L'a');
  ASSERT_TRUE(AppendToPath(&path, folder.c_str()));
  EXPECT_FALSE(AppendDumpFileName(&path, L"1.0.1+2", SYSTEMTIME{}, 1));
  EXPECT_EQ(path.text, folder);
  EXPECT_FALSE(AppendToPath(&path, std::wstring(20, L'b').c_str()));
  EXPECT_TRUE(AppendToPath(&path, std::wstring(19, L'b').c_str()));
}

TEST(CrashDumpFolderTest, KeepsTheNewestTenByTimeThenName) {
  NewestDumps newest;
  // Offered out of order; "b" and "c" share the oldest time kept.
  const uint64_t times[] = {50, 10, 90, 30, 70, 20, 80, 40, 60};
  for (uint64_t time : times) {
    newest.Offer(Age(time, L"x"));
  }
  EXPECT_FALSE(newest.IsOutdated(Age(5, L"x"))) << "nothing goes while fewer than ten are known";
  newest.Offer(Age(100, L"x"));
  EXPECT_TRUE(newest.IsOutdated(Age(5, L"x")));
  newest.Offer(Age(15, L"b"));
  newest.Offer(Age(15, L"c"));

  EXPECT_TRUE(newest.IsOutdated(Age(10, L"x")));
  EXPECT_TRUE(newest.IsOutdated(Age(15, L"b")));
  EXPECT_FALSE(newest.IsOutdated(Age(15, L"c")));
  EXPECT_FALSE(newest.IsOutdated(Age(20, L"x")));
  EXPECT_FALSE(newest.IsOutdated(Age(100, L"x")));
}

TEST(CrashDumpFolderTest, PruningKeepsTheNewestTenDumpsAndDropsPartialOnes) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / "inkmoor-prune-test";
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::vector<std::string> names;
  for (int i = 0; i < 12; ++i) {
    names.push_back("inkmoor-1.0.1+2-20260101-0000" + std::to_string(10 + i) + "-7.dmp");
  }
  // Written newest first, so that the names' order is not the age order.
  const uint64_t kDay = 864000000000;
  for (size_t i = 0; i < names.size(); ++i) {
    std::ofstream(folder / names[i]) << "MDMP";
    const HANDLE file = CreateFileW((folder / names[i]).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    const uint64_t written = 130000000000000000 + (i == 0 ? 100 : 12 - i) * kDay;
    const FILETIME time = {static_cast<DWORD>(written), static_cast<DWORD>(written >> 32)};
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
  }
  std::ofstream(folder / "inkmoor-1.0.1+2-20260101-000000-8.dmp.tmp") << "MD";
  std::ofstream(folder / "notes.txt") << "kept";

  DumpPath path;
  ASSERT_TRUE(AppendToPath(&path, folder.wstring().c_str()));
  PruneDumpFolder(path);

  std::vector<std::string> left;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    left.push_back(entry.path().filename().string());
  }
  fs::remove_all(folder);
  // The two oldest (the last two written) are gone.
  EXPECT_THAT(left, UnorderedElementsAre(names[0], names[1], names[2], names[3], names[4], names[5],
                                         names[6], names[7], names[8], names[9], "notes.txt"));
}

}  // namespace
