#!/usr/bin/env bash
# Installs what is needed, builds, and runs Korvalo headless. Without
# arguments it runs "Derev.tia" from beside the program when the user has put
# one there, else our own TIA-MC-1 demo game: it starts a game with Enter and
# saves two screenshots in the current directory. With arguments, they go to
# korvalo as they are (see build/app/korvalo --help).
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
top=$(pwd)
scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DKORVALO_TESTS=OFF
cd "$here"
program="$top/build/app/korvalo"
if [ $# -gt 0 ]; then
    exec "$program" "$@"
fi
rom="$top/build/app/Derev.tia"
[ -f "$rom" ] || rom="$top/build/app/KorvaloDemo1.tia"
exec "$program" --headless --frames 600 --keys 60:down:Enter,62:up:Enter \
    --screenshot 50,400 "$rom"
