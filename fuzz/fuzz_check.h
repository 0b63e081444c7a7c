// How a fuzz target reports a broken property: one line on the real standard error, then an
// abort, which the fuzzing engine records as a crash with the input that caused it.
#ifndef FUZZ_FUZZ_CHECK_H_
#define FUZZ_FUZZ_CHECK_H_

namespace fuzz {

[[noreturn]] void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline void Check(bool holds, const char* property) {
  if (!holds) {
    Fail("property broken: %s", property);
  }
}

}  // namespace fuzz

#endif  // FUZZ_FUZZ_CHECK_H_
