// Hex text as the scripted application reads and writes it.
#ifndef STANDIN_ENGINE_HEX_H_
#define STANDIN_ENGINE_HEX_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Pairs of hex digits in either case; blanks anywhere are ignored. Nothing for an odd digit
// count or any other character.
std::optional<std::vector<uint8_t>> ParseHex(std::string_view text);

// Upper-case digits without separators; empty for no bytes.
std::string FormatHex(const uint8_t* bytes, size_t size);

}  // namespace standin

#endif  // STANDIN_ENGINE_HEX_H_
