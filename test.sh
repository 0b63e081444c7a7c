#!/usr/bin/env bash
# Builds every preset and runs every test: the formatting check, the native suite with
# AddressSanitizer and UndefinedBehaviorSanitizer and the fuzzers from the same build,
# ThreadSanitizer on the messenger and results, the Windows suite under Wine on the Release build
# that ships (in-process, end to end, fault and soak), the DPI and screen matrix and the theme on
# that build's bundle, the release package and its round trip, the Windows suite again with
# clang, and static analysis. Prints each step's time as it ends and a table of all at the end.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

jobs=$(nproc)
timings=()
started=$SECONDS

# step NAME COMMAND...: runs one step of the test command and notes its time.
step() {
  local name=$1 start=$SECONDS
  shift
  echo "==> $name"
  "$@"
  timings+=("$(printf '%6d s  %s' $((SECONDS - start)) "$name")")
  echo "<== $name: $((SECONDS - start)) s"
}

report() {
  local status=$?
  echo
  echo "test.sh: step times"
  printf '%s\n' "${timings[@]}"
  printf '%6d s  %s\n' $((SECONDS - started)) "in all, exit status $status"
}
trap report EXIT

build_and_test() {
  local preset=$1
  shift
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs" "$@"
}

step "install-deps" tools/install-deps
step "format-check" tools/format-check
step "native suite, clang, ASan + UBSan" build_and_test linux
step "fuzz-smoke" tools/fuzz-smoke
step "tsan" tools/tsan
step "Windows suite, Release, mingw-w64 gcc" build_and_test windows-release
step "dpi_matrix" tests/environment/dpi_matrix build/windows-release
step "theme_check" tests/environment/theme_check build/windows-release
step "install_round_trip" tests/package/install_round_trip
# The soak ran under gcc already; clang builds and runs everything else.
step "Windows suite, Debug, clang" build_and_test windows-clang -E inkmoor_soak_test
step "analyze" tools/analyze
