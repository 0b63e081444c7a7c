#ifndef WEFT_DIAGNOSTIC_LINE_H_
#define WEFT_DIAGNOSTIC_LINE_H_

#include <string_view>

namespace weft {

// Writes first and second as one line to the standard error stream and flushes it. One stream
// call, so that a line written from another thread is never split by another line.
void WriteDiagnosticLine(std::string_view first, std::string_view second = {});

}  // namespace weft

#endif  // WEFT_DIAGNOSTIC_LINE_H_
