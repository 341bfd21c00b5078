#pragma once
// A MIDI binding (a channel and a button) as the program stores it: a dictionary with the
// unsigned numbers "ZEPMIDIChannel" and "ZEPMIDIButtonID". A sound keeps its own binding this
// way, and the learn controller writes one under its defaults key. Any thread.

#include <QVariant>
#include <QVariantMap>

#include <cstdint>

// No binding.
constexpr int32_t kCKMIDINoChannel = 0x7FFFFFFF;
constexpr uint16_t kCKMIDINoButton = 65535;

// The dictionary of a binding (the empty binding is stored as kCKMIDINoChannel, kCKMIDINoButton).
QVariantMap CKMIDIInformationForChannel(int32_t channel, uint16_t button);

// Reads a binding dictionary: with a dictionary, writes its channel and button (a missing key
// gives kCKMIDINoChannel or kCKMIDINoButton) and answers true; with anything else (nothing
// stored), writes nothing and answers false.
bool CKMIDIInformationDictionary(const QVariant& information, int32_t* channel, uint16_t* button);
