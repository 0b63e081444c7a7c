#include "weft/weft_view_controller.h"

#include "weft/diagnostic_line.h"

namespace weft {

namespace {

constexpr char kViewControllerCreationFailed[] = "Failed to create view controller.";

}  // namespace

WeftDesktopWindowHandle WeftView::ChildWindowHandle() const {
  return WeftDesktopViewGetHWND(view_handle_);
}

WeftViewController::WeftViewController(int32_t width, int32_t height, const EngineProject& project)
    : engine_object_(std::make_shared<WeftEngine>(project)) {
  controller_handle_ =
      WeftDesktopViewControllerCreate(width, height, engine_object_->HandOverEngineHandle());
  if (controller_handle_ == nullptr) {
    WriteDiagnosticLine(kViewControllerCreationFailed);
    return;
  }
  view_object_ = std::make_unique<WeftView>(WeftDesktopViewControllerGetView(controller_handle_));
}

// The engine library's objects end first, so that the messenger's handler table outlives
// every callback the engine could still make.
WeftViewController::~WeftViewController() {
  if (controller_handle_ != nullptr) {
    WeftDesktopViewControllerDestroy(controller_handle_);
  }
  view_object_.reset();
  engine_object_.reset();
}

void WeftViewController::RepaintNow() {
  WeftDesktopViewControllerForceRedraw(controller_handle_);
}

std::optional<WeftDesktopLResult> WeftViewController::OfferWindowMessage(
    WeftDesktopWindowHandle window, WeftDesktopWindowMessage message, WeftDesktopWParam wparam,
    WeftDesktopLParam lparam) {
  WeftDesktopLResult result = 0;
  if (!WeftDesktopViewControllerHandleTopLevelWindowProc(controller_handle_, window, message,
                                                         wparam, lparam, &result)) {
    return std::nullopt;
  }
  return result;
}

}  // namespace weft
