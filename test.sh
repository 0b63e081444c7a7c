#!/usr/bin/env bash
# Builds every preset and runs every test: the formatting check, the native suite with
# AddressSanitizer and UndefinedBehaviorSanitizer and the fuzzers from the same build,
# ThreadSanitizer on the messenger and results, the mitigations and symbols of the shipped
# programs, the Windows suite under Wine on the Release build that ships (in-process, end to end
# with crash dumps read back, fault and soak), the DPI and screen matrix and the theme on that
# build's bundle, the release package signed by a test CA, rebuilt in a second checkout against
# an engine package and compared byte for byte, and its install, upgrade, downgrade, per-user and
# MSI round trip, the Windows suite again with gcc, and static analysis.
#
# The tests under Wine mostly wait (for frames, windows, processes), so they run in lanes beside
# the builds and checks that keep both cores busy; a lane's output is shown when it is joined.
# Prints each step's time as it ends, and a table of all of them at the end.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

jobs=$(nproc)
logs=build/test-logs
timings=$logs/timings

# step NAME COMMAND...: runs one step and notes its time.
step() {
  local name=$1 start=$SECONDS
  shift
  echo "==> $name"
  "$@"
  printf '%6d s  %s\n' $((SECONDS - start)) "$name" >>"$timings"
  echo "<== $name: $((SECONDS - start)) s"
}

build() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs"
}

# The lanes: steps that run beside the others, each lane's in order.
lane_native() {
  step "native suite (beside)" ctest --preset linux -j "$jobs"
  step "tsan (beside)" tools/tsan
}

lane_release() {
  step "Windows suite, Release, clang + lld (beside)" ctest --preset windows-release -j "$jobs"
  step "dpi_matrix (beside)" tests/environment/dpi_matrix build/windows-release
  step "theme_check (beside)" tests/environment/theme_check build/windows-release
  step "package: signed, rebuilt and compared, installed, upgraded (NSIS + MSI) (beside)" \
    tests/package/install_round_trip
  # A prefix's services keep running, and waking, as long as its server does.
  tools/wine-run --stop build/windows-release/wine-null
}

lane_gcc() {
  # The soak ran on the release already.
  step "Windows suite, mingw-w64 gcc (beside)" \
    ctest --preset windows-gcc -j "$jobs" -E inkmoor_soak_test
  tools/wine-run --stop build/windows-gcc/wine-null
}

if [[ ${1:-} == --lane ]]; then
  "lane_$2"
  exit
fi

lanes=()
# start_lane NAME: runs lane_NAME in a process group of its own, its output in a log.
start_lane() {
  setsid bash "$PWD/test.sh" --lane "$1" >"$logs/$1.log" 2>&1 &
  lanes+=("$1:$!")
}

# join_lane NAME: waits for the lane, shows what it wrote, and fails when it failed.
join_lane() {
  local entry pid status=0
  for entry in "${lanes[@]}"; do
    [[ ${entry%%:*} == "$1" ]] && pid=${entry#*:}
  done
  wait "$pid" || status=$?
  echo "==> lane $1, beside the steps above:"
  cat "$logs/$1.log"
  lanes=("${lanes[@]/$1:$pid/}")
  [[ $status -eq 0 ]] || { echo "test.sh: lane $1 failed with $status"; exit "$status"; }
}

report() {
  local status=$? entry
  for entry in "${lanes[@]}"; do
    [[ -n $entry ]] && kill -- "-${entry#*:}" 2>/dev/null || true
  done
  echo
  echo "test.sh: step times (steps marked beside ran at the same time as others)"
  cat "$timings"
  printf '%6d s  %s\n' $((SECONDS - started)) "in all, exit status $status"
}

started=$SECONDS
rm -rf "$logs"
mkdir -p "$logs"
trap report EXIT

step "install-deps" tools/install-deps

step "format-check" tools/format-check
step "native build, clang, ASan + UBSan, with the fuzz targets" build linux
start_lane native
step "Windows build, Release, clang + lld" build windows-release
step "check-binaries: mitigations and symbols of the shipped programs" tools/check-binaries build/windows-release
start_lane release
step "Windows build, mingw-w64 gcc, assertions on" build windows-gcc
start_lane gcc
step "fuzz-smoke" tools/fuzz-smoke
step "analyze" tools/analyze
join_lane native
join_lane gcc
join_lane release
