#include "deliberate_crash.h"

#include <windows.h>

#include <cstddef>
#include <stdexcept>

namespace standin {

namespace {

// Each call keeps a page of its own on the stack, so the guard page is soon reached.
constexpr size_t kFrameBytes = 4096;

// Read through a volatile, so the compiler cannot see that it is null and put a trap instruction
// in place of the write: the crash is a real access violation.
volatile uintptr_t null_address = 0;

void WriteToNull() {
  *reinterpret_cast<volatile int*>(null_address) = 1;
}

DWORD WINAPI WriteToNullOnThisThread(void*) {
  WriteToNull();
  return 0;
}

// The depth test never holds, but the compiler cannot know it, so the recursion is neither
// flagged as endless nor turned into a loop.
size_t Recurse(size_t depth) {
  volatile char frame[kFrameBytes];
  frame[0] = static_cast<char>(depth);
  if (depth == static_cast<size_t>(null_address) - 1) {
    return frame[0];
  }
  return Recurse(depth + 1) + static_cast<size_t>(frame[0]);
}

[[noreturn]] void Throw() {
  throw std::runtime_error("crash on purpose");
}

DWORD WINAPI ThrowOnThisThread(void*) {
  Throw();
}

// An exception that leaves a noexcept function is uncaught: the C++ runtime calls
// std::terminate.
void ThrowThroughNoexcept() noexcept {
  Throw();
}

// The thread is announced before it runs.
void CrashOnNewThread(LPTHREAD_START_ROUTINE crash,
                      const std::function<void(uint32_t thread)>& announce) {
  DWORD thread_id = 0;
  const HANDLE thread = CreateThread(nullptr, 0, crash, nullptr, CREATE_SUSPENDED, &thread_id);
  if (thread == nullptr) {
    return;
  }
  announce(thread_id);
  ResumeThread(thread);
  CloseHandle(thread);
}

}  // namespace

void CrashOnPurpose(CrashWay way, const std::function<void(uint32_t thread)>& announce) {
  switch (way) {
    case CrashWay::kThreadAccessViolation:
      CrashOnNewThread(WriteToNullOnThisThread, announce);
      return;
    case CrashWay::kUncaughtException:
      CrashOnNewThread(ThrowOnThisThread, announce);
      return;
    case CrashWay::kAccessViolation:
      announce(GetCurrentThreadId());
      WriteToNull();
      return;
    case CrashWay::kStackOverflow:
      announce(GetCurrentThreadId());
      Recurse(0);
      return;
    case CrashWay::kTerminate:
      announce(GetCurrentThreadId());
      ThrowThroughNoexcept();
      return;
  }
}

}  // namespace standin
