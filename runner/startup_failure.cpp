#include "startup_failure.h"

#include <memory>
#include <string>

#include "utils.h"
#include "weft/diagnostic_line.h"

namespace {

constexpr DWORD kMessageFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr char kTrailingBlanks[] = " \t\r\n";

struct LocalMemoryFree {
  void operator()(wchar_t* memory) const { LocalFree(memory); }
};

// The system's text for error, without the line end it comes with; empty when it has none.
std::string SystemErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the allocation.
  const DWORD length = FormatMessageW(kMessageFlags, nullptr, error, 0,
                                      reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalMemoryFree> owned(buffer);
  if (length == 0) {
    return {};
  }
  std::string text = WideToUtf8(owned.get());
  text.erase(text.find_last_not_of(kTrailingBlanks) + 1);
  return text;
}

}  // namespace

void ReportStartupFailure(const char* what, DWORD error) {
  const std::string text = SystemErrorText(error);
  std::string cause = ": ";
  if (!text.empty()) {
    cause += text + " ";
  }
  cause += "(error " + std::to_string(error) + ")";
  weft::WriteDiagnosticLine(what, cause);
}
