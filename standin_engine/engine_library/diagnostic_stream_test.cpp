#include <gtest/gtest.h>

#include <string>

#include "weft_standin_test_controls.h"
#include "weft_windows.h"

namespace {

constexpr char kRefusedLine[] =
    "Stand-in engine: response refused: the message was answered already or is unknown.";

void RefuseAResponse() {
  WeftDesktopMessengerRef messenger = WeftStandinCreateMessenger();
  WeftDesktopMessengerSendResponse(messenger, nullptr, nullptr, 0);
  WeftStandinEndMessenger(messenger);
}

TEST(DiagnosticStreamTest, FollowsTheStandardErrorOnlyAfterAResync) {
  WeftStandinReset();
  ::testing::internal::CaptureStderr();
  RefuseAResponse();
  WeftDesktopResyncOutputStreams();
  RefuseAResponse();
  const std::string captured = ::testing::internal::GetCapturedStderr();
  WeftDesktopResyncOutputStreams();
  EXPECT_EQ(captured, std::string(kRefusedLine) + "\n");
  EXPECT_EQ(WeftStandinCallCount(kWeftStandinResyncOutputStreams), 2u);
}

}  // namespace
