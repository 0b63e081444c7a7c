// The engine's view: a child window that shows the application's frames. It is created under a
// hidden holder window of its own until the host makes it the child of its top-level window.
#ifndef STANDIN_ENGINE_VIEW_WINDOW_H_
#define STANDIN_ENGINE_VIEW_WINDOW_H_

#include <windows.h>

#include "back_buffer.h"
#include "gdi_handles.h"

namespace standin {

class ViewWindowClient {
 public:
  virtual ~ViewWindowClient() = default;
  virtual void PaintContent(HDC dc, int width, int height) = 0;
  // Each rendered or painted frame; the last thing done for it, so the client may destroy the
  // view in it.
  virtual void OnFramePresented() = 0;
  // reason: the wparam of the wake message.
  virtual void OnWake(WPARAM reason) = 0;
};

class ViewWindow {
 public:
  ViewWindow(int width, int height, ViewWindowClient* client);
  ~ViewWindow();
  ViewWindow(const ViewWindow&) = delete;
  ViewWindow& operator=(const ViewWindow&) = delete;

  // Null once destroyed, also when its parent took it along.
  HWND Handle() const { return window_.get(); }
  HWND TopLevel() const;

  // Renders a frame soon, whether or not the window is visible.
  void RequestFrame();
  // The content changed: a visible window paints it again.
  void ContentChanged();

  // Any thread: posting this to Handle() makes the client's OnWake run on the window's thread.
  static constexpr UINT kWakeMessage = WM_APP + 0x51;

 private:
  static constexpr UINT kRenderMessage = WM_APP + 0x50;

  static LRESULT CALLBACK ViewProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void RenderFrame();
  void Paint();
  void Render();

  ViewWindowClient* client_;
  OwnedWindow holder_;
  OwnedWindow window_;
  BackBuffer buffer_;
  bool frame_requested_ = false;
  bool stale_ = true;
};

}  // namespace standin

#endif  // STANDIN_ENGINE_VIEW_WINDOW_H_
