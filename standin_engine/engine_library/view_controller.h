// The view controller: runs an engine in a view of its own.
#ifndef STANDIN_ENGINE_VIEW_CONTROLLER_H_
#define STANDIN_ENGINE_VIEW_CONTROLLER_H_

#include <windows.h>

#include <memory>

#include "engine.h"
#include "view_window.h"
#include "weft_windows.h"

namespace standin {

class ViewController : private ViewWindowClient {
 public:
  // Null, with a line on standard error, when the view window cannot be made; the engine ends
  // then too.
  static std::unique_ptr<ViewController> Create(int width, int height,
                                                std::unique_ptr<Engine> engine);
  static ViewController* FromHandle(WeftDesktopViewControllerRef handle);
  static ViewWindow* ViewFromHandle(WeftDesktopViewRef handle);
  WeftDesktopViewControllerRef Handle();
  WeftDesktopViewRef ViewHandle();

  // Ends the view first, then the engine.
  ~ViewController() override;
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  void ForceRedraw() { view_.RequestFrame(); }
  Engine& engine() { return *engine_; }

 private:
  ViewController(int width, int height, std::unique_ptr<Engine> engine);

  void PaintContent(HDC dc, int width, int height) override;
  void OnFramePresented() override;
  void OnWake(WPARAM reason) override;

  std::unique_ptr<Engine> engine_;
  ViewWindow view_;
};

}  // namespace standin

#endif  // STANDIN_ENGINE_VIEW_CONTROLLER_H_
