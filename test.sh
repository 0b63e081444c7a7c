#!/usr/bin/env bash
# Builds both presets and runs every test: the formatting check, the native suite with
# AddressSanitizer and UndefinedBehaviorSanitizer, ThreadSanitizer on the messenger and results,
# static analysis, a short run of each fuzzer, then the Windows suite under Wine (in-process, end
# to end, fault and soak).
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
