#include "diagnostic_sink.h"

#include <stdio.h>
#include <sys/types.h>

#include <algorithm>
#include <iostream>
#include <streambuf>

namespace fuzz {
namespace {

size_t line_count = 0;
std::FILE* real_stderr = stderr;

void CountLines(const char* text, size_t size) {
  line_count += static_cast<size_t>(std::count(text, text + size, '\n'));
}

ssize_t WriteToSink(void*, const char* text, size_t size) {
  CountLines(text, size);
  return static_cast<ssize_t>(size);
}

class CountingBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type character) override {
    if (!traits_type::eq_int_type(character, traits_type::eof())) {
      const char written = traits_type::to_char_type(character);
      CountLines(&written, 1);
    }
    return traits_type::not_eof(character);
  }
  std::streamsize xsputn(const char* text, std::streamsize size) override {
    CountLines(text, static_cast<size_t>(size));
    return size;
  }
};

CountingBuffer counting_buffer;

}  // namespace

void InstallDiagnosticSink() {
  cookie_io_functions_t functions = {};
  functions.write = &WriteToSink;
  std::FILE* sink = fopencookie(nullptr, "w", functions);
  if (sink == nullptr) {
    return;
  }
  std::setvbuf(sink, nullptr, _IONBF, 0);
  real_stderr = stderr;
  stderr = sink;
  std::cerr.rdbuf(&counting_buffer);
}

size_t DiagnosticLineCount() {
  return line_count;
}

std::FILE* RealStandardError() {
  return real_stderr;
}

}  // namespace fuzz
