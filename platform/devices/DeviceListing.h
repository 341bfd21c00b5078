#pragma once
// What one sound system says about its devices: the device count, the default devices and
// each device's capabilities by index, as RtAudio numbers them (PulseAudio, ALSA) or the JACK
// lister does. The JACK list is read in a child process (JackDeviceLister.h), so the listing
// also travels as text: one line per item, closed by "end", so that a child that died
// half-way is told from one that answered.
//
// Threads: any; nothing here is shared.

#include <rtaudio/RtAudio.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct ListedDevice {
    unsigned index = 0; // RtAudio's index, which the defaults refer to
    bool probed = false;
    unsigned outputChannels = 0;
    unsigned inputChannels = 0;
    unsigned preferredSampleRate = 0;
    std::vector<unsigned> sampleRates;
    std::string name;
};

struct DeviceListing {
    unsigned count = 0;         // devices RtAudio counted, those it could not read included
    unsigned defaultOutput = 0; // an index; count when there is none
    unsigned defaultInput = 0;
    std::vector<ListedDevice> devices; // the readable ones with a name, in index order
};

// Reads the devices of api in this process; an empty listing when the system has none or
// does not answer.
DeviceListing listDevices(RtAudio::Api api);

std::string formatListing(const DeviceListing& listing);
// Nothing unless text is a whole listing (ends with its "end" line).
std::optional<DeviceListing> parseListing(std::string_view text);
