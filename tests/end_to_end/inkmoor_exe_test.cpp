// The built inkmoor.exe of the bundle: its image headers, its resources and a run of it.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "inkmoor_launcher.h"
#include "process_helpers.h"

namespace {

using ::test_support::InkmoorProcess;
using ::test_support::Launch;
using ::test_support::OwnedHandle;
using ::test_support::ProgramFolder;
using ::testing::ElementsAre;
using ::testing::Pair;
using ::testing::UnorderedElementsAre;

constexpr WORD kEnglishUnitedStates = 0x0409;
constexpr uint16_t kIconGroupId = 101;
constexpr uint16_t kVersionId = 1;
constexpr std::chrono::seconds kRunLimit(60);

std::wstring BundleFolder() {
  const std::wstring relative = ProgramFolder() + INKMOOR_BUNDLE_FROM_TESTS;
  std::wstring full(MAX_PATH, L'\0');
  full.resize(GetFullPathNameW(relative.c_str(), MAX_PATH, &full[0], nullptr));
  return full;
}

std::wstring ExecutablePath() {
  return BundleFolder() + L"\\" + INKMOOR_FILE_NAME;
}

std::vector<uint8_t> ReadWholeFile(const std::wstring& path) {
  const OwnedHandle file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot open the executable";
    return {};
  }
  std::vector<uint8_t> bytes(GetFileSize(file.get(), nullptr));
  DWORD read = 0;
  ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  bytes.resize(read);
  return bytes;
}

uint16_t Read16(const std::vector<uint8_t>& bytes, size_t at) {
  return at + 2 <= bytes.size() ? static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8) : 0;
}

uint32_t Read32(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint32_t>(Read16(bytes, at)) | static_cast<uint32_t>(Read16(bytes, at + 2))
                                                        << 16;
}

TEST(InkmoorImage, IsA64BitGuiProgram) {
  constexpr size_t kNewHeaderOffset = 0x3C;
  constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
  constexpr size_t kMachineOffset = 4;
  constexpr size_t kOptionalHeaderOffset = 24;
  constexpr size_t kSubsystemOffset = 68;  // within the optional header

  const std::vector<uint8_t> image = ReadWholeFile(ExecutablePath());
  ASSERT_GE(image.size(), 0x40u);
  EXPECT_EQ(Read16(image, 0), 0x5A4D);  // "MZ"
  const size_t header = Read32(image, kNewHeaderOffset);
  ASSERT_EQ(Read32(image, header), kPeSignature);
  EXPECT_EQ(Read16(image, header + kMachineOffset), IMAGE_FILE_MACHINE_AMD64);
  const size_t optional = header + kOptionalHeaderOffset;
  EXPECT_EQ(Read16(image, optional), IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  EXPECT_EQ(Read16(image, optional + kSubsystemOffset), IMAGE_SUBSYSTEM_WINDOWS_GUI);
}

struct LibraryFree {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using LoadedLibrary = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFree>;

// A resource's id (numbers only) and its languages.
struct ResourceEntry {
  uintptr_t id;
  std::vector<WORD> languages;
};

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
  reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
  return TRUE;
}

BOOL CALLBACK CollectName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR entries) {
  ResourceEntry entry = {IS_INTRESOURCE(name) ? reinterpret_cast<uintptr_t>(name) : 0, {}};
  EnumResourceLanguagesW(module, type, name, CollectLanguage,
                         reinterpret_cast<LONG_PTR>(&entry.languages));
  reinterpret_cast<std::vector<ResourceEntry>*>(entries)->push_back(entry);
  return TRUE;
}

BOOL CALLBACK CollectType(HMODULE, LPWSTR type, LONG_PTR types) {
  reinterpret_cast<std::vector<uintptr_t>*>(types)->push_back(
      IS_INTRESOURCE(type) ? reinterpret_cast<uintptr_t>(type) : 0);
  return TRUE;
}

