// The "clipdeck-jack-devices" program: prints the JACK device listing (DeviceListing.h)
// on standard output and ends. Clipdeck runs it to keep JACK clients of passing reads out of
// its own process (JackDeviceLister.h).
//
// A device is a JACK client with audio ports, listed in the order the server gives them,
// the first being the default both ways; its output channels are its input ports (what we
// play into), its input channels its output ports. One client of ours reads all of it.

#include "platform/devices/DeviceListing.h"
#include "platform/devices/SoundLibraryMessages.h"

#include <jack/jack.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

jack_client_t* openClient()
{
    // A server that is starting, or starved of time on a loaded machine, can refuse a client
    // it would take a moment later; one that is not there answers at once.
    constexpr int kTries = 3;
    for (int attempt = 0;; ++attempt) {
        jack_status_t status{};
        if (jack_client_t* client = jack_client_open("Clipdeck devices", JackNoStartServer, &status))
            return client;
        if ((status & JackServerFailed) || attempt + 1 == kTries)
            return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

DeviceListing listJackDevices()
{
    DeviceListing listing;
    jack_client_t* client = openClient();
    if (!client)
        return listing;
    const unsigned rate = jack_get_sample_rate(client);
    if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, 0)) {
        for (int i = 0; ports[i]; ++i) {
            const char* colon = std::strchr(ports[i], ':');
            if (!colon || colon == ports[i])
                continue;
            const std::string name(ports[i], size_t(colon - ports[i]));
            ListedDevice* device = nullptr;
            for (ListedDevice& known : listing.devices) {
                if (known.name == name)
                    device = &known;
            }
            if (!device) {
                listing.devices.push_back({unsigned(listing.devices.size()), true, 0, 0, rate, {rate}, name});
                device = &listing.devices.back();
            }
            const int flags = jack_port_flags(jack_port_by_name(client, ports[i]));
            if (flags & JackPortIsInput)
                ++device->outputChannels;
            if (flags & JackPortIsOutput)
                ++device->inputChannels;
        }
        jack_free(ports);
    }
    jack_client_close(client);
    listing.count = unsigned(listing.devices.size());
    return listing;
}

} // namespace

int main()
{
    silenceSoundLibraryMessages();
    const std::string text = formatListing(listJackDevices());
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return std::fflush(stdout) == 0 && written ? 0 : 1;
}
