#!/usr/bin/env bash
# CI only (called by .ci/run after the test command): the codec and player
# suites built with AddressSanitizer and UBSan, the fuzz harness's seeds and
# kept regression inputs replayed once each in the same build, and the
# player's threaded suites built with ThreadSanitizer. Each build holds only
# the targets it runs. Suppressions (scripts/sanitizers/) cover FFmpeg and
# glibc internals only.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)
supp=$root/scripts/sanitizers
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export LSAN_OPTIONS=suppressions=$supp/lsan.supp
export TSAN_OPTIONS=suppressions=$supp/tsan.supp:halt_on_error=1:second_deadlock_stack=1

configure() {  # DIR SANITIZER [extra cmake args]
  local dir=$1 sanitizer=$2
  shift 2
  CC=clang CXX=clang++ cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLRK_BUILD_TOOL=OFF \
    -DLRK_BUILD_TESTS=ON -DLRK_SANITIZE="$sanitizer" "$@" >/dev/null
}

codec_tests=(codec_flip_test codec_h264_decode_test codec_audio_decode_test codec_conversion_bounds_test)
player_tests=(player_pacing_tests player_stream_tests player_unload_tests)
# Test names of those suites (ctest knows every suite's, built or not).
codec_and_player='^(formats_and_sizes/|flip_vertically|h264_decode|codecs/|audio_decode|conversion_bounds|cases/|frame_cache_test|pacer_test|player_|streams/)'
threaded='^(player_fixture|player_lifetime|player_unload|streams/)'
# A gibibyte of pictures is a memory bound, not a threading question; under
# ThreadSanitizer's shadow memory it only costs time.
not_threaded='gibibyte'

start=$(date +%s)
echo "== AddressSanitizer + UBSan: codec and player suites, fuzz replay"
configure build-asan address -DLRK_FUZZ=replay
cmake --build build-asan -j"$jobs" --target "${codec_tests[@]}" "${player_tests[@]}" player_fuzzer vidlark
ctest --test-dir build-asan --output-on-failure -j "$((jobs * 2))" -R "$codec_and_player|^player_fuzz_replay$"

echo "== ThreadSanitizer: threaded player suites"
configure build-tsan thread
cmake --build build-tsan -j"$jobs" --target player_stream_tests player_unload_tests vidlark
ctest --test-dir build-tsan --output-on-failure -j "$((jobs * 2))" -R "$threaded" -E "$not_threaded"
echo "sanitizer runs took $(( $(date +%s) - start )) s"
