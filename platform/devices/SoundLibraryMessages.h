#pragma once
// ALSA and JACK print to standard error whenever a probe finds no card or no server, which
// the device and MIDI polling do every second; the lists themselves say what is there. This
// silences both libraries' messages for the whole process (once; any thread).

void silenceSoundLibraryMessages();
