#include "window_geometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

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
        InitialWindowSize(screen.width, screen.height, ScaleForScreenDpi(screen.dpi));
    EXPECT_EQ(size.width, screen.expected_width) << screen.width << " at " << screen.dpi;
    EXPECT_EQ(size.height, screen.expected_height) << screen.height << " at " << screen.dpi;
  }
}

TEST(ScaleForScreenDpi, NonPositiveDpiMeansScaleOne) {
  EXPECT_EQ(ScaleForScreenDpi(0), 1.0);
  EXPECT_EQ(ScaleForScreenDpi(-96), 1.0);
  EXPECT_EQ(ScaleForScreenDpi(96), 1.0);
  EXPECT_EQ(ScaleForScreenDpi(192), 2.0);
}

TEST(ScaleForMonitorDpi, DividesByTheReferenceDpi) {
  EXPECT_EQ(ScaleForMonitorDpi(96), 1.0);
  EXPECT_EQ(ScaleForMonitorDpi(144), 1.5);
  EXPECT_EQ(ScaleForMonitorDpi(120), 1.25);
}

// A monitor reported at 0 DPI would otherwise get a window of no size at all.
TEST(ScaleForMonitorDpi, ZeroDpiMeansScaleOne) {
  EXPECT_EQ(ScaleForMonitorDpi(0), 1.0);
}

TEST(ScaleToPhysical, ScalesOriginAndSizeOnA144DpiMonitor) {
  const PhysicalBounds bounds =
      ScaleToPhysical(kWindowOrigin, {1604, 902}, ScaleForMonitorDpi(144));
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
