#include "bundle_paths.h"

namespace standin {

namespace {

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

bool IsAbsolute(const std::wstring& path) {
  if (!path.empty() && IsSeparator(path[0])) {
    return true;
  }
  return path.size() >= 2 && path[1] == L':';
}

}  // namespace

std::wstring ResolveBundlePath(const std::wstring& folder, const std::wstring& path) {
  if (IsAbsolute(path) || folder.empty()) {
    return path;
  }
  if (IsSeparator(folder.back())) {
    return folder + path;
  }
  return folder + L'\\' + path;
}

}  // namespace standin
