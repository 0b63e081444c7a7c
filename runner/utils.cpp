#include "utils.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <memory>

namespace {

constexpr size_t kConversionLimit = 32767;
constexpr DWORD kConversionFlags = WC_ERR_INVALID_CHARS;

struct LocalMemoryFree {
  void operator()(wchar_t** memory) const { LocalFree(memory); }
};
using ArgumentArray = std::unique_ptr<wchar_t*, LocalMemoryFree>;

bool IsHighSurrogate(wchar_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(wchar_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The limit never splits a surrogate pair, which would make a well-formed text ill-formed
// and so lose all of it.
int ConvertedLength(const wchar_t* text) {
  size_t length = wcsnlen(text, kConversionLimit);
  if (length == kConversionLimit && IsHighSurrogate(text[length - 1]) &&
      IsLowSurrogate(text[length])) {
    --length;
  }
  return static_cast<int>(length);
}

}  // namespace

std::vector<std::string> CollectCommandLineArguments() {
  int count = 0;
  const ArgumentArray arguments(CommandLineToArgvW(GetCommandLineW(), &count));
  if (!arguments) {
    return {};
  }
  std::vector<std::string> converted;
  for (int index = 1; index < count; ++index) {
    converted.push_back(WideToUtf8(arguments.get()[index]));
  }
  return converted;
}

std::string WideToUtf8(const wchar_t* text) {
  if (text == nullptr) {
    return {};
  }
  const int length = ConvertedLength(text);
  const int size =
      WideCharToMultiByte(CP_UTF8, kConversionFlags, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) {
    return {};
  }
  std::string utf8(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, kConversionFlags, text, length, &utf8[0], size, nullptr,
                          nullptr) == 0) {
    return {};
  }
  return utf8;
}
