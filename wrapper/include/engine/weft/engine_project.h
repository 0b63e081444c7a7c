#ifndef WEFT_ENGINE_PROJECT_H_
#define WEFT_ENGINE_PROJECT_H_

#include <cstdint>
#include <string>
#include <vector>

namespace weft {

// Where the application bundle lies and how its entry point is called: everything the engine
// is created from. Paths stay relative; the engine library resolves them.
class EngineProject {
 public:
  explicit EngineProject(const std::wstring& bundle_folder);

  // Takes the list over without copying it.
  void SetEntryArguments(std::vector<std::string>&& arguments);

  const std::wstring& assets_folder() const { return assets_folder_; }
  const std::wstring& icu_data_file() const { return icu_data_file_; }
  const std::wstring& aot_library_file() const { return aot_library_file_; }
  const std::string& entrypoint_name() const { return entrypoint_name_; }
  const std::vector<std::string>& entry_arguments() const { return entry_arguments_; }
  int32_t option_a() const { return option_a_; }
  int32_t option_b() const { return option_b_; }
  int32_t option_c() const { return option_c_; }
  int32_t option_d() const { return option_d_; }
  uint8_t option_flag() const { return option_flag_; }

 private:
  std::wstring assets_folder_;
  std::wstring icu_data_file_;
  std::wstring aot_library_file_;
  std::string entrypoint_name_;
  std::vector<std::string> entry_arguments_;
  int32_t option_a_ = 0;
  int32_t option_b_ = 0;
  int32_t option_c_ = 0;
  int32_t option_d_ = 0;
  uint8_t option_flag_ = 0;
};

}  // namespace weft

#endif  // WEFT_ENGINE_PROJECT_H_
