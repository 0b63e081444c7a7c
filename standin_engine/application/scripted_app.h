// The application that runs in the stand-in engine. Without settings it is a small demo that
// shows what the engine received and the channel traffic, and sets a title of its own over
// "quillmere/window" after its first frame. WEFT_STANDIN_LOG names a file that receives one line
// per event; WEFT_STANDIN_SCRIPT names a file of commands that replace the demo's own send.
#ifndef STANDIN_ENGINE_SCRIPTED_APP_H_
#define STANDIN_ENGINE_SCRIPTED_APP_H_

#include <windows.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine_config.h"
#include "event_log.h"
#include "messenger.h"
#include "script_runner.h"
#include "view_window.h"

namespace standin {

class ScriptedApp : private ScriptEnvironment {
 public:
  ScriptedApp(Messenger* messenger, EngineConfig config,
              const std::wstring (&resolved)[kBundlePathCount]);
  ~ScriptedApp() override;
  ScriptedApp(const ScriptedApp&) = delete;
  ScriptedApp& operator=(const ScriptedApp&) = delete;

  void AttachView(ViewWindow* view);
  // Called for every frame, just before the next-frame callback (if any) runs; the application
  // starts once the first frame's callback has run.
  void OnFrameReported(bool top_level_visible);
  void OnWake(WPARAM reason);
  void OnFontsChanged();
  void Paint(HDC dc, int width, int height);

 private:
  struct Reply {
    uint64_t send = 0;
    std::vector<uint8_t> bytes;
  };
  // Replies arrive on any thread and wait here for the view's thread.
  struct Inbox {
    std::mutex mutex;
    std::vector<Reply> replies;
  };

  SendOutcome SendWithReply(const std::string& channel, const std::vector<uint8_t>& bytes) override;
  std::string TopLevelTitle() override;
  bool TopLevelVisible() override;
  void CloseTopLevel() override;
  void ResumeLater() override;
  void Log(const std::string& line) override;
  ArgumentsSeen EngineArguments() override;
  ProcessStats Stats() override;
  void Crash(CrashWay way, const std::string& line) override;

  void Begin();
  void SendOwnTitle();
  void HandleReplies();
  void NoteTraffic(const wchar_t* mark, const std::string& entry);
  enum WakeReason : WPARAM { kWakeToBegin, kWakeForReplies, kWakeToResume };
  void Wake(WakeReason reason);

  Messenger* messenger_;
  EngineConfig config_;
  std::vector<std::wstring> resolved_;
  EventLog log_;
  std::optional<ScriptRunner> script_;
  std::shared_ptr<Inbox> inbox_ = std::make_shared<Inbox>();
  std::deque<std::wstring> traffic_;

  ViewWindow* view_ = nullptr;
  HWND wake_target_ = nullptr;
  bool begun_ = false;
  uint64_t last_send_ = 0;
  uint64_t awaited_send_ = 0;
  std::string awaited_channel_;
  bool awaiting_own_title_ = false;
  uint32_t frames_ = 0;
  uint64_t started_at_ = 0;
};

}  // namespace standin

#endif  // STANDIN_ENGINE_SCRIPTED_APP_H_
