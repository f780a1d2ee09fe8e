#!/usr/bin/env bash
# Takes a screenshot of the running program's main window under a private Xvfb display:
#   scripts/screenshot.sh OUT.png
# The program is built first and started with the machine's real data folder and settings.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:?usage: scripts/screenshot.sh OUT.png}

scripts/deps.sh
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja
cmake --build build --target quillmoor

display=:57
Xvfb $display -screen 0 1100x760x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
sleep 1
DISPLAY=$display build/bin/quillmoor >/dev/null 2>&1 &
app=$!
for _ in $(seq 50); do
    window=$(DISPLAY=$display xdotool search --name '^Quillmoor$' 2>/dev/null | head -n 1) && [ -n "$window" ] && break
    sleep 0.2
done
sleep 1
eval "$(DISPLAY=$display xdotool getwindowgeometry --shell "$window")"
DISPLAY=$display import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "wrote $out"
