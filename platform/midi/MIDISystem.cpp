#include "platform/midi/MIDISystem.h"

#include "platform/devices/SoundLibraryMessages.h"
#include "platform/midi/MIDIPacketSink.h"

#include <rtmidi/RtMidi.h>

#include <QDebug>

#include <algorithm>
#include <map>
#include <mutex>
#include <unistd.h>

namespace {

constexpr const char* kVirtualPrefix = "virtual:";
constexpr const char* kListerClientName = "Clipdeck";

// RtMidi reports problems (a JACK server that is not running, a port that went away) by
// printing or throwing; the layer answers with empty lists and failed connects instead.
void quietErrors(RtMidiError::Type type, const std::string& text, void*)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        qDebug("MIDI: %s", text.c_str());
}

QString uidFor(RtMidi::Api api, const std::string& portName)
{
    return QString(api == RtMidi::LINUX_ALSA ? "alsa:" : "jack:") + QString::fromStdString(portName);
}

// The index of the port called uid among the ports that input now sees, or -1.
int indexOfPort(RtMidiIn& input, RtMidi::Api api, const QString& uid)
{
    const unsigned count = input.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (uidFor(api, input.getPortName(i)) == uid)
            return int(i);
    }
    return -1;
}

class RtMidiConnection : public MIDISystem::Connection {
public:
    explicit RtMidiConnection(std::shared_ptr<MIDIPacketSink> sink) : sink_(std::move(sink)) {}
    ~RtMidiConnection() override
    {
        // Closing the port (in RtMidiIn's destructor) ends its receive thread's callbacks.
        input.reset();
    }

    static void receive(double, std::vector<unsigned char>* message, void* self)
    {
        if (message && !message->empty())
            static_cast<RtMidiConnection*>(self)->sink_->deliver(message->data(), message->size());
    }

    std::unique_ptr<RtMidiIn> input;

private:
    std::shared_ptr<MIDIPacketSink> sink_;
};

} // namespace

struct MIDISystem::Impl {
    std::mutex mutex;
    bool apiChosen = false;
    RtMidi::Api api = RtMidi::UNIX_JACK;
    std::unique_ptr<RtMidiIn> lister;

    struct VirtualEntry {
        MIDIVirtualSource* source = nullptr;
        QString uid, name;
        std::vector<std::shared_ptr<MIDIPacketSink>> sinks;
    };
    std::mutex virtualMutex; // also held while a virtual source sends
    std::vector<VirtualEntry> virtualSources;

    // The sequencer when it can be opened (it answers at once); JACK otherwise.
    void chooseApi()
    {
        if (apiChosen)
            return;
        apiChosen = true;
        api = RtMidi::UNIX_JACK;
        if (access("/dev/snd/seq", R_OK | W_OK) == 0) {
            try {
                RtMidiIn probe(RtMidi::LINUX_ALSA, kListerClientName);
                api = RtMidi::LINUX_ALSA;
            } catch (const RtMidiError&) {
            }
        }
    }

    RtMidiIn* ensureLister()
    {
        chooseApi();
        if (!lister) {
            try {
                lister = std::make_unique<RtMidiIn>(api, kListerClientName);
                lister->setErrorCallback(quietErrors);
            } catch (const RtMidiError& error) {
                qDebug("MIDI: cannot list sources: %s", error.what());
                return nullptr;
            }
        }
        return lister.get();
    }
};

MIDISystem& MIDISystem::shared()
{
    static MIDISystem system;
    return system;
}

MIDISystem::MIDISystem() : d(std::make_unique<Impl>())
{
    silenceSoundLibraryMessages();
}
MIDISystem::~MIDISystem() = default;

QString MIDISystem::api()
{
    std::lock_guard lock(d->mutex);
    d->chooseApi();
    return d->api == RtMidi::LINUX_ALSA ? "alsa" : "jack";
}

