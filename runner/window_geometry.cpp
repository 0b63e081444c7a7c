#include "window_geometry.h"

#include <windows.h>

#include <limits>
#include <memory>
#include <type_traits>

namespace {

constexpr double kReferenceDpi = 96.0;
constexpr double kFallbackScale = 1.0;
constexpr double kScreenFraction = 0.94;

// Truncates toward zero; values beyond the 32-bit range saturate instead of overflowing.
int32_t TruncateToInt32(double value) {
  constexpr double kLowest = std::numeric_limits<int32_t>::min();
  constexpr double kHighest = std::numeric_limits<int32_t>::max();
  if (!(value > kLowest)) {
    return std::numeric_limits<int32_t>::min();
  }
  if (value >= kHighest) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(value);
}

struct ScreenDcRelease {
  void operator()(HDC dc) const { ReleaseDC(nullptr, dc); }
};
using ScreenDc = std::unique_ptr<std::remove_pointer_t<HDC>, ScreenDcRelease>;

}  // namespace

double ScaleForDpi(int64_t dpi) {
  if (dpi <= 0) {
    return kFallbackScale;
  }
  return static_cast<double>(dpi) / kReferenceDpi;
}

LogicalSize InitialWindowSize(int screen_width, int screen_height, double scale) {
  return {TruncateToInt32(screen_width / scale * kScreenFraction),
          TruncateToInt32(screen_height / scale * kScreenFraction)};
}

PhysicalBounds ScaleToPhysical(const LogicalPoint& origin, const LogicalSize& size, double scale) {
  return {TruncateToInt32(origin.x * scale), TruncateToInt32(origin.y * scale),
          TruncateToInt32(size.width * scale), TruncateToInt32(size.height * scale)};
}

int ReadScreenDpi() {
  const ScreenDc dc(GetDC(nullptr));
  if (!dc) {
    return 0;
  }
  return GetDeviceCaps(dc.get(), LOGPIXELSX);
}
