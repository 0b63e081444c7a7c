#include "window_geometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>

namespace {

constexpr LogicalPoint kWindowOrigin = {10, 10};

struct Screen {
  int width;
  int height;
  int dpi;
  int32_t expected_width;
  int32_t expected_height;
};

TEST(InitialWindowSize, WorkedSizes) {
  const Screen screens[] = {
      {1920, 1080, 96, 1804, 1015},
      {2560, 1440, 144, 1604, 902},
      {1366, 768, 120, 1027, 577},
      {1280, 720, 0, 1203, 676},
  };
  for (const Screen& screen : screens) {
    const LogicalSize size =
        InitialWindowSize(screen.width, screen.height, ScaleForDpi(screen.dpi));
    EXPECT_EQ(size.width, screen.expected_width) << screen.width << " at " << screen.dpi;
    EXPECT_EQ(size.height, screen.expected_height) << screen.height << " at " << screen.dpi;
  }
}

// A screen or monitor reported at 0 DPI or less would otherwise get a window of no size at all.
TEST(ScaleForDpi, DividesByTheReferenceDpiAndTakesOneForNoDpi) {
  const std::pair<int64_t, double> cases[] = {
      {0, 1.0}, {-96, 1.0}, {96, 1.0}, {120, 1.25}, {144, 1.5}, {192, 2.0},
  };
  for (const auto& [dpi, scale] : cases) {
    EXPECT_EQ(ScaleForDpi(dpi), scale) << dpi;
  }
}

TEST(ScaleToPhysical, ScalesOriginAndSizeOnA144DpiMonitor) {
  const PhysicalBounds bounds = ScaleToPhysical(kWindowOrigin, {1604, 902}, ScaleForDpi(144));
  EXPECT_EQ(bounds.x, 15);
  EXPECT_EQ(bounds.y, 15);
  EXPECT_EQ(bounds.width, 2406);
  EXPECT_EQ(bounds.height, 1353);
}

TEST(ScaleToPhysical, TruncatesTowardZero) {
  const PhysicalBounds bounds = ScaleToPhysical({-3, 3}, {1027, 577}, 1.25);
  EXPECT_EQ(bounds.x, -3);  // -3.75
  EXPECT_EQ(bounds.y, 3);   // 3.75
  EXPECT_EQ(bounds.width, 1283);
  EXPECT_EQ(bounds.height, 721);
}

TEST(ScaleToPhysical, SaturatesInsteadOfOverflowing) {
  constexpr int32_t kHighest = std::numeric_limits<int32_t>::max();
  constexpr int32_t kLowest = std::numeric_limits<int32_t>::min();
  const PhysicalBounds bounds = ScaleToPhysical({kLowest, 0}, {kHighest, 1}, 2.0);
  EXPECT_EQ(bounds.x, kLowest);
  EXPECT_EQ(bounds.width, kHighest);
  EXPECT_EQ(bounds.height, 2);
}

}  // namespace
