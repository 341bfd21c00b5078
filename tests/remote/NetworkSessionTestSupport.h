#pragma once
// For the network MIDI session tests: a test inside a network namespace of its own (nothing
// it sends, multicast included, leaves it), the shared MIDI set-up and its network driver,
// and a MIDI client listener that writes down every event it hears.

#include "clipdeck/ZEPMIDIClient.h"
#include "platform/netmidi/MIDIDeviceSetup.h"
#include "platform/netmidi/MIDINetworkDriver.h"
#include "platform/netmidi/RTPMIDIResponder.h"
#include "remote/ZEPMIDINetworkSession.h"
#include "support/NetworkNamespace.h"
#include "support/RTPMIDITestPeer.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QObject>

#include <chrono>
#include <mutex>

namespace netmiditest {

using clipdeck::test::RTPMIDITestPeer;
using Bytes = std::vector<uint8_t>;

class NetworkSessionTest : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_NETWORK_NAMESPACE(ns); }

    void TearDown() override
    {
        // Whatever a failed test left behind goes, so the next test starts clean.
        const MIDIDeviceRef device = driver.device();
        while (setup.numberOfEntities(device) > 0)
            setup.removeEntity(device, setup.entity(device, 0));
    }

public:
    QVariantMap settingsOf(MIDIEntityRef entity) const
    {
        QVariantMap settings;
        setup.dictionaryProperty(entity, MIDINetworkDriver::kSessionProperty, &settings);
        return settings;
    }

public:
    // The port the driver wrote for the entity (0 when it did not within the wait).
    uint16_t waitForPort(MIDIEntityRef entity) const
    {
        clipdeck::test::waitUntil([&] { return settingsOf(entity).value(MIDINetworkDriver::kPortKey).toUInt() != 0; });
        return uint16_t(settingsOf(entity).value(MIDINetworkDriver::kPortKey).toUInt());
    }

protected:
    clipdeck::test::NetworkNamespace ns; // first: every socket of the test is made inside it
    MIDIDeviceSetup& setup = MIDIDeviceSetup::shared();
    MIDINetworkDriver& driver = MIDINetworkDriver::shared();
};

// Hears every event the client dispatches, ordinary or system-exclusive, on the MIDI thread.
class RecordingListener : public ZEPMIDIListener {
public:
    using Clock = std::chrono::steady_clock;

    RecordingListener(QObject* target, ZEPMIDIClient* client)
        : ZEPMIDIListener(target, {}, ZEPMIDIAction::kAnyChannel, ZEPMIDIAction::kAllEvents,
                          ZEPMIDIAction::kAnyButton, client)
    {
    }

    bool fireIfMatchesAction(const std::shared_ptr<const ZEPMIDIAction>& event) override
    {
        std::lock_guard lock(mutex_);
        heard_.push_back(describe(*event));
        times_.push_back(Clock::now());
        return true;
    }

    std::vector<QString> heard() const
    {
        std::lock_guard lock(mutex_);
        return heard_;
    }
    size_t count() const
    {
        std::lock_guard lock(mutex_);
        return heard_.size();
    }
    std::vector<Clock::time_point> times() const
    {
        std::lock_guard lock(mutex_);
        return times_;
    }

    // What the tests compare: the event's description, with the uuid of a sound command.
    static QString describe(const ZEPMIDIAction& event);
    static QString describe(const Bytes& packet);

private:
    mutable std::mutex mutex_;
    std::vector<QString> heard_;
    std::vector<Clock::time_point> times_;
};

} // namespace netmiditest
