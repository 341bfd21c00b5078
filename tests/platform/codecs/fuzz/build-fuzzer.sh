#!/usr/bin/env bash
# Builds the libFuzzer target over the sound file reader with clang (the ordinary build uses gcc).
# Usage: tests/platform/codecs/fuzz/build-fuzzer.sh [output]   (default: build/fuzz/audio_file_reader_fuzzer)
# Then:  build/fuzz/audio_file_reader_fuzzer -max_total_time=600 -rss_limit_mb=4096 <work corpus> \
#          tests/platform/codecs/fuzz/corpus
set -euo pipefail
root="$(cd "$(dirname "$0")/../../../.." && pwd)"
out="${1:-$root/build/fuzz/audio_file_reader_fuzzer}"
mkdir -p "$(dirname "$out")"
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" $(pkg-config --cflags Qt6Core libavformat libavcodec libavutil libswresample) \
  "$root"/platform/codecs/*.cpp "$root/tests/platform/codecs/fuzz/AudioFileReaderFuzzer.cpp" \
  $(pkg-config --libs Qt6Core libavformat libavcodec libavutil libswresample) -o "$out"
echo "built $out"
