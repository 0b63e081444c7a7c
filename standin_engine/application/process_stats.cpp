#include "process_stats.h"

#include <windows.h>

#include <psapi.h>
#include <winternl.h>

#include <cstdio>
#include <vector>

#include "diagnostic_stream.h"

namespace standin {

namespace {

// NtQuerySystemInformation's table of every open handle (SystemHandleInformation). It says
// STATUS_INFO_LENGTH_MISMATCH while the buffer is too small, so the buffer grows up to a bound.
constexpr ULONG kSystemHandleInformation = 16;
constexpr size_t kFirstHandleTableBytes = 4 << 20;
constexpr size_t kMostHandleTableBytes = 256 << 20;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
constexpr char kHandlesUncountedLine[] =
    "Stand-in engine: the open handles cannot be counted: the system's handle table was refused "
    "with status 0x%08lX.";
constexpr DWORD kMaxHeaps = 64;

struct HandleEntry {
  USHORT process_id;
  USHORT back_trace_index;
  UCHAR object_type;
  UCHAR flags;
  USHORT handle;
  PVOID object;
  ULONG granted_access;
};

struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
};

// Committed memory that belongs to this process alone; Wine leaves PrivateUsage at 0, so it is
// summed from the address space itself.
uint64_t PrivateCommittedBytes() {
  uint64_t total = 0;
  MEMORY_BASIC_INFORMATION region = {};
  const char* address = nullptr;
  while (VirtualQuery(address, &region, sizeof(region)) == sizeof(region)) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      total += region.RegionSize;
    }
    address = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
  }
  return total;
}

// The bytes in use in the process's heaps, where small leaks show first.
uint64_t HeapBusyBytes() {
  HANDLE heaps[kMaxHeaps];
  const DWORD count = GetProcessHeaps(kMaxHeaps, heaps);
  uint64_t total = 0;
  for (DWORD i = 0; i < count && i < kMaxHeaps; ++i) {
    if (!HeapLock(heaps[i])) {
      continue;
    }
    PROCESS_HEAP_ENTRY entry = {};
    while (HeapWalk(heaps[i], &entry)) {
      if ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0) {
        total += entry.cbData;
      }
    }
    HeapUnlock(heaps[i]);
  }
  return total;
}

// The system's table of every open handle; empty, after a line that says why, when it cannot
// be had.
std::vector<unsigned char> SystemHandleTable() {
  std::vector<unsigned char> table;
  NTSTATUS status = kInfoLengthMismatch;
  for (size_t bytes = kFirstHandleTableBytes;
       status == kInfoLengthMismatch && bytes <= kMostHandleTableBytes; bytes *= 2) {
    table.assign(bytes, 0);
    status =
        NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(kSystemHandleInformation),
                                 table.data(), static_cast<ULONG>(table.size()), nullptr);
  }
  if (status != 0) {
    char line[sizeof(kHandlesUncountedLine) + 8];
    std::snprintf(line, sizeof(line), kHandlesUncountedLine, static_cast<unsigned long>(status));
    WriteDiagnosticLine(line);
    table.clear();
  }
  return table;
}

// GetProcessHandleCount, or, where it counts nothing (Wine), this process's entries in the
// system's handle table. 0 only when neither can be had, which SystemHandleTable reports.
uint32_t OpenHandles() {
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles != 0) {
    return handles;
  }
  const std::vector<unsigned char> table = SystemHandleTable();
  if (table.empty()) {
    return 0;
  }
  const auto* entries = reinterpret_cast<const HandleTable*>(table.data());
  const auto self = static_cast<USHORT>(GetCurrentProcessId());
  uint32_t count = 0;
  for (ULONG i = 0; i < entries->count; ++i) {
    count += entries->entries[i].process_id == self ? 1 : 0;
  }
  return count;
}

BOOL CALLBACK CountWindow(HWND window, LPARAM count) {
  ++*reinterpret_cast<uint32_t*>(count);
  EnumChildWindows(window, CountWindow, count);
  return TRUE;
}

// The windows of this thread and their children: USER objects that can be counted everywhere.
uint32_t ThreadWindows() {
  uint32_t count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
  return count;
}

}  // namespace

uint64_t MonotonicMilliseconds() {
  return GetTickCount64();
}

ProcessStats ReadProcessStats(uint64_t start) {
  const HANDLE process = GetCurrentProcess();
  ProcessStats stats;
  stats.private_bytes = PrivateCommittedBytes();
  stats.heap_bytes = HeapBusyBytes();
  stats.handles = OpenHandles();
  stats.windows = ThreadWindows();
  stats.user_objects = GetGuiResources(process, GR_USEROBJECTS);
  stats.gdi_objects = GetGuiResources(process, GR_GDIOBJECTS);
  stats.milliseconds = MonotonicMilliseconds() - start;
  return stats;
}

}  // namespace standin
