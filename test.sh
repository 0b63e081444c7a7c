#!/usr/bin/env bash
# Builds both presets and runs every test: the native suite with sanitizers, then the
# Windows suite under Wine.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

tools/install-deps
jobs=$(nproc)

cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"
ctest --preset linux -j "$jobs"

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
ctest --preset windows -j "$jobs"
