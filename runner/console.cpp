#include "console.h"

#include <fcntl.h>
#include <io.h>

#include <array>
#include <cstdio>
#include <iostream>

namespace {

constexpr char kConsoleOutput[] = "CONOUT$";
constexpr char kWriteMode[] = "w";
constexpr int kOutputDescriptor = 1;
constexpr int kErrorDescriptor = 2;

// One of the two output streams: its Win32 handle, its C runtime descriptor and stream, and the
// handle it had when the process started.
struct StandardStream {
  DWORD handle_kind;
  int descriptor;
  FILE* stream;
  HANDLE at_start;
};

std::array<StandardStream, 2> StandardStreamsAtStart() {
  return {{
      {STD_OUTPUT_HANDLE, kOutputDescriptor, stdout, GetStdHandle(STD_OUTPUT_HANDLE)},
      {STD_ERROR_HANDLE, kErrorDescriptor, stderr, GetStdHandle(STD_ERROR_HANDLE)},
  }};
}

// Windows starts a GUI program from a console without attaching it. Wine attaches it, so there
// the call fails with access denied: the process has its console already.
bool AttachParentConsole() {
  return AttachConsole(ATTACH_PARENT_PROCESS) || GetLastError() == ERROR_ACCESS_DENIED;
}

// Windows' C runtime reopens the stream in place. Wine's msvcrt refuses that for a stream that
// started without a handle: it returns null and leaves the stream's descriptor at -2, where no
// write arrives. There the console is put under the stream's own descriptor number, and the
// stream is given that number back.
void ReopenOnConsole(const StandardStream& standard) {
  if (std::freopen(kConsoleOutput, kWriteMode, standard.stream) != nullptr) {
    return;
  }
  const int console = _open(kConsoleOutput, _O_WRONLY | _O_TEXT);
  if (console < 0) {
    return;
  }
  _dup2(console, standard.descriptor);
  _close(console);
  standard.stream->_file = standard.descriptor;
}

// The crash handler writes through the Win32 handle, which no C runtime call sets. It takes the
// stream's own, which stays open as long as the process.
void SetConsoleHandle(const StandardStream& standard) {
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the C runtime hands out handles as numbers.
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(standard.stream)));
  if (handle != INVALID_HANDLE_VALUE) {
    SetStdHandle(standard.handle_kind, handle);
  }
}

void PointAtConsole(const StandardStream& standard) {
  if (IsUsableStandardHandle(standard.at_start)) {
    // Opening a console may have replaced it.
    SetStdHandle(standard.handle_kind, standard.at_start);
    return;
  }
  ReopenOnConsole(standard);
  SetConsoleHandle(standard);
}

}  // namespace

bool IsUsableStandardHandle(HANDLE handle) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

bool SetUpConsole() {
  const std::array<StandardStream, 2> streams = StandardStreamsAtStart();
  if (!AttachParentConsole() && !(IsDebuggerPresent() && AllocConsole())) {
    return false;
  }
  for (const StandardStream& standard : streams) {
    PointAtConsole(standard);
  }
  std::ios::sync_with_stdio(true);
  return true;
}
