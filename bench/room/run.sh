#!/usr/bin/env bash
# Hosting CPU benchmark: host_room (castbay capturing its built-in test camera
# and microphone, encoding and publishing) against the ffmpeg CLI capturing
# equivalent live test sources (lavfi smptebars as YUY2, a 1 kHz sine as
# 44.1 kHz stereo 16-bit) with the same libx264 and AAC settings, both
# publishing to the same nginx RTMP server. 640x480 at 30 fps, 20 s per run,
# runs alternated; prints each side's median CPU time (user+sys) and the
# ratio host_room / ffmpeg (1.0 or less is the target).
#
#   bench/room/run.sh [BUILD_DIR] [RUNS] [SECONDS]    defaults: build, 3, 20
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
runs=${2:-3}
seconds=${3:-20}
width=640 height=480 fps=30 rate=44100 channels=2
bit_rate=$((width * height * 8 / 10))  # the camera device's default quality, 0.8 bit per pixel

[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (run scripts/install_deps.sh)" >&2; exit 1; }
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target host_room >/dev/null

work=$(mktemp -d)
cleanup() {
  "$root/scripts/rtmp_server.sh" stop "$work/rtmp" || true
  rm -rf "$work"
}
trap cleanup EXIT
# No sound server is needed: the built-in microphone is GStreamer's own.
export PULSE_SERVER=unix:/nonexistent

port=$("$root/scripts/rtmp_server.sh" start "$work/rtmp")
base="rtmp://127.0.0.1:$port/live"
echo "${width}x${height} YUY2 at $fps fps, ${rate} Hz ${channels} ch S16, ${seconds} s per run; server: $base"

run_ours() {  # RUN
  /usr/bin/time -f "%U %S %e" -o "$work/ours.cpu" \
    "$build/bin/host_room" --seconds "$seconds" --size "${width}x${height}" --fps "$fps" \
    --rate "$rate" --channels "$channels" --bits 16 "$base/ours$1" >"$work/ours.out" 2>"$work/ours.err" ||
    { echo "bench: host_room failed" >&2; cat "$work/ours.out" "$work/ours.err" >&2; exit 1; }
  cat "$work/ours.cpu" >>"$work/ours.all"
}

# The same work: live test sources in the camera's and microphone's formats,
# the encoder settings host_room gives libx264 and AAC, nearest-neighbour
# conversion to 4:2:0, FLV to the same server.
run_ffmpeg() {  # RUN
  /usr/bin/time -f "%U %S %e" -o "$work/ffmpeg.cpu" \
    ffmpeg -hide_banner -loglevel error -nostdin \
    -re -f lavfi -i "smptebars=size=${width}x${height}:rate=$fps,format=yuyv422" \
    -re -f lavfi -i "sine=frequency=1000:sample_rate=$rate,aformat=s16:$rate:stereo" \
    -t "$seconds" -sws_flags neighbor -pix_fmt yuv420p \
    -c:v libx264 -b:v "$bit_rate" -maxrate "$bit_rate" -minrate "$bit_rate" -qcomp 0 \
    -g 10 -bf 10 -b_strategy 0 -refs 3 -threads 2 \
    -c:a aac -b:a 64000 -f flv "$base/cli$1" >"$work/ffmpeg.out" 2>&1 ||
    { echo "bench: ffmpeg failed" >&2; cat "$work/ffmpeg.out" >&2; exit 1; }
  cat "$work/ffmpeg.cpu" >>"$work/ffmpeg.all"
}

for run in $(seq 1 "$runs"); do
  run_ours "$run"
  run_ffmpeg "$run"
done

median() { awk '{ print $1 + $2 }' "$1" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "host_room (last run):"
sed 's/^/  /' "$work/ours.out"
echo "every run, CPU s (host_room / ffmpeg): $(paste -d' ' "$work/ours.all" "$work/ffmpeg.all" |
  awk '{ printf "%s%.2f/%.2f", (NR > 1 ? ", " : ""), $1 + $2, $4 + $5 }')"
awk -v runs="$runs" -v ours="$(median "$work/ours.all")" -v cli="$(median "$work/ffmpeg.all")" 'BEGIN {
  printf "host_room CPU: %.2f s, ffmpeg CLI CPU: %.2f s (median of %d alternating runs each)\n", ours, cli, runs
  printf "ratio host_room / ffmpeg: %.3f (target 1.0 or less)\n", ours / cli
}'
