#!/usr/bin/env bash
# Installs what is needed, builds, and runs Korvalo headless. Without
# arguments it runs the demo game for 600 frames; otherwise the arguments go
# to korvalo (see build/host/korvalo --help).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DKORVALO_TESTS=OFF
if [ $# -eq 0 ]; then
    set -- --headless --frames 600 build/roms/KorvaloDemo1.tia
fi
exec build/host/korvalo "$@"
