#!/usr/bin/env bash
# Installs what is needed, builds, and runs Korvalo. Without arguments it
# opens the window on "Derev.tia" from beside the program when the user has
# put one there, else on our own TIA-MC-1 demo game, and plays until the
# window is closed. Where no display is reachable it says so and runs the
# demo headless instead: it starts a game with Enter and saves two
# screenshots in the current directory. With arguments, they go to korvalo
# as they are (see build/app/korvalo --help).
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
top=$(pwd)
scripts/deps.sh
# Only the program and the ROM sets are built; the tree keeps whatever else
# it was configured with, so the test command can use it too.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target korvalo korvalo_roms
cd "$here"
program="$top/build/app/korvalo"

display_reachable() {
    if [ -n "${WAYLAND_DISPLAY:-}" ]; then return 0; fi
    [ -n "${DISPLAY:-}" ] || return 1
    if command -v xdpyinfo >/dev/null 2>&1; then
        timeout 5 xdpyinfo >/dev/null 2>&1
    fi
}
if [ $# -gt 0 ]; then
    exec "$program" "$@"
fi
rom="$top/build/app/Derev.tia"
[ -f "$rom" ] || rom="$top/build/app/KorvaloDemo1.tia"
if display_reachable; then
    exec "$program" "$rom"
fi
echo "run.sh: no display reachable (DISPLAY/WAYLAND_DISPLAY); running the demo headless instead"
exec "$program" --headless --frames 600 --keys 60:down:Enter,62:up:Enter \
    --screenshot 50,400 "$rom"
