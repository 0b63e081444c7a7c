#include "weft_window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "message_pump.h"

#include <chrono>
#include <functional>

#include "weft_standin_test_controls.h"

namespace {

constexpr LogicalPoint kOrigin = {10, 10};
constexpr LogicalSize kSize = {320, 240};

using ::test_support::PumpUntil;

SIZE ClientSize(HWND window) {
  RECT rect = {};
  GetClientRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

constexpr wchar_t kScriptVariable[] = L"WEFT_STANDIN_SCRIPT";

class WeftWindowTest : public ::testing::Test {
 protected:
  // An empty script keeps the stand-in's application idle, so that nothing but the test acts on
  // the window.
  void SetUp() override {
    WeftStandinReset();
    SetEnvironmentVariableW(kScriptVariable, L"");
  }
  void TearDown() override {
    SetEnvironmentVariableW(kScriptVariable, nullptr);
    WeftStandinReset();
  }

  HWND Child() { return GetWindow(window_.NativeHandle(), GW_CHILD); }

  WeftWindow window_{weft::EngineProject(L"data")};
};

TEST_F(WeftWindowTest, StaysHiddenUntilTheFirstFrame) {
  ASSERT_TRUE(window_.OpenWindow(L"Quillmere", kOrigin, kSize));
  HWND handle = window_.NativeHandle();
  EXPECT_FALSE(IsWindowVisible(handle));
  EXPECT_EQ(WeftStandinFrameCount(), 0u);
  EXPECT_TRUE(PumpUntil([handle] { return IsWindowVisible(handle) != FALSE; }));
  EXPECT_GE(WeftStandinFrameCount(), 1u);
}

TEST_F(WeftWindowTest, EmbedsTheViewAndOpensTheChannelBeforeAskingForAFrame) {
  ASSERT_TRUE(window_.OpenWindow(L"Quillmere", kOrigin, kSize));
  const uint64_t embedded = WeftStandinLastCallSequence(kWeftStandinViewGetHWND);
  const uint64_t channel = WeftStandinLastCallSequence(kWeftStandinMessengerSetCallback);
  const uint64_t next_frame = WeftStandinLastCallSequence(kWeftStandinEngineSetNextFrameCallback);
  const uint64_t redraw = WeftStandinLastCallSequence(kWeftStandinViewControllerForceRedraw);
  EXPECT_LT(0u, embedded);
  EXPECT_LT(embedded, channel);
  EXPECT_LT(channel, next_frame);
  EXPECT_LT(next_frame, redraw);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinMessengerSetCallback), 1u);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerForceRedraw), 1u);
}

