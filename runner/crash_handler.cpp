#include "crash_handler.h"

#include <windows.h>

#include <dbghelp.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <memory>
#include <type_traits>

#include "crash_dump_folder.h"
#include "startup_failure.h"
#include "system_library.h"
#include "version.h"

// The crashing thread only records its exception, wakes the dump thread (started at
// installation and waiting for this one job) and waits for it with a bound. So the dump is
// written on a stack of its own, also after a stack overflow, as Breakpad and Crashpad do. The
// dump thread ends the process once the dump is written; the crashing thread ends it when the
// bound runs out first. Whatever comes after the first crash, on any thread and in the handler
// itself, writes no second dump: it ends the process.

namespace {

constexpr wchar_t kLocalAppDataVariable[] = L"LOCALAPPDATA";
constexpr wchar_t kProductFolder[] = L"\\" INKMOOR_PRODUCT_NAME;
constexpr wchar_t kDumpFolder[] = L"\\CrashDumps";
constexpr wchar_t kVersion[] = L"" INKMOOR_VERSION_TEXT;
constexpr wchar_t kFolderSeparator[] = L"\\";
constexpr wchar_t kPartialSuffix[] = L".tmp";
constexpr wchar_t kDbgHelpLibrary[] = L"dbghelp.dll";
constexpr char kWriteDumpExport[] = "MiniDumpWriteDump";
constexpr char kSymbolOptionsExport[] = "SymSetOptions";

constexpr char kCannotInstall[] = "Cannot install the crash handler";
constexpr wchar_t kDumpWrittenLine[] = L"Crash dump written to ";
constexpr wchar_t kDumpFailedLine[] = L"Crash dump could not be written to ";
constexpr wchar_t kErrorOpening[] = L" (error ";
constexpr wchar_t kErrorClosing[] = L")";
constexpr char kLineEnd[] = "\r\n";

// The exception, every thread with its stack, the loaded and unloaded modules (to match
// inkmoor.exe and weft_windows.dll to their symbols) and the threads' times; no heap.
constexpr MINIDUMP_TYPE kDumpType = static_cast<MINIDUMP_TYPE>(
    MiniDumpNormal | MiniDumpWithUnloadedModules | MiniDumpWithThreadInfo);

// The crashing thread waits so long for its dump, then ends the process without it.
constexpr DWORD kDumpTimeLimitMs = 30000;
// NTSTATUS values from here up are errors.
constexpr DWORD kErrorStatus = 0xC0000000;
// AddVectoredExceptionHandler: before the handlers added earlier.
constexpr ULONG kFirstHandler = 1;
// Stack kept for the filter on the UI thread when its stack overflows.
constexpr ULONG kStackGuarantee = 64 * 1024;
// dbghelp needs far less; only reserved, not committed.
constexpr SIZE_T kDumpThreadStack = SIZE_T{1024} * 1024;
// Room for a line: the text, the path as UTF-8 (up to 3 bytes a unit) and the line end.
constexpr int kLineCapacity = 3 * static_cast<int>(kDumpPathCapacity) + 64;

// What Windows reports for a process that its C runtime ends on purpose: a fast fail
// (STATUS_STACK_BUFFER_OVERRUN) with the kind of failure as the first exception parameter.
constexpr DWORD kFastFailCode = 0xC0000409;
constexpr ULONG_PTR kFastFailFatalAppExit = 7;  // abort, std::terminate, pure virtual call
constexpr ULONG_PTR kFastFailInvalidArgument = 5;

// GCC's C++ runtime throws as an SEH exception with one of these codes. One that no frame
// catches reaches the unhandled-exception filter, which must let it continue so that the
// runtime calls std::terminate, as the start-up code's own filter does.
constexpr DWORD kGccExceptionMask = 0x20FFFFFF;
constexpr DWORD kGccExceptionCode = 0x20474343;

struct HandleClose {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleClose>;

using WriteDumpFunction = decltype(&MiniDumpWriteDump);
using SymbolOptionsFunction = decltype(&SymSetOptions);

struct CrashState {
  WriteDumpFunction write_dump = nullptr;
  SymbolOptionsFunction symbol_options = nullptr;
  DumpPath product_folder;  // %LOCALAPPDATA%\Quillmere
  DumpPath dump_folder;     // and its CrashDumps
  OwnedHandle requested;    // set by the crashing thread
  OwnedHandle finished;     // set by the dump thread
  OwnedHandle dump_thread;
  DWORD dump_thread_id = 0;
  OwnedHandle ui_thread;
  std::atomic<DWORD> claimed_by{0};  // the thread whose crash is handled
  std::atomic<DWORD> code{0};
  // Written before requested is set, read by the dump thread after it.
  EXCEPTION_POINTERS* exception = nullptr;
};

// Never destroyed: the dump thread waits on it until the process ends, and a crash may come
// during static destruction.
CrashState* crash_state = nullptr;

[[noreturn]] void EndProcess(DWORD code) {
  TerminateProcess(GetCurrentProcess(), code);
  ExitProcess(code);
}

// Writes one line to standard error as it is at crash time, without the C runtime, whose
// stream lock the crashing thread may hold.
void WriteErrorLine(const DumpPath& line) {
  char text[kLineCapacity];
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, line.text, -1, text,
                          kLineCapacity - static_cast<int>(sizeof(kLineEnd)), nullptr, nullptr);
  if (size == 0) {
    return;
  }
  // size counts the NUL, which the line end replaces.
  CopyMemory(text + size - 1, kLineEnd, sizeof(kLineEnd));
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(size) + 1, &written, nullptr);
}

