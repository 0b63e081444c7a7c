#include "scripted_app.h"

#include <utility>

#include "deliberate_crash.h"
#include "demo_painter.h"
#include "diagnostic_stream.h"
#include "event_lines.h"
#include "hex.h"
#include "method_call_bytes.h"
#include "monitor_dpi.h"
#include "process_environment.h"
#include "process_stats.h"
#include "utf.h"

namespace standin {

namespace {

constexpr wchar_t kLogVariable[] = L"WEFT_STANDIN_LOG";
constexpr wchar_t kScriptVariable[] = L"WEFT_STANDIN_SCRIPT";
constexpr size_t kLargestScript = 16 * 1024 * 1024;
constexpr char kScriptUnreadableLine[] =
    "Stand-in engine: cannot read the script file, or it is too large; no command runs.";

constexpr char kWindowChannel[] = "quillmere/window";
constexpr char kSetTitleMethod[] = "setTitle";
constexpr char kOwnTitle[] = "Quillmere \xC2\xB7 title set over quillmere/window";

constexpr size_t kTrafficEntries = 12;
constexpr size_t kTrafficBytesShown = 64;
constexpr char kMoreBytes[] = "\xE2\x80\xA6";
constexpr wchar_t kSentMark[] = L"\u2192 ";
constexpr wchar_t kReceivedMark[] = L"\u2190 ";
constexpr wchar_t kNone[] = L"(none)";
constexpr wchar_t kResolvedMark[] = L"  \u2192  ";

// The picture shows the start of a long message only.
std::string TrafficHex(const std::vector<uint8_t>& bytes) {
  if (bytes.size() <= kTrafficBytesShown) {
    return FormatHex(bytes.data(), bytes.size());
  }
  return FormatHex(bytes.data(), kTrafficBytesShown) + kMoreBytes;
}

std::vector<ScriptCommand> LoadScript(const std::wstring& path) {
  if (path.empty()) {
    return {};
  }
  std::optional<std::string> text = ReadFileContent(path, kLargestScript);
  if (!text) {
    WriteDiagnosticLine(kScriptUnreadableLine);
    return {};
  }
  return ParseScript(*text);
}

std::wstring PathFact(const wchar_t* label, const std::optional<std::wstring>& passed,
                      const std::wstring& resolved) {
  if (!passed) {
    return label + std::wstring(kNone);
  }
  return label + *passed + kResolvedMark + resolved;
}

std::wstring EntryPointFact(const EngineConfig& config) {
  if (!config.entrypoint_name) {
    return L"Entry point: (null)";
  }
  if (config.entrypoint_name->empty()) {
    return L"Entry point: (default)";
  }
  return L"Entry point: " + Utf8ToWide(*config.entrypoint_name);
}

std::wstring ArgumentsFact(const EngineConfig& config) {
  std::wstring fact = L"Entry arguments (" + std::to_wstring(config.arguments.size()) + L"):";
  for (const std::string& argument : config.arguments) {
    fact += L" \u201C" + Utf8ToWide(argument) + L"\u201D";
  }
  return fact;
}

}  // namespace

ScriptedApp::ScriptedApp(Messenger* messenger, EngineConfig config,
                         const std::wstring (&resolved)[kBundlePathCount])
    : messenger_(messenger),
      config_(std::move(config)),
      resolved_(std::begin(resolved), std::end(resolved)),
      log_(EnvironmentVariable(kLogVariable)) {
  const std::optional<std::wstring> script_path = EnvironmentVariable(kScriptVariable);
  if (script_path) {
    script_.emplace(LoadScript(*script_path), static_cast<ScriptEnvironment*>(this));
  }
}

ScriptedApp::~ScriptedApp() = default;

void ScriptedApp::AttachView(ViewWindow* view) {
  view_ = view;
  wake_target_ = view->Handle();
}

void ScriptedApp::OnFrameReported(bool top_level_visible) {
  Log(FrameLine(++frames_, top_level_visible));
  // The wake is handled after the frame's callback, which runs right after this.
  if (frames_ == 1) {
    Wake(kWakeToBegin);
  }
}

// Each reason has wakes of its own, so that a resume comes only after the messages posted
// before it, whatever other wakes were queued earlier.
void ScriptedApp::OnWake(WPARAM reason) {
  switch (reason) {
    case kWakeToBegin:
      Begin();
      return;
    case kWakeForReplies:
      HandleReplies();
      return;
    case kWakeToResume:
      if (script_) {
        script_->Resume();
      }
      return;
    default:
      return;
  }
}

void ScriptedApp::OnFontsChanged() {
  if (view_ != nullptr) {
    view_->ContentChanged();
  }
}

void ScriptedApp::Paint(HDC dc, int width, int height) {
  const HWND window = view_ != nullptr ? view_->Handle() : nullptr;
  const uint32_t dpi = MonitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
  DemoPicture picture;
  picture.facts = {
      PathFact(L"Assets folder: ", config_.paths[kAssetsPath], resolved_[kAssetsPath]),
      PathFact(L"ICU data: ", config_.paths[kIcuDataPath], resolved_[kIcuDataPath]),
      PathFact(L"AOT library: ", config_.paths[kAotLibraryPath], resolved_[kAotLibraryPath]),
      EntryPointFact(config_),
      ArgumentsFact(config_),
      L"View: " + std::to_wstring(width) + L" \u00D7 " + std::to_wstring(height) +
          L" pixels, monitor DPI " + std::to_wstring(dpi),
      script_ ? L"Mode: scripted" : L"Mode: demo",
  };
  picture.traffic.assign(traffic_.begin(), traffic_.end());
  PaintDemo(dc, width, height, dpi, picture);
}

SendOutcome ScriptedApp::SendWithReply(const std::string& channel,
                                       const std::vector<uint8_t>& bytes) {
  const uint64_t send = ++last_send_;
  NoteTraffic(kSentMark, channel + " " + TrafficHex(bytes));
  const std::shared_ptr<Inbox> inbox = inbox_;
  const HWND target = wake_target_;
  auto sink = [inbox, target, send](const uint8_t* reply, size_t size) {
    {
      std::lock_guard<std::mutex> hold(inbox->mutex);
      inbox->replies.push_back(Reply{send, std::vector<uint8_t>(reply, reply + size)});
    }
    PostMessageW(target, ViewWindow::kWakeMessage, kWakeForReplies, 0);
  };
  switch (messenger_->Deliver(channel, bytes.data(), bytes.size(), std::move(sink))) {
    case Delivery::kDelivered:
      awaited_send_ = send;
      awaited_channel_ = channel;
      return SendOutcome::kAwaitingReply;
    case Delivery::kNoCallback:
      NoteTraffic(kReceivedMark, ReplyLine(channel, nullptr, 0));
      return SendOutcome::kNoHandler;
    case Delivery::kUnavailable:
      break;
  }
  NoteTraffic(kReceivedMark, RefusedLine(channel));
  return SendOutcome::kRefused;
}

std::string ScriptedApp::TopLevelTitle() {
  const HWND top = view_ != nullptr ? view_->TopLevel() : nullptr;
  if (top == nullptr) {
    return {};
  }
  std::wstring title(static_cast<size_t>(GetWindowTextLengthW(top)) + 1, L'\0');
  const int length = GetWindowTextW(top, title.data(), static_cast<int>(title.size()));
  title.resize(length > 0 ? static_cast<size_t>(length) : 0);
  return WideToUtf8(title);
}

bool ScriptedApp::TopLevelVisible() {
  const HWND top = view_ != nullptr ? view_->TopLevel() : nullptr;
  return top != nullptr && IsWindowVisible(top);
}

void ScriptedApp::CloseTopLevel() {
  const HWND top = view_ != nullptr ? view_->TopLevel() : nullptr;
  if (top != nullptr) {
    PostMessageW(top, WM_CLOSE, 0, 0);
  }
}

void ScriptedApp::ResumeLater() {
  Wake(kWakeToResume);
}

void ScriptedApp::Log(const std::string& line) {
  log_.Write(line);
}

ArgumentsSeen ScriptedApp::EngineArguments() {
  return ArgumentsSeen{config_.argument_count, config_.argument_array_null, config_.arguments};
}

ProcessStats ScriptedApp::Stats() {
  return ReadProcessStats(started_at_);
}

void ScriptedApp::Crash(CrashWay way, const std::string& line) {
  CrashOnPurpose(way, [this, &line](uint32_t thread) { Log(CrashLine(line, thread)); });
}

void ScriptedApp::Begin() {
  if (begun_) {
    return;
  }
  begun_ = true;
  started_at_ = MonotonicMilliseconds();
  if (script_) {
    script_->Start();
    return;
  }
  SendOwnTitle();
}

void ScriptedApp::SendOwnTitle() {
  switch (SendWithReply(kWindowChannel, EncodeStringCall(kSetTitleMethod, kOwnTitle))) {
    case SendOutcome::kAwaitingReply:
      awaiting_own_title_ = true;
      return;
    case SendOutcome::kNoHandler:
      Log(ReplyLine(kWindowChannel, nullptr, 0));
      return;
    case SendOutcome::kRefused:
      break;
  }
  Log(RefusedLine(kWindowChannel));
}

void ScriptedApp::HandleReplies() {
  std::vector<Reply> replies;
  {
    std::lock_guard<std::mutex> hold(inbox_->mutex);
    replies.swap(inbox_->replies);
  }
  for (const Reply& reply : replies) {
    if (reply.send != awaited_send_) {
      continue;
    }
    awaited_send_ = 0;
    const std::string line = ReplyLine(awaited_channel_, reply.bytes.data(), reply.bytes.size());
    NoteTraffic(kReceivedMark, line);
    if (std::exchange(awaiting_own_title_, false)) {
      Log(line);
    } else if (script_) {
      script_->OnReply(reply.bytes.data(), reply.bytes.size());
    }
  }
}

void ScriptedApp::NoteTraffic(const wchar_t* mark, const std::string& entry) {
  traffic_.push_back(mark + Utf8ToWide(entry));
  while (traffic_.size() > kTrafficEntries) {
    traffic_.pop_front();
  }
  if (view_ != nullptr) {
    view_->ContentChanged();
  }
}

void ScriptedApp::Wake(WakeReason reason) {
  PostMessageW(wake_target_, ViewWindow::kWakeMessage, reason, 0);
}

}  // namespace standin
