// Where the bundle files named by the host lie: relative names are taken from the folder of the
// running executable, so the host works from any working directory.
#ifndef STANDIN_ENGINE_BUNDLE_PATHS_H_
#define STANDIN_ENGINE_BUNDLE_PATHS_H_

#include <string>

namespace standin {

// Absolute paths (drive letter, root or network share) stay as they are.
std::wstring ResolveBundlePath(const std::wstring& folder, const std::wstring& path);

}  // namespace standin

#endif  // STANDIN_ENGINE_BUNDLE_PATHS_H_
