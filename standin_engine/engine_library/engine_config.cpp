#include "engine_config.h"

#include <cwchar>

namespace standin {

namespace {

// The longest path that Windows accepts, so an unterminated one cannot run away.
constexpr size_t kMaxPathCharacters = 32767;

std::optional<std::wstring> CopyPath(const wchar_t* path) {
  if (path == nullptr) {
    return std::nullopt;
  }
  return std::wstring(path, wcsnlen(path, kMaxPathCharacters));
}

std::vector<std::string> CopyArguments(const EngineCreateParams& params) {
  std::vector<std::string> arguments;
  if (params.argument_array == nullptr) {
    return arguments;
  }
  for (int32_t i = 0; i < params.argument_count; ++i) {
    const char* argument = params.argument_array[i];
    arguments.emplace_back(argument == nullptr ? "" : argument);
  }
  return arguments;
}

}  // namespace

EngineConfig CopyEngineParams(const EngineCreateParams& params) {
  EngineConfig config;
  config.paths[kAssetsPath] = CopyPath(params.assets_folder);
  config.paths[kIcuDataPath] = CopyPath(params.icu_data_file);
  config.paths[kAotLibraryPath] = CopyPath(params.aot_library_file);
  if (params.entrypoint_name != nullptr) {
    config.entrypoint_name = params.entrypoint_name;
  }
  config.argument_count = params.argument_count;
  config.argument_array_null = params.argument_array == nullptr;
  config.arguments = CopyArguments(params);
  config.option_a = params.option_a;
  config.option_b = params.option_b;
  config.option_c = params.option_c;
  config.option_d = params.option_d;
  config.option_flag = params.option_flag;
  return config;
}

}  // namespace standin
