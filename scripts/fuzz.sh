#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, ASan + UBSan) in build-fuzz/ and runs
# each one from its committed corpus for FUZZ_SECONDS seconds (default 60).
# Fails on any finding (crash, sanitizer report, broken invariant, hang over
# FUZZ_TIMEOUT seconds, leak); the input is kept in build-fuzz/fuzz-work/<harness>/.
#   FUZZ_SECONDS=3600 scripts/fuzz.sh                 # longer
#   FUZZ_HARNESSES="fuzz_core" scripts/fuzz.sh        # one harness
# New inputs found are kept in build-fuzz/fuzz-work/<harness>/corpus/ and used
# again by the next run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh fuzz
seconds=${FUZZ_SECONDS:-60}
timeout=${FUZZ_TIMEOUT:-30}
harnesses=${FUZZ_HARNESSES:-fuzz_core fuzz_present fuzz_romset fuzz_state}

CC=clang CXX=clang++ scripts/build.sh build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKORVALO_FUZZ=ON -DKORVALO_TESTS=OFF -DKORVALO_BENCH=OFF

max_len() {
    case $1 in
    fuzz_romset) echo 204800 ;; # two ROM sets of up to 100 KB each
    fuzz_core) echo 65584 ;;    # header and a whole 64 KB image
    fuzz_state) echo 32768 ;;   # a whole state (27 KB) and room to grow
    *) echo 16384 ;;
    esac
}

passed=0
failed=0
for h in $harnesses; do
    work=build-fuzz/fuzz-work/$h
    mkdir -p "$work/corpus"
    echo "== $h: ${seconds}s"
    if build-fuzz/fuzz/$h -max_total_time="$seconds" -max_len="$(max_len "$h")" \
        -timeout="$timeout" -rss_limit_mb=4096 -print_final_stats=1 \
        -artifact_prefix="$work/" "$work/corpus" "fuzz/corpus/$h" >"$work/log" 2>&1; then
        grep -E '^(Done|stat::number_of_executed_units|stat::average_exec_per_sec)' "$work/log"
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        tail -n 60 "$work/log"
        echo "== $h: FINDING, input kept in $work/ (log: $work/log)"
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
