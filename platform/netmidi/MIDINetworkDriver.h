#pragma once
// The network MIDI driver, in place of the MIDI services' RTP MIDI driver: one device of the
// MIDI set-up (MIDIDeviceSetup.h) whose "driver" property is "com.apple.AppleMIDIRTPDriver",
// whose entities are network MIDI sessions.
//
// An entity of the device is a session while it is online ("offline" 0; a new entity starts
// offline) and carries the session dictionary "apple.midirtp.session":
//
// | key           | meaning                                                                |
// |---------------|------------------------------------------------------------------------|
// | "port"        | the control port; 0 asks the driver to choose one, which it writes back |
// | "join-policy" | who may join: 2 anyone (RTPMIDIResponder.h), anything else nobody       |
// | "dns-sd-name" | the name the session is announced under (empty: the host name)         |
// | "flags"       | kept as written; the driver reads nothing from it                       |
// | "peers"       | kept as written; the driver reads nothing from it                       |
//
// For such an entity the driver makes a MIDI source named like the entity (a
// MIDIVirtualSource, so every MIDI client of the process hears the session's MIDI like any
// other source), starts a responder (RTPMIDIResponder) that feeds it from its own thread,
// writes the responder's port into "port", and announces "_apple-midi._udp" under
// "dns-sd-name" at that port by DNS-SD (DNSServicePublisher::create(), which tests replace).
// The driver takes those steps on a later pass of the main event loop, as a driver outside
// the process would; callers learn of the start by reading "port" again. Later changes of
// "join-policy" and "dns-sd-name" reach the running session. An entity set offline, or one
// removed, ends its session at once: BY to every participant, the announcement withdrawn,
// the source gone.
//
// A session whose ports cannot be bound does not start (the reason goes to the log, "port"
// stays 0); one whose announcement fails runs unannounced (peers may still join by address).
//
// Life: installed once into MIDIDeviceSetup::shared() and kept for the whole process; when
// the Qt application ends, every session still running ends as above.
//
// Threads: main thread only (the set-up's calls); the MIDI flows on the responders' threads.

#include "platform/netmidi/MIDIDeviceSetup.h"

#include <QObject>

#include <map>
#include <memory>
#include <set>

class DNSServicePublisher;
class MIDIVirtualSource;
class RTPMIDIResponder;

class MIDINetworkDriver final : public MIDIDeviceDriver {
public:
    static inline const QString kDriverName = QStringLiteral("com.apple.AppleMIDIRTPDriver");
    static inline const QString kSessionProperty = QStringLiteral("apple.midirtp.session");
    static inline const QString kServiceType = QStringLiteral("_apple-midi._udp");
    static inline const QString kPortKey = QStringLiteral("port");
    static inline const QString kJoinPolicyKey = QStringLiteral("join-policy");
    static inline const QString kNetworkNameKey = QStringLiteral("dns-sd-name");
    static inline const QString kFlagsKey = QStringLiteral("flags");
    static inline const QString kPeersKey = QStringLiteral("peers");

    // Makes the process's driver, kept for good, with its device in setup
    // (MIDIDeviceSetup::shared() does this once, at its first use).
    static MIDINetworkDriver& install(MIDIDeviceSetup& setup);
    // The driver of the shared set-up.
    static MIDINetworkDriver& shared();

    explicit MIDINetworkDriver(MIDIDeviceSetup& setup);
    // Ends every session and removes the device.
    ~MIDINetworkDriver() override;

    MIDIDeviceRef device() const { return device_; }

    // The running session of an entity, for tests and measurements: its responder and its
    // announcement (null when the entity has no running session).
    const RTPMIDIResponder* responderFor(MIDIEntityRef entity) const;
    const DNSServicePublisher* publisherFor(MIDIEntityRef entity) const;
    // Ends every running session (the application's end does this).
    void endAllSessions();

    void entityAdded(MIDIEntityRef entity) override;
    void entityPropertyChanged(MIDIEntityRef entity, const QString& property) override;
    void entityWillBeRemoved(MIDIEntityRef entity) override;

private:
    struct Session;
    void scheduleUpdate(MIDIEntityRef entity);
    // Brings the entity's session in line with its properties.
    void update(MIDIEntityRef entity);
    void announce(MIDIEntityRef entity, Session& session, const QString& networkName);
    void end(MIDIEntityRef entity);

    MIDIDeviceSetup& setup_;
    MIDIDeviceRef device_ = kMIDINullObject;
    std::map<MIDIEntityRef, std::unique_ptr<Session>> sessions_;
    std::set<MIDIEntityRef> pendingUpdates_;
    QObject context_; // queued updates die with the driver
};
