#ifndef RUNNER_WEFT_WINDOW_H_
#define RUNNER_WEFT_WINDOW_H_

#include <windows.h>

#include <memory>

#include "weft/engine_project.h"
#include "weft/method_channel_endpoint.h"
#include "weft/plugin_registry.h"
#include "weft/weft_view_controller.h"
#include "win32_window.h"

// The application's top-level window: hosts the engine's view as its only child, offers every
// message to the engine first, and shows itself once the engine has drawn its first frame.
class WeftWindow : public Win32Window {
 public:
  explicit WeftWindow(const weft::EngineProject& project);
  ~WeftWindow() override;

 protected:
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool OnCreated() override;
  void OnDestroying() override;

 private:
  // The application registers no native plug-ins.
  static void RegisterAppPlugins(weft::PluginRegistry* registry);

  weft::EngineProject project_;
  std::unique_ptr<weft::WeftViewController> view_controller_;
  std::unique_ptr<weft::MethodChannelEndpoint> title_channel_;
};

#endif  // RUNNER_WEFT_WINDOW_H_
