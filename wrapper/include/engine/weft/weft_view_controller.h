#ifndef WEFT_WEFT_VIEW_CONTROLLER_H_
#define WEFT_WEFT_VIEW_CONTROLLER_H_

#include <cstdint>
#include <memory>
#include <optional>

#include "weft/engine_project.h"
#include "weft/weft_engine.h"
#include "weft_windows.h"

namespace weft {

// The engine's view; the engine library's view controller owns it.
class WeftView {
 public:
  explicit WeftView(WeftDesktopViewRef view_handle) : view_handle_(view_handle) {}
  virtual ~WeftView() = default;

  WeftView(const WeftView&) = delete;
  WeftView& operator=(const WeftView&) = delete;

  // The view's child window, to be embedded in the host's top-level window.
  WeftDesktopWindowHandle ChildWindowHandle() const;

 private:
  WeftDesktopViewRef view_handle_;
};

// Starts the engine from a project and shows it in a view of the given size. After a failed
// creation the engine object exists but the view does not.
class WeftViewController {
 public:
  // The project is read during the call only.
  WeftViewController(int32_t width, int32_t height, const EngineProject& project);
  virtual ~WeftViewController();

  WeftViewController(const WeftViewController&) = delete;
  WeftViewController& operator=(const WeftViewController&) = delete;

  void RepaintNow();

  // The engine's result when it consumed the message, nothing otherwise.
  std::optional<WeftDesktopLResult> OfferWindowMessage(WeftDesktopWindowHandle window,
                                                       WeftDesktopWindowMessage message,
                                                       WeftDesktopWParam wparam,
                                                       WeftDesktopLParam lparam);

  WeftEngine* EngineObject() const { return engine_object_.get(); }
  // Null after a failed creation.
  WeftView* ViewObject() const { return view_object_.get(); }

 private:
  WeftDesktopViewControllerRef controller_handle_ = nullptr;
  std::shared_ptr<WeftEngine> engine_object_;
  std::unique_ptr<WeftView> view_object_;
};

}  // namespace weft

#endif  // WEFT_WEFT_VIEW_CONTROLLER_H_
