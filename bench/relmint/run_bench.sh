#!/usr/bin/env bash
# Benchmark of the headless manifest build: relmint --build over a generated
# tree of about 20,000 files and 2 GB, against md5sum over the same files
# (one find | xargs md5sum pipeline), warm cache for both, rounds alternating.
# Prints both times and their ratio (relmint / md5sum; lower is better).
#
# Usage: bench/relmint/run_bench.sh [BUILD_DIR] [ROUNDS]
#   BUILD_DIR is configured and built as needed (default: build); ROUNDS
#   defaults to 5.
# Environment: RELMINT_BENCH_FILES (20000), RELMINT_BENCH_BYTES (2147483648),
#   RELMINT_BENCH_DIR (a scratch directory, removed afterwards).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(realpath -m "${1:-$root/build}")
rounds=${2:-5}
files=${RELMINT_BENCH_FILES:-20000}
bytes=${RELMINT_BENCH_BYTES:-2147483648}
relmint="$build/bin/relmint"
cmake -S "$root" -B "$build" -DLRK_BUILD_TOOL=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target relmint >/dev/null

work=$(mktemp -d "${RELMINT_BENCH_DIR:-${TMPDIR:-/tmp}}/relmint-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
tree="$work/client"
echo "generating the tree in $tree ..."
python3 "$here/generate_tree.py" "$tree" "$files" "$bytes"

project="$work/bench.ini"
cat > "$project" <<INI
[General]
loadfrom=$tree
saveto=$work/version_config.xml
INI

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.3f", b - a }'; }
run_relmint() { "$relmint" --build "$project" > /dev/null; }
run_md5sum() { find "$tree" -type f -print0 | xargs -0 md5sum > "$work/md5sum.txt"; }

# Warm the page cache and check that both see the same files and digests.
run_md5sum
run_relmint
listed=$(grep -c '<f s=' "$work/version_config.xml")
summed=$(wc -l < "$work/md5sum.txt")
[ "$listed" -eq "$summed" ] || { echo "relmint listed $listed files, md5sum $summed" >&2; exit 1; }
first=$(head -n1 "$work/md5sum.txt")
grep -q "${first%% *}" "$work/version_config.xml" || { echo "digests differ" >&2; exit 1; }

# Each round times both, side by side, so that a neighbour's load on the
# machine weighs on both; the ratio of each round is what is summed up.
relmint_times=()
md5sum_times=()
ratios=()
for ((round = 1; round <= rounds; round++)); do
  start=$(now); run_md5sum; md5sum_times+=("$(elapsed "$start")")
  start=$(now); run_relmint; relmint_times+=("$(elapsed "$start")")
  ratios+=("$(awk -v r="${relmint_times[-1]}" -v m="${md5sum_times[-1]}" 'BEGIN { printf "%.3f", r / m }')")
  echo "round $round: md5sum ${md5sum_times[-1]} s, relmint ${relmint_times[-1]} s, ratio ${ratios[-1]}"
done

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
md5sum_median=$(median "${md5sum_times[@]}")
relmint_median=$(median "${relmint_times[@]}")
echo "files: $listed, cores: $(nproc)"
echo "md5sum (find | xargs md5sum): $md5sum_median s (median of $rounds)"
echo "relmint --build:              $relmint_median s (median of $rounds)"
echo "ratio relmint / md5sum: $(median "${ratios[@]}") (median of the rounds' ratios; target below 0.7)"
