#include "platform/netmidi/MIDINetworkDriver.h"

#include "platform/dnssd/DNSServicePublisher.h"
#include "platform/midi/MIDIVirtualSource.h"
#include "platform/netmidi/RTPMIDIResponder.h"

#include <QCoreApplication>
#include <QDebug>

namespace {

MIDINetworkDriver* g_installed = nullptr;
bool g_endsWithApplication = false;

void endSessionsAtExit()
{
    g_endsWithApplication = false; // a later application may register again
    if (g_installed)
        g_installed->endAllSessions();
}

// Sessions end before the application's statics go (the MIDI system among them), as their
// threads still feed it.
void endSessionsWithApplication()
{
    if (g_endsWithApplication || !QCoreApplication::instance())
        return;
    g_endsWithApplication = true;
    qAddPostRoutine(endSessionsAtExit);
}

} // namespace

struct MIDINetworkDriver::Session {
    // Destroyed in reverse: the announcement goes, then the responder stops (BY to every
    // participant, its thread joined), then the source it fed.
    std::unique_ptr<MIDIVirtualSource> source;
    std::unique_ptr<RTPMIDIResponder> responder;
    std::unique_ptr<DNSServicePublisher> publisher;
    QString announcedName;
};

MIDINetworkDriver& MIDINetworkDriver::install(MIDIDeviceSetup& setup)
{
    g_installed = new MIDINetworkDriver(setup);
    return *g_installed;
}

MIDINetworkDriver& MIDINetworkDriver::shared()
{
    MIDIDeviceSetup::shared(); // installs the driver
    return *g_installed;
}

MIDINetworkDriver::MIDINetworkDriver(MIDIDeviceSetup& setup) : setup_(setup)
{
    device_ = setup_.addDevice(QStringLiteral("Network"), kDriverName, this);
}

MIDINetworkDriver::~MIDINetworkDriver()
{
    if (g_installed == this)
        g_installed = nullptr;
    endAllSessions();
    setup_.removeDevice(device_);
}

const RTPMIDIResponder* MIDINetworkDriver::responderFor(MIDIEntityRef entity) const
{
    const auto found = sessions_.find(entity);
    return found == sessions_.end() ? nullptr : found->second->responder.get();
}

const DNSServicePublisher* MIDINetworkDriver::publisherFor(MIDIEntityRef entity) const
{
    const auto found = sessions_.find(entity);
    return found == sessions_.end() ? nullptr : found->second->publisher.get();
}

void MIDINetworkDriver::endAllSessions()
{
    while (!sessions_.empty())
        end(sessions_.begin()->first);
}

void MIDINetworkDriver::entityAdded(MIDIEntityRef entity)
{
    setup_.setIntegerProperty(entity, kMIDIPropertyOffline, 1);
}

void MIDINetworkDriver::entityPropertyChanged(MIDIEntityRef entity, const QString& property)
{
    // Going offline ends the session at once, like a removal; everything else waits a pass.
    SInt32 offline = 0;
    if (property == kMIDIPropertyOffline && setup_.integerProperty(entity, property, &offline) == noErr && offline != 0)
        end(entity);
    scheduleUpdate(entity);
}

void MIDINetworkDriver::entityWillBeRemoved(MIDIEntityRef entity)
{
    pendingUpdates_.erase(entity);
    end(entity);
}

void MIDINetworkDriver::scheduleUpdate(MIDIEntityRef entity)
{
    if (!pendingUpdates_.insert(entity).second)
        return;
    QMetaObject::invokeMethod(
        &context_,
        [this, entity] {
            if (pendingUpdates_.erase(entity))
                update(entity);
        },
        Qt::QueuedConnection);
}

void MIDINetworkDriver::update(MIDIEntityRef entity)
{
    SInt32 offline = 0;
    QVariantMap settings;
    const bool online = setup_.exists(entity) &&
                        (setup_.integerProperty(entity, kMIDIPropertyOffline, &offline) != noErr || offline == 0);
    if (!online || setup_.dictionaryProperty(entity, kSessionProperty, &settings) != noErr) {
        end(entity);
        return;
    }
    const QString networkName = settings.value(kNetworkNameKey).toString();
    const uint32_t joinPolicy = settings.value(kJoinPolicyKey).toUInt();
    std::unique_ptr<Session>& session = sessions_[entity];
    if (session) {
        session->responder->setJoinPolicy(joinPolicy);
        if (networkName != session->announcedName)
            announce(entity, *session, networkName);
        return;
    }

    QString entityName;
    setup_.stringProperty(entity, kMIDIPropertyName, &entityName);
    auto made = std::make_unique<Session>();
    made->source = std::make_unique<MIDIVirtualSource>(entityName);
    made->responder = std::make_unique<RTPMIDIResponder>(
        networkName, joinPolicy,
        [source = made->source.get()](const uint8_t* bytes, size_t length) { source->send(bytes, length); });
    // A port asked for (an entity kept from an earlier run) may be taken now: then any pair.
    const uint32_t asked = settings.value(kPortKey).toUInt();
    QString error;
    if (!(asked > 0 && asked < 65535 && made->responder->start(uint16_t(asked))) && !made->responder->start(0, &error)) {
        qWarning().noquote() << "The network MIDI session" << entityName << "could not start:" << error;
        sessions_.erase(entity);
        return;
    }
    session = std::move(made);
    endSessionsWithApplication();
    settings.insert(kPortKey, int(session->responder->port()));
    setup_.setDictionaryProperty(entity, kSessionProperty, settings); // comes back here as a change: nothing to do
    announce(entity, *session, networkName);
}

void MIDINetworkDriver::announce(MIDIEntityRef entity, Session& session, const QString& networkName)
{
    session.announcedName = networkName;
    if (!session.publisher) {
        session.publisher = DNSServicePublisher::create();
        session.publisher->setFailedHandler([this, entity](const Error& error) {
            QString entityName;
            setup_.stringProperty(entity, kMIDIPropertyName, &entityName);
            qWarning().noquote() << "The network MIDI session" << entityName
                                 << "is not announced on the network:" << error.description()
                                 << error.localizedFailureReason;
        });
    }
    session.publisher->publish(kServiceType, networkName, session.responder->port());
}

void MIDINetworkDriver::end(MIDIEntityRef entity)
{
    const auto found = sessions_.find(entity);
    if (found == sessions_.end())
        return;
    std::unique_ptr<Session> session = std::move(found->second);
    sessions_.erase(found);
    if (session->publisher)
        session->publisher->stop();
    session->responder->stop();
    session.reset();
}