class InkmoorResources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.reset(LoadLibraryExW(ExecutablePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_NE(module_, nullptr);
  }

  std::vector<ResourceEntry> Entries(uintptr_t type) const {
    std::vector<ResourceEntry> entries;
    EnumResourceNamesW(module_.get(), MAKEINTRESOURCEW(type), CollectName,
                       reinterpret_cast<LONG_PTR>(&entries));
    return entries;
  }

  std::vector<uint8_t> Bytes(uintptr_t type, uint16_t id) const {
    const HRSRC found = FindResourceExW(module_.get(), MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(id),
                                        kEnglishUnitedStates);
    if (found == nullptr) {
      return {};
    }
    const auto* data =
        static_cast<const uint8_t*>(LockResource(LoadResource(module_.get(), found)));
    return std::vector<uint8_t>(data, data + SizeofResource(module_.get(), found));
  }

  LoadedLibrary module_;
};

// The manifest's content: manifest_check.py.
TEST_F(InkmoorResources, HoldOnlyTheIconTheVersionAndTheManifestInUsEnglish) {
  std::vector<uintptr_t> types;
  EnumResourceTypesW(module_.get(), CollectType, reinterpret_cast<LONG_PTR>(&types));
  EXPECT_THAT(types, UnorderedElementsAre(reinterpret_cast<uintptr_t>(RT_ICON),
                                          reinterpret_cast<uintptr_t>(RT_GROUP_ICON),
                                          reinterpret_cast<uintptr_t>(RT_VERSION),
                                          reinterpret_cast<uintptr_t>(RT_MANIFEST)));

  std::vector<uintptr_t> icon_ids;
  for (const ResourceEntry& entry : Entries(reinterpret_cast<uintptr_t>(RT_ICON))) {
    icon_ids.push_back(entry.id);
    EXPECT_THAT(entry.languages, ElementsAre(kEnglishUnitedStates)) << "icon " << entry.id;
  }
  EXPECT_THAT(icon_ids, ElementsAre(1, 2, 3, 4, 5, 6, 7));
  const std::vector<ResourceEntry> groups = Entries(reinterpret_cast<uintptr_t>(RT_GROUP_ICON));
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].id, kIconGroupId);
  EXPECT_THAT(groups[0].languages, ElementsAre(kEnglishUnitedStates));
  const std::vector<ResourceEntry> versions = Entries(reinterpret_cast<uintptr_t>(RT_VERSION));
  ASSERT_EQ(versions.size(), 1u);
  EXPECT_EQ(versions[0].id, kVersionId);
  EXPECT_THAT(versions[0].languages, ElementsAre(kEnglishUnitedStates));
}

TEST_F(InkmoorResources, IconGroupHoldsSevenPngImages) {
  constexpr size_t kDirectorySize = 6;
  constexpr size_t kEntrySize = 14;
  constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  constexpr size_t kWidthOffset = 16;  // in IHDR, after signature, length and type
  constexpr size_t kHeightOffset = 20;
  constexpr size_t kBitDepthOffset = 24;
  constexpr size_t kColourTypeOffset = 25;
  constexpr uint8_t kRgba = 6;
  const uint32_t sizes[] = {16, 24, 32, 48, 64, 128, 256};

  const std::vector<uint8_t> group =
      Bytes(reinterpret_cast<uintptr_t>(RT_GROUP_ICON), kIconGroupId);
  ASSERT_EQ(group.size(), kDirectorySize + 7 * kEntrySize);
  EXPECT_EQ(Read16(group, 0), 0);
  EXPECT_EQ(Read16(group, 2), 1);  // icons, not cursors
  ASSERT_EQ(Read16(group, 4), 7);

  for (uint16_t index = 0; index < 7; ++index) {
    const size_t entry = kDirectorySize + index * kEntrySize;
    const uint32_t size = sizes[index];
    const uint16_t id = Read16(group, entry + 12);
    SCOPED_TRACE("image " + std::to_string(size));
    EXPECT_EQ(id, index + 1);
    EXPECT_EQ(group[entry], size == 256 ? 0 : size);  // 0 stands for 256
    EXPECT_EQ(group[entry + 1], size == 256 ? 0 : size);
    EXPECT_EQ(Read16(group, entry + 4), 1);   // planes
    EXPECT_EQ(Read16(group, entry + 6), 32);  // bits per pixel

    const std::vector<uint8_t> png = Bytes(reinterpret_cast<uintptr_t>(RT_ICON), id);
    ASSERT_GT(png.size(), kColourTypeOffset);
    EXPECT_EQ(Read32(group, entry + 8), png.size());
    EXPECT_EQ(std::memcmp(png.data(), kPngSignature, sizeof(kPngSignature)), 0);
    EXPECT_EQ(std::memcmp(png.data() + 12, "IHDR", 4), 0);
    const auto big_endian = [&png](size_t at) {
      return static_cast<uint32_t>(png[at] << 24 | png[at + 1] << 16 | png[at + 2] << 8 |
                                   png[at + 3]);
    };
    EXPECT_EQ(big_endian(kWidthOffset), size);
    EXPECT_EQ(big_endian(kHeightOffset), size);
    EXPECT_EQ(png[kBitDepthOffset], 8);
    EXPECT_EQ(png[kColourTypeOffset], kRgba);
  }
}

