#!/usr/bin/env bash
# Makes the fuzz harness's seed corpus with the ffmpeg CLI: small FLV
# streams of the kinds a live room sends (kept in corpus/, a few KB each).
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)/corpus
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
ff() { ffmpeg -hide_banner -loglevel error -nostdin -y "$@"; }
video() { echo "testsrc2=size=$1:rate=25"; }
tone="sine=frequency=1000:sample_rate=44100"
x264=(-c:v libx264 -preset veryfast -g 5 -bf 2)

ff -f lavfi -i "$(video 64x48)" -f lavfi -i "$tone" -t 0.4 "${x264[@]}" -pix_fmt yuv420p \
   -c:a aac -ac 2 -b:a 32k "$out/h264_aac.flv"
ff -f lavfi -i "$(video 64x48)" -f lavfi -i "$tone" -t 0.4 "${x264[@]}" -pix_fmt yuv420p \
   -c:a libmp3lame -ac 1 -b:a 32k "$out/h264_mp3.flv"
ff -f lavfi -i "$(video 33x17)" -t 0.3 "${x264[@]}" -pix_fmt yuv420p "$out/odd_size.flv"
ff -f lavfi -i "$(video 40x30)" -t 0.3 "${x264[@]}" -pix_fmt yuv422p "$out/h264_422.flv"
ff -f lavfi -i "$(video 35x21)" -t 0.3 "${x264[@]}" -pix_fmt yuv444p "$out/h264_444.flv"
ff -f lavfi -i "$tone" -t 0.3 -c:a aac -ac 1 -b:a 24k "$out/audio_only.flv"
# A size change in mid-stream: two raw H.264 segments joined, then muxed.
ff -f lavfi -i "$(video 48x32)" -t 0.2 -c:v libx264 -preset veryfast -bf 0 -f h264 "$tmp/a.h264"
ff -f lavfi -i "$(video 80x48)" -t 0.2 -c:v libx264 -preset veryfast -bf 0 -f h264 "$tmp/b.h264"
cat "$tmp/a.h264" "$tmp/b.h264" > "$tmp/ab.h264"
ff -fflags +genpts -r 25 -f h264 -i "$tmp/ab.h264" -c copy "$out/size_change.flv"
ls -l "$out"
