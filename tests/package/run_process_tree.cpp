// Runs a command line and waits until it and every process it started have ended. The
// uninstaller needs this: run as Add/Remove Programs runs it, it copies itself to the temporary
// folder, starts the copy and returns at once, and only the copy removes anything. Every process
// of the tree is in one job, which reports when its last process has ended.
//
//   run_process_tree COMMAND_LINE
//
// Prints "processes N" and "exit N" (the command's exit code, or else the first nonzero one of
// the processes it started) and exits with that code, or with kFailed after a line on standard
// error.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>

#include "process_helpers.h"

namespace {

using test_support::OwnedHandle;

constexpr int kFailed = 125;
constexpr DWORD kTimeLimitMilliseconds = 120000;
constexpr UINT kEndedExitCode = 124;

// Each process of the job, held open from when it joined so that its exit code stays readable.
using JobProcesses = std::map<DWORD, OwnedHandle>;

int Fail(const char* what) {
  std::fprintf(stderr, "run_process_tree: %s\n", what);
  return kFailed;
}

// The job reports to the port when a process joins and when none is left.
bool ConnectPort(HANDLE job, HANDLE port) {
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT association = {};
  association.CompletionKey = job;
  association.CompletionPort = port;
  return SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &association,
                                 sizeof(association)) != FALSE;
}

// Started suspended and let go only once in the job, so that nothing it starts escapes it.
bool StartInJob(HANDLE job, std::wstring command, DWORD* id) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                      nullptr, &startup, &started)) {
    return false;
  }
  const OwnedHandle process(started.hProcess);
  const OwnedHandle thread(started.hThread);
  if (!AssignProcessToJobObject(job, process.get())) {
    TerminateProcess(process.get(), kEndedExitCode);
    return false;
  }
  *id = started.dwProcessId;
  ResumeThread(thread.get());
  return true;
}

// False at the time limit.
bool WaitForEmptyJob(HANDLE port, JobProcesses* processes) {
  const ULONGLONG deadline = GetTickCount64() + kTimeLimitMilliseconds;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    DWORD message = 0;
    ULONG_PTR key = 0;
    OVERLAPPED* detail = nullptr;
    if (now >= deadline || !GetQueuedCompletionStatus(port, &message, &key, &detail,
                                                      static_cast<DWORD>(deadline - now))) {
      return false;
    }
    if (message == JOB_OBJECT_MSG_ACTIVE_PROCESS_ZERO) {
      return true;
    }
    if (message == JOB_OBJECT_MSG_NEW_PROCESS) {
      const auto id = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(detail));
      processes->emplace(id, OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
    }
  }
}

DWORD ExitCode(const OwnedHandle& process) {
  DWORD exit_code = 0;
  if (!process || !GetExitCodeProcess(process.get(), &exit_code)) {
    return 0;
  }
  return exit_code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    return Fail("usage: run_process_tree COMMAND_LINE");
  }
  const OwnedHandle job(CreateJobObjectW(nullptr, nullptr));
  const OwnedHandle port(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
  if (!job || !port || !ConnectPort(job.get(), port.get())) {
    return Fail("the job object cannot be set up");
  }
  DWORD first = 0;
  if (!StartInJob(job.get(), argv[1], &first)) {
    return Fail("the command did not start");
  }
  JobProcesses processes;
  if (!WaitForEmptyJob(port.get(), &processes)) {
    TerminateJobObject(job.get(), kEndedExitCode);
    return Fail("processes were still running at the time limit and were ended");
  }

  DWORD result = processes.count(first) != 0 ? ExitCode(processes[first]) : 0;
  for (const auto& [id, process] : processes) {
    if (result == 0) {
      result = ExitCode(process);
    }
  }
  std::printf("processes %lu\nexit %lu\n", static_cast<unsigned long>(processes.size()),
              static_cast<unsigned long>(result));
  return static_cast<int>(result);
}
