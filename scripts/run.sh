#!/usr/bin/env bash
# Installs what is needed, builds, and runs Korvalo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release -DKORVALO_TESTS=OFF
exec build/bench/cpu/cpu_bench "$@"
