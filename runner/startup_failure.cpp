#include "startup_failure.h"

#include <memory>
#include <string>
#include <string_view>

#include "console.h"
#include "utils.h"
#include "version.h"
#include "weft/diagnostic_line.h"

namespace {

constexpr DWORD kMessageFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
constexpr wchar_t kTrailingBlanks[] = L" \t\r\n";
constexpr wchar_t kBoxTitle[] = L"" INKMOOR_PRODUCT_NAME;
constexpr UINT kBoxStyle = MB_OK | MB_ICONERROR;

struct LocalMemoryFree {
  void operator()(wchar_t* memory) const { LocalFree(memory); }
};

// The system's text for error, without the line end it comes with; empty when it has none.
std::wstring SystemErrorText(DWORD error) {
  wchar_t* buffer = nullptr;
  // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument receives the allocation.
  const DWORD length = FormatMessageW(kMessageFlags, nullptr, error, 0,
                                      reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalMemoryFree> owned(buffer);
  if (length == 0) {
    return {};
  }
  std::wstring text(owned.get(), length);
  text.erase(text.find_last_not_of(kTrailingBlanks) + 1);
  return text;
}

}  // namespace

void ReportStartupFailure(const char* what, DWORD error) {
  const std::wstring text = SystemErrorText(error);
  std::wstring cause = L": ";
  if (!text.empty()) {
    cause += text + L" ";
  }
  cause += L"(error " + std::to_wstring(error) + L")";
  weft::WriteDiagnosticLine(what, WideToUtf8(cause.c_str()));
  // Started from Explorer: no console, no redirection, and so no one reads the line.
  if (!IsUsableStandardHandle(GetStdHandle(STD_ERROR_HANDLE))) {
    // The host's own texts are ASCII.
    const std::string_view name(what);
    MessageBoxW(nullptr, (std::wstring(name.begin(), name.end()) + cause).c_str(), kBoxTitle,
                kBoxStyle);
  }
}
