// AddressSanitizer settings built into every target, so that the smoke run, a long run and the
// reproduction of a finding all run alike; ASAN_OPTIONS still overrides each of them.
//
// Quarantine: decoding n bytes holds at most 128 n + 1 MiB, 1.5 MiB for the smoke run's
// 4096-byte inputs, so 16 MiB still holds the blocks freed in the last few inputs. The default
// 256 MiB hands out memory that has long gone cold: replaying the same inputs, 16 MiB runs about
// 1.4 times as many a second.
// Allocation stacks: 10 frames name the decoding functions in a report; the default 30, taken on
// every allocation and release, cost about a tenth of the time.
// The function's name is the one the sanitizer runtime looks up.
extern "C" const char* __asan_default_options() {  // NOLINT(bugprone-reserved-identifier)
  return "quarantine_size_mb=16:malloc_context_size=10";
}