TEST_F(WeftWindowTest, TheViewFillsTheClientAreaAndFollowsItsSize) {
  ASSERT_TRUE(window_.OpenWindow(L"Quillmere", kOrigin, kSize));
  HWND handle = window_.NativeHandle();
  ASSERT_NE(Child(), nullptr);
  EXPECT_EQ(GetParent(Child()), handle);
  SIZE client = ClientSize(handle);
  SIZE child = ClientSize(Child());
  EXPECT_EQ(child.cx, client.cx);
  EXPECT_EQ(child.cy, client.cy);

  SetWindowPos(handle, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  client = ClientSize(handle);
  child = ClientSize(Child());
  EXPECT_EQ(child.cx, client.cx);
  EXPECT_EQ(child.cy, client.cy);
}

TEST_F(WeftWindowTest, AMessageTheEngineConsumesGoesNoFurther) {
  ASSERT_TRUE(window_.OpenWindow(L"Quillmere", kOrigin, kSize));
  HWND handle = window_.NativeHandle();
  const SIZE before = ClientSize(Child());

  WeftStandinConsumeWindowMessage(WM_SIZE, 7);
  SetWindowPos(handle, nullptr, 0, 0, 600, 500, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  const SIZE after = ClientSize(Child());
  EXPECT_EQ(after.cx, before.cx);
  EXPECT_EQ(after.cy, before.cy);
  EXPECT_EQ(SendMessageW(handle, WM_SIZE, SIZE_RESTORED, 0), 7);
}

TEST_F(WeftWindowTest, OffersTheEngineItsOwnWindowAndTheMessageUnchanged) {
  ASSERT_TRUE(window_.OpenWindow(L"Quillmere", kOrigin, kSize));
  HWND handle = window_.NativeHandle();
  constexpr UINT kMessage = WM_APP + 5;
  SendMessageW(handle, kMessage, 0xFEDCBA9876543210u, -0x123456789ABLL);
  WeftStandinOffer offer = {};
  ASSERT_TRUE(WeftStandinLatestOffer(kMessage, &offer));
  EXPECT_EQ(offer.window, handle);
  EXPECT_EQ(offer.message, kMessage);
  EXPECT_EQ(offer.wparam, 0xFEDCBA9876543210u);
  EXPECT_EQ(offer.lparam, -0x123456789ABLL);
}

// A consumed WM_DPICHANGED is the engine's: the host applies no suggested rectangle.
TEST_F(WeftWindowTest, AConsumedDpiChangeDoesNotMoveTheWindow) {
  ASSERT_TRUE(window_.OpenWindow(L"Quillmere", kOrigin, kSize));
  HWND handle = window_.NativeHandle();
  RECT before = {};
  GetWindowRect(handle, &before);
  RECT suggested = {40, 50, 700, 600};
  WeftStandinConsumeWindowMessage(WM_DPICHANGED, 0);
  SendMessageW(handle, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  RECT after = {};
  GetWindowRect(handle, &after);
  EXPECT_TRUE(EqualRect(&before, &after));
}

// An engine that writes a result but does not consume the message leaves the message to the
// host, whose own result is the one returned.
TEST_F(WeftWindowTest, AResultWrittenWithoutConsumingIsIgnored) {
  ASSERT_TRUE(window_.OpenWindow(L"Quillmere", kOrigin, kSize));
  HWND handle = window_.NativeHandle();
  constexpr UINT kMessage = WM_APP + 6;
  WeftStandinDeclineWindowMessage(kMessage, 42);
  EXPECT_EQ(SendMessageW(handle, kMessage, 0, 0), 0);
  WeftStandinDeclineWindowMessage(WM_SIZE, 42);
  SetWindowPos(handle, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(ClientSize(Child()).cx, ClientSize(handle).cx);
  EXPECT_EQ(SendMessageW(handle, WM_SIZE, SIZE_RESTORED, 0), 0);
}

TEST_F(WeftWindowTest, AFontChangeReloadsTheEngineFonts) {
  ASSERT_TRUE(window_.OpenWindow(L"Quillmere", kOrigin, kSize));
  SendMessageW(window_.NativeHandle(), WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineReloadSystemFonts), 1u);

  WeftStandinConsumeWindowMessage(WM_FONTCHANGE, 0);
  SendMessageW(window_.NativeHandle(), WM_FONTCHANGE, 0, 0);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinEngineReloadSystemFonts), 1u);
}

TEST_F(WeftWindowTest, DestroyingTheWindowEndsTheEngine) {
  ASSERT_TRUE(window_.OpenWindow(L"Quillmere", kOrigin, kSize));
  DestroyWindow(window_.NativeHandle());
  EXPECT_EQ(window_.NativeHandle(), nullptr);
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerDestroy), 1u);
}

TEST(WeftWindowFailureTest, AFailedViewKeepsTheNativeWindowUntilTheObjectGoes) {
  WeftStandinReset();
  WeftStandinSetFailing(kWeftStandinViewControllerCreate, true);
  HWND handle = nullptr;
  {
    WeftWindow window(weft::EngineProject(L"data"));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(window.OpenWindow(L"Quillmere", kOrigin, kSize));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
    handle = window.NativeHandle();
    EXPECT_TRUE(IsWindow(handle));
    EXPECT_FALSE(IsWindowVisible(handle));
  }
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinViewControllerDestroy), 0u);
  WeftStandinReset();
}

}  // namespace
