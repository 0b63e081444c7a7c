// The code under test writes a diagnostic line to standard error for every bad input, which
// would flood the fuzzing engine's output. The sink takes the place of the process's stderr
// stream (and of std::cerr) and only counts the lines, so that a target can also tell whether
// an input decoded cleanly. The fuzzing engine and the sanitizers keep writing to the real
// standard error: they hold their own stream or write to the descriptor directly.
#ifndef FUZZ_DIAGNOSTIC_SINK_H_
#define FUZZ_DIAGNOSTIC_SINK_H_

#include <cstddef>
#include <cstdio>

namespace fuzz {

// Call once, from LLVMFuzzerInitialize.
void InstallDiagnosticSink();
// Lines written to the sink since it was installed.
size_t DiagnosticLineCount();
// The stream that stderr was before the sink took its place.
std::FILE* RealStandardError();

// Counts the diagnostic lines written during its lifetime.
class DiagnosticWatch {
 public:
  DiagnosticWatch() : start_(DiagnosticLineCount()) {}
  size_t Lines() const { return DiagnosticLineCount() - start_; }
  bool Clean() const { return Lines() == 0; }

 private:
  size_t start_;
};

}  // namespace fuzz

#endif  // FUZZ_DIAGNOSTIC_SINK_H_
