#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>

#include "message_pump.h"
#include "standin_windows_test_support.h"
#include "weft_standin_test_controls.h"
#include "weft_windows.h"

namespace {

using standin::testing::CreateEngine;
using standin::testing::HostWindow;
using test_support::kQuietTime;
using test_support::PumpFor;
using test_support::PumpUntil;

void CountCall(void* user_data) {
  ++*static_cast<int*>(user_data);
}

SIZE ClientSize(HWND window) {
  RECT rect = {};
  GetClientRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

class ViewControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WeftStandinReset();
    live_before_ = WeftStandinLiveMessengerCount();
  }
  void TearDown() override {
    if (controller_ != nullptr) {
      WeftDesktopViewControllerDestroy(controller_);
    }
    EXPECT_EQ(WeftStandinLiveMessengerCount(), live_before_);
    WeftStandinReset();
  }

  void Create(int32_t width, int32_t height) {
    engine_ = CreateEngine();
    ASSERT_NE(engine_, nullptr);
    controller_ = WeftDesktopViewControllerCreate(width, height, engine_);
    ASSERT_NE(controller_, nullptr);
    view_ = WeftDesktopViewGetHWND(WeftDesktopViewControllerGetView(controller_));
    ASSERT_NE(view_, nullptr);
  }

  int32_t live_before_ = 0;
  WeftDesktopEngineRef engine_ = nullptr;
  WeftDesktopViewControllerRef controller_ = nullptr;
  HWND view_ = nullptr;
};

TEST_F(ViewControllerTest, MakesAChildWindowOfTheGivenSize) {
  Create(320, 240);
  EXPECT_NE(GetWindowLongPtrW(view_, GWL_STYLE) & WS_CHILD, 0);
  const SIZE size = ClientSize(view_);
  EXPECT_EQ(size.cx, 320);
  EXPECT_EQ(size.cy, 240);
  WeftStandinObserved observed = {};
  WeftStandinGetObserved(&observed);
  EXPECT_EQ(observed.view_width, 320);
  EXPECT_EQ(observed.view_height, 240);
}

TEST_F(ViewControllerTest, AnEmptySizeIsAllowed) {
  Create(0, 0);
  const SIZE size = ClientSize(view_);
  EXPECT_EQ(size.cx, 0);
  EXPECT_EQ(size.cy, 0);
  int calls = 0;
  WeftDesktopEngineSetNextFrameCallback(engine_, CountCall, &calls);
  WeftDesktopViewControllerForceRedraw(controller_);
  EXPECT_TRUE(PumpUntil([&calls] { return calls == 1; }));
}

TEST_F(ViewControllerTest, AFrameComesAfterForceRedrawWhileTheParentIsHidden) {
  Create(200, 100);
  HostWindow host;
  host.Embed(view_);
  ASSERT_FALSE(IsWindowVisible(host.get()));
  int calls = 0;
  WeftDesktopEngineSetNextFrameCallback(engine_, CountCall, &calls);
  WeftDesktopViewControllerForceRedraw(controller_);
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(PumpUntil([&calls] { return calls == 1; }));
  EXPECT_EQ(WeftStandinFrameCount(), 1u);
  EXPECT_FALSE(IsWindowVisible(host.get()));

  WeftDesktopViewControllerForceRedraw(controller_);
  EXPECT_TRUE(PumpUntil([] { return WeftStandinFrameCount() == 2; }));
  EXPECT_EQ(calls, 1);
}

TEST_F(ViewControllerTest, TheCallbackIsClearedBeforeItRuns) {
  struct Again {
    WeftDesktopEngineRef engine;
    int calls = 0;
  };
  Create(50, 50);
  Again again{engine_};
  const NextFrameFn register_again = [](void* user_data) {
    auto* state = static_cast<Again*>(user_data);
    ++state->calls;
    if (state->calls == 1) {
      WeftDesktopEngineSetNextFrameCallback(state->engine, CountCall, &state->calls);
    }
  };
  WeftDesktopEngineSetNextFrameCallback(engine_, register_again, &again);
  WeftDesktopViewControllerForceRedraw(controller_);
  EXPECT_TRUE(PumpUntil([&again] { return again.calls >= 1; }));
  PumpFor(kQuietTime);
  EXPECT_EQ(again.calls, 1);
  WeftDesktopViewControllerForceRedraw(controller_);
  EXPECT_TRUE(PumpUntil([&again] { return again.calls == 2; }));
}

