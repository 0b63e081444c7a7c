// A window handle as the observers and the recording dwmapi.dll write it: "0x" and lower-case
// hex without leading zeros.
#ifndef TESTS_ENVIRONMENT_HANDLE_TEXT_H_
#define TESTS_ENVIRONMENT_HANDLE_TEXT_H_

#include <windows.h>

#include <cstdint>
#include <string>

namespace environment {

inline std::string HandleText(HWND window) {
  constexpr char kHexDigits[] = "0123456789abcdef";
  uint64_t number = reinterpret_cast<uintptr_t>(window);
  std::string digits;
  do {
    digits.insert(digits.begin(), kHexDigits[number % 16]);
    number /= 16;
  } while (number != 0);
  return "0x" + digits;
}

}  // namespace environment

#endif  // TESTS_ENVIRONMENT_HANDLE_TEXT_H_
