#!/usr/bin/env bash
# Builds the Windows bundle and runs inkmoor.exe under Wine: in a window on $DISPLAY when
# there is one; otherwise under Xvfb, where it saves a screenshot of the window after the
# first frame into build/windows-release/screenshot.png and closes the window.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"

tools/install-deps
cmake --preset windows-release >/dev/null
cmake --build --preset windows-release -j "$(nproc)" --target inkmoor_bundle close_inkmoor

bundle=build/windows-release/bundle
if [[ -n ${DISPLAY:-} ]]; then
  exec tools/wine-run --display "$bundle/inkmoor.exe" "$@"
fi

screen=:77
screenshot=build/windows-release/screenshot.png
log=build/windows-release/run.log
rm -f "$log" "$screenshot"
Xvfb "$screen" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
export DISPLAY=$screen
sleep 1

# A Wine virtual desktop draws real frames and captions even without a window manager.
desktop=/desktop=Quillmere,1280x800
windows_log="Z:${PWD//\//\\}\\${log//\//\\}"
WEFT_STANDIN_LOG=$windows_log tools/wine-run --display explorer "$desktop" "$bundle/inkmoor.exe" "$@" &
app=$!

# The demo application sets its title over the window channel after its first frame.
for _ in $(seq 600); do
  grep -q '^reply quillmere/window' "$log" 2>/dev/null && break
  kill -0 "$app" 2>/dev/null || break
  sleep 0.1
done
sleep 1
import -window root "$screenshot"
tools/wine-run --display explorer "$desktop" build/windows-release/bin/close_inkmoor.exe
status=0
wait "$app" || status=$?
echo "Screenshot: $screenshot (inkmoor.exe exited with $status)"
exit "$status"
