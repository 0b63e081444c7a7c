#include "process_environment.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace standin {

namespace {

constexpr DWORD kLongestPath = 32768;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::wstring ExecutableFolder() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) {
      return {};
    }
    if (length < size || size >= kLongestPath) {
      const std::wstring path(buffer.data(), length);
      const size_t separator = path.find_last_of(L"\\/");
      return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
    }
    buffer.resize(buffer.size() * 2);
  }
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::wstring> EnvironmentVariable(const wchar_t* name) {
  SetLastError(ERROR_SUCCESS);
  const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) {
    if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
      return std::nullopt;
    }
    return std::wstring();
  }
  std::wstring value(size, L'\0');
  const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
  value.resize(length < size ? length : 0);
  return value;
}

std::optional<std::string> ReadFileContent(const std::wstring& path, size_t limit) {
  const std::unique_ptr<std::FILE, FileCloser> file(_wfopen(path.c_str(), L"rb"));
  if (!file) {
    return std::nullopt;
  }
  std::string content;
  char chunk[4096];
  for (;;) {
    const size_t count = std::fread(chunk, 1, sizeof(chunk), file.get());
    content.append(chunk, count);
    if (content.size() > limit) {
      return std::nullopt;
    }
    if (count < sizeof(chunk)) {
      break;
    }
  }
  if (std::ferror(file.get())) {
    return std::nullopt;
  }
  return content;
}

}  // namespace standin
