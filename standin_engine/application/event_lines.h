// The lines of the scripted application's event log, one per event.
#ifndef STANDIN_ENGINE_EVENT_LINES_H_
#define STANDIN_ENGINE_EVENT_LINES_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace standin {

std::string FrameLine(uint32_t number, bool visible);
// An empty reply is written as "-".
std::string ReplyLine(std::string_view channel, const uint8_t* bytes, size_t size);
std::string RefusedLine(std::string_view channel);
std::string TitleLine(std::string_view title);
std::string VisibleLine(bool visible);
std::string ErrorLine(std::string_view line);

}  // namespace standin

#endif  // STANDIN_ENGINE_EVENT_LINES_H_
