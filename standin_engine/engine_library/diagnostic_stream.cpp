#include "diagnostic_stream.h"

#include <cstdio>
#include <mutex>
#include <string>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace standin {

namespace {

constexpr int kNoDescriptor = -1;

int DuplicateStandardError() {
#if defined(_WIN32)
  return _dup(_fileno(stderr));
#else
  return dup(fileno(stderr));
#endif
}

void CloseDescriptor(int descriptor) {
#if defined(_WIN32)
  _close(descriptor);
#else
  close(descriptor);
#endif
}

void WriteAll(int descriptor, const std::string& text) {
#if defined(_WIN32)
  _write(descriptor, text.data(), static_cast<unsigned int>(text.size()));
#else
  const ssize_t written = write(descriptor, text.data(), text.size());
  static_cast<void>(written);
#endif
}

class DiagnosticStream {
 public:
  DiagnosticStream() : descriptor_(DuplicateStandardError()) {}
  ~DiagnosticStream() { Close(); }
  DiagnosticStream(const DiagnosticStream&) = delete;
  DiagnosticStream& operator=(const DiagnosticStream&) = delete;

  void Write(const char* line) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (descriptor_ == kNoDescriptor) {
      return;
    }
    WriteAll(descriptor_, std::string(line) + "\n");
  }

  void Resync() {
    std::lock_guard<std::mutex> hold(mutex_);
    Close();
    descriptor_ = DuplicateStandardError();
  }

 private:
  void Close() {
    if (descriptor_ != kNoDescriptor) {
      CloseDescriptor(descriptor_);
    }
    descriptor_ = kNoDescriptor;
  }

  std::mutex mutex_;
  int descriptor_;
};

// Built when the library is loaded, so the duplicate is of the standard error at that moment.
DiagnosticStream g_stream;

}  // namespace

void WriteDiagnosticLine(const char* line) {
  g_stream.Write(line);
}

void ResyncDiagnosticStream() {
  g_stream.Resync();
}

}  // namespace standin