std::vector<MIDISourceInfo> MIDISystem::sources()
{
    std::vector<MIDISourceInfo> result;
    {
        std::lock_guard lock(d->mutex);
        if (RtMidiIn* lister = d->ensureLister()) {
            try {
                const unsigned count = lister->getPortCount();
                for (unsigned i = 0; i < count; ++i) {
                    const std::string name = lister->getPortName(i);
                    if (!name.empty())
                        result.push_back({uidFor(d->api, name), QString::fromStdString(name)});
                }
            } catch (const RtMidiError& error) {
                qDebug("MIDI: cannot list sources: %s", error.what());
            }
        }
    }
    std::lock_guard lock(d->virtualMutex);
    for (const auto& entry : d->virtualSources)
        result.push_back({entry.uid, entry.name});
    return result;
}

std::unique_ptr<MIDISystem::Connection> MIDISystem::openSystemSource(const QString& uid, const QString& clientName,
                                                                     const QString& portName,
                                                                     std::shared_ptr<MIDIPacketSink> sink)
{
    std::lock_guard lock(d->mutex);
    d->chooseApi();
    auto connection = std::make_unique<RtMidiConnection>(std::move(sink));
    try {
        connection->input = std::make_unique<RtMidiIn>(d->api, clientName.toStdString());
        RtMidiIn& input = *connection->input;
        input.setErrorCallback(quietErrors);
        // Keep system-exclusive messages (the program's commands); clock and active sensing
        // stay filtered out, as nothing listens for them.
        input.ignoreTypes(false, true, true);
        input.setCallback(&RtMidiConnection::receive, connection.get());
        // Look the port up by its name right before opening it: numbers shift as ports come and go.
        const int index = indexOfPort(input, d->api, uid);
        if (index < 0)
            return nullptr;
        input.openPort(unsigned(index), portName.toStdString());
        if (!input.isPortOpen())
            return nullptr;
    } catch (const RtMidiError& error) {
        qDebug("MIDI: cannot connect %s: %s", qPrintable(uid), error.what());
        return nullptr;
    }
    return connection;
}

QString MIDISystem::registerVirtualSource(MIDIVirtualSource* source, const QString& name)
{
    std::lock_guard lock(d->virtualMutex);
    QString uid = kVirtualPrefix + name;
    // Names may repeat; uids may not.
    for (int n = 2; std::any_of(d->virtualSources.begin(), d->virtualSources.end(),
                                [&](const Impl::VirtualEntry& entry) { return entry.uid == uid; });
         ++n)
        uid = QString("%1%2 #%3").arg(kVirtualPrefix, name).arg(n);
    d->virtualSources.push_back({source, uid, name, {}});
    return uid;
}

void MIDISystem::unregisterVirtualSource(MIDIVirtualSource* source)
{
    std::lock_guard lock(d->virtualMutex);
    std::erase_if(d->virtualSources, [&](const Impl::VirtualEntry& entry) { return entry.source == source; });
}

bool MIDISystem::attachToVirtualSource(const QString& uid, const std::shared_ptr<MIDIPacketSink>& sink)
{
    std::lock_guard lock(d->virtualMutex);
    for (auto& entry : d->virtualSources) {
        if (entry.uid == uid) {
            entry.sinks.push_back(sink);
            return true;
        }
    }
    return false;
}

void MIDISystem::detachFromVirtualSource(const QString& uid, const MIDIPacketSink* sink)
{
    std::lock_guard lock(d->virtualMutex);
    for (auto& entry : d->virtualSources) {
        if (entry.uid == uid)
            std::erase_if(entry.sinks, [&](const auto& attached) { return attached.get() == sink; });
    }
}

int MIDISystem::sendFromVirtualSource(const MIDIVirtualSource* source, const uint8_t* bytes, size_t length)
{
    std::lock_guard lock(d->virtualMutex);
    int received = 0;
    for (auto& entry : d->virtualSources) {
        if (entry.source != source)
            continue;
        for (const auto& sink : entry.sinks)
            received += sink->deliver(bytes, length) ? 1 : 0;
    }
    return received;
}
