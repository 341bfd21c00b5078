#!/usr/bin/env bash
# Builds the libFuzzer target over the MIDI packet decoder and the system-exclusive command
# decoder with clang (the ordinary build uses gcc).
# Usage: tests/clipdeck/fuzz/build-fuzzer.sh [output]   (default: build/fuzz/midi_parser_fuzzer)
# Then:  build/fuzz/midi_parser_fuzzer -max_total_time=600 <work corpus> tests/clipdeck/fuzz/corpus
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
out="${1:-$root/build/fuzz/midi_parser_fuzzer}"
mkdir -p "$(dirname "$out")"
# shellcheck disable=SC2046
clang++ -std=c++20 -g -O1 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" $(pkg-config --cflags Qt6Core) \
  "$root/clipdeck/ZEPMIDIAction.cpp" "$root/clipdeck/CKSysExAction.cpp" "$root/clipdeck/ZEPMIDIPacketDecoder.cpp" \
  "$root/tests/clipdeck/fuzz/MIDIParserFuzzer.cpp" $(pkg-config --libs Qt6Core) -lb64 -o "$out"
echo "built $out"
