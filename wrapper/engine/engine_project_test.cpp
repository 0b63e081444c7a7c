#include "weft/engine_project.h"

#include <gtest/gtest.h>

namespace weft {
namespace {

TEST(EngineProjectTest, JoinsBundlePathsAsTheyStand) {
  const EngineProject project(L"data");
  EXPECT_EQ(project.assets_folder(), L"data\\weft_assets");
  EXPECT_EQ(project.icu_data_file(), L"data\\icudtl.dat");
  EXPECT_EQ(project.aot_library_file(), L"data\\app.so");

  const EngineProject trailing(L"data\\");
  EXPECT_EQ(trailing.assets_folder(), L"data\\\\weft_assets");
}

TEST(EngineProjectTest, StartsWithNoArgumentsAndZeroOptions) {
  const EngineProject project(L"data");
  EXPECT_TRUE(project.entrypoint_name().empty());
  EXPECT_TRUE(project.entry_arguments().empty());
  EXPECT_EQ(project.option_a() | project.option_b() | project.option_c() | project.option_d(), 0);
  EXPECT_EQ(project.option_flag(), 0);
}

TEST(EngineProjectTest, TakesOverTheArgumentList) {
  EngineProject project(L"data");
  std::vector<std::string> arguments = {"one", "", "three"};
  const std::string* first = arguments.data();
  project.SetEntryArguments(std::move(arguments));
  ASSERT_EQ(project.entry_arguments().size(), 3u);
  EXPECT_EQ(project.entry_arguments()[1], "");
  EXPECT_EQ(project.entry_arguments().data(), first);  // moved, not copied
}

}  // namespace
}  // namespace weft
