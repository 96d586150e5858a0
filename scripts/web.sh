#!/usr/bin/env bash
# Builds the page into build-web/page (the ROM sets from the native build in
# build/, built first when missing) and serves it on 127.0.0.1.
#   scripts/web.sh                 # build, then serve on port 8000
#   scripts/web.sh --port 8080     # another port
#   scripts/web.sh --build-only    # build, do not serve (tests, CI)
# KORVALO_NATIVE_BUILD and KORVALO_WEB_BUILD name other build folders.
set -euo pipefail
cd "$(dirname "$0")/.."
serve=1
port=8000
while [ $# -gt 0 ]; do
    case "$1" in
    --build-only) serve=0 ;;
    --port) port=$2; shift ;;
    *) echo "web.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
native=${KORVALO_NATIVE_BUILD:-build}
web=${KORVALO_WEB_BUILD:-build-web}
command -v emcmake >/dev/null || scripts/deps.sh web
# Debian's em++ finds its JavaScript modules (acorn) only through NODE_PATH.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

if [ ! -f "$native/build.ninja" ]; then
    cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release
fi
cmake --build "$native" -j2 --target korvalo_roms
rom_dir=$(realpath "$native/roms")

emcmake cmake -S . -B "$web" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVALO_ROM_DIR="$rom_dir" >/dev/null
cmake --build "$web" -j2
echo "web.sh: the page is in $web/page"
if [ "$serve" = 1 ]; then
    echo "web.sh: open http://127.0.0.1:$port/ (Ctrl+C stops)"
    exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$web/page"
fi
