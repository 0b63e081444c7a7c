// The folder of crash dumps: the name a crash's dump gets, and the pruning that keeps only the
// newest dumps. Everything here works in fixed buffers, because it runs while the process is
// crashing, when its heap may be broken or locked by the crashing thread.
#ifndef RUNNER_CRASH_DUMP_FOLDER_H_
#define RUNNER_CRASH_DUMP_FOLDER_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>

// Enough for any folder that LOCALAPPDATA names in practice; a longer one gets no dumps.
constexpr size_t kDumpPathCapacity = 1024;
// So many dumps stay in the folder, the newest; a crash loop cannot fill the disk.
constexpr size_t kDumpsKept = 10;

// A NUL-terminated path in a buffer of its own.
struct DumpPath {
  wchar_t text[kDumpPathCapacity] = {};
};

// Appends text to path; false, with path unchanged, when the result would not fit.
bool AppendToPath(DumpPath* path, const wchar_t* text);

// Appends the decimal digits of value, at least min_digits of them (zeros in front).
bool AppendNumber(DumpPath* path, uint64_t value, size_t min_digits);

// Appends "inkmoor-<version>-<yyyymmdd-hhmmss>-<pid>.dmp" with the UTC time of the crash.
bool AppendDumpFileName(DumpPath* path, const wchar_t* version, const SYSTEMTIME& utc,
                        DWORD process_id);

// A dump's place in the age order: by last write time, then by name.
struct DumpAge {
  uint64_t written = 0;  // FILETIME ticks
  wchar_t name[MAX_PATH] = {};
};

// The age of a file that FindFirstFileW or FindNextFileW found.
DumpAge AgeOf(const WIN32_FIND_DATAW& found);

// True when a is older than b.
bool IsOlder(const DumpAge& a, const DumpAge& b);

// The newest kDumpsKept of the dumps offered, so that the rest can be named in a second pass
// without holding the whole folder's listing.
class NewestDumps {
 public:
  void Offer(const DumpAge& dump);
  // True when dump is older than each of kDumpsKept dumps offered.
  bool IsOutdated(const DumpAge& dump) const;

 private:
  DumpAge kept_[kDumpsKept];
  size_t count_ = 0;
  size_t oldest_ = 0;  // the index of the oldest kept, valid once count_ == kDumpsKept
};

// Deletes the dumps of folder (names "inkmoor-*.dmp") but the newest kDumpsKept, and partial
// dumps ("inkmoor-*.tmp") that a crash which ended mid-write left behind; one still being
// written is open without delete sharing and stays.
void PruneDumpFolder(const DumpPath& folder);

#endif  // RUNNER_CRASH_DUMP_FOLDER_H_
