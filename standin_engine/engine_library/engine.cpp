#include "engine.h"

#include <utility>

#include "bundle_paths.h"
#include "diagnostic_stream.h"
#include "process_environment.h"

namespace standin {

namespace {

constexpr char kAssetsMissingLine[] =
    "Stand-in engine: the assets folder of the bundle is missing.";

}  // namespace

WeftDesktopPluginRegistrarRef PluginRegistrar::Handle() {
  return reinterpret_cast<WeftDesktopPluginRegistrarRef>(this);
}

std::unique_ptr<Engine> Engine::Start(EngineConfig config) {
  const std::wstring folder = ExecutableFolder();
  std::wstring resolved[kBundlePathCount];
  for (int which = 0; which < kBundlePathCount; ++which) {
    if (config.paths[which]) {
      resolved[which] = ResolveBundlePath(folder, *config.paths[which]);
    }
  }
  if (!config.paths[kAssetsPath] || config.paths[kAssetsPath]->empty() ||
      !IsFolder(resolved[kAssetsPath])) {
    WriteDiagnosticLine(kAssetsMissingLine);
    return nullptr;
  }
  return std::unique_ptr<Engine>(new Engine(std::move(config), resolved));
}

Engine* Engine::FromHandle(WeftDesktopEngineRef handle) {
  return reinterpret_cast<Engine*>(handle);
}

WeftDesktopEngineRef Engine::Handle() {
  return reinterpret_cast<WeftDesktopEngineRef>(this);
}

Engine::Engine(EngineConfig config, const std::wstring (&resolved)[kBundlePathCount])
    : messenger_(Messenger::Create()),
      app_(std::make_unique<ScriptedApp>(messenger_, std::move(config), resolved)) {}

Engine::~Engine() {
  app_.reset();
  messenger_->End();
  messenger_->Release();
}

WeftDesktopPluginRegistrarRef Engine::FindPluginRegistrar(const std::string& name) {
  std::unique_ptr<PluginRegistrar>& registrar = registrars_[name];
  if (!registrar) {
    registrar = std::make_unique<PluginRegistrar>();
  }
  return registrar->Handle();
}

NextFrameCallback Engine::TakeNextFrameCallback() {
  return std::exchange(next_frame_, NextFrameCallback());
}

}  // namespace standin
