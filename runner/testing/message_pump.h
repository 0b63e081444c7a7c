#ifndef RUNNER_TESTING_MESSAGE_PUMP_H_
#define RUNNER_TESTING_MESSAGE_PUMP_H_

#include <windows.h>

#include <chrono>
#include <functional>

namespace inkmoor::testing {

// Runs the thread's messages until done() holds or the time is up; returns done().
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return done();
}

}  // namespace inkmoor::testing

#endif  // RUNNER_TESTING_MESSAGE_PUMP_H_
