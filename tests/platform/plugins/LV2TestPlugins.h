#pragma once
// The LV2 plugins the tests run: the installed example amplifier (mono) and the mda
// collection (stereo), and the tests' own delay that reports its latency. Test programs
// that use them are declared with clipdeck_use_test_plugins() (tests/platform/plugins).

#include <QtGlobal>

namespace clipdeck::test {

// A mono gain: control port 0 "gain" in dB (-90..24).
inline constexpr const char* kAmpURI = "http://lv2plug.in/plugins/eg-amp";
inline constexpr const char* kMdaDelayURI = "http://drobilla.net/plugins/mda/Delay";
// A stereo delay of port 0 "delay" whole frames (100 at first), reported as its latency.
inline constexpr const char* kLatencyDelayURI = "urn:clipdeck-test:latency-delay";

// Points lilv at those plugins and nothing else. Call before the catalogue is first used.
inline void useTestPlugins() { qputenv("LV2_PATH", CLIPDECK_TEST_LV2_PATH); }

} // namespace clipdeck::test
