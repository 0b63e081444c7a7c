#include "crash_handler.h"

#include <windows.h>

#include <dbghelp.h>
#include <stdlib.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <exception>
#include <memory>
#include <type_traits>

#include "crash_dump_folder.h"
#include "startup_failure.h"
#include "version.h"

// The crashing thread only records its exception, wakes the dump thread (started at
// installation and waiting for this one job) and waits for it with a bound. So the dump is
// written on a stack of its own, also after a stack overflow, as Breakpad and Crashpad do.
// Whatever comes after the first crash, on any thread and in the handler itself, writes no
// second dump: it ends the process.

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
// Stack kept for the filter on the UI thread when its stack overflows.
constexpr ULONG kStackGuarantee = 64 * 1024;
// dbghelp needs far less; only reserved, not committed.
constexpr SIZE_T kDumpThreadStack = 1024 * 1024;
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
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(size + 1), &written, nullptr);
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

// Writes to a partial file first and renames it when complete, so that a dump which ends
// mid-write never counts as a dump. The system's error code, or ERROR_SUCCESS.
DWORD WriteDumpFile(const CrashState& state, const DumpPath& dump) {
  DumpPath partial = dump;
  if (!AppendToPath(&partial, kPartialSuffix)) {
    return ERROR_FILENAME_EXCED_RANGE;
  }
  // No delete sharing: pruning by another crashing process leaves it alone.
  const HANDLE file = CreateFileW(partial.text, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError();
  }
  OwnedHandle owned(file);
  // Wine's dbghelp would otherwise read the debugging information of every module, which
  // takes seconds; the dump needs none of it.
  state.symbol_options(SYMOPT_DEFERRED_LOADS);
  MINIDUMP_EXCEPTION_INFORMATION exception = {};
  exception.ThreadId = state.claimed_by.load();
  exception.ExceptionPointers = state.exception;
  exception.ClientPointers = FALSE;
  if (!state.write_dump(GetCurrentProcess(), GetCurrentProcessId(), file, kDumpType, &exception,
                        nullptr, nullptr)) {
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

DWORD WINAPI WriteDumpWhenAsked(void* argument) {
  const CrashState& state = *static_cast<const CrashState*>(argument);
  WaitForSingleObject(state.requested.get(), INFINITE);
  WriteDumpAndReport(state);
  SetEvent(state.finished.get());
  return 0;
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
      WaitForSingleObject(state.finished.get(), kDumpTimeLimitMs);
    }
    const DWORD first = state.code.load();
    EndProcess(first != 0 ? first : code);
  }
  state.code.store(code);
  state.exception = exception;
  SetEvent(state.requested.get());
  WaitForSingleObject(state.finished.get(), kDumpTimeLimitMs);
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

// There is no hardware exception to dump: the record and the context are made here, on the
// failing thread, as a fast fail of the given kind.
[[noreturn]] void EndWithFastFail(ULONG_PTR kind) {
  CONTEXT context = {};
  RtlCaptureContext(&context);
  EXCEPTION_RECORD record = {};
  record.ExceptionCode = kFastFailCode;
  record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
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

template <typename Function>
Function FindExport(HMODULE module, const char* name) {
  const FARPROC procedure = GetProcAddress(module, name);
  // Through the generic function type, which converts to any other without a warning.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(procedure));
}

// dbghelp from the system folder only, loaded now so that a crash loads nothing. It stays
// loaded for the process's life.
bool LoadDumpWriter(CrashState* state) {
  const HMODULE dbghelp = LoadLibraryExW(kDbgHelpLibrary, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (dbghelp == nullptr) {
    return false;
  }
  state->write_dump = FindExport<WriteDumpFunction>(dbghelp, kWriteDumpExport);
  state->symbol_options = FindExport<SymbolOptionsFunction>(dbghelp, kSymbolOptionsExport);
  return state->write_dump != nullptr && state->symbol_options != nullptr;
}

bool StartDumpThread(CrashState* state) {
  state->requested.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  state->finished.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!state->requested || !state->finished) {
    return false;
  }
  state->dump_thread.reset(CreateThread(nullptr, kDumpThreadStack, WriteDumpWhenAsked, state,
                                        STACK_SIZE_PARAM_IS_A_RESERVATION, &state->dump_thread_id));
  return state->dump_thread != nullptr;
}

void RouteCrashes() {
  ULONG guarantee = kStackGuarantee;
  SetThreadStackGuarantee(&guarantee);
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
