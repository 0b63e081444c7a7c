#include "event_lines.h"

#include "hex.h"

namespace standin {

namespace {

constexpr char kEmptyReply[] = "-";

std::string Flag(bool value) {
  return value ? "1" : "0";
}

}  // namespace

std::string FrameLine(uint32_t number, bool visible) {
  return "frame " + std::to_string(number) + " visible " + Flag(visible);
}

std::string ReplyLine(std::string_view channel, const uint8_t* bytes, size_t size) {
  const std::string hex = size == 0 ? kEmptyReply : FormatHex(bytes, size);
  return "reply " + std::string(channel) + " " + hex;
}

std::string RefusedLine(std::string_view channel) {
  return "refused " + std::string(channel);
}

std::string TitleLine(std::string_view title) {
  return "title " + std::string(title);
}

std::string VisibleLine(bool visible) {
  return "visible " + Flag(visible);
}

std::string ErrorLine(std::string_view line) {
  return "error " + std::string(line);
}

}  // namespace standin
