#include "weft/engine_project.h"

#include <utility>

namespace weft {

namespace {

constexpr wchar_t kAssetsSuffix[] = L"\\weft_assets";
constexpr wchar_t kIcuDataSuffix[] = L"\\icudtl.dat";
constexpr wchar_t kAotLibrarySuffix[] = L"\\app.so";

}  // namespace

EngineProject::EngineProject(const std::wstring& bundle_folder)
    : assets_folder_(bundle_folder + kAssetsSuffix),
      icu_data_file_(bundle_folder + kIcuDataSuffix),
      aot_library_file_(bundle_folder + kAotLibrarySuffix) {}

void EngineProject::SetEntryArguments(std::vector<std::string>&& arguments) {
  entry_arguments_ = std::move(arguments);
}

}  // namespace weft
