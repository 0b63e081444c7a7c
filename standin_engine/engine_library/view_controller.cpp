#include "view_controller.h"

#include "call_ledger.h"
#include "diagnostic_stream.h"

namespace standin {

namespace {

constexpr char kNoViewLine[] = "Stand-in engine: cannot create the view window.";

}  // namespace

std::unique_ptr<ViewController> ViewController::Create(int width, int height,
                                                       std::unique_ptr<Engine> engine) {
  std::unique_ptr<ViewController> controller(new ViewController(width, height, std::move(engine)));
  if (controller->view_.Handle() == nullptr) {
    WriteDiagnosticLine(kNoViewLine);
    return nullptr;
  }
  return controller;
}

ViewController* ViewController::FromHandle(WeftDesktopViewControllerRef handle) {
  return reinterpret_cast<ViewController*>(handle);
}

ViewWindow* ViewController::ViewFromHandle(WeftDesktopViewRef handle) {
  return reinterpret_cast<ViewWindow*>(handle);
}

WeftDesktopViewControllerRef ViewController::Handle() {
  return reinterpret_cast<WeftDesktopViewControllerRef>(this);
}

WeftDesktopViewRef ViewController::ViewHandle() {
  return reinterpret_cast<WeftDesktopViewRef>(&view_);
}

ViewController::ViewController(int width, int height, std::unique_ptr<Engine> engine)
    : engine_(std::move(engine)), view_(width, height, this) {
  engine_->MarkHandedOver();
  engine_->app().AttachView(&view_);
}

ViewController::~ViewController() = default;

void ViewController::PaintContent(HDC dc, int width, int height) {
  engine_->app().Paint(dc, width, height);
}

void ViewController::OnFramePresented() {
  const NextFrameCallback callback = engine_->TakeNextFrameCallback();
  const HWND top = view_.TopLevel();
  CountReportedFrame();
  engine_->app().OnFrameReported(top != nullptr && IsWindowVisible(top));
  if (callback.function != nullptr) {
    callback.function(callback.user_data);
  }
}

void ViewController::OnWake(WPARAM reason) {
  engine_->app().OnWake(reason);
}

}  // namespace standin
