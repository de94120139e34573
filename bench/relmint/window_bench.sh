#!/usr/bin/env bash
# Window benchmark: relmint's window (offscreen platform) over generated
# client trees of 20,000 and 100,000 small files, beside the headless build
# of the same tree. For each tree it prints the time from the scan's start to
# the first paint of the tree, a mark on a directory (which rebuilds the
# rows) and its undo, a page of scrolling, and the peak resident memory of
# the window; then the headless build's time and peak memory.
# Targets: shown within 3 s of the scan's end, a directory mark under 1 s, a
# page scroll under 50 ms, the window's peak below 300 MB at 100,000 files.
#
#   bench/relmint/window_bench.sh [BUILD_DIR] [FILE_COUNTS...]
#     defaults: build, 20000 100000
# Environment: RELMINT_BENCH_DIR (where the trees go; removed afterwards).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(realpath -m "${1:-$root/build}")
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(20000 100000)

[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (run scripts/install_deps.sh)" >&2; exit 1; }
# The window benchmark is built with the test tree.
cmake -S "$root" -B "$build" -DLRK_BUILD_TOOL=ON -DLRK_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target relmint relmint_window_bench >/dev/null

work=$(mktemp -d "${RELMINT_BENCH_DIR:-${TMPDIR:-/tmp}}/relmint-window-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/empty"

for count in "${counts[@]}"; do
  tree="$work/client$count"
  echo "== $count files: generating $tree"
  python3 "$here/generate_tree.py" --nested "$tree" "$count"

  echo "-- window (offscreen)"
  (cd "$work/empty" && QT_QPA_PLATFORM=offscreen "$build/bin/relmint_window_bench" "$tree" \
    >"$work/window.out" 2>"$work/window.err") || { cat "$work/window.out" "$work/window.err" >&2; exit 1; }
  cat "$work/window.out"

  project="$work/bench$count.ini"
  printf '[General]\nloadfrom=%s\nsaveto=%s\n' "$tree" "$work/version_config$count.xml" > "$project"
  echo "-- headless build (relmint --build, hashing every file)"
  /usr/bin/time -f "%e %M" -o "$work/headless.time" "$build/bin/relmint" --build "$project" >/dev/null
  read -r seconds peak_kb < "$work/headless.time"
  echo "listed files: $(grep -c '<f s=' "$work/version_config$count.xml")"
  echo "build time (s): $seconds"
  awk -v kb="$peak_kb" 'BEGIN { printf "peak resident memory (MB): %.1f\n", kb / 1024 }'
  figure() { sed -n "s/^$1: //p" "$work/window.out"; }
  awk -v shown="$(figure 'scan start to tree shown (ms)')" -v build="$seconds" \
      -v window_mb="$(figure 'peak resident memory (MB)')" -v headless_kb="$peak_kb" 'BEGIN {
    printf "ratio window scan-to-shown / headless build: %.2f\n", shown / 1000 / build
    printf "ratio window peak memory / headless peak memory: %.2f\n", window_mb * 1024 / headless_kb
  }'
  rm -rf "$tree"
done
