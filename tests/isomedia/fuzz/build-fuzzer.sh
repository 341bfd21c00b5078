#!/usr/bin/env bash
# Builds the libFuzzer target over the ISO media parser with clang (the ordinary build uses gcc).
# Usage: tests/isomedia/fuzz/build-fuzzer.sh [output]   (default: build/fuzz/mp4_parser_fuzzer)
# Then:  build/fuzz/mp4_parser_fuzzer -max_total_time=600 <work corpus> tests/isomedia/fuzz/corpus
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
out="${1:-$root/build/fuzz/mp4_parser_fuzzer}"
mkdir -p "$(dirname "$out")"
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" "$root"/isomedia/*.cpp "$root/tests/isomedia/fuzz/MP4ParserFuzzer.cpp" -o "$out"
echo "built $out"
