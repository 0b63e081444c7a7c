#ifndef WEFT_CODEC_DIAGNOSTIC_LINE_H_
#define WEFT_CODEC_DIAGNOSTIC_LINE_H_

#include <cstdio>
#include <string>

namespace weft {

// Diagnostics are single fixed lines on standard error, flushed at once.
inline void WriteDiagnosticLine(const std::string& line) {
  std::fputs(line.c_str(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace weft

#endif  // WEFT_CODEC_DIAGNOSTIC_LINE_H_