void ReportDumpWritten(const DumpPath& dump) {
  DumpPath line;
  AppendToPath(&line, kDumpWrittenLine);
  AppendToPath(&line, dump.text);
  WriteErrorLine(line);
}

void ReportDumpFailed(const DumpPath& folder, DWORD error) {
  DumpPath line;
  AppendToPath(&line, kDumpFailedLine);
  AppendToPath(&line, folder.text);
  AppendToPath(&line, kErrorOpening);
  AppendNumber(&line, error, 1);
  AppendToPath(&line, kErrorClosing);
  WriteErrorLine(line);
}

bool CreateFolder(const DumpPath& folder) {
  return CreateDirectoryW(folder.text, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Null when it cannot be created; GetLastError() says why. No delete sharing: pruning by
// another crashing process leaves the file alone while it is written.
OwnedHandle CreateNewFile(const DumpPath& path) {
  OwnedHandle file(CreateFileW(path.text, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    static_cast<void>(file.release());
  }
  return file;
}

// Writes to a partial file first and renames it when complete, so that a dump which ends
// mid-write never counts as a dump. The system's error code, or ERROR_SUCCESS.
DWORD WriteDumpFile(const CrashState& state, const DumpPath& dump) {
  DumpPath partial = dump;
  if (!AppendToPath(&partial, kPartialSuffix)) {
    return ERROR_FILENAME_EXCED_RANGE;
  }
  OwnedHandle owned = CreateNewFile(partial);
  if (!owned) {
    return GetLastError();
  }
  const HANDLE file = owned.get();
  // Wine's dbghelp would otherwise read the debugging information of every module, which
  // takes seconds; the dump needs none of it.
  state.symbol_options(SYMOPT_DEFERRED_LOADS);
  MINIDUMP_EXCEPTION_INFORMATION exception = {};
  exception.ThreadId = state.claimed_by.load();
  exception.ExceptionPointers = state.exception;
  exception.ClientPointers = FALSE;
  // Without an exception when the UI thread was lost (WriteDumpWhenAsked).
  MINIDUMP_EXCEPTION_INFORMATION* const exception_information =
      state.exception != nullptr ? &exception : nullptr;
  if (!state.write_dump(GetCurrentProcess(), GetCurrentProcessId(), file, kDumpType,
                        exception_information, nullptr, nullptr)) {
    const DWORD error = GetLastError();
    owned.reset();
    DeleteFileW(partial.text);
    return error;
  }
  owned.reset();
  if (!MoveFileExW(partial.text, dump.text, MOVEFILE_REPLACE_EXISTING)) {
    const DWORD error = GetLastError();
    DeleteFileW(partial.text);
    return error;
  }
  return ERROR_SUCCESS;
}

void WriteDumpAndReport(const CrashState& state) {
  SYSTEMTIME now = {};
  GetSystemTime(&now);
  DumpPath dump = state.dump_folder;
  if (!AppendToPath(&dump, kFolderSeparator) ||
      !AppendDumpFileName(&dump, kVersion, now, GetCurrentProcessId())) {
    ReportDumpFailed(state.dump_folder, ERROR_FILENAME_EXCED_RANGE);
    return;
  }
  if (!CreateFolder(state.product_folder) || !CreateFolder(state.dump_folder)) {
    ReportDumpFailed(state.dump_folder, GetLastError());
    return;
  }
  const DWORD error = WriteDumpFile(state, dump);
  if (error != ERROR_SUCCESS) {
    ReportDumpFailed(state.dump_folder, error);
    return;
  }
  PruneDumpFolder(state.dump_folder);
  ReportDumpWritten(dump);
}

// The UI thread ended while the process lives on. Nothing in the host ends it so: only Wine
// does, when a thread's stack overflows beyond what its dispatcher can handle, before any
// handler of ours runs, and it leaves 0 as the thread's exit code. The process would then run on
// without its window for ever, so it is dumped (without an exception) and ended with the
// thread's exit code if that is an error status, else with the stack overflow's. False when a
// crash was claimed first.
bool ClaimLostUiThread(CrashState* state) {
  DWORD unclaimed = 0;
  if (!state->claimed_by.compare_exchange_strong(unclaimed, state->dump_thread_id)) {
    return false;
  }
  DWORD code = 0;
  GetExitCodeThread(state->ui_thread.get(), &code);
  state->code.store(code >= kErrorStatus ? code : EXCEPTION_STACK_OVERFLOW);
  return true;
}

// Ends the process itself once the dump is written, so that it ends also when the crashing
// thread did not live to do it.
DWORD WINAPI WriteDumpWhenAsked(void* argument) {
  CrashState& state = *static_cast<CrashState*>(argument);
  const HANDLE wakes[] = {state.requested.get(), state.ui_thread.get()};
  const DWORD woken = WaitForMultipleObjects(2, wakes, FALSE, INFINITE);
  if (woken == WAIT_FAILED) {
    WaitForSingleObject(state.requested.get(), INFINITE);
  } else if (woken != WAIT_OBJECT_0 && !ClaimLostUiThread(&state)) {
    // A crash was claimed just before; its thread asks at once, unless Wine ended it too.
    WaitForSingleObject(state.requested.get(), kDumpTimeLimitMs);
  }
  WriteDumpAndReport(state);
  SetEvent(state.finished.get());
  const DWORD code = state.code.load();
  // 0 only when the claiming thread was ended before it stored its code, as above.
  EndProcess(code != 0 ? code : EXCEPTION_STACK_OVERFLOW);
}

// Until the dump is written, the bound runs out, or the dump thread is gone: ExitProcess ends it
// before the libraries' detach code runs, and a crash there must not wait for it in vain.
// Returns whether the bound ran out.
bool WaitForDump(const CrashState& state) {
  const HANDLE ends[] = {state.finished.get(), state.dump_thread.get()};
  return WaitForMultipleObjects(2, ends, FALSE, kDumpTimeLimitMs) == WAIT_TIMEOUT;
}

// The one way out of every crash: the first one is dumped, then the process ends with its
// exception code, as Windows' own handling ends it.
[[noreturn]] void EndWithDump(EXCEPTION_POINTERS* exception) {
  CrashState& state = *crash_state;
  const DWORD thread = GetCurrentThreadId();
  const DWORD code = exception->ExceptionRecord->ExceptionCode;
  DWORD handled = 0;
  if (!state.claimed_by.compare_exchange_strong(handled, thread)) {
    // A crash of the handler itself (on the crashing or the dump thread) ends the process at
    // once; another thread's lets the dump of the first one finish.
    if (thread != handled && thread != state.dump_thread_id) {
      WaitForDump(state);
    }
    const DWORD first = state.code.load();
    EndProcess(first != 0 ? first : code);
  }
  state.code.store(code);
  state.exception = exception;
  SetEvent(state.requested.get());
  if (WaitForDump(state)) {
    // The dump thread may wait for a lock that this thread holds, such as the loader's. Windows
    // Error Reporting writes its dump from outside the process instead (LocalDumps).
    RaiseFailFastException(exception->ExceptionRecord, exception->ContextRecord, 0);
  }
  EndProcess(code);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if ((record.ExceptionCode & kGccExceptionMask) == kGccExceptionCode &&
      (record.ExceptionFlags & EXCEPTION_NONCONTINUABLE) == 0) {
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  EndWithDump(exception);
}

// A stack overflow is taken as soon as it is raised. Wine ignores the stack guarantee, and its
// dispatcher's own frames use up what stack is left before the unhandled-exception filter is
// reached, which ends the thread and leaves the process running; a vectored handler runs first.
// No program recovers from a stack overflow, so taking it early changes nothing else.
LONG WINAPI OnVectoredException(EXCEPTION_POINTERS* exception) {
  if (exception->ExceptionRecord->ExceptionCode != EXCEPTION_STACK_OVERFLOW) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  EndWithDump(exception);
}

// There is no hardware exception to dump: the record and the context are made here, on the
// failing thread, as a fast fail of the given kind.
[[noreturn]] void EndWithFastFail(ULONG_PTR kind) {
  CONTEXT context = {};
  RtlCaptureContext(&context);
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = kFastFailCode;
  record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
  // NOLINTNEXTLINE(performance-no-int-to-ptr): the context holds the address as a number.
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  record.NumberParameters = 1;
  record.ExceptionInformation[0] = kind;
  EXCEPTION_POINTERS pointers = {&record, &context};
  EndWithDump(&pointers);
}

void OnTerminate() {
  EndWithFastFail(kFastFailFatalAppExit);
}

// abort() raises SIGABRT in the C runtime DLL that every module shares, so it also catches
// std::terminate in a module with a C++ runtime of its own, such as the engine library.
void OnAbortSignal(int) {
  EndWithFastFail(kFastFailFatalAppExit);
}

void OnPureVirtualCall() {
  EndWithFastFail(kFastFailFatalAppExit);
}

void OnInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned int, uintptr_t) {
  EndWithFastFail(kFastFailInvalidArgument);
}

bool FindDumpFolders(CrashState* state) {
  const DWORD length = GetEnvironmentVariableW(kLocalAppDataVariable, state->product_folder.text,
                                               static_cast<DWORD>(kDumpPathCapacity));
  if (length == 0) {
    return false;
  }
  if (length >= kDumpPathCapacity || !AppendToPath(&state->product_folder, kProductFolder)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  state->dump_folder = state->product_folder;
  if (!AppendToPath(&state->dump_folder, kDumpFolder)) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  return true;
}

// dbghelp from the system folder only, loaded now so that a crash loads nothing. It stays
// loaded for the process's life.
bool LoadDumpWriter(CrashState* state) {
  const HMODULE dbghelp = LoadSystemLibrary(kDbgHelpLibrary);
  state->write_dump = FindExport<WriteDumpFunction>(dbghelp, kWriteDumpExport);
  state->symbol_options = FindExport<SymbolOptionsFunction>(dbghelp, kSymbolOptionsExport);
  return state->write_dump != nullptr && state->symbol_options != nullptr;
}

bool StartDumpThread(CrashState* state) {
  state->requested.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  state->finished.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  state->ui_thread.reset(
      OpenThread(SYNCHRONIZE | THREAD_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentThreadId()));
  if (!state->requested || !state->finished || !state->ui_thread) {
    return false;
  }
  state->dump_thread.reset(CreateThread(nullptr, kDumpThreadStack, WriteDumpWhenAsked, state,
                                        STACK_SIZE_PARAM_IS_A_RESERVATION, &state->dump_thread_id));
  return state->dump_thread != nullptr;
}

void RouteCrashes() {
  ULONG guarantee = kStackGuarantee;
  SetThreadStackGuarantee(&guarantee);
  AddVectoredExceptionHandler(kFirstHandler, OnVectoredException);
  SetUnhandledExceptionFilter(OnUnhandledException);
  std::set_terminate(OnTerminate);
  std::signal(SIGABRT, OnAbortSignal);
  // GCC's code reaches std::terminate on a pure virtual call. With msvcrt these two setters are
  // mingw-w64's own stand-ins, which msvcrt.dll never calls; with the UCRT they are the
  // runtime's, which reports to them.
  _set_purecall_handler(OnPureVirtualCall);
  _set_invalid_parameter_handler(OnInvalidParameter);
  // abort() of a GUI program would show a message box before it raises SIGABRT.
  _set_error_mode(_OUT_TO_STDERR);
}

}  // namespace

bool InstallCrashHandler() {
  auto state = std::make_unique<CrashState>();
  if (!FindDumpFolders(state.get()) || !LoadDumpWriter(state.get()) ||
      !StartDumpThread(state.get())) {
    ReportStartupFailure(kCannotInstall, GetLastError());
    return false;
  }
  crash_state = state.release();
  RouteCrashes();
  return true;
}
