#!/usr/bin/env bash
# Builds every preset and runs every test: the formatting check, the native suite with
# AddressSanitizer and UndefinedBehaviorSanitizer, ThreadSanitizer on the messenger and results,
# static analysis, a short run of each fuzzer, the Windows suite under Wine with both Windows
# compilers (in-process, end to end, fault and soak), the DPI and screen matrix and the theme on
# the real host, and the installer's round trip.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

tools/install-deps
jobs=$(nproc)

tools/format-check

cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"
ctest --preset linux -j "$jobs"

tools/tsan
tools/analyze
tools/fuzz-smoke

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
ctest --preset windows -j "$jobs"

tests/environment/dpi_matrix build/windows
tests/environment/theme_check build/windows
tests/package/install_round_trip

cmake --preset windows-clang >/dev/null
cmake --build --preset windows-clang -j "$jobs"
ctest --preset windows-clang -j "$jobs"
