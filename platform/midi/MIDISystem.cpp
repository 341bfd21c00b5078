#include "platform/midi/MIDISystem.h"

#include "platform/devices/SoundLibraryMessages.h"
#include "platform/midi/JackMIDIClient.h"
#include "platform/midi/MIDIPacketSink.h"

#include <rtmidi/RtMidi.h>

#include <QDebug>

#include <algorithm>
#include <map>
#include <mutex>
#include <unistd.h>

namespace {

constexpr const char* kVirtualPrefix = "virtual:";
constexpr const char* kAlsaPrefix = "alsa:";
constexpr const char* kJackPrefix = "jack:";
// Our client in the sequencer's list, and in the JACK graph (beside the audio output's own
// client, "Clipdeck").
constexpr const char* kSequencerClientName = "Clipdeck";
constexpr const char* kJackClientName = "Clipdeck MIDI";

// RtMidi reports problems (a JACK server that is not running, a port that went away) by
// printing or throwing; the layer answers with empty lists and failed connects instead.
void quietErrors(RtMidiError::Type type, const std::string& text, void*)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        qDebug("MIDI: %s", text.c_str());
}

// The index of the sequencer port called uid among the ports that input now sees, or -1.
int indexOfPort(RtMidiIn& input, const QString& uid)
{
    const unsigned count = input.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        if (kAlsaPrefix + QString::fromStdString(input.getPortName(i)) == uid)
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
    bool sequencer = false;              // the ALSA sequencer through RtMidi; else JACK
    std::unique_ptr<RtMidiIn> lister;    // the sequencer's
    std::unique_ptr<JackMIDIClient> jack; // JACK's

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
        if (access("/dev/snd/seq", R_OK | W_OK) == 0) {
            try {
                lister = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kSequencerClientName);
                lister->setErrorCallback(quietErrors);
                sequencer = true;
            } catch (const RtMidiError&) {
            }
        }
        if (!sequencer)
            jack = std::make_unique<JackMIDIClient>(kJackClientName);
    }

    void appendSequencerPorts(std::vector<MIDISourceInfo>& sources)
    {
        try {
            const unsigned count = lister->getPortCount();
            for (unsigned i = 0; i < count; ++i) {
                const QString name = QString::fromStdString(lister->getPortName(i));
                if (!name.isEmpty())
                    sources.push_back({kAlsaPrefix + name, name});
            }
        } catch (const RtMidiError& error) {
            qDebug("MIDI: cannot list sources: %s", error.what());
        }
    }

    std::unique_ptr<Connection> openSequencerPort(const QString& uid, const QString& clientName,
                                                  const QString& portName, std::shared_ptr<MIDIPacketSink> sink)
    {
        auto connection = std::make_unique<RtMidiConnection>(std::move(sink));
        try {
            connection->input = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, clientName.toStdString());
            RtMidiIn& input = *connection->input;
            input.setErrorCallback(quietErrors);
            // Keep system-exclusive messages (the program's commands); clock and active
            // sensing stay filtered out, as nothing listens for them.
            input.ignoreTypes(false, true, true);
            input.setCallback(&RtMidiConnection::receive, connection.get());
            // Look the port up by name right before opening it: numbers shift as ports come and go.
            const int index = indexOfPort(input, uid);
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
    return d->sequencer ? "alsa" : "jack";
}

std::vector<MIDISourceInfo> MIDISystem::sources()
{
    std::vector<MIDISourceInfo> result;
    {
        std::lock_guard lock(d->mutex);
        d->chooseApi();
        if (d->sequencer) {
            d->appendSequencerPorts(result);
        } else {
            for (const std::string& port : d->jack->sourcePorts()) {
                const QString name = QString::fromStdString(port);
                result.push_back({kJackPrefix + name, name});
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
    if (d->sequencer)
        return uid.startsWith(kAlsaPrefix) ? d->openSequencerPort(uid, clientName, portName, std::move(sink)) : nullptr;
    if (!uid.startsWith(kJackPrefix))
        return nullptr;
    return d->jack->connect(uid.mid(int(strlen(kJackPrefix))).toStdString(), clientName, portName, std::move(sink));
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
