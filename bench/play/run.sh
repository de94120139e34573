#!/usr/bin/env bash
# Player CPU benchmark: watch_room (vidlark) against the ffmpeg CLI, both
# decoding the same live 30 fps H.264 + AAC stream (1280x720 unless told)
# at the same time to bottom-up BGR24 pictures and 16-bit PCM. Prints the
# CPU time (user+sys) of each and the ratio watch_room / ffmpeg (1.0 or less
# is the target). A width that is not a multiple of 64 (854x480) measures
# the player's padded conversion.
#
#   bench/play/run.sh [BUILD_DIR] [SECONDS] [SIZE]    defaults: build, 20, 1280x720
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
seconds=${2:-20}
size=${3:-1280x720}

[ -x /usr/bin/time ] || { echo "bench: /usr/bin/time is missing (run scripts/install_deps.sh)" >&2; exit 1; }
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target watch_room >/dev/null
watch_room=$build/bin/watch_room

work=$(mktemp -d)
feeder=""
cleanup() {
  if [ -n "$feeder" ]; then kill "$feeder" 2>/dev/null || true; wait "$feeder" 2>/dev/null || true; fi
  "$root/scripts/rtmp_server.sh" stop "$work/rtmp" || true
  rm -rf "$work"
}
trap cleanup EXIT

port=$("$root/scripts/rtmp_server.sh" start "$work/rtmp")
url="rtmp://127.0.0.1:$port/live/bench"

# The stream outlives both measured runs, whatever their start-up takes.
ffmpeg -hide_banner -loglevel error -nostdin \
  -re -f lavfi -i "testsrc2=size=$size:rate=30" \
  -re -f lavfi -i "sine=frequency=1000:sample_rate=44100" \
  -t $((seconds + 30)) \
  -c:v libx264 -preset veryfast -g 30 -pix_fmt yuv420p \
  -c:a aac -ac 2 -b:a 128k -f flv "$url" >"$work/feeder.log" 2>&1 &
feeder=$!

# Wait until the stream is live, so that neither side pays for the wait.
live=0
for _ in $(seq 1 40); do
  if ffprobe -v quiet -rw_timeout 2000000 -show_entries stream=codec_type -of csv=p=0 "$url" 2>/dev/null |
     grep -q audio; then live=1; break; fi
  kill -0 "$feeder" 2>/dev/null || break
  sleep 0.25
done
if [ "$live" != 1 ]; then
  echo "bench: the test stream did not come up" >&2
  cat "$work/feeder.log" >&2
  exit 1
fi

echo "stream: $url ($size 30 fps H.264 veryfast + AAC 44.1 kHz stereo); measuring ${seconds}s"

# Both sides start together and read the same live stream.
/usr/bin/time -f "%U %S" -o "$work/watch_room.cpu" \
  "$watch_room" --seconds "$seconds" "$url" >"$work/watch_room.out" 2>"$work/watch_room.err" &
watch_pid=$!
/usr/bin/time -f "%U %S" -o "$work/ffmpeg.cpu" \
  ffmpeg -hide_banner -loglevel error -nostdin -progress "$work/ffmpeg.progress" -i "$url" \
  -map 0:v -t "$seconds" -vf vflip -pix_fmt bgr24 -f rawvideo -y /dev/null \
  -map 0:a -t "$seconds" -f s16le -y /dev/null \
  >"$work/ffmpeg.out" 2>"$work/ffmpeg.err" &
ffmpeg_pid=$!

status=0
wait "$watch_pid" || { echo "bench: watch_room failed" >&2; cat "$work/watch_room.err" >&2; status=1; }
wait "$ffmpeg_pid" || { echo "bench: ffmpeg failed" >&2; cat "$work/ffmpeg.err" >&2; status=1; }
[ "$status" = 0 ] || exit 1

cpu() { awk 'NF == 2 { printf "%.2f", $1 + $2 }' "$1"; }
watch_cpu=$(cpu "$work/watch_room.cpu")
ffmpeg_cpu=$(cpu "$work/ffmpeg.cpu")
ffmpeg_frames=$(grep '^frame=' "$work/ffmpeg.progress" | tail -1 | cut -d= -f2)
watch_decoded=$(sed -n 's/.*pictures decoded \([0-9]*\).*/\1/p' "$work/watch_room.out")
watch_shown=$(sed -n 's/^pictures delivered: *\([0-9]*\).*/\1/p' "$work/watch_room.out")

echo
sed 's/^/  watch_room | /' "$work/watch_room.out"
echo
printf '%-12s %10s  %s\n' "" "CPU (s)" "pictures"
printf '%-12s %10s  %s decoded, %s delivered\n' "watch_room" "$watch_cpu" "${watch_decoded:-?}" "${watch_shown:-?}"
printf '%-12s %10s  %s decoded and written\n' "ffmpeg" "$ffmpeg_cpu" "${ffmpeg_frames:-?}"
awk -v a="$watch_cpu" -v b="$ffmpeg_cpu" 'BEGIN {
  if (b <= 0) { print "ratio watch_room/ffmpeg: n/a (ffmpeg used no CPU time)"; exit }
  r = a / b
  printf "ratio watch_room/ffmpeg: %.2f (target 1.0 or less: %s)\n", r, (r <= 1.0 ? "met" : "NOT met")
}'
# The two may decode a few pictures more or fewer in the same time.
if [ -n "$watch_decoded" ] && [ -n "$ffmpeg_frames" ]; then
  awk -v a="$watch_cpu" -v n="$watch_decoded" -v b="$ffmpeg_cpu" -v m="$ffmpeg_frames" 'BEGIN {
    if (a > 0 && b > 0 && n > 0 && m > 0)
      printf "per decoded picture: watch_room %.2f ms, ffmpeg %.2f ms (ratio %.2f)\n",
             1000 * a / n, 1000 * b / m, (a / n) / (b / m)
  }'
fi
