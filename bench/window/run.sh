#!/usr/bin/env bash
# Runs the window benchmark on the demo under a private Xvfb with openbox, once
# for each way of presenting, and adds the X server's own processor time.
#   bench/window/run.sh [BUILD_DIR] [frames] [presses]   (default build 3600 500)
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
frames=${2:-3600}
presses=${3:-500}
bench="$build/bench/window/window_bench"
rom="$build/app/KorvaloDemo1.tia"
[ -x "$bench" ] || { echo "no $bench: build the window_bench target" >&2; exit 1; }

xvfb_fd=$(mktemp)
Xvfb -displayfd 1 -screen 0 1920x1080x24 -nolisten tcp -noreset >"$xvfb_fd" 2>/dev/null &
xvfb=$!
trap 'kill $wm $xvfb 2>/dev/null || true; rm -f "$xvfb_fd"' EXIT
for _ in $(seq 100); do [ -s "$xvfb_fd" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$xvfb_fd")
openbox >/dev/null 2>&1 &
wm=$!
sleep 1

ticks() { awk '{print $14 + $15}' "/proc/$xvfb/stat"; }
hz=$(getconf CLK_TCK)
for way in surface software accelerated; do
    before=$(ticks)
    start=$(date +%s.%N)
    SDL_AUDIODRIVER=dummy "$bench" "$rom" "$way" "$frames" "$presses" 2>/dev/null
    end=$(date +%s.%N)
    after=$(ticks)
    awk -v t=$((after - before)) -v hz="$hz" -v s="$start" -v e="$end" \
        'BEGIN { printf "  X server: %.2f%% of one core\n", t / hz / (e - s) * 100 }'
done
