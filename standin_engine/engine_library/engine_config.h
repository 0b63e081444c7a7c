// The stand-in's own copy of what EngineCreateParams pointed at, taken during the create call.
#ifndef STANDIN_ENGINE_ENGINE_CONFIG_H_
#define STANDIN_ENGINE_ENGINE_CONFIG_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "weft_windows.h"

namespace standin {

enum BundlePath { kAssetsPath, kIcuDataPath, kAotLibraryPath, kBundlePathCount };

struct EngineConfig {
  std::optional<std::wstring> paths[kBundlePathCount];  // as passed; empty for a null pointer
  std::optional<std::string> entrypoint_name;
  int32_t argument_count = 0;  // as passed
  bool argument_array_null = true;
  std::vector<std::string> arguments;  // a null entry is copied as an empty string
  int32_t option_a = 0;
  int32_t option_b = 0;
  int32_t option_c = 0;
  int32_t option_d = 0;
  uint8_t option_flag = 0;
};

EngineConfig CopyEngineParams(const EngineCreateParams& params);

}  // namespace standin

#endif  // STANDIN_ENGINE_ENGINE_CONFIG_H_
