#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "standin_windows_test_support.h"
#include "weft_standin_test_controls.h"
#include "weft_windows.h"

namespace {

using standin::testing::CreateEngine;
using standin::testing::StandinLinesDuring;

constexpr char kAssetsMissingLine[] =
    "Stand-in engine: the assets folder of the bundle is missing.\n";

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WeftStandinReset();
    live_before_ = WeftStandinLiveMessengerCount();
  }
  void TearDown() override {
    EXPECT_EQ(WeftStandinLiveMessengerCount(), live_before_);
    WeftStandinReset();
  }

  int32_t live_before_ = 0;
};

TEST_F(EngineTest, CopiesWhatItReceivesDuringTheCall) {
  std::wstring assets = L"data\\weft_assets";
  std::string first = "--first";
  const char* arguments[] = {first.c_str(), "zw\xC3\xB6lf"};
  EngineCreateParams params = {};
  params.assets_folder = assets.c_str();
  params.argument_count = 2;
  params.argument_array = arguments;
  params.option_b = 5;
  params.option_flag = 1;
  WeftDesktopEngineRef engine = WeftDesktopEngineCreate(&params);
  ASSERT_NE(engine, nullptr);
  assets.assign(assets.size(), L'x');
  first.assign(first.size(), 'x');

  WeftStandinObserved observed = {};
  WeftStandinGetObserved(&observed);
  EXPECT_EQ(observed.argument_count, 2);
  EXPECT_FALSE(observed.argument_array_null);
  EXPECT_TRUE(observed.entrypoint_name_null);
  EXPECT_EQ(observed.option_b, 5);
  EXPECT_EQ(observed.option_flag, 1);
  EXPECT_STREQ(WeftStandinObservedArgument(0), "--first");
  EXPECT_STREQ(WeftStandinObservedArgument(1), "zw\xC3\xB6lf");
  EXPECT_EQ(WeftStandinObservedArgument(2), nullptr);
  EXPECT_EQ(WeftStandinObservedPath(0), std::wstring(L"data\\weft_assets"));
  EXPECT_EQ(WeftStandinObservedPath(1), nullptr);
  EXPECT_EQ(WeftStandinObservedPath(3), nullptr);
  EXPECT_TRUE(WeftDesktopEngineDestroy(engine));
}

TEST_F(EngineTest, FindsTheBundleBesideTheExecutableFromAnyWorkingDirectory) {
  wchar_t previous[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, previous);
  wchar_t elsewhere[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, elsewhere);
  ASSERT_TRUE(SetCurrentDirectoryW(elsewhere));
  WeftDesktopEngineRef engine = CreateEngine();
  SetCurrentDirectoryW(previous);
  ASSERT_NE(engine, nullptr);
  EXPECT_TRUE(WeftDesktopEngineDestroy(engine));
}

TEST_F(EngineTest, AMissingAssetsFolderGivesNoEngineAndOneLine) {
  WeftDesktopEngineRef engine = nullptr;
  EXPECT_EQ(StandinLinesDuring([&engine] { engine = CreateEngine(L"nowhere\\weft_assets"); }),
            kAssetsMissingLine);
  EXPECT_EQ(engine, nullptr);
  EXPECT_EQ(StandinLinesDuring([&engine] { engine = CreateEngine(L""); }), kAssetsMissingLine);
  EXPECT_EQ(engine, nullptr);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineCreate), 2u);
}

TEST_F(EngineTest, AFailingCreationGivesNoEngine) {
  WeftStandinSetFailing(kWeftStandinEngineCreate, true);
  EXPECT_EQ(CreateEngine(), nullptr);
  WeftStandinSetFailing(kWeftStandinEngineCreate, false);
  WeftDesktopEngineRef engine = CreateEngine();
  EXPECT_NE(engine, nullptr);
  WeftDesktopEngineDestroy(engine);
}

TEST_F(EngineTest, ANullEngineGivesNothing) {
  EXPECT_EQ(WeftDesktopEngineGetMessenger(nullptr), nullptr);
  EXPECT_EQ(WeftDesktopViewControllerCreate(10, 10, nullptr), nullptr);
  EXPECT_EQ(WeftDesktopEngineGetPluginRegistrar(nullptr, "x"), nullptr);
  EXPECT_FALSE(WeftDesktopEngineDestroy(nullptr));
  WeftDesktopEngineReloadSystemFonts(nullptr);
  WeftDesktopEngineSetNextFrameCallback(nullptr, nullptr, nullptr);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineGetMessenger), 1u);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerCreate), 1u);
}

TEST_F(EngineTest, DestroyingAnEngineNeverHandedOverEndsItsMessenger) {
  WeftDesktopEngineRef engine = CreateEngine();
  ASSERT_NE(engine, nullptr);
  WeftDesktopMessengerRef messenger = WeftDesktopEngineGetMessenger(engine);
  ASSERT_NE(messenger, nullptr);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinMessengerAddRef), 0u);
  WeftDesktopMessengerRef held = WeftDesktopMessengerAddRef(messenger);
  EXPECT_TRUE(WeftDesktopMessengerIsAvailable(held));
  EXPECT_TRUE(WeftDesktopEngineDestroy(engine));
  EXPECT_FALSE(WeftDesktopMessengerIsAvailable(held));
  WeftDesktopMessengerRelease(held);
}

TEST_F(EngineTest, EachPluginNameHasOneRegistrar) {
  WeftDesktopEngineRef engine = CreateEngine();
  WeftDesktopPluginRegistrarRef first = WeftDesktopEngineGetPluginRegistrar(engine, "a");
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(WeftDesktopEngineGetPluginRegistrar(engine, "a"), first);
  EXPECT_NE(WeftDesktopEngineGetPluginRegistrar(engine, "b"), first);
  WeftDesktopEngineDestroy(engine);
}

TEST_F(EngineTest, ReportsTheMonitorDpi) {
  const HMONITOR monitor = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  EXPECT_GT(WeftDesktopGetDpiForMonitor(monitor), 0u);
  EXPECT_GT(WeftDesktopGetDpiForMonitor(nullptr), 0u);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinGetDpiForMonitor), 2u);
}

}  // namespace
