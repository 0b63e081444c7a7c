// Owning holders for the window and GDI handles of the stand-in.
#ifndef STANDIN_ENGINE_GDI_HANDLES_H_
#define STANDIN_ENGINE_GDI_HANDLES_H_

#include <windows.h>

#include <memory>

namespace standin {

struct WindowDestroyer {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using OwnedWindow = std::unique_ptr<HWND__, WindowDestroyer>;

struct MemoryDcDeleter {
  void operator()(HDC dc) const { DeleteDC(dc); }
};
using OwnedMemoryDc = std::unique_ptr<HDC__, MemoryDcDeleter>;

struct BitmapDeleter {
  void operator()(HBITMAP bitmap) const { DeleteObject(bitmap); }
};
using OwnedBitmap = std::unique_ptr<HBITMAP__, BitmapDeleter>;

struct FontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using OwnedFont = std::unique_ptr<HFONT__, FontDeleter>;

struct BrushDeleter {
  void operator()(HBRUSH brush) const { DeleteObject(brush); }
};
using OwnedBrush = std::unique_ptr<HBRUSH__, BrushDeleter>;

// The screen's device context for the length of a scope.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_ != nullptr) {
      ReleaseDC(nullptr, dc_);
    }
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;

  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

// Selects an object into a device context and puts the previous one back at the end of a scope.
class ScopedSelection {
 public:
  ScopedSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ~ScopedSelection() { SelectObject(dc_, previous_); }
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

}  // namespace standin

#endif  // STANDIN_ENGINE_GDI_HANDLES_H_
