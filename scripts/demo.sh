#!/usr/bin/env bash
# The main job: a private RTMP server on a loopback port, a room hosted to it
# from the built-in test camera and microphone by host_room (castbay), and
# the room watched by watch_room (vidlark). Writes the latest picture the
# watcher received to out/snapshot.png and prints both sides' figures.
#
#   scripts/demo.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}

scripts/install_deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target host_room watch_room >/dev/null

work=$(mktemp -d)
host=""
cleanup() {
  if [ -n "$host" ]; then
    kill "$host" 2>/dev/null || true
    wait "$host" 2>/dev/null || true
  fi
  scripts/rtmp_server.sh stop "$work/rtmp" || true
  rm -rf "$work"
}
trap cleanup EXIT

port=$(scripts/rtmp_server.sh start "$work/rtmp")
url="rtmp://127.0.0.1:$port/live/room"
echo "RTMP server on 127.0.0.1:$port"
echo "hosting a 640x480 room from the built-in test devices with build/bin/host_room to $url ..."
build/bin/host_room --seconds 0 --size 640x480 --fps 30 --rate 44100 --channels 2 --bits 16 \
  "$url" >"$work/host.out" 2>"$work/host.log" &
host=$!
sleep 1.5
if ! kill -0 "$host" 2>/dev/null; then
  wait "$host" || true
  host=""
  echo "host_room failed:" >&2
  cat "$work/host.log" "$work/host.out" >&2
  exit 1
fi

mkdir -p out
echo "watching for $seconds s with build/bin/watch_room ..."
watched=0
build/bin/watch_room --seconds "$seconds" --snapshot out/snapshot.png "$url" || watched=$?

# host_room ends its room on SIGINT and prints what it captured and wrote.
kill -INT "$host"
hosted=0
wait "$host" || hosted=$?
host=""
echo
echo "host_room (castbay):"
cat "$work/host.out"
if [ "$hosted" -ne 0 ]; then
  echo "host_room ended with status $hosted; its messages:" >&2
  cat "$work/host.log" >&2
fi
[ "$watched" -eq 0 ] && [ "$hosted" -eq 0 ]
