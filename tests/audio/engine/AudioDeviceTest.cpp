#include "audio/engine/ZEPAudioDevice.h"

#include "platform/NotificationCenter.h"
#include "support/JackTestServer.h"
#include "support/ServerRequirement.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace clipdeck::test;

TEST(AudioDevice, PicksTheFirstStandardRateInsideARange)
{
    const struct {
        double minimum, maximum, rate;
    } cases[] = {
        {8000, 8000, 8000}, {50000, 60000, 60000}, {8000, 192000, 44100}, {46000, 100000, 48000},
        {90000, 100000, 96000}, {11000, 12000, 12000}, {11000, 11500, 11025},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ZEPAudioDevice::preferredSampleRateInRange(c.minimum, c.maximum), c.rate)
            << c.minimum << ".." << c.maximum;
    EXPECT_EQ(ZEPAudioDevice::iconImageNameForTransportType(FourCC("usb ")), "kIOAudioDeviceTransportTypeUSB");
    EXPECT_TRUE(ZEPAudioDevice::iconImageNameForTransportType(FourCC("zzzz")).isEmpty());
}

TEST(AudioDevice, ListsTheJackDeviceAndFindsItByUid)
{
    JackTestServer server;
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    AudioHardware::shared().refresh();
    const auto outputs = ZEPAudioDevice::outputAudioDevices();
    ASSERT_EQ(outputs.size(), 1u);
    EXPECT_EQ(outputs[0]->uid(), "jack:system");
    EXPECT_EQ(outputs[0]->name(), "system");
    EXPECT_EQ(outputs[0]->numberOfChannels(), 2u);
    EXPECT_EQ(outputs[0]->nominalSampleRate(), 44100.0);
    EXPECT_TRUE(outputs[0]->availableSampleRates().contains(44100.0));
    EXPECT_FALSE(outputs[0]->supportsGain());
    EXPECT_TRUE(outputs[0]->gains().isEmpty());

    const auto byUid = ZEPAudioDevice::audioDeviceWithDeviceUID("jack:system");
    ASSERT_TRUE(byUid);
    EXPECT_EQ(byUid->audioDeviceID(), outputs[0]->audioDeviceID());
    EXPECT_EQ(ZEPAudioDevice::defaultOutputDevice()->audioDeviceID(), byUid->audioDeviceID());
    EXPECT_FALSE(ZEPAudioDevice::audioDeviceWithDeviceUID("jack:gone"));

    QStringList names, uids;
    ZEPCopyOutputDeviceNamesAndUIDs(&names, &uids);
    EXPECT_EQ(uids, QStringList{"jack:system"});
    AudioObjectID untouched = 77;
    EXPECT_EQ(ZEPDeviceIDForUID(QString(), &untouched), noErr);
    EXPECT_EQ(untouched, 77u);
}

TEST(AudioDevice, AnnouncesDisconnectionAndListChanges)
{
    auto server = std::make_unique<JackTestServer>();
    CLIPDECK_REQUIRE_SERVER(server->running(), "jackd");
    AudioHardware::shared().refresh();
    AudioHardware::shared().setPollingInterval(50);
    const auto device = ZEPAudioDevice::audioDeviceWithDeviceUID("jack:system");
    ASSERT_TRUE(device);
    std::atomic<bool> disconnected{false}, listChanged{false};
    int observer = 0;
    NotificationCenter::defaultCenter().addObserver(&observer, ZEPAudioDeviceDidDisconnectNotification, device.get(),
                                                    [&](const Notification&) { disconnected = true; });
    NotificationCenter::defaultCenter().addObserver(&observer, ZEPAudioDevicesConnectionNotification, nullptr,
                                                    [&](const Notification&) { listChanged = true; });
    server.reset();
    EXPECT_TRUE(waitUntil([&] { return disconnected.load() && listChanged.load(); }));
    NotificationCenter::defaultCenter().removeObserver(&observer);
    EXPECT_TRUE(device->uid().isNull()); // gone
}
