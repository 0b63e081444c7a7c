#ifndef WEFT_PLUGIN_REGISTRY_H_
#define WEFT_PLUGIN_REGISTRY_H_

#include <string>

#include "weft_windows.h"

namespace weft {

// Where native plug-ins find their registrar. The application registers none, but the engine
// offers the lookup all the same.
class PluginRegistry {
 public:
  PluginRegistry() = default;
  virtual ~PluginRegistry() = default;

  PluginRegistry(const PluginRegistry&) = delete;
  PluginRegistry& operator=(const PluginRegistry&) = delete;

  // Null when there is no engine to ask.
  virtual WeftDesktopPluginRegistrarRef FindPluginRegistrar(const std::string& plugin_name) = 0;
};

}  // namespace weft

#endif  // WEFT_PLUGIN_REGISTRY_H_
