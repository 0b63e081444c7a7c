#include "weft/weft_engine.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "weft/binary_messenger_impl.h"
#include "weft/diagnostic_line.h"

namespace weft {

namespace {

constexpr char kNoEngineForRegistrar[] =
    "Cannot get plugin registrar on an engine that isn't running; call Run first.";
// The engine library calls FireNextFrame; nothing may unwind into it.
constexpr char kNextFrameCallableFailed[] =
    "Error: The next-frame callable raised an exception; it was dropped.";

}  // namespace

WeftEngine::WeftEngine(const EngineProject& project) {
  EngineCreateParams params = {};
  params.assets_folder = project.assets_folder().c_str();
  params.icu_data_file = project.icu_data_file().c_str();
  params.aot_library_file = project.aot_library_file().c_str();
  params.entrypoint_name = project.entrypoint_name().c_str();
  params.option_a = project.option_a();
  params.option_b = project.option_b();
  params.option_c = project.option_c();
  params.option_d = project.option_d();
  params.option_flag = project.option_flag();

  std::vector<const char*> arguments(project.entry_arguments().size());
  std::transform(project.entry_arguments().begin(), project.entry_arguments().end(),
                 arguments.begin(), [](const std::string& argument) { return argument.c_str(); });
  params.argument_count = static_cast<int32_t>(arguments.size());
  params.argument_array = arguments.empty() ? nullptr : arguments.data();

  engine_handle_ = WeftDesktopEngineCreate(&params);
  messenger_object_ =
      std::make_unique<BinaryMessengerImpl>(WeftDesktopEngineGetMessenger(engine_handle_));
}

WeftEngine::~WeftEngine() {
  if (engine_handle_ != nullptr && owns_engine_handle_) {
    WeftDesktopEngineDestroy(engine_handle_);
  }
  engine_handle_ = nullptr;
  next_frame_callable_ = nullptr;
  messenger_object_.reset();
}

WeftDesktopPluginRegistrarRef WeftEngine::FindPluginRegistrar(const std::string& plugin_name) {
  if (engine_handle_ == nullptr) {
    WriteDiagnosticLine(kNoEngineForRegistrar);
    return nullptr;
  }
  return WeftDesktopEngineGetPluginRegistrar(engine_handle_, plugin_name.c_str());
}

WeftDesktopEngineRef WeftEngine::HandOverEngineHandle() {
  owns_engine_handle_ = false;
  return engine_handle_;
}

void WeftEngine::RefreshSystemFonts() {
  WeftDesktopEngineReloadSystemFonts(engine_handle_);
}

void WeftEngine::CallOnNextFrame(std::function<void()> callable) {
  next_frame_callable_ = std::move(callable);
  WeftDesktopEngineSetNextFrameCallback(engine_handle_, &WeftEngine::FireNextFrame, this);
}

BinaryMessenger* WeftEngine::ChannelMessenger() {
  return messenger_object_.get();
}

void WeftEngine::FireNextFrame(void* user_data) {
  auto* engine = static_cast<WeftEngine*>(user_data);
  // Taken out before the call, so that a callable which asks for another frame keeps the
  // callable it stores.
  std::function<void()> callable = std::move(engine->next_frame_callable_);
  engine->next_frame_callable_ = nullptr;
  if (!callable) {
    return;
  }
  try {
    callable();
  } catch (...) {
    WriteDiagnosticLine(kNextFrameCallableFailed);
  }
}

}  // namespace weft
