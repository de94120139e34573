#!/usr/bin/env bash
# Publishing CPU benchmark: publish_room (castbay's publisher) against the
# ffmpeg CLI, each encoding the same 600 frames of 640x480 YUY2 at 30 fps
# with 44.1 kHz stereo 16-bit PCM from raw files, with the same libx264 and
# AAC settings, and publishing to the same nginx RTMP server, one after the
# other. Prints the CPU time (user+sys) of each and the ratio
# publish_room / ffmpeg (1.0 or less is the target).
#
#   bench/publish/run.sh [BUILD_DIR] [RUNS]    defaults: build, 3
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
runs=${2:-3}
width=640 height=480 fps=30 frames=600 rate=44100 channels=2
bit_rate=$((width * height * 8 / 10))  # the camera device's default quality, 0.8 bit per pixel

[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (run scripts/install_deps.sh)" >&2; exit 1; }
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target publish_room >/dev/null

work=$(mktemp -d)
cleanup() {
  "$root/scripts/rtmp_server.sh" stop "$work/rtmp" || true
  rm -rf "$work"
}
trap cleanup EXIT

# The captured media, made once and read from the page cache by both sides.
ffmpeg -hide_banner -loglevel error -nostdin -f lavfi -i "testsrc2=size=${width}x${height}:rate=$fps" \
  -frames:v "$frames" -pix_fmt yuyv422 -f rawvideo "$work/video.yuv"
ffmpeg -hide_banner -loglevel error -nostdin \
  -f lavfi -i "sine=frequency=1000:sample_rate=$rate" -t $((frames / fps)) \
  -ac "$channels" -f s16le "$work/audio.pcm"
cat "$work/video.yuv" "$work/audio.pcm" >/dev/null

port=$("$root/scripts/rtmp_server.sh" start "$work/rtmp")
base="rtmp://127.0.0.1:$port/live"
echo "input: $frames frames ${width}x${height} YUY2 at $fps fps, ${rate} Hz ${channels} ch S16; server: $base"

run_ours() {
  /usr/bin/time -f "%U %S %e" -o "$work/ours.cpu" \
    "$build/bin/publish_room" "$work/video.yuv" "$width" "$height" "$fps" \
    "$work/audio.pcm" "$rate" "$channels" "$base/ours" >"$work/ours.out" 2>"$work/ours.err" ||
    { echo "bench: publish_room failed" >&2; cat "$work/ours.out" "$work/ours.err" >&2; exit 1; }
}

# The same encode: the encoder settings publish_room gives libx264 and AAC,
# nearest-neighbour conversion to 4:2:0, FLV to the same server.
run_ffmpeg() {
  /usr/bin/time -f "%U %S %e" -o "$work/ffmpeg.cpu" \
    ffmpeg -hide_banner -loglevel error -nostdin \
    -f rawvideo -pix_fmt yuyv422 -s "${width}x${height}" -r "$fps" -i "$work/video.yuv" \
    -f s16le -ar "$rate" -ac "$channels" -i "$work/audio.pcm" \
    -sws_flags neighbor -pix_fmt yuv420p \
    -c:v libx264 -b:v "$bit_rate" -maxrate "$bit_rate" -minrate "$bit_rate" -qcomp 0 \
    -g 10 -bf 10 -b_strategy 0 -refs 3 -threads 2 \
    -c:a aac -b:a 64000 -f flv "$base/cli" >"$work/ffmpeg.out" 2>&1 ||
    { echo "bench: ffmpeg failed" >&2; cat "$work/ffmpeg.out" >&2; exit 1; }
}

# Alternate runs; the least CPU of each side is its figure (load from other
# processes on the machine only ever adds to it).
for _ in $(seq 1 "$runs"); do
  run_ours
  cat "$work/ours.cpu" >>"$work/ours.all"
  run_ffmpeg
  cat "$work/ffmpeg.cpu" >>"$work/ffmpeg.all"
done
least() { awk '{ t = $1 + $2; if (NR == 1 || t < best) { best = t; line = $0 } } END { print line }' "$1"; }

echo "publish_room: $(cat "$work/ours.out")"
echo "every run, CPU s (publish_room / ffmpeg): $(paste -d' ' "$work/ours.all" "$work/ffmpeg.all" |
  awk '{ printf "%s%.2f/%.2f", (NR > 1 ? ", " : ""), $1 + $2, $4 + $5 }')"
read -r ou os oe <<<"$(least "$work/ours.all")"
read -r fu fs fe <<<"$(least "$work/ffmpeg.all")"
awk -v runs="$runs" -v ou="$ou" -v os="$os" -v oe="$oe" -v fu="$fu" -v fs="$fs" -v fe="$fe" 'BEGIN {
  ours = ou + os; cli = fu + fs
  printf "publish_room CPU: %.2f s (user %.2f, sys %.2f, wall %.2f s)\n", ours, ou, os, oe
  printf "ffmpeg CLI   CPU: %.2f s (user %.2f, sys %.2f, wall %.2f s)\n", cli, fu, fs, fe
  printf "(least of %d alternating runs each)\n", runs
  printf "ratio publish_room / ffmpeg: %.3f (target 1.0 or less)\n", ours / cli
}'
