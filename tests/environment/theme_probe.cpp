// Watches the real inkmoor.exe keep its title bar in step with the user's light or dark
// preference, from outside the host's code: the recording dwmapi.dll in System32 writes down
// every DwmSetWindowAttribute call, and a copy of it planted beside the executable must never
// load. For each stored form of
// AppsUseLightTheme the probe starts the host, checks the call made at creation, the one made
// again on WM_DWMCOLORIZATIONCOLORCHANGED, that other WM_SETTINGCHANGE messages make none, and
// that WM_SETTINGCHANGE "ImmersiveColorSet" applies a changed preference.
//
//   theme_probe.exe INKMOOR_COPY RECORD_FOLDER
//
// Run in a prefix of its own: it rewrites the preference in HKEY_CURRENT_USER.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "handle_text.h"
#include "inkmoor_launcher.h"
#include "observer_report.h"

namespace {

using environment::HandleText;
using environment::kEventLimit;
using environment::kNoWait;
using environment::kSendLimitMilliseconds;
using environment::ObserverReport;
using test_support::InkmoorProcess;
using test_support::Launch;

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kLightThemeValue[] = L"AppsUseLightTheme";
constexpr wchar_t kRecordFileVariable[] = L"DWM_RECORD_FILE";
constexpr wchar_t kColorSetChange[] = L"ImmersiveColorSet";
constexpr WPARAM kColorizationColor = 0xFF112233;
constexpr LPARAM kColorizationOpaque = 1;
// The answer to a message does not end what the host does about it: a call it makes later (from
// a message it posts itself, say) must still count for the step that caused it, so each step
// watches the record this long before judging it.
constexpr std::chrono::milliseconds kLateCallLimit(500);
constexpr DWORD kRecordPollMilliseconds = 10;

// How AppsUseLightTheme is stored.
struct StoredPreference {
  enum class Kind { kDword, kText, kMissing };
  Kind kind;
  DWORD dword;
  const wchar_t* text;
  const char* name;
};

constexpr StoredPreference RegDword(DWORD value, const char* name) {
  return {StoredPreference::Kind::kDword, value, nullptr, name};
}
constexpr StoredPreference RegSz(const wchar_t* value, const char* name) {
  return {StoredPreference::Kind::kText, 0, value, name};
}
constexpr StoredPreference Missing() {
  return {StoredPreference::Kind::kMissing, 0, nullptr, "missing"};
}

// The value bytes the recorder shows for DwmSetWindowAttribute(window, 20, &value, 4): a 4-byte
// BOOL in memory order. Null in a case: no call at all.
constexpr char kDark[] = "01000000";
constexpr char kLight[] = "00000000";

// The preference the host starts with and the title bar it must set for it (at creation and
// again on WM_DWMCOLORIZATIONCOLORCHANGED); then the preference as the user changes it while the
// host runs, and the title bar that WM_SETTINGCHANGE "ImmersiveColorSet" must then set.
struct ThemeCase {
  StoredPreference at_start;
  const char* applied_at_start;
  StoredPreference changed_to;
  const char* applied_on_color_set_change;
};

const ThemeCase kCases[] = {
    {RegDword(0, "REG_DWORD 0"), kDark, RegDword(1, "REG_DWORD 1"), kLight},
    {RegDword(1, "REG_DWORD 1"), kLight, RegDword(0, "REG_DWORD 0"), kDark},
    {Missing(), nullptr, RegDword(0, "REG_DWORD 0"), kDark},
    {RegSz(L"0", "REG_SZ \"0\""), nullptr, RegDword(1, "REG_DWORD 1"), kLight},
    {RegDword(0, "REG_DWORD 0"), kDark, RegSz(L"1", "REG_SZ \"1\""), nullptr},
};

// Settings changes that do not concern the colours: the host must not touch the title bar.
struct OtherSettingChange {
  WPARAM action;
  const wchar_t* area;
  const char* name;
};
const OtherSettingChange kOtherSettingChanges[] = {
    {0, L"Environment", "WM_SETTINGCHANGE \"Environment\""},
    {SPI_SETNONCLIENTMETRICS, nullptr, "WM_SETTINGCHANGE SPI_SETNONCLIENTMETRICS"},
};

struct KeyClose {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using OwnedKey = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyClose>;

bool Store(const StoredPreference& preference) {
  HKEY opened = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kPersonalizeKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                      &opened, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const OwnedKey key(opened);
  switch (preference.kind) {
    case StoredPreference::Kind::kDword:
      return RegSetValueExW(key.get(), kLightThemeValue, 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&preference.dword),
                            sizeof(preference.dword)) == ERROR_SUCCESS;
    case StoredPreference::Kind::kText: {
      const std::wstring text = preference.text;
      return RegSetValueExW(key.get(), kLightThemeValue, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) ==
             ERROR_SUCCESS;
    }
    case StoredPreference::Kind::kMissing: {
      const LSTATUS status = RegDeleteValueW(key.get(), kLightThemeValue);
      return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
  }
  return false;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    lines.push_back(line);
  }
  return lines;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text = "[";
  for (const std::string& line : lines) {
    text += (text.size() == 1 ? "" : " | ") + line;
  }
  return text + "]";
}

// The recorder's file, read step by step: each step is judged by the lines it added. The host
// loads dwmapi when it first sets an attribute, so the loading line comes before the first call.
class Record {
 public:
  Record(std::wstring path, std::string loaded_line, ObserverReport* report)
      : path_(std::move(path)), loaded_line_(std::move(loaded_line)), report_(report) {}

