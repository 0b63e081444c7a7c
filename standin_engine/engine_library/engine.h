// The engine: the application bundle it was started with, its messenger and its application.
#ifndef STANDIN_ENGINE_ENGINE_H_
#define STANDIN_ENGINE_ENGINE_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "engine_config.h"
#include "messenger.h"
#include "scripted_app.h"
#include "weft_windows.h"

namespace standin {

struct NextFrameCallback {
  NextFrameFn function = nullptr;
  void* user_data = nullptr;
};

class PluginRegistrar {
 public:
  WeftDesktopPluginRegistrarRef Handle();
};

class Engine {
 public:
  // Null, with a line on standard error, when the bundle's assets folder is missing.
  static std::unique_ptr<Engine> Start(EngineConfig config);
  static Engine* FromHandle(WeftDesktopEngineRef handle);
  WeftDesktopEngineRef Handle();

  // Ends the application and the messenger's availability, and drops the engine's reference.
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  Messenger& messenger() { return *messenger_; }
  ScriptedApp& app() { return *app_; }

  WeftDesktopPluginRegistrarRef FindPluginRegistrar(const std::string& name);
  void SetNextFrameCallback(NextFrameCallback callback) { next_frame_ = callback; }
  // The callback is forgotten before it is called, so it runs once.
  NextFrameCallback TakeNextFrameCallback();

  bool handed_over() const { return handed_over_; }
  void MarkHandedOver() { handed_over_ = true; }

 private:
  Engine(EngineConfig config, const std::wstring (&resolved)[kBundlePathCount]);

  Messenger* messenger_;
  std::unique_ptr<ScriptedApp> app_;
  std::map<std::string, std::unique_ptr<PluginRegistrar>> registrars_;
  NextFrameCallback next_frame_;
  bool handed_over_ = false;
};

}  // namespace standin

#endif  // STANDIN_ENGINE_ENGINE_H_
