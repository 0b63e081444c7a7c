#include "demo_painter.h"

#include "gdi_handles.h"

namespace standin {

namespace {

constexpr wchar_t kHeading[] = L"Quillmere \u00B7 stand-in engine";
constexpr wchar_t kTrafficHeading[] = L"Channel traffic";
constexpr wchar_t kNoTraffic[] = L"(none yet)";
constexpr wchar_t kFontFace[] = L"Tahoma";
constexpr COLORREF kBackground = RGB(0x1F, 0x26, 0x33);
constexpr COLORREF kBand = RGB(0x2E, 0x5E, 0x8C);
constexpr COLORREF kHeadingText = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kBodyText = RGB(0xD8, 0xDE, 0xE9);
constexpr COLORREF kTrafficText = RGB(0xA3, 0xD9, 0xA5);
constexpr int kHeadingPoints = 16;
constexpr int kBodyPoints = 10;
constexpr int kPointsPerInch = 72;
constexpr int kMarginPoints = 12;

int PointsToPixels(int points, uint32_t dpi) {
  return MulDiv(points, static_cast<int>(dpi), kPointsPerInch);
}

OwnedFont MakeFont(int points, uint32_t dpi, int weight) {
  return OwnedFont(CreateFontW(-PointsToPixels(points, dpi), 0, 0, 0, weight, FALSE, FALSE, FALSE,
                               DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, kFontFace));
}

void Fill(HDC dc, const RECT& area, COLORREF colour) {
  const OwnedBrush brush(CreateSolidBrush(colour));
  FillRect(dc, &area, brush.get());
}

// Writes one line at *y and moves *y below it.
void WriteLine(HDC dc, int x, int* y, int right, const std::wstring& text) {
  RECT line = {x, *y, right, *y};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line,
            DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  line.right = right;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &line,
            DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  *y = line.bottom;
}

}  // namespace

void PaintDemo(HDC dc, int width, int height, uint32_t dpi, const DemoPicture& picture) {
  const int margin = PointsToPixels(kMarginPoints, dpi);
  const int right = width - margin;
  Fill(dc, RECT{0, 0, width, height}, kBackground);
  SetBkMode(dc, TRANSPARENT);

  const OwnedFont heading_font = MakeFont(kHeadingPoints, dpi, FW_BOLD);
  const OwnedFont body_font = MakeFont(kBodyPoints, dpi, FW_NORMAL);
  int y = margin;
  {
    const ScopedSelection selected(dc, heading_font.get());
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    Fill(dc, RECT{0, 0, width, margin * 2 + metrics.tmHeight}, kBand);
    SetTextColor(dc, kHeadingText);
    WriteLine(dc, margin, &y, right, kHeading);
  }
  y += margin;

  const ScopedSelection selected(dc, body_font.get());
  SetTextColor(dc, kBodyText);
  for (const std::wstring& fact : picture.facts) {
    WriteLine(dc, margin, &y, right, fact);
  }
  y += margin;
  WriteLine(dc, margin, &y, right, kTrafficHeading);
  SetTextColor(dc, kTrafficText);
  if (picture.traffic.empty()) {
    WriteLine(dc, margin, &y, right, kNoTraffic);
  }
  for (const std::wstring& entry : picture.traffic) {
    WriteLine(dc, margin, &y, right, entry);
  }
}

}  // namespace standin