  // Waits out late calls for watch, or until there are more lines than expected, which no later
  // line can make right.
  void ExpectNew(const std::string& when, std::vector<std::string> expected,
                 std::chrono::milliseconds watch = kLateCallLimit) {
    if (!expected.empty() && !loaded_line_.empty()) {
      expected.insert(expected.begin(), loaded_line_);
      loaded_line_.clear();
    }
    const auto deadline = std::chrono::steady_clock::now() + watch;
    std::vector<std::string> lines = ReadLines(path_);
    while (lines.size() <= seen_ + expected.size() && std::chrono::steady_clock::now() < deadline) {
      Sleep(kRecordPollMilliseconds);
      lines = ReadLines(path_);
    }
    const std::vector<std::string> added(lines.begin() + std::min(seen_, lines.size()),
                                         lines.end());
    seen_ = lines.size();
    report_->Expect("dwmapi calls " + when, Joined(added), Joined(expected));
  }

 private:
  std::wstring path_;
  std::string loaded_line_;
  ObserverReport* report_;
  size_t seen_ = 0;
};

// The recorder's line as it loads in the host, from System32.
std::string LoadedLine(DWORD process_id) {
  char system_folder[MAX_PATH] = {};
  GetSystemDirectoryA(system_folder, MAX_PATH);
  return "loaded by pid " + std::to_string(process_id) + " from " + system_folder + "\\dwmapi.dll";
}

// The line of DwmSetWindowAttribute(window, 20, &value, 4), if value names one.
std::vector<std::string> CallLines(HWND window, const char* value) {
  if (value == nullptr) {
    return {};
  }
  return {"DwmSetWindowAttribute hwnd=" + HandleText(window) +
          " attribute=20 size=4 value=" + value};
}

bool SendSettingChange(HWND window, WPARAM action, const wchar_t* area) {
  DWORD_PTR answer = 0;
  return SendMessageTimeoutW(window, WM_SETTINGCHANGE, action, reinterpret_cast<LPARAM>(area),
                             SMTO_ABORTIFHUNG, kSendLimitMilliseconds, &answer) != 0;
}

bool SendColorizationChange(HWND window) {
  DWORD_PTR answer = 0;
  return SendMessageTimeoutW(window, WM_DWMCOLORIZATIONCOLORCHANGED, kColorizationColor,
                             kColorizationOpaque, SMTO_ABORTIFHUNG, kSendLimitMilliseconds,
                             &answer) != 0;
}

void CheckMessages(const ThemeCase& theme, HWND window, Record* record, ObserverReport* report) {
  if (!SendColorizationChange(window)) {
    report->SetUpFailed("WM_DWMCOLORIZATIONCOLORCHANGED could not be sent");
    return;
  }
  record->ExpectNew("after WM_DWMCOLORIZATIONCOLORCHANGED",
                    CallLines(window, theme.applied_at_start));

  if (!Store(theme.changed_to)) {
    report->SetUpFailed(std::string("cannot store ") + theme.changed_to.name);
    return;
  }
  for (const OtherSettingChange& other : kOtherSettingChanges) {
    if (!SendSettingChange(window, other.action, other.area)) {
      report->SetUpFailed(std::string(other.name) + " could not be sent");
      return;
    }
    record->ExpectNew(std::string("after ") + other.name, {});
  }
  if (!SendSettingChange(window, 0, kColorSetChange)) {
    report->SetUpFailed("WM_SETTINGCHANGE \"ImmersiveColorSet\" could not be sent");
    return;
  }
  record->ExpectNew(
      std::string("after ") + theme.changed_to.name + " and WM_SETTINGCHANGE \"ImmersiveColorSet\"",
      CallLines(window, theme.applied_on_color_set_change));
}

void CheckCase(const std::wstring& executable, const std::wstring& record_path,
               const ThemeCase& theme, ObserverReport* report) {
  report->Note(std::string("case: AppsUseLightTheme ") + theme.at_start.name + ", then " +
               theme.changed_to.name);
  DeleteFileW(record_path.c_str());
  if (!Store(theme.at_start) ||
      !SetEnvironmentVariableW(kRecordFileVariable, record_path.c_str())) {
    report->SetUpFailed(std::string("cannot store ") + theme.at_start.name);
    return;
  }
  InkmoorProcess host(executable, {"visible"});
  if (!host.started()) {
    report->SetUpFailed("the copy of inkmoor.exe did not start");
    return;
  }
  // The theme is applied while the window is created, before the first frame shows it.
  report->Expect("after the first frame", host.WaitForLogLine("visible ", kEventLimit),
                 "visible 1");
  const HWND window = host.TopLevelWindow();
  if (window == nullptr) {
    report->HostFailed("no top-level window", host.Finish(kNoWait));
    return;
  }
  Record record(record_path, LoadedLine(host.id()), report);
  record.ExpectNew("at creation", CallLines(window, theme.applied_at_start));
  CheckMessages(theme, window, &record, report);

  PostMessageW(window, WM_CLOSE, 0, 0);
  const Launch launch = host.Finish(kEventLimit);
  // The next case starts a new record: whatever came after the last step is read first.
  record.ExpectNew("until the host ended", {}, kNoWait);
  report->Expect("exit code", launch.finished ? std::to_string(launch.exit_code) : "(running)",
                 "0");
  report->Expect("standard error", launch.error_output, "");
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
  ObserverReport report(L"");
  if (count != 3) {
    report.SetUpFailed("usage: theme_probe INKMOOR_COPY RECORD_FOLDER");
    return report.Finish();
  }
  const std::wstring record_path = std::wstring(arguments[2]) + L"\\dwmapi-calls.txt";
  for (const ThemeCase& theme : kCases) {
    CheckCase(arguments[1], record_path, theme, &report);
  }
  return report.Finish();
}
