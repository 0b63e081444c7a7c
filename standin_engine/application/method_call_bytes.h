// The few bytes of the standard message format that the stand-in's application writes itself.
#ifndef STANDIN_ENGINE_METHOD_CALL_BYTES_H_
#define STANDIN_ENGINE_METHOD_CALL_BYTES_H_

#include <cstdint>
#include <string_view>
#include <vector>

namespace standin {

// A method call whose method name and single argument are strings.
std::vector<uint8_t> EncodeStringCall(std::string_view method, std::string_view argument);

}  // namespace standin

#endif  // STANDIN_ENGINE_METHOD_CALL_BYTES_H_
