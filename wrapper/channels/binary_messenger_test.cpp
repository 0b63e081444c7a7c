#include "weft/binary_messenger.h"

#include <array>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace weft {
namespace {

// Counts the live copies of a callable and the calls that reached any of them.
struct Tally {
  int live = 0;
  int calls = 0;
  std::vector<uint8_t> last;
};

template <size_t kPadding>
class Counted {
 public:
  explicit Counted(Tally* tally) : tally_(tally) { ++tally_->live; }
  Counted(const Counted& other) : tally_(other.tally_) { ++tally_->live; }
  Counted(Counted&& other) noexcept : tally_(other.tally_) { ++tally_->live; }
  Counted& operator=(const Counted&) = delete;
  ~Counted() { --tally_->live; }

  void operator()(const uint8_t* data, size_t size) {
    ++tally_->calls;
    tally_->last.assign(data, data + size);
  }

 private:
  Tally* tally_;
  std::array<uint8_t, kPadding> padding_{};
};

using Small = Counted<1>;
using Large = Counted<64>;

constexpr uint8_t kBytes[] = {1, 2, 3};

TEST(ReplyCallbackTest, EmptyOnesDoNothingWhenCalled) {
  ReplyCallback by_default;
  ReplyCallback from_null(nullptr);
  void (*no_function)(const uint8_t*, size_t) = nullptr;
  ReplyCallback from_null_function(no_function);

  EXPECT_FALSE(by_default);
  EXPECT_FALSE(from_null);
  EXPECT_FALSE(from_null_function);
  by_default(kBytes, sizeof(kBytes));
  from_null_function(kBytes, sizeof(kBytes));
}

TEST(ReplyCallbackTest, SmallCallablesStayInPlaceAndLargeOnesGoToTheHeap) {
  EXPECT_TRUE(ReplyCallback::kStoredInPlace<Small>);
  EXPECT_FALSE(ReplyCallback::kStoredInPlace<Large>);
}

template <typename Target>
class ReplyCallbackStorageTest : public testing::Test {};
using Targets = testing::Types<Small, Large>;
// Names each case after its target. ISO C++17 also needs an argument for the macro's trailing
// "...", which the name generator is.
struct TargetNames {
  template <typename Target>
  static std::string GetName(int) {
    return std::is_same_v<Target, Small> ? "Small" : "Large";
  }
};
TYPED_TEST_SUITE(ReplyCallbackStorageTest, Targets, TargetNames);

TYPED_TEST(ReplyCallbackStorageTest, CopiesMovesAndAssignmentsKeepEveryTargetAliveOnce) {
  Tally tally;
  {
    ReplyCallback original{TypeParam(&tally)};
    ReplyCallback copy(original);
    EXPECT_EQ(tally.live, 2);

    ReplyCallback moved(std::move(original));
    EXPECT_FALSE(original);
    EXPECT_EQ(tally.live, 2);

    moved(kBytes, sizeof(kBytes));
    copy(kBytes, 1);
    EXPECT_EQ(tally.calls, 2);
    EXPECT_EQ(tally.last, std::vector<uint8_t>{1});

    moved = copy;
    EXPECT_EQ(tally.live, 2);
    copy = nullptr;
    EXPECT_FALSE(copy);
    EXPECT_EQ(tally.live, 1);
  }
  EXPECT_EQ(tally.live, 0);
}

TEST(ReplyCallbackTest, ACallKeepsStateInTheTargetEvenThroughAConstCallback) {
  int calls = 0;
  const ReplyCallback callback([&calls, used = false](const uint8_t*, size_t) mutable {
    if (!used) {
      ++calls;
    }
    used = true;
  });

  callback(nullptr, 0);
  callback(nullptr, 0);

  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace weft
