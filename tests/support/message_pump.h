// Runs the calling thread's window messages for tests that wait on a window or an engine.
#ifndef TESTS_SUPPORT_MESSAGE_PUMP_H_
#define TESTS_SUPPORT_MESSAGE_PUMP_H_

#include <windows.h>

#include <chrono>
#include <functional>

namespace test_support {

// Runs the thread's messages until done() holds or the time is up; returns done().
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return done();
}

// How long a check that something did not happen lets queued work run.
inline constexpr std::chrono::milliseconds kQuietTime(100);

// Runs what is queued now, and what that queues in turn, for a while: for checks that something
// did not happen, where no event marks its absence.
inline void PumpFor(std::chrono::milliseconds time) {
  PumpUntil([] { return false; }, time);
}

}  // namespace test_support

#endif  // TESTS_SUPPORT_MESSAGE_PUMP_H_
