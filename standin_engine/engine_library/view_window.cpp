#include "view_window.h"

namespace standin {

namespace {

constexpr wchar_t kViewClass[] = L"WeftStandinView";
constexpr wchar_t kHolderClass[] = L"WeftStandinViewHolder";
constexpr DWORD kViewStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
constexpr DWORD kHolderStyle = WS_POPUP;

// Any object of this module locates the module's instance.
const int kModuleAnchor = 0;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module);
  return module;
}

// The holder is never closed from outside; only its owner destroys it.
LRESULT CALLBACK HolderProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) {
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = ThisModule();
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = name;
  RegisterClassExW(&window_class);
}

}  // namespace

ViewWindow::ViewWindow(int width, int height, ViewWindowClient* client) : client_(client) {
  static const bool registered = [] {
    RegisterWindowClass(kViewClass, ViewProcedure);
    RegisterWindowClass(kHolderClass, HolderProcedure);
    return true;
  }();
  static_cast<void>(registered);
  holder_.reset(CreateWindowExW(0, kHolderClass, L"", kHolderStyle, 0, 0, width, height, nullptr,
                                nullptr, ThisModule(), nullptr));
  if (!holder_) {
    return;
  }
  window_.reset(CreateWindowExW(0, kViewClass, L"", kViewStyle, 0, 0, width, height, holder_.get(),
                                nullptr, ThisModule(), this));
}

ViewWindow::~ViewWindow() {
  window_.reset();
  holder_.reset();
}

HWND ViewWindow::TopLevel() const {
  return window_ ? GetAncestor(window_.get(), GA_ROOT) : nullptr;
}

void ViewWindow::RequestFrame() {
  if (!window_ || frame_requested_) {
    return;
  }
  frame_requested_ = PostMessageW(window_.get(), kRenderMessage, 0, 0) != FALSE;
}

void ViewWindow::ContentChanged() {
  stale_ = true;
  if (window_) {
    InvalidateRect(window_.get(), nullptr, FALSE);
  }
}

LRESULT CALLBACK ViewWindow::ViewProcedure(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
  }
  auto* view = reinterpret_cast<ViewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (view == nullptr) {
    return DefWindowProcW(window, message, wparam, lparam);
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    static_cast<void>(view->window_.release());
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return view->HandleMessage(window, message, wparam, lparam);
}

LRESULT ViewWindow::HandleMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case kRenderMessage:
      RenderFrame();
      return 0;
    case kWakeMessage:
      client_->OnWake(wparam);
      return 0;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      ContentChanged();
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

// Windows sends no paint to a hidden window, so a requested frame is rendered offscreen and
// only shown when a paint comes.
void ViewWindow::RenderFrame() {
  frame_requested_ = false;
  Render();
  InvalidateRect(window_.get(), nullptr, FALSE);
  client_->OnFramePresented();
}

void ViewWindow::Paint() {
  PAINTSTRUCT paint = {};
  const HDC dc = BeginPaint(window_.get(), &paint);
  RECT client = {};
  GetClientRect(window_.get(), &client);
  if (stale_ || buffer_.Width() != client.right || buffer_.Height() != client.bottom) {
    Render();
  }
  if (dc != nullptr && buffer_.Dc() != nullptr) {
    BitBlt(dc, 0, 0, buffer_.Width(), buffer_.Height(), buffer_.Dc(), 0, 0, SRCCOPY);
  }
  EndPaint(window_.get(), &paint);
  client_->OnFramePresented();
}

void ViewWindow::Render() {
  stale_ = false;
  RECT client = {};
  GetClientRect(window_.get(), &client);
  if (!buffer_.Fit(client.right, client.bottom)) {
    return;
  }
  client_->PaintContent(buffer_.Dc(), buffer_.Width(), buffer_.Height());
}

}  // namespace standin
