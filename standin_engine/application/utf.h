// UTF-8 and UTF-16 conversions for window text and paths.
#ifndef STANDIN_ENGINE_UTF_H_
#define STANDIN_ENGINE_UTF_H_

#include <string>
#include <string_view>

namespace standin {

// Ill-formed input becomes replacement characters; nothing is dropped silently.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

}  // namespace standin

#endif  // STANDIN_ENGINE_UTF_H_
