#include "fuzz_check.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "diagnostic_sink.h"

namespace fuzz {

void Fail(const char* format, ...) {
  std::FILE* out = RealStandardError();
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(out, format, arguments);
  va_end(arguments);
  std::fputc('\n', out);
  std::fflush(out);
  std::abort();
}

}  // namespace fuzz
