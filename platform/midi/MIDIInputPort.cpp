#include "platform/midi/MIDIInputPort.h"

#include "platform/midi/MIDIPacketSink.h"
#include "platform/midi/MIDISystem.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {
constexpr const char* kVirtualPrefix = "virtual:";
}

struct MIDIInputPort::Impl {
    QString clientName, portName;
    ReadCallback read;

    struct Connection {
        std::shared_ptr<MIDIPacketSink> sink;
        std::unique_ptr<MIDISystem::Connection> systemConnection; // none for a virtual source
    };
    mutable std::mutex mutex; // guards connections; the dispatch thread takes it only to copy the sinks
    std::vector<Connection> connections;
    int connectionsMade = 0;

    sem_t wake;
    std::atomic<bool> stopping{false};
    std::thread dispatcher;

    void dispatchLoop()
    {
        std::vector<std::shared_ptr<MIDIPacketSink>> sinks;
        std::vector<uint8_t> packet;
        packet.reserve(MIDIPacketQueue::kMaxPacketLength);
        for (;;) {
            while (sem_wait(&wake) != 0) {
            }
            if (stopping.load())
                return;
            {
                std::lock_guard lock(mutex);
                sinks.clear();
                for (const auto& connection : connections)
                    sinks.push_back(connection.sink);
            }
            // Each wake-up stands for one packet; draining everything that waits keeps up
            // with bursts, and the wake-ups left over find empty queues.
            for (const auto& sink : sinks) {
                while (sink->queue().pop(packet))
                    read(packet.data(), packet.size(), sink->sourceUID());
            }
        }
    }
};

MIDIInputPort::MIDIInputPort(const QString& clientName, const QString& portName, ReadCallback read)
    : d(std::make_unique<Impl>())
{
    d->clientName = clientName;
    d->portName = portName;
    d->read = std::move(read);
    sem_init(&d->wake, 0, 0);
    d->dispatcher = std::thread([impl = d.get()] { impl->dispatchLoop(); });
}

MIDIInputPort::~MIDIInputPort()
{
    for (const QString& uid : connectedSources())
        disconnectSource(uid);
    d->stopping = true;
    sem_post(&d->wake);
    d->dispatcher.join();
    sem_destroy(&d->wake);
}

bool MIDIInputPort::connectSource(const QString& uid)
{
    if (isConnected(uid))
        return true;
    Impl::Connection connection;
    connection.sink = std::make_shared<MIDIPacketSink>(uid, &d->wake);
    if (uid.startsWith(kVirtualPrefix)) {
        if (!MIDISystem::shared().attachToVirtualSource(uid, connection.sink))
            return false;
    } else {
        connection.systemConnection =
            MIDISystem::shared().openSystemSource(uid, d->clientName, d->portName, connection.sink);
        if (!connection.systemConnection)
            return false;
    }
    {
        std::lock_guard lock(d->mutex);
        d->connections.push_back(std::move(connection));
        ++d->connectionsMade;
    }
    // Packets may have arrived before the dispatch thread knew the sink: look again.
    sem_post(&d->wake);
    return true;
}

bool MIDIInputPort::disconnectSource(const QString& uid)
{
    Impl::Connection connection;
    {
        std::lock_guard lock(d->mutex);
        auto it = std::find_if(d->connections.begin(), d->connections.end(),
                               [&](const Impl::Connection& c) { return c.sink->sourceUID() == uid; });
        if (it == d->connections.end())
            return false;
        connection = std::move(*it);
        d->connections.erase(it);
    }
    // Stop the source's deliveries; the dispatch thread may still hold the sink for a moment.
    if (connection.systemConnection)
        connection.systemConnection.reset();
    else
        MIDISystem::shared().detachFromVirtualSource(uid, connection.sink.get());
    return true;
}

bool MIDIInputPort::isConnected(const QString& uid) const
{
    std::lock_guard lock(d->mutex);
    return std::any_of(d->connections.begin(), d->connections.end(),
                       [&](const Impl::Connection& c) { return c.sink->sourceUID() == uid; });
}

QStringList MIDIInputPort::connectedSources() const
{
    std::lock_guard lock(d->mutex);
    QStringList uids;
    for (const auto& connection : d->connections)
        uids << connection.sink->sourceUID();
    return uids;
}

int MIDIInputPort::connectionsMade() const
{
    std::lock_guard lock(d->mutex);
    return d->connectionsMade;
}
