#!/usr/bin/env bash
# Builds the libFuzzer target over the unzipper with clang (the ordinary build uses gcc).
# Usage: tests/clipdeck/zipfuzz/build-fuzzer.sh [output]   (default: build/fuzz/unzip_fuzzer)
# Then:  build/fuzz/unzip_fuzzer -max_total_time=600 <work corpus> tests/clipdeck/zipfuzz/corpus
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
out="${1:-$root/build/fuzz/unzip_fuzzer}"
mkdir -p "$(dirname "$out")"
sources=(
  platform/Error.cpp platform/MainThread.cpp platform/OperationQueue.cpp
  clipdeck/ZipEntryReader.cpp clipdeck/ZipFile.cpp clipdeck/ZipReadStream.cpp clipdeck/ZipWriteStream.cpp
  clipdeck/ZEPZipper.cpp clipdeck/ZEPZipOperation.cpp clipdeck/ZEPUnzipper.cpp clipdeck/ZEPUnzipOperation.cpp
  tests/clipdeck/zipfuzz/UnzipperFuzzer.cpp
)
# shellcheck disable=SC2046
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" $(pkg-config --cflags Qt6Core minizip zlib) \
  "${sources[@]/#/$root/}" $(pkg-config --libs Qt6Core minizip zlib) -lpthread -o "$out"
echo "built $out"
