#include "crash_dump_folder.h"

#include <cwchar>
#include <memory>
#include <type_traits>

namespace {

constexpr wchar_t kDumpPrefix[] = L"inkmoor-";
constexpr wchar_t kDumpExtension[] = L".dmp";
constexpr wchar_t kDumpPattern[] = L"inkmoor-*.dmp";
constexpr wchar_t kPartialPattern[] = L"inkmoor-*.tmp";
constexpr wchar_t kSeparator[] = L"-";
constexpr wchar_t kFolderSeparator[] = L"\\";
// The most decimal digits of a 64-bit number.
constexpr size_t kMaxDigits = 20;

struct SearchClose {
  void operator()(HANDLE search) const { FindClose(search); }
};
using OwnedSearch = std::unique_ptr<std::remove_pointer_t<HANDLE>, SearchClose>;

// Calls visit with each file (not folder) of folder whose name matches pattern.
template <typename Visit>
void ForEachFile(const DumpPath& folder, const wchar_t* pattern, Visit visit) {
  DumpPath query = folder;
  if (!AppendToPath(&query, kFolderSeparator) || !AppendToPath(&query, pattern)) {
    return;
  }
  WIN32_FIND_DATAW found = {};
  const HANDLE first = FindFirstFileW(query.text, &found);
  if (first == INVALID_HANDLE_VALUE) {
    return;
  }
  const OwnedSearch search(first);
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      visit(found);
    }
  } while (FindNextFileW(search.get(), &found));
}

void DeleteFromFolder(const DumpPath& folder, const wchar_t* name) {
  DumpPath path = folder;
  if (AppendToPath(&path, kFolderSeparator) && AppendToPath(&path, name)) {
    DeleteFileW(path.text);
  }
}

}  // namespace

bool AppendToPath(DumpPath* path, const wchar_t* text) {
  const size_t used = std::wcslen(path->text);
  const size_t added = std::wcslen(text);
  if (used + added >= kDumpPathCapacity) {
    return false;
  }
  std::wmemcpy(path->text + used, text, added + 1);
  return true;
}

bool AppendNumber(DumpPath* path, uint64_t value, size_t min_digits) {
  wchar_t digits[kMaxDigits + 1] = {};
  size_t count = 0;
  do {
    digits[kMaxDigits - 1 - count] = static_cast<wchar_t>(L'0' + value % 10);
    value /= 10;
    ++count;
  } while ((value != 0 || count < min_digits) && count < kMaxDigits);
  return AppendToPath(path, digits + kMaxDigits - count);
}

bool AppendDumpFileName(DumpPath* path, const wchar_t* version, const SYSTEMTIME& utc,
                        DWORD process_id) {
  const DumpPath before = *path;
  const bool fits = AppendToPath(path, kDumpPrefix) && AppendToPath(path, version) &&
                    AppendToPath(path, kSeparator) && AppendNumber(path, utc.wYear, 4) &&
                    AppendNumber(path, utc.wMonth, 2) && AppendNumber(path, utc.wDay, 2) &&
                    AppendToPath(path, kSeparator) && AppendNumber(path, utc.wHour, 2) &&
                    AppendNumber(path, utc.wMinute, 2) && AppendNumber(path, utc.wSecond, 2) &&
                    AppendToPath(path, kSeparator) && AppendNumber(path, process_id, 1) &&
                    AppendToPath(path, kDumpExtension);
  if (!fits) {
    *path = before;
  }
  return fits;
}

DumpAge AgeOf(const WIN32_FIND_DATAW& found) {
  DumpAge age;
  age.written = static_cast<uint64_t>(found.ftLastWriteTime.dwHighDateTime) << 32 |
                found.ftLastWriteTime.dwLowDateTime;
  std::wmemcpy(age.name, found.cFileName, MAX_PATH);
  age.name[MAX_PATH - 1] = L'\0';
  return age;
}

bool IsOlder(const DumpAge& a, const DumpAge& b) {
  if (a.written != b.written) {
    return a.written < b.written;
  }
  return std::wcscmp(a.name, b.name) < 0;
}

void NewestDumps::Offer(const DumpAge& dump) {
  if (count_ < kDumpsKept) {
    kept_[count_++] = dump;
  } else if (IsOlder(kept_[oldest_], dump)) {
    kept_[oldest_] = dump;
  } else {
    return;
  }
  oldest_ = 0;
  for (size_t i = 1; i < count_; ++i) {
    if (IsOlder(kept_[i], kept_[oldest_])) {
      oldest_ = i;
    }
  }
}

bool NewestDumps::IsOutdated(const DumpAge& dump) const {
  return count_ == kDumpsKept && IsOlder(dump, kept_[oldest_]);
}

// Two passes over the listing: the first finds the newest dumps, the second deletes the rest.
void PruneDumpFolder(const DumpPath& folder) {
  NewestDumps newest;
  ForEachFile(folder, kDumpPattern,
              [&newest](const WIN32_FIND_DATAW& found) { newest.Offer(AgeOf(found)); });
  ForEachFile(folder, kDumpPattern, [&newest, &folder](const WIN32_FIND_DATAW& found) {
    if (newest.IsOutdated(AgeOf(found))) {
      DeleteFromFolder(folder, found.cFileName);
    }
  });
  ForEachFile(folder, kPartialPattern, [&folder](const WIN32_FIND_DATAW& found) {
    DeleteFromFolder(folder, found.cFileName);
  });
}
