#include "platform/devices/DeviceListing.h"

#include <charconv>
#include <sstream>

DeviceListing listDevices(RtAudio::Api api)
{
    DeviceListing listing;
    try {
        RtAudio audio(api);
        audio.showWarnings(false);
        listing.count = audio.getDeviceCount();
        if (listing.count == 0)
            return listing;
        listing.defaultOutput = listing.defaultInput = listing.count;
        try {
            listing.defaultOutput = audio.getDefaultOutputDevice();
            listing.defaultInput = audio.getDefaultInputDevice();
        } catch (const RtAudioError&) {
        }
        for (unsigned index = 0; index < listing.count; ++index) {
            RtAudio::DeviceInfo info;
            try {
                info = audio.getDeviceInfo(index);
            } catch (const RtAudioError&) {
                continue;
            }
            if (info.name.empty())
                continue;
            listing.devices.push_back({index, info.probed, info.outputChannels, info.inputChannels,
                                       info.preferredSampleRate, info.sampleRates, info.name});
        }
    } catch (const RtAudioError&) {
        return {};
    }
    return listing;
}

// "count <n> <default output> <default input>", then per device
// "device <index> <probed> <outputs> <inputs> <preferred rate> <rate,rate,...|-> <name>"
// (the name is the rest of the line), then "end".
std::string formatListing(const DeviceListing& listing)
{
    std::ostringstream out;
    out << "count " << listing.count << ' ' << listing.defaultOutput << ' ' << listing.defaultInput << '\n';
    for (const ListedDevice& device : listing.devices) {
        out << "device " << device.index << ' ' << (device.probed ? 1 : 0) << ' ' << device.outputChannels << ' '
            << device.inputChannels << ' ' << device.preferredSampleRate << ' ';
        if (device.sampleRates.empty())
            out << '-';
        for (size_t i = 0; i < device.sampleRates.size(); ++i)
            out << (i ? "," : "") << device.sampleRates[i];
        std::string name = device.name;
        for (char& c : name) {
            if (c == '\n' || c == '\r')
                c = ' ';
        }
        out << ' ' << name << '\n';
    }
    out << "end\n";
    return out.str();
}

namespace {

// Reads an unsigned number from the front of text, and the space after it unless the text
// ends there.
bool takeNumber(std::string_view& text, unsigned& value)
{
    const char* const last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, value);
    if (error != std::errc() || (end != last && *end != ' '))
        return false;
    text.remove_prefix(size_t(end - text.data()) + (end != last ? 1 : 0));
    return true;
}

bool takeWord(std::string_view& text, std::string_view word)
{
    if (text.substr(0, word.size()) != word)
        return false;
    text.remove_prefix(word.size());
    return true;
}

bool parseRates(std::string_view text, std::vector<unsigned>& rates)
{
    if (text == "-")
        return true;
    while (!text.empty()) {
        unsigned rate = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
        if (error != std::errc())
            return false;
        rates.push_back(rate);
        text.remove_prefix(size_t(end - text.data()));
        if (!text.empty() && !takeWord(text, ","))
            return false;
    }
    return true;
}

} // namespace

std::optional<DeviceListing> parseListing(std::string_view text)
{
    DeviceListing listing;
    bool counted = false;
    while (!text.empty()) {
        const size_t newline = text.find('\n');
        if (newline == std::string_view::npos)
            return std::nullopt; // cut off
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline + 1);
        if (line == "end")
            return counted && text.empty() ? std::optional(listing) : std::nullopt;
        if (takeWord(line, "count ")) {
            if (!takeNumber(line, listing.count) || !takeNumber(line, listing.defaultOutput) ||
                !takeNumber(line, listing.defaultInput) || !line.empty())
                return std::nullopt;
            counted = true;
        } else if (takeWord(line, "device ")) {
            ListedDevice device;
            unsigned probed = 0;
            if (!takeNumber(line, device.index) || !takeNumber(line, probed) || !takeNumber(line, device.outputChannels) ||
                !takeNumber(line, device.inputChannels) || !takeNumber(line, device.preferredSampleRate))
                return std::nullopt;
            const size_t space = line.find(' ');
            if (space == std::string_view::npos || !parseRates(line.substr(0, space), device.sampleRates))
                return std::nullopt;
            device.probed = probed != 0;
            device.name = std::string(line.substr(space + 1));
            if (device.name.empty() || device.index >= listing.count)
                return std::nullopt;
            listing.devices.push_back(std::move(device));
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt; // no "end"
}
