#!/usr/bin/env bash
# Builds the libFuzzer target over the remote receive path (framing, decoding, the message
# layer) with clang (the ordinary build uses gcc): the remote library and what it stands on
# are built by CMake with the fuzzer's instrumentation, then the target is linked to them.
# Usage: tests/remote/fuzz/build-fuzzer.sh [output]   (default: build/fuzz/remote_receive_fuzzer)
# Then:  build/fuzz/remote_receive_fuzzer -max_total_time=600 <work corpus> tests/remote/fuzz/corpus
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
out="${1:-$root/build/fuzz/remote_receive_fuzzer}"
build="$root/build/fuzz/remote-libraries"
flags="-g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS_DEBUG="$flags" -DCMAKE_C_FLAGS_DEBUG="$flags" \
  -DCLIPDECK_TESTS=OFF -DCLIPDECK_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target remote
mkdir -p "$(dirname "$out")"
# shellcheck disable=SC2046
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" $(pkg-config --cflags Qt6Core) "$root/tests/remote/fuzz/RemoteReceiveFuzzer.cpp" \
  -Wl,--start-group $(find "$build" -name '*.a') -Wl,--end-group \
  $(pkg-config --libs Qt6Core libplist-2.0) -o "$out"
echo "built $out"
