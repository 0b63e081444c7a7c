#include "weft/weft_view_controller.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "weft_standin_test_controls.h"

namespace weft {
namespace {

class WeftViewControllerTest : public ::testing::Test {
 protected:
  void SetUp() override { WeftStandinReset(); }
  void TearDown() override { WeftStandinReset(); }
};

TEST_F(WeftViewControllerTest, CreatesAViewOfTheGivenSize) {
  WeftViewController controller(320, 0, EngineProject(L"data"));
  ASSERT_NE(controller.EngineObject(), nullptr);
  ASSERT_NE(controller.ViewObject(), nullptr);

  WeftStandinObserved observed = {};
  WeftStandinGetObserved(&observed);
  EXPECT_EQ(observed.view_width, 320);
  EXPECT_EQ(observed.view_height, 0);

  HWND child = controller.ViewObject()->ChildWindowHandle();
  ASSERT_TRUE(IsWindow(child));
  RECT rect = {};
  GetClientRect(child, &rect);
  EXPECT_EQ(rect.right - rect.left, 320);
  EXPECT_EQ(rect.bottom - rect.top, 0);
}

TEST_F(WeftViewControllerTest, HandsTheEngineOverBeforeCreatingTheController) {
  { WeftViewController controller(10, 10, EngineProject(L"data")); }
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerCreate), 1u);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineDestroy), 0u);
}

TEST_F(WeftViewControllerTest, ReportsAFailedCreationOnce) {
  WeftStandinSetFailing(kWeftStandinViewControllerCreate, true);
  ::testing::internal::CaptureStderr();
  {
    WeftViewController controller(10, 10, EngineProject(L"data"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
    EXPECT_NE(controller.EngineObject(), nullptr);
    EXPECT_EQ(controller.ViewObject(), nullptr);
    EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerGetView), 0u);
  }
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerDestroy), 0u);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineDestroy), 0u);
}

// Records, when the engine object lets go of its pending callable, whether the engine
// library's view controller had already been destroyed.
struct DestroyedBeforeEngineObject {
  explicit DestroyedBeforeEngineObject(bool* seen) : seen(seen) {}
  ~DestroyedBeforeEngineObject() {
    *seen = WeftStandinCallCount(kWeftStandinViewControllerDestroy) == 1;
  }
  bool* seen;
};

TEST_F(WeftViewControllerTest, EndsTheLibraryObjectsBeforeTheEngineObject) {
  bool controller_gone_first = false;
  {
    WeftViewController controller(10, 10, EngineProject(L"data"));
    auto probe = std::make_shared<DestroyedBeforeEngineObject>(&controller_gone_first);
    controller.EngineObject()->CallOnNextFrame([probe]() {});
    probe.reset();
    EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerDestroy), 0u);
  }
  EXPECT_TRUE(controller_gone_first);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerDestroy), 1u);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineDestroy), 0u);
}

TEST_F(WeftViewControllerTest, EndsTheViewWindowAndTheMessenger) {
  HWND child = nullptr;
  const int32_t messengers = WeftStandinLiveMessengerCount();
  {
    WeftViewController controller(10, 10, EngineProject(L"data"));
    child = controller.ViewObject()->ChildWindowHandle();
    EXPECT_EQ(WeftStandinLiveMessengerCount(), messengers + 1);
  }
  EXPECT_FALSE(IsWindow(child));
  EXPECT_EQ(WeftStandinLiveMessengerCount(), messengers);
}

TEST_F(WeftViewControllerTest, OffersMessagesAndReturnsOnlyConsumedResults) {
  WeftViewController controller(10, 10, EngineProject(L"data"));
  EXPECT_FALSE(controller.OfferWindowMessage(nullptr, WM_SIZE, 0, 0).has_value());

  WeftStandinConsumeWindowMessage(WM_SIZE, 42);
  const std::optional<LRESULT> consumed = controller.OfferWindowMessage(nullptr, WM_SIZE, 0, 0);
  ASSERT_TRUE(consumed.has_value());
  EXPECT_EQ(*consumed, 42);
  EXPECT_FALSE(controller.OfferWindowMessage(nullptr, WM_MOVE, 0, 0).has_value());
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerHandleTopLevelWindowProc), 3u);
}

TEST_F(WeftViewControllerTest, RepaintsThroughTheController) {
  WeftViewController controller(10, 10, EngineProject(L"data"));
  controller.RepaintNow();
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerForceRedraw), 1u);
}

}  // namespace
}  // namespace weft
