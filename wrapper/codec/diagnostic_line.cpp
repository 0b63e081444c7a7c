#include "weft/diagnostic_line.h"

#include <cstdio>

namespace weft {

void WriteDiagnosticLine(std::string_view first, std::string_view second) {
  std::fprintf(stderr, "%.*s%.*s\n", static_cast<int>(first.size()), first.data(),
               static_cast<int>(second.size()), second.data());
  std::fflush(stderr);
}

}  // namespace weft