TEST_F(ViewControllerTest, ShowingTheParentPaintsAFrameForALaterCallback) {
  Create(120, 80);
  HostWindow host;
  host.Embed(view_);
  int calls = 0;
  WeftDesktopEngineSetNextFrameCallback(engine_, CountCall, &calls);
  ShowWindow(host.get(), SW_SHOWNORMAL);
  UpdateWindow(host.get());
  EXPECT_TRUE(PumpUntil([&calls] { return calls == 1; }));
}

TEST_F(ViewControllerTest, ConsumesOnlyTheChosenMessage) {
  Create(10, 10);
  LRESULT result = 3;
  EXPECT_FALSE(WeftDesktopViewControllerHandleTopLevelWindowProc(controller_, nullptr, WM_SIZE, 0,
                                                                 0, &result));
  EXPECT_EQ(result, 3);
  WeftStandinConsumeWindowMessage(WM_SIZE, 7);
  EXPECT_TRUE(WeftDesktopViewControllerHandleTopLevelWindowProc(controller_, nullptr, WM_SIZE, 0, 0,
                                                                &result));
  EXPECT_EQ(result, 7);
  EXPECT_FALSE(WeftDesktopViewControllerHandleTopLevelWindowProc(controller_, nullptr, WM_MOVE, 0,
                                                                 0, &result));
  EXPECT_FALSE(
      WeftDesktopViewControllerHandleTopLevelWindowProc(nullptr, nullptr, WM_SIZE, 0, 0, &result));
  WeftStandinConsumeWindowMessage(0, 0);
  EXPECT_FALSE(WeftDesktopViewControllerHandleTopLevelWindowProc(controller_, nullptr, WM_SIZE, 0,
                                                                 0, &result));
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerHandleTopLevelWindowProc), 5u);
}

TEST_F(ViewControllerTest, DestroyEndsTheViewTheEngineAndTheMessenger) {
  Create(10, 10);
  WeftDesktopMessengerRef held = WeftDesktopMessengerAddRef(WeftDesktopEngineGetMessenger(engine_));
  int replies = 0;
  const ReplyArrivedFn count_reply = [](const uint8_t*, size_t size, void* user_data) {
    ++*static_cast<int*>(user_data);
    EXPECT_EQ(size, 0u);
  };
  ASSERT_TRUE(WeftDesktopMessengerSendWithReply(held, "a/b", nullptr, 0, count_reply, &replies));
  WeftDesktopViewControllerDestroy(controller_);
  controller_ = nullptr;
  EXPECT_FALSE(IsWindow(view_));
  EXPECT_FALSE(WeftDesktopMessengerIsAvailable(held));
  EXPECT_EQ(replies, 1);
  EXPECT_EQ(WeftStandinLiveMessengerCount(), live_before_ + 1);
  WeftDesktopMessengerRelease(held);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineDestroy), 0u);
}

TEST_F(ViewControllerTest, AFailedCreationEndsTheEngineItTookOver) {
  WeftDesktopEngineRef engine = CreateEngine();
  WeftStandinSetFailing(kWeftStandinViewControllerCreate, true);
  EXPECT_EQ(WeftDesktopViewControllerCreate(10, 10, engine), nullptr);
  EXPECT_EQ(WeftStandinLiveMessengerCount(), live_before_);
}

TEST_F(ViewControllerTest, ANullControllerIsIgnored) {
  WeftDesktopViewControllerForceRedraw(nullptr);
  WeftDesktopViewControllerDestroy(nullptr);
  EXPECT_EQ(WeftDesktopViewControllerGetView(nullptr), nullptr);
  EXPECT_EQ(WeftDesktopViewGetHWND(nullptr), nullptr);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerDestroy), 1u);
}

TEST_F(ViewControllerTest, AnEngineCannotBeHandedOverTwice) {
  Create(10, 10);
  EXPECT_EQ(WeftDesktopViewControllerCreate(10, 10, engine_), nullptr);
  EXPECT_FALSE(WeftDesktopEngineDestroy(engine_));
  EXPECT_TRUE(WeftDesktopMessengerIsAvailable(WeftDesktopEngineGetMessenger(engine_)));
}

}  // namespace
