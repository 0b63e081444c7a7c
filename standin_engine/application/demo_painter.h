// Draws the demo application's picture: what the engine received and the channel traffic.
#ifndef STANDIN_ENGINE_DEMO_PAINTER_H_
#define STANDIN_ENGINE_DEMO_PAINTER_H_

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

struct DemoPicture {
  std::vector<std::wstring> facts;
  std::vector<std::wstring> traffic;  // oldest first
};

void PaintDemo(HDC dc, int width, int height, uint32_t dpi, const DemoPicture& picture);

}  // namespace standin

#endif  // STANDIN_ENGINE_DEMO_PAINTER_H_
