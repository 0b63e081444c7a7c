#include "event_lines.h"

#include "hex.h"

namespace standin {

namespace {

// Stands for no bytes at all, in replies and arguments.
constexpr char kEmptyBytes[] = "-";

std::string Flag(bool value) {
  return value ? "1" : "0";
}

}  // namespace

std::string FrameLine(uint32_t number, bool visible) {
  return "frame " + std::to_string(number) + " visible " + Flag(visible);
}

std::string ReplyLine(std::string_view channel, const uint8_t* bytes, size_t size) {
  const std::string hex = size == 0 ? kEmptyBytes : FormatHex(bytes, size);
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

std::string CrashLine(std::string_view line, uint32_t thread) {
  return std::string(line) + " " + std::to_string(thread);
}

std::string ArgumentsLine(const ArgumentsSeen& seen) {
  std::string line = "arguments " + std::to_string(seen.count);
  if (seen.array_null) {
    line += " null";
  }
  for (const std::string& argument : seen.arguments) {
    line += " ";
    line += argument.empty()
                ? std::string(kEmptyBytes)
                : FormatHex(reinterpret_cast<const uint8_t*>(argument.data()), argument.size());
  }
  return line;
}

std::string StatsLine(const ProcessStats& stats) {
  return "stats private " + std::to_string(stats.private_bytes) + " heap " +
         std::to_string(stats.heap_bytes) + " handles " + std::to_string(stats.handles) +
         " windows " + std::to_string(stats.windows) + " user " +
         std::to_string(stats.user_objects) + " gdi " + std::to_string(stats.gdi_objects) + " ms " +
         std::to_string(stats.milliseconds);
}

}  // namespace standin
