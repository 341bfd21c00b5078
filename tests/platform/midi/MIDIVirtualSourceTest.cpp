#include "platform/midi/MIDIInputPort.h"
#include "platform/midi/MIDISystem.h"
#include "platform/midi/MIDIVirtualSource.h"

#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>

using clipdeck::test::waitUntil;

namespace {

struct Received {
    std::mutex mutex;
    std::vector<std::pair<QString, std::vector<uint8_t>>> packets;
    std::thread::id thread;

    MIDIInputPort::ReadCallback callback()
    {
        return [this](const uint8_t* bytes, size_t length, const QString& source) {
            std::lock_guard lock(mutex);
            thread = std::this_thread::get_id();
            packets.emplace_back(source, std::vector<uint8_t>(bytes, bytes + length));
        };
    }
    size_t count()
    {
        std::lock_guard lock(mutex);
        return packets.size();
    }
};

} // namespace

TEST(MIDIVirtualSource, IsListedUnderAUniqueUidWhileItExists)
{
    auto first = std::make_unique<MIDIVirtualSource>("Session");
    MIDIVirtualSource second("Session");
    EXPECT_EQ(first->uid(), "virtual:Session");
    EXPECT_EQ(second.uid(), "virtual:Session #2");
    const auto uids = [] {
        QStringList list;
        for (const auto& source : MIDISystem::shared().sources())
            list << source.uid;
        return list;
    };
    EXPECT_EQ(uids(), (QStringList{"virtual:Session", "virtual:Session #2"}));
    first.reset();
    EXPECT_EQ(uids(), QStringList{"virtual:Session #2"});
}

TEST(MIDIVirtualSource, PacketsReachConnectedPortsOnTheirDispatchThreadInOrder)
{
    MIDIVirtualSource session("Session");
    Received received;
    MIDIInputPort port("Test", "in", received.callback());
    EXPECT_FALSE(port.connectSource("virtual:Nobody"));
    ASSERT_TRUE(port.connectSource(session.uid()));
    ASSERT_TRUE(port.connectSource(session.uid())); // already connected: stays as it was
    EXPECT_EQ(port.connectionsMade(), 1);

    // Sent from a thread of the producer's own, as the network session does.
    std::thread producer([&] {
        for (uint8_t note = 0; note < 100; ++note)
            EXPECT_EQ(session.send({0x90, note, 100}), 1);
    });
    producer.join();
    ASSERT_TRUE(waitUntil([&] { return received.count() == 100; }));
    {
        std::lock_guard lock(received.mutex);
        for (uint8_t note = 0; note < 100; ++note) {
            EXPECT_EQ(received.packets[note].first, session.uid());
            EXPECT_EQ(received.packets[note].second, (std::vector<uint8_t>{0x90, note, 100}));
        }
        EXPECT_NE(received.thread, std::this_thread::get_id());
    }

    EXPECT_TRUE(port.disconnectSource(session.uid()));
    EXPECT_FALSE(port.disconnectSource(session.uid()));
    EXPECT_EQ(session.send({0x80, 1, 0}), 0);
    EXPECT_TRUE(port.connectedSources().isEmpty());
}
