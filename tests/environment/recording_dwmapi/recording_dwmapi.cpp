// A dwmapi.dll that records instead of acting: every DwmSetWindowAttribute call appends one line
// to the file named by DWM_RECORD_FILE and succeeds. Put in place of the system's (in a throwaway
// prefix's System32, and preferred to Wine's builtin one), it shows from outside the host which
// title-bar attribute the host set on which window. A copy planted beside the program names its
// own file when it loads, which it never must.
#include <windows.h>

#include <cstdint>
#include <string>

namespace {

constexpr wchar_t kRecordFileVariable[] = L"DWM_RECORD_FILE";
// Bytes of a value written out; the attributes the host sets are 4 bytes long.
constexpr DWORD kMostValueBytes = 64;

// One WriteFile on an append handle per line, so that the lines of one call stay whole.
void AppendLine(const std::string& line) {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(kRecordFileVariable, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return;
  }
  const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

constexpr char kHexDigits[] = "0123456789abcdef";

// Lower-case hex without leading zeros, as the observer writes a window handle.
std::string HexNumber(uint64_t number) {
  std::string digits;
  do {
    digits.insert(digits.begin(), kHexDigits[number % 16]);
    number /= 16;
  } while (number != 0);
  return digits;
}

// Two lower-case hex digits a byte, in memory order.
std::string HexBytes(const void* value, DWORD size) {
  if (value == nullptr) {
    return "null";
  }
  const auto* bytes = static_cast<const unsigned char*>(value);
  std::string text;
  for (DWORD i = 0; i < size && i < kMostValueBytes; ++i) {
    text.push_back(kHexDigits[bytes[i] / 16]);
    text.push_back(kHexDigits[bytes[i] % 16]);
  }
  return text;
}

}  // namespace

// The loading line names the process and the file this copy was loaded from.
BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(instance, path, MAX_PATH);
    AppendLine("loaded by pid " + std::to_string(GetCurrentProcessId()) + " from " + path);
  }
  return TRUE;
}

extern "C" HRESULT WINAPI DwmSetWindowAttribute(HWND window, DWORD attribute, LPCVOID value,
                                                DWORD size) {
  AppendLine("DwmSetWindowAttribute hwnd=0x" + HexNumber(reinterpret_cast<uintptr_t>(window)) +
             " attribute=" + std::to_string(attribute) + " size=" + std::to_string(size) +
             " value=" + HexBytes(value, size));
  return S_OK;
}
