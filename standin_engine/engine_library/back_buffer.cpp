#include "back_buffer.h"

namespace standin {

namespace {

constexpr WORD kBitsPerPixel = 32;

HBITMAP CreatePicture(HDC dc, int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = kBitsPerPixel;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  return CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
}

}  // namespace

BackBuffer::~BackBuffer() {
  Release();
}

bool BackBuffer::Fit(int width, int height) {
  if (bitmap_ && width == width_ && height == height_) {
    return true;
  }
  Release();
  width_ = width;
  height_ = height;
  if (width <= 0 || height <= 0) {
    return false;
  }
  if (!dc_) {
    dc_.reset(CreateCompatibleDC(nullptr));
  }
  if (!dc_) {
    return false;
  }
  bitmap_.reset(CreatePicture(dc_.get(), width, height));
  if (!bitmap_) {
    return false;
  }
  original_bitmap_ = SelectObject(dc_.get(), bitmap_.get());
  return true;
}

// A bitmap cannot be deleted while it is selected into a device context.
void BackBuffer::Release() {
  if (bitmap_ && original_bitmap_ != nullptr) {
    SelectObject(dc_.get(), original_bitmap_);
  }
  original_bitmap_ = nullptr;
  bitmap_.reset();
}

}  // namespace standin
