// The JACK device list crosses from the lister program as text: a whole listing reads back
// as it was written, and a cut-off or garbled one is refused rather than read as "no devices".
#include "platform/devices/DeviceListing.h"

#include <gtest/gtest.h>

namespace {

DeviceListing twoDevices()
{
    DeviceListing listing;
    listing.count = 3; // one device could not be read
    listing.defaultOutput = 0;
    listing.defaultInput = 2;
    listing.devices.push_back({0, true, 2, 2, 48000, {44100, 48000}, "system"});
    listing.devices.push_back({2, false, 0, 0, 0, {}, "Some client: with spaces"});
    return listing;
}

} // namespace

TEST(DeviceListing, AWholeListingReadsBackAsItWasWritten)
{
    const DeviceListing written = twoDevices();
    const auto read = parseListing(formatListing(written));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->count, 3u);
    EXPECT_EQ(read->defaultOutput, 0u);
    EXPECT_EQ(read->defaultInput, 2u);
    ASSERT_EQ(read->devices.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const ListedDevice& a = written.devices[i];
        const ListedDevice& b = read->devices[i];
        EXPECT_EQ(b.index, a.index);
        EXPECT_EQ(b.probed, a.probed);
        EXPECT_EQ(b.outputChannels, a.outputChannels);
        EXPECT_EQ(b.inputChannels, a.inputChannels);
        EXPECT_EQ(b.preferredSampleRate, a.preferredSampleRate);
        EXPECT_EQ(b.sampleRates, a.sampleRates);
        EXPECT_EQ(b.name, a.name);
    }
    const auto empty = parseListing(formatListing(DeviceListing{}));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->count, 0u);
    EXPECT_TRUE(empty->devices.empty());
}

TEST(DeviceListing, APartOrDamagedListingIsRefused)
{
    const std::string whole = formatListing(twoDevices());
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"nothing", ""},
        {"cut before its end", whole.substr(0, whole.size() - 4)},
        {"cut mid-line", whole.substr(0, whole.find("system") + 3)},
        {"no count", "device 0 1 2 2 44100 44100 system\nend\n"},
        {"an index past the count", "count 1 0 0\ndevice 1 1 2 2 44100 44100 system\nend\n"},
        {"a device without a name", "count 1 0 0\ndevice 0 1 2 2 44100 44100 \nend\n"},
        {"a bad rate", "count 1 0 0\ndevice 0 1 2 2 44100 44100,x system\nend\n"},
        {"an unknown line", "count 0 0 0\nhello\nend\n"},
        {"text after the end", "count 0 0 0\nend\nmore\n"},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(parseListing(c.text)) << c.what;
}
