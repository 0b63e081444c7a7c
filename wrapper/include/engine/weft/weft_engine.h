#ifndef WEFT_WEFT_ENGINE_H_
#define WEFT_WEFT_ENGINE_H_

#include <functional>
#include <memory>
#include <string>

#include "weft/engine_project.h"
#include "weft/plugin_registry.h"
#include "weft_windows.h"

namespace weft {

class BinaryMessenger;
class BinaryMessengerImpl;

// An engine of the engine library, created from a project. It owns the engine handle until a
// view controller takes it over, owns the messenger object, and keeps the callable that runs
// once at the next frame.
class WeftEngine : public PluginRegistry {
 public:
  // The project is read during the call only.
  explicit WeftEngine(const EngineProject& project);
  ~WeftEngine() override;

  WeftDesktopPluginRegistrarRef FindPluginRegistrar(const std::string& plugin_name) override;

  // From now on the engine is ended by whoever received the handle, not by this object. The
  // handle stays in use by the other operations.
  WeftDesktopEngineRef HandOverEngineHandle();

  void RefreshSystemFonts();

  // Replaces the callable waiting for the next frame and asks the engine for that frame.
  void CallOnNextFrame(std::function<void()> callable);

  // Valid as long as this engine object.
  BinaryMessenger* ChannelMessenger();

 private:
  static void FireNextFrame(void* user_data);

  WeftDesktopEngineRef engine_handle_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_object_;
  bool owns_engine_handle_ = true;
  std::function<void()> next_frame_callable_;
};

}  // namespace weft

#endif  // WEFT_WEFT_ENGINE_H_
