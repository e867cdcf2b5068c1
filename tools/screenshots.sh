#!/usr/bin/env bash
# Screenshots of the console's dialogs under a real X server (Xvfb), for a look at the layout:
#
#   bash tools/screenshots.sh OUTDIR
#
# main.png is the console as a user starts it (--demo), captured from the X server once the
# poll cycle has had time to find the simulated controllers; settings.png and about.png are the
# settings dialog and the about box, drawn by tools/orvel-screens on the same server.
# Set ORVEL_BUILD_DIR to use another build directory than build/.
set -euo pipefail
out=${1:?usage: bash tools/screenshots.sh OUTDIR}
mkdir -p "$out"
out=$(cd "$out" && pwd)
cd "$(dirname "$0")/.."
build=${ORVEL_BUILD_DIR:-build}

for tool in Xvfb xwininfo import; do
  command -v "$tool" >/dev/null || { echo "screenshots: $tool is missing; run bash tools/setup-deps.sh" >&2; exit 1; }
done
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target orvelseries orvel-screens >/dev/null

tmp=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number to fd 3 once it accepts clients.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
if [ ! -s "$tmp/display" ]; then
  echo "screenshots: Xvfb did not start" >&2; cat "$tmp/xvfb.log" >&2; exit 1
fi
export DISPLAY=":$(head -1 "$tmp/display")"
export QT_QPA_PLATFORM=xcb

"$build/app/orvelseries" --demo >"$tmp/console.log" 2>&1 &
pids+=($!)
caption='Orvel(N) Series RS485 test app.'
window=""
for _ in $(seq 100); do
  window=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$caption\"" | awk '{ print $1; exit }' || true)
  [ -n "$window" ] && break
  sleep 0.1
done
if [ -z "$window" ]; then
  echo "screenshots: the console did not open" >&2; cat "$tmp/console.log" >&2; exit 1
fi
# The walk finds controller 01 at its first answer tick and shows its PV, its SV two polls later.
sleep 6
import -window "$window" "$out/main.png"

"$build/tools/orvel-screens" "$out"
echo "screenshots: $out/main.png $out/settings.png $out/about.png"
