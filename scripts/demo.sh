#!/usr/bin/env bash
# The main job: a private RTMP server on a loopback port, a live test stream
# fed to it by the ffmpeg CLI, and the player watching it. Writes the latest
# picture to out/snapshot.png and prints the player's figures.
#
#   scripts/demo.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}

scripts/install_deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target watch_room >/dev/null

work=$(mktemp -d)
feeder=""
cleanup() {
  # Keeps the job's own exit status: the feeder ends by our signal.
  if [ -n "$feeder" ]; then
    kill "$feeder" 2>/dev/null || true
    wait "$feeder" 2>/dev/null || true
  fi
  scripts/rtmp_server.sh stop "$work/rtmp" || true
  rm -rf "$work"
}
trap cleanup EXIT

port=$(scripts/rtmp_server.sh start "$work/rtmp")
url="rtmp://127.0.0.1:$port/live/room"
echo "RTMP server on 127.0.0.1:$port; publishing a 1280x720 test room to $url"

ffmpeg -hide_banner -loglevel error -nostdin \
  -re -f lavfi -i "testsrc2=size=1280x720:rate=30" \
  -re -f lavfi -i "sine=frequency=440:sample_rate=44100" \
  -c:v libx264 -preset veryfast -tune zerolatency -g 30 -pix_fmt yuv420p \
  -c:a aac -ac 2 -b:a 128k -f flv "$url" >"$work/feeder.log" 2>&1 &
feeder=$!
sleep 1.5

mkdir -p out
echo "watching for $seconds s with build/bin/watch_room ..."
build/bin/watch_room --seconds "$seconds" --snapshot out/snapshot.png "$url"
