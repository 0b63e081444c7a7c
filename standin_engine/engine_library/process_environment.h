// What the stand-in reads from its process: the executable's folder, environment settings and
// the files they name.
#ifndef STANDIN_ENGINE_PROCESS_ENVIRONMENT_H_
#define STANDIN_ENGINE_PROCESS_ENVIRONMENT_H_

#include <cstddef>
#include <optional>
#include <string>

namespace standin {

std::wstring ExecutableFolder();
bool IsFolder(const std::wstring& path);
// Nothing when unset; an empty string when set to nothing.
std::optional<std::wstring> EnvironmentVariable(const wchar_t* name);
// Nothing when the file cannot be read or holds more than limit bytes.
std::optional<std::string> ReadFileContent(const std::wstring& path, size_t limit);

}  // namespace standin

#endif  // STANDIN_ENGINE_PROCESS_ENVIRONMENT_H_