// One block of a version record: key, value bytes and the blocks inside it.
struct VersionBlock {
  std::wstring key;
  std::vector<uint8_t> value;
  std::vector<VersionBlock> children;
};

size_t AlignedTo4(size_t offset) {
  return (offset + 3) & ~static_cast<size_t>(3);
}

// Reads the block at the start of bytes[begin, end); false when it does not fit.
bool ParseVersionBlock(const std::vector<uint8_t>& bytes, size_t begin, size_t end,
                       VersionBlock* block, size_t* length) {
  constexpr size_t kHeaderSize = 6;
  constexpr uint16_t kTextValue = 1;
  if (begin + kHeaderSize > end) {
    return false;
  }
  *length = Read16(bytes, begin);
  const size_t value_length = Read16(bytes, begin + 2);
  const bool text = Read16(bytes, begin + 4) == kTextValue;
  const size_t block_end = begin + *length;
  if (*length < kHeaderSize || block_end > end) {
    return false;
  }
  size_t at = begin + kHeaderSize;
  for (; at + 2 <= block_end && Read16(bytes, at) != 0; at += 2) {
    block->key.push_back(static_cast<wchar_t>(Read16(bytes, at)));
  }
  at = AlignedTo4(at + 2);
  const size_t value_size = text ? value_length * 2 : value_length;
  if (at + value_size > block_end) {
    return false;
  }
  block->value.assign(bytes.begin() + at, bytes.begin() + at + value_size);
  at = AlignedTo4(at + value_size);
  while (at < block_end) {
    VersionBlock child;
    size_t child_length = 0;
    if (!ParseVersionBlock(bytes, at, block_end, &child, &child_length)) {
      return false;
    }
    block->children.push_back(child);
    at = AlignedTo4(at + child_length);
  }
  return true;
}

std::wstring TextValue(const VersionBlock& block) {
  std::wstring text;
  for (size_t at = 0; at + 1 < block.value.size(); at += 2) {
    const wchar_t unit = static_cast<wchar_t>(block.value[at] | block.value[at + 1] << 8);
    if (unit == L'\0') {
      break;
    }
    text.push_back(unit);
  }
  return text;
}

