#!/usr/bin/env bash
# Builds the libFuzzer target over the network MIDI datagram decoder and the session
# message parser with clang (the ordinary build uses gcc).
# Usage: tests/platform/netmidi/fuzz/build-fuzzer.sh [output]   (default: build/fuzz/rtpmidi_datagram_fuzzer)
# Then:  build/fuzz/rtpmidi_datagram_fuzzer -max_total_time=600 <work corpus> tests/platform/netmidi/fuzz/corpus
set -euo pipefail
root="$(cd "$(dirname "$0")/../../../.." && pwd)"
out="${1:-$root/build/fuzz/rtpmidi_datagram_fuzzer}"
mkdir -p "$(dirname "$out")"
# shellcheck disable=SC2046
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" $(pkg-config --cflags Qt6Core) \
  "$root/platform/netmidi/RTPMIDIDatagramDecoder.cpp" "$root/platform/netmidi/RTPMIDISessionMessage.cpp" \
  "$root/tests/platform/netmidi/fuzz/RTPMIDIDatagramFuzzer.cpp" $(pkg-config --libs Qt6Core) -o "$out"
echo "built $out"
