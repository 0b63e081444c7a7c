// The offscreen picture of the view: frames are rendered here, also while the view is hidden,
// and copied to the window when Windows asks for a paint.
#ifndef STANDIN_ENGINE_BACK_BUFFER_H_
#define STANDIN_ENGINE_BACK_BUFFER_H_

#include <windows.h>

#include "gdi_handles.h"

namespace standin {

class BackBuffer {
 public:
  BackBuffer() = default;
  ~BackBuffer();
  BackBuffer(const BackBuffer&) = delete;
  BackBuffer& operator=(const BackBuffer&) = delete;

  // Makes the buffer width x height; false when it cannot hold a picture (an empty size, or
  // the system refused the memory), and then Dc() is null.
  bool Fit(int width, int height);
  HDC Dc() const { return bitmap_ ? dc_.get() : nullptr; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  void Release();

  OwnedMemoryDc dc_;
  OwnedBitmap bitmap_;
  HGDIOBJ original_bitmap_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace standin

#endif  // STANDIN_ENGINE_BACK_BUFFER_H_
