// Window geometry in logical units (1 unit = 1 pixel at 96 DPI) and its conversion to the
// physical pixels of a screen or monitor. The arithmetic takes plain numbers, so it can be
// checked for any screen without having one.
#ifndef RUNNER_WINDOW_GEOMETRY_H_
#define RUNNER_WINDOW_GEOMETRY_H_

#include <cstdint>

struct LogicalPoint {
  int32_t x;
  int32_t y;
};

struct LogicalSize {
  int32_t width;
  int32_t height;
};

// A window rectangle as CreateWindowExW takes it.
struct PhysicalBounds {
  int32_t x;
  int32_t y;
  int32_t width;
  int32_t height;
};

// Scale of a screen DPI (GetDeviceCaps) or a monitor DPI (the engine library): the DPI over 96,
// or 1.0 when the DPI is not positive, which no screen or monitor has.
double ScaleForDpi(int64_t dpi);

// The start-up window size: 94 % of a screen of this many physical pixels, in logical units.
LogicalSize InitialWindowSize(int screen_width, int screen_height, double scale);

// Origin and size multiplied by the scale, each truncated toward zero.
PhysicalBounds ScaleToPhysical(const LogicalPoint& origin, const LogicalSize& size, double scale);

// The horizontal DPI of the screen's device context.
int ReadScreenDpi();

#endif  // RUNNER_WINDOW_GEOMETRY_H_
