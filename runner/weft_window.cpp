#include "weft_window.h"

#include <utility>

#include "window_title_channel.h"

WeftWindow::WeftWindow(const weft::EngineProject& project) : project_(project) {}

WeftWindow::~WeftWindow() {
  title_channel_.reset();
  view_controller_.reset();
}

bool WeftWindow::OnCreated() {
  if (!Win32Window::OnCreated()) {
    return false;
  }

  const RECT bounds = ClientBounds();
  auto controller = std::make_unique<weft::WeftViewController>(
      bounds.right - bounds.left, bounds.bottom - bounds.top, project_);
  std::swap(view_controller_, controller);
  controller.reset();
  if (view_controller_->EngineObject() == nullptr || view_controller_->ViewObject() == nullptr) {
    return false;
  }

  weft::WeftEngine* engine = view_controller_->EngineObject();
  RegisterAppPlugins(engine);
  EmbedChild(view_controller_->ViewObject()->ChildWindowHandle());

  auto channel = OpenWindowTitleChannel(engine->ChannelMessenger(), this);
  std::swap(title_channel_, channel);
  channel.reset();

  engine->CallOnNextFrame([this]() { Reveal(); });
  view_controller_->RepaintNow();
  return true;
}

void WeftWindow::OnDestroying() {
  if (view_controller_) {
    // Cleared before the engine ends, so that messages sent meanwhile no longer reach it.
    std::unique_ptr<weft::WeftViewController> ending = std::move(view_controller_);
    ending.reset();
  }
  Win32Window::OnDestroying();
}

LRESULT WeftWindow::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (view_controller_) {
    std::optional<LRESULT> consumed =
        view_controller_->OfferWindowMessage(window, message, wparam, lparam);
    if (consumed) {
      return *consumed;
    }
  }

  // After a failed creation the engine library has already ended the engine, so it must not
  // be called again.
  if (message == WM_FONTCHANGE && view_controller_ && view_controller_->ViewObject()) {
    view_controller_->EngineObject()->RefreshSystemFonts();
  }

  return Win32Window::HandleMessage(window, message, wparam, lparam);
}

void WeftWindow::RegisterAppPlugins(weft::PluginRegistry* /*registry*/) {}
