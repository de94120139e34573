#!/usr/bin/env bash
# Exploratory fuzzing of the player (not part of CI): builds the harness with
# clang, AddressSanitizer, UBSan and coverage instrumentation of our code,
# then fuzzes in slices, each under the shared CPU lock, growing a working
# corpus from the seeds. Crashes, hangs and leaks land in ARTIFACTS; a
# finding in our code is fixed and its input kept in regressions/.
#
#   tests/fuzz/run_fuzzer.sh [SLICES] [SECONDS_PER_SLICE]    defaults: 6, 540
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
slices=${1:-6}
seconds=${2:-540}
build=${LRK_FUZZ_BUILD:-$root/build-fuzz}
work=${LRK_FUZZ_WORK:-$root/build-fuzz/work}
lock=${LRK_CPU_LOCK:-/work/cpu.lock}
run() { if [ -e "$lock" ]; then flock "$lock" "$@"; else "$@"; fi; }

run env CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLRK_SANITIZE=address -DLRK_FUZZ=explore -DLRK_BUILD_TOOL=OFF -DLRK_BUILD_TESTS=ON >/dev/null
run cmake --build "$build" -j2 --target player_fuzzer >/dev/null
mkdir -p "$work/corpus" "$work/artifacts"
cp -n "$root"/tests/fuzz/corpus/* "$work/corpus/"

for i in $(seq 1 "$slices"); do
  echo "slice $i of $slices (${seconds}s)"
  # Each slice prints its totals; -print_final_stats gives executions.
  run "$build/bin/player_fuzzer" "$work/corpus" -max_total_time="$seconds" -timeout=20 \
    -rss_limit_mb=4096 -max_len=65536 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
    2>"$work/slice_$i.log" || echo "slice $i stopped on a finding: see $work/slice_$i.log"
  grep -E '^(stat::number_of_executed_units|stat::peak_rss_mb)|cov: ' "$work/slice_$i.log" | tail -3
done
ls -l "$work/artifacts"
