#ifndef WEFT_ENGINE_TEST_SUPPORT_H_
#define WEFT_ENGINE_TEST_SUPPORT_H_

#include <windows.h>

#include <chrono>
#include <functional>

namespace weft::testing {

// Runs the thread's messages until done() holds or the time is up; returns done().
inline bool PumpMessagesUntil(const std::function<bool()>& done,
                              std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (!done()) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }
  return true;
}

}  // namespace weft::testing

#endif  // WEFT_ENGINE_TEST_SUPPORT_H_
