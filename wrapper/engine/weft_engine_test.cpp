#include "weft/weft_engine.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "message_pump.h"
#include "weft/weft_view_controller.h"
#include "weft_standin_test_controls.h"

namespace weft {
namespace {

class WeftEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { WeftStandinReset(); }
  void TearDown() override { WeftStandinReset(); }
};

TEST_F(WeftEngineTest, PassesNoArgumentArrayForAnEmptyList) {
  const EngineProject project(L"data");
  WeftEngine engine(project);

  WeftStandinObserved observed = {};
  WeftStandinGetObserved(&observed);
  EXPECT_EQ(observed.argument_count, 0);
  EXPECT_TRUE(observed.argument_array_null);
  EXPECT_FALSE(observed.entrypoint_name_null);
  EXPECT_EQ(WeftStandinObservedPath(0), std::wstring(L"data\\weft_assets"));
  EXPECT_EQ(WeftStandinObservedPath(1), std::wstring(L"data\\icudtl.dat"));
  EXPECT_EQ(WeftStandinObservedPath(2), std::wstring(L"data\\app.so"));
}

TEST_F(WeftEngineTest, PassesArgumentsInListOrder) {
  EngineProject project(L"data");
  project.SetEntryArguments({"--first", "zw\xC3\xB6lf"});
  WeftEngine engine(project);

  WeftStandinObserved observed = {};
  WeftStandinGetObserved(&observed);
  EXPECT_EQ(observed.argument_count, 2);
  EXPECT_FALSE(observed.argument_array_null);
  EXPECT_STREQ(WeftStandinObservedArgument(0), "--first");
  EXPECT_STREQ(WeftStandinObservedArgument(1), "zw\xC3\xB6lf");
}

TEST_F(WeftEngineTest, DestroysAnEngineItStillOwnsExactlyOnce) {
  { WeftEngine engine(EngineProject(L"data")); }
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineDestroy), 1u);
}

TEST_F(WeftEngineTest, LeavesAHandedOverEngineAlone) {
  WeftDesktopEngineRef handle = nullptr;
  {
    WeftEngine engine(EngineProject(L"data"));
    handle = engine.HandOverEngineHandle();
    ASSERT_NE(handle, nullptr);
  }
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineDestroy), 0u);
  WeftDesktopEngineDestroy(handle);
}

TEST_F(WeftEngineTest, RegistrarLookupNeedsAnEngine) {
  WeftStandinSetFailing(kWeftStandinEngineCreate, true);
  WeftEngine engine(EngineProject(L"data"));
  WeftStandinSetFailing(kWeftStandinEngineCreate, false);

  ::testing::internal::CaptureStderr();
  EXPECT_EQ(engine.FindPluginRegistrar("any"), nullptr);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Cannot get plugin registrar on an engine that isn't running; call Run first.\n");
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineGetPluginRegistrar), 0u);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineDestroy), 0u);
}

TEST_F(WeftEngineTest, RegistrarLookupGoesOnAfterHandOver) {
  WeftEngine engine(EngineProject(L"data"));
  WeftDesktopEngineRef handle = engine.HandOverEngineHandle();
  engine.FindPluginRegistrar("any");
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineGetPluginRegistrar), 1u);
  WeftDesktopEngineDestroy(handle);
}

TEST_F(WeftEngineTest, RefreshesFontsOnTheEngine) {
  WeftEngine engine(EngineProject(L"data"));
  engine.RefreshSystemFonts();
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineReloadSystemFonts), 1u);
}

// Counts destructions of the callables the engine stores.
struct DropCounter {
  explicit DropCounter(int* drops) : drops(drops) {}
  DropCounter(const DropCounter& other) : drops(other.drops), copied(true) {}
  ~DropCounter() {
    if (!copied) {
      ++*drops;
    }
  }
  int* drops;
  bool copied = false;
};

TEST_F(WeftEngineTest, DropsAPendingCallableWithoutCallingIt) {
  int calls = 0;
  auto drops = std::make_shared<int>(0);
  {
    WeftEngine engine(EngineProject(L"data"));
    auto guard = std::make_shared<DropCounter>(drops.get());
    engine.CallOnNextFrame([&calls, guard]() { ++calls; });
    guard.reset();
    EXPECT_EQ(*drops, 0);
  }
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(*drops, 1);
}

class NextFrameTest : public WeftEngineTest {
 protected:
  void SetUp() override {
    WeftEngineTest::SetUp();
    controller_ = std::make_unique<WeftViewController>(64, 48, EngineProject(L"data"));
    ASSERT_NE(controller_->ViewObject(), nullptr);
  }

  // Asks for a frame and waits until the engine has reported it.
  bool RenderFrame() {
    const uint32_t frames = WeftStandinFrameCount();
    controller_->RepaintNow();
    return test_support::PumpUntil([frames]() { return WeftStandinFrameCount() > frames; });
  }

  std::unique_ptr<WeftViewController> controller_;
};

TEST_F(NextFrameTest, RunsOnlyTheLatestCallableOnce) {
  int first = 0;
  int second = 0;
  controller_->EngineObject()->CallOnNextFrame([&first]() { ++first; });
  controller_->EngineObject()->CallOnNextFrame([&second]() { ++second; });
  ASSERT_TRUE(RenderFrame());
  ASSERT_TRUE(RenderFrame());
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineSetNextFrameCallback), 2u);
}

TEST_F(NextFrameTest, KeepsACallableThatTheCallableItselfStores) {
  int later = 0;
  WeftEngine* engine = controller_->EngineObject();
  engine->CallOnNextFrame([engine, &later]() { engine->CallOnNextFrame([&later]() { ++later; }); });
  ASSERT_TRUE(RenderFrame());
  ASSERT_TRUE(RenderFrame());
  EXPECT_EQ(later, 1);
}

TEST_F(NextFrameTest, ContainsAnExceptionFromTheCallable) {
  controller_->EngineObject()->CallOnNextFrame([]() { throw std::runtime_error("boom"); });
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(RenderFrame());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Error: The next-frame callable raised an exception; it was dropped.\n");
}

TEST_F(NextFrameTest, DoesNothingForAnEmptyCallable) {
  controller_->EngineObject()->CallOnNextFrame(nullptr);
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(RenderFrame());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace weft
