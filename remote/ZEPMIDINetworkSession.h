#pragma once
// A network MIDI session offered under a name, so that a remote can join it and send MIDI to
// the program: an entity of the network MIDI driver (platform/netmidi/MIDINetworkDriver.h),
// made with the session settings and removed again. The program hears the session's MIDI
// because its MIDI client listens to every source, the session's among them.
//
// Creating a session (the constructor):
// 1. Names copied, policy 2, not enabled, no entity, no error.
// 2. An entity of the driver already named localName is adopted as it is (its settings stay,
//    no polling starts).
// 3. Otherwise a new entity named localName is added (embedded, one source, one destination)
//    with the settings "apple.midirtp.session" = {"flags": 1, "join-policy": 2, "peers": [],
//    "port": 0, "dns-sd-name": networkName}, then "offline" 0 and the ownership flag
//    "ZEPMIDINetworkSession" = 1. The driver starts the session soon after and writes its
//    port into "port".
// 4. With a delegate, a repeating 0.1 s Timer (TimeSource.h) polls "port"; at the first non-zero
//    port it stops, sets enabled and networkPort, and tells the delegate
//    midiNetworkSessionDidStart() once. Without one nothing polls: enabled and networkPort
//    stay unset.
// Destroying the session removes its entity when the entity carries the ownership flag (a
// stale one from an earlier run that was adopted included), which ends the session on the
// network; an adopted entity without the flag (made by someone else) is left alone.
//
// Failures: nothing raises or reports; the status of the last failing call of the MIDI
// set-up is kept in error(). Without the network driver the calls fail and no session exists.
//
// Threads: main thread only.

#include "platform/TimeSource.h"
#include "platform/netmidi/MIDIDeviceSetup.h"

#include <QString>

#include <memory>

class ZEPMIDINetworkSession;

class ZEPMIDINetworkSessionDelegate {
public:
    virtual ~ZEPMIDINetworkSessionDelegate() = default;
    virtual void midiNetworkSessionDidStart(ZEPMIDINetworkSession* session) = 0;
};

class ZEPMIDINetworkSession {
public:
    // The integer property that marks the entities this class made.
    static inline const QString kOwnershipProperty = QStringLiteral("ZEPMIDINetworkSession");
    static constexpr uint32_t kDefaultConnectionPolicy = 2;

    // The first device whose "driver" is exactly the network driver's name; the null
    // object when there is none.
    static MIDIDeviceRef getAppleRTPDriver();
    // Whether the entity is named name, has readable session settings and carries the
    // ownership flag 1.
    static bool isEntity(MIDIEntityRef entity, const QString& anZEPMIDINetworkSessionNamed);
    // Removes every entity of the driver that isEntity() answers for name. The walk runs from
    // the last entity to the first, so two matching entities side by side both go.
    static void removeZEPMIDINetworkSessionNamed(const QString& name);
    // Removes the entity from the driver; true on success.
    static bool removeEntityFromAppleRTPDriver(MIDIEntityRef entity);
    // Reads the object's properties with those of its sub-objects, for a debugger to look at;
    // prints and answers nothing.
    static void printPropertyListOfMIDIObject(MIDIObjectRef object);

    ZEPMIDINetworkSession(const QString& name, const QString& bonjourName, ZEPMIDINetworkSessionDelegate* delegate);
    ~ZEPMIDINetworkSession();
    ZEPMIDINetworkSession(const ZEPMIDINetworkSession&) = delete;
    ZEPMIDINetworkSession& operator=(const ZEPMIDINetworkSession&) = delete;

    // Writes "join-policy" into the session settings; connectionPolicy() follows only when
    // the read and the write succeed and no error is stored.
    void setConnectionPolicy(uint32_t policy);
    uint32_t connectionPolicy() const { return connectionPolicy_; }

    // The entity's first source and first destination (the null object when there is none).
    MIDIEndpointRef sourceEndpoint() const;
    MIDIEndpointRef destinationEndpoint() const;

    // One poll for the start (the delegate's timer calls it).
    void checkForSessionStart();

    ZEPMIDINetworkSessionDelegate* delegate() const { return delegate_; }
    OSStatus error() const { return error_; }

    QString localName() const { return localName_; }
    void setLocalName(const QString& name) { localName_ = name; }
    QString networkName() const { return networkName_; }
    void setNetworkName(const QString& name) { networkName_ = name; }
    uint32_t networkPort() const { return networkPort_; }
    void setNetworkPort(uint32_t port) { networkPort_ = port; }
    MIDIEntityRef entity() const { return entity_; }
    void setEntity(MIDIEntityRef entity) { entity_ = entity; }
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }

private:
    // Stores a failing status in error_ (a success leaves it as it was); answers the status.
    OSStatus note(OSStatus status);
    void createEntity(MIDIDeviceRef driver);

    ZEPMIDINetworkSessionDelegate* delegate_ = nullptr;
    bool enabled_ = false;
    uint32_t connectionPolicy_ = kDefaultConnectionPolicy;
    QString localName_;
    QString networkName_;
    uint32_t networkPort_ = 0;
    MIDIEntityRef entity_ = kMIDINullObject;
    OSStatus error_ = noErr;
    std::unique_ptr<Timer> startTimer_;
};
