#ifndef TESTS_SUPPORT_STANDIN_MESSENGER_TEST_SUPPORT_H_
#define TESTS_SUPPORT_STANDIN_MESSENGER_TEST_SUPPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "weft_standin_test_controls.h"

namespace weft {

// A stand-in messenger without an engine, for one test: counts start at zero once it
// exists, and the test fails if a reference on it is left when it has been ended.
class StandinMessengerTest : public testing::Test {
 protected:
  void SetUp() override {
    live_before_ = WeftStandinLiveMessengerCount();
    handle_ = WeftStandinCreateMessenger();
    ASSERT_NE(handle_, nullptr);
    WeftStandinReset();
  }

  void TearDown() override {
    EndEngine();
    EXPECT_EQ(WeftStandinLiveMessengerCount(), live_before_);
    WeftStandinReset();
  }

  // Ends availability and drops the engine's own reference, as the engine's end does.
  void EndEngine() {
    if (!ended_ && handle_ != nullptr) {
      WeftStandinEndMessenger(handle_);
      ended_ = true;
    }
  }

  uint32_t Inject(const std::string& channel, const std::vector<uint8_t>& bytes) const {
    return WeftStandinInjectMessage(handle_, channel.c_str(), bytes.data(), bytes.size());
  }

  static std::vector<uint8_t> Reply(uint32_t id) {
    const int64_t size = WeftStandinReplySize(id);
    if (size < 0) {
      ADD_FAILURE() << "message " << id << " is unanswered";
      return {};
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    WeftStandinReplyBytes(id, bytes.data(), bytes.size());
    return bytes;
  }

  static bool Unanswered(uint32_t id) { return WeftStandinReplySize(id) < 0; }

  static uint32_t Count(WeftStandinCall call) { return WeftStandinCallCount(call); }
  static uint64_t Sequence(WeftStandinCall call) { return WeftStandinLastCallSequence(call); }

  static uint32_t TotalCount() {
    uint32_t total = 0;
    for (int call = 0; call < kWeftStandinCallKinds; ++call) {
      total += WeftStandinCallCount(static_cast<WeftStandinCall>(call));
    }
    return total;
  }

  WeftDesktopMessengerRef handle() const { return handle_; }

 private:
  WeftDesktopMessengerRef handle_ = nullptr;
  int32_t live_before_ = 0;
  bool ended_ = false;
};

}  // namespace weft

#endif  // TESTS_SUPPORT_STANDIN_MESSENGER_TEST_SUPPORT_H_