TEST_F(InkmoorResources, VersionRecordListsTheStringsInOrder) {
  const std::vector<uint8_t> record = Bytes(reinterpret_cast<uintptr_t>(RT_VERSION), kVersionId);
  VersionBlock root;
  size_t length = 0;
  ASSERT_TRUE(ParseVersionBlock(record, 0, record.size(), &root, &length));
  EXPECT_EQ(root.key, L"VS_VERSION_INFO");
  EXPECT_EQ(root.value.size(), sizeof(VS_FIXEDFILEINFO));
  ASSERT_EQ(root.children.size(), 2u);

  const VersionBlock& string_info = root.children[0];
  EXPECT_EQ(string_info.key, L"StringFileInfo");
  ASSERT_EQ(string_info.children.size(), 1u);
  const VersionBlock& table = string_info.children[0];
  EXPECT_EQ(table.key, L"040904e4");
  std::vector<std::pair<std::wstring, std::wstring>> strings;
  for (const VersionBlock& entry : table.children) {
    strings.emplace_back(entry.key, TextValue(entry));
  }
  EXPECT_THAT(strings,
              ElementsAre(Pair(L"CompanyName", L"Fernhollow"),
                          Pair(L"FileDescription", L"Quillmere Inkmoor"),
                          Pair(L"FileVersion", L"1.0.1+2"), Pair(L"InternalName", L"inkmoor"),
                          Pair(L"LegalCopyright", testing::Not(testing::IsEmpty())),
                          Pair(L"OriginalFilename", L"inkmoor.exe"),
                          Pair(L"ProductName", L"Quillmere"), Pair(L"ProductVersion", L"1.0.1+2")));

  const VersionBlock& variable_info = root.children[1];
  EXPECT_EQ(variable_info.key, L"VarFileInfo");
  ASSERT_EQ(variable_info.children.size(), 1u);
  EXPECT_EQ(variable_info.children[0].key, L"Translation");
  EXPECT_THAT(variable_info.children[0].value, ElementsAre(0x09, 0x04, 0xE4, 0x04));
}

TEST(InkmoorVersion, FixedPartAndStringsAsWindowsReadsThem) {
  const std::wstring path = ExecutablePath();
  DWORD ignored = 0;
  std::vector<uint8_t> info(GetFileVersionInfoSizeW(path.c_str(), &ignored));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));

  void* value = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &size));
  ASSERT_EQ(size, sizeof(VS_FIXEDFILEINFO));
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00010002u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00010002u);
  EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
  EXPECT_EQ(fixed->dwFileFlags, 0u);
  EXPECT_EQ(fixed->dwFileOS, 0x4u);
  EXPECT_EQ(fixed->dwFileType, 0x1u);
  EXPECT_EQ(fixed->dwFileSubtype, 0u);
  EXPECT_EQ(fixed->dwFileDateMS, 0u);
  EXPECT_EQ(fixed->dwFileDateLS, 0u);

  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &size));
  ASSERT_EQ(size, 4u);
  EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0409);
  EXPECT_EQ(static_cast<const WORD*>(value)[1], 1252);

  const std::pair<const wchar_t*, const wchar_t*> strings[] = {
      {L"CompanyName", L"Fernhollow"},       {L"FileDescription", L"Quillmere Inkmoor"},
      {L"FileVersion", L"1.0.1+2"},          {L"InternalName", L"inkmoor"},
      {L"OriginalFilename", L"inkmoor.exe"}, {L"ProductName", L"Quillmere"},
      {L"ProductVersion", L"1.0.1+2"},
  };
  for (const auto& [key, expected] : strings) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904e4\\") + key;
    ASSERT_TRUE(VerQueryValueW(info.data(), query.c_str(), &value, &size)) << key;
    EXPECT_STREQ(static_cast<const wchar_t*>(value), expected);
  }
}

// Started from its own folder with arguments, as a user starts it, and closed from outside. The
// application stays idle, so the title seen is the host's own.
TEST(InkmoorRun, OpensItsWindowAndExitsWithZeroWhenItIsClosed) {
  InkmoorProcess process(ExecutablePath(), {"visible"}, {L"first \"\" third", BundleFolder()});
  ASSERT_TRUE(process.started());
  // Logged once the first frame has shown the window.
  ASSERT_EQ(process.WaitForLogLine("visible", kRunLimit), "visible 1");

  const HWND window = process.TopLevelWindow();
  ASSERT_NE(window, nullptr) << "inkmoor.exe opened no window";
  EXPECT_TRUE(IsWindowVisible(window));
  wchar_t title[64] = {};
  GetWindowTextW(window, title, 64);
  EXPECT_STREQ(title, L"Quillmere");

  PostMessageW(window, WM_CLOSE, 0, 0);
  const Launch launch = process.Finish(kRunLimit);
  EXPECT_TRUE(launch.finished) << "inkmoor.exe did not end after its window was closed";
  EXPECT_EQ(launch.exit_code, 0u);
  EXPECT_EQ(launch.error_output, "");
}

}  // namespace
