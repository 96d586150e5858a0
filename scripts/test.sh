#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the release build with
# the long CPU exerciser and the real-window, Wine and browser tests, then the
# sanitizer build (ASan + UBSan) of the portable tests without the long ones.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh window wine web
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
ctest --test-dir build --output-on-failure -j"$(nproc)"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKORVALO_SANITIZE=ON -DKORVALO_BENCH=OFF
ctest --test-dir build-asan --output-on-failure -j"$(nproc)" -LE 'slow|window|wine|web'
