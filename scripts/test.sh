#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: the release build with
# the long CPU exerciser and the real-window, Wine and browser tests, then the
# sanitizer build (ASan + UBSan) of the portable tests without the long ones,
# and the key tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh window wine web retroarch
# The tests are turned on in whatever tree build/ already is; a run that
# finds no test fails rather than passing on nothing.
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DKORVALO_TESTS=ON
ctest --test-dir build --output-on-failure --no-tests=error -j"$(nproc)"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKORVALO_SANITIZE=ON -DKORVALO_TESTS=ON \
    -DKORVALO_BENCH=OFF
ctest --test-dir build-asan --output-on-failure --no-tests=error -j"$(nproc)" \
    -LE 'slow|window|wine|web'
# The keyboard hook's thread against the frame loop, under ThreadSanitizer:
# only the key tests, so only their targets are built.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKORVALO_THREAD_SANITIZE=ON \
    -DKORVALO_TESTS=ON -DKORVALO_BENCH=OFF
cmake --build build-tsan -j"$(nproc)" --target win32_keys_test host_test platform_common_test
ctest --test-dir build-tsan --output-on-failure --no-tests=error \
    -R '^(HookKeys|Capture|PacingChoice|HostKeys|KeyQueue)\.'
