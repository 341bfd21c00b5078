#pragma once
// The MIDI devices that in-process drivers offer, in place of the MIDI services' device
// tree: devices, their entities and the entities' source and destination endpoints, each an
// object with named properties (integers, strings and dictionaries), known by a reference
// number. The only driver today is the network MIDI driver (MIDINetworkDriver.h), whose one
// device carries the driver name "com.apple.AppleMIDIRTPDriver"; its entities are network
// MIDI sessions.
//
// References: 0 is the null object. A reference is never reused in a process, so one kept
// after its object went answers kMIDIObjectNotFound instead of reaching another object.
// Every call that takes an object answers kMIDIObjectNotFound for the null object or a
// gone one, kMIDIUnknownProperty for a property the object does not have, and
// kMIDIWrongPropertyType when the property holds another kind of value.
//
// Drivers: a driver owns the devices it added and hears, on the calling thread and after the
// change is made (no state of the set-up is half-done then), when an entity is added to one
// of them, when a property of such an entity is set, and just before such an entity is
// removed (its properties are still readable then). A driver may call back into the set-up
// from those calls; it must take the drivers' own time for slow work (the network driver
// starts its sessions on a later pass of the event loop).
//
// Threads: main thread only, drivers' calls included.

#include "platform/CoreAudioTypes.h"

#include <QString>
#include <QVariantMap>

#include <map>
#include <memory>
#include <vector>

using MIDIObjectRef = uint32_t;
using MIDIDeviceRef = MIDIObjectRef;
using MIDIEntityRef = MIDIObjectRef;
using MIDIEndpointRef = MIDIObjectRef;
constexpr MIDIObjectRef kMIDINullObject = 0;

// Status codes of the set-up.
constexpr OSStatus kMIDIObjectNotFound = OSStatus(FourCC("!Obj"));
constexpr OSStatus kMIDIUnknownProperty = OSStatus(FourCC("!Prp"));
constexpr OSStatus kMIDIWrongPropertyType = OSStatus(FourCC("!Typ"));
constexpr OSStatus kMIDIWrongObjectType = OSStatus(FourCC("!Knd")); // an entity call on a device...

// Property names every object may carry.
inline const QString kMIDIPropertyName = QStringLiteral("name");             // string
inline const QString kMIDIPropertyDriverOwner = QStringLiteral("driver");    // string, devices
inline const QString kMIDIPropertyOffline = QStringLiteral("offline");       // integer, 1 = offline
inline const QString kMIDIPropertyEmbedded = QStringLiteral("embedded");     // integer, entities

class MIDIDeviceDriver {
public:
    virtual ~MIDIDeviceDriver() = default;
    virtual void entityAdded(MIDIEntityRef entity) = 0;
    virtual void entityPropertyChanged(MIDIEntityRef entity, const QString& property) = 0;
    virtual void entityWillBeRemoved(MIDIEntityRef entity) = 0;
};

class MIDIDeviceSetup {
public:
    enum class Kind { Device, Entity, Source, Destination };

    // The process's set-up, with the network MIDI driver installed at first use.
    static MIDIDeviceSetup& shared();

    MIDIDeviceSetup();
    ~MIDIDeviceSetup();
    MIDIDeviceSetup(const MIDIDeviceSetup&) = delete;
    MIDIDeviceSetup& operator=(const MIDIDeviceSetup&) = delete;

    // Devices, in the order they were added; device() answers the null object past the end.
    size_t numberOfDevices() const;
    MIDIDeviceRef device(size_t index) const;

    // Entities of a device, in the order they were added (a removal moves the later ones
    // down one place); entity() answers the null object for a bad device or index.
    size_t numberOfEntities(MIDIDeviceRef device) const;
    MIDIEntityRef entity(MIDIDeviceRef device, size_t index) const;
    // Adds an entity named name with that many source and destination endpoints (each named
    // like the entity) to the end of the device's list.
    OSStatus addEntity(MIDIDeviceRef device, const QString& name, bool embedded, size_t sources,
                       size_t destinations, MIDIEntityRef* newEntity);
    // Removes the entity of that device with its endpoints.
    OSStatus removeEntity(MIDIDeviceRef device, MIDIEntityRef entity);
    // An entity's endpoints; the null object for a bad entity or index.
    MIDIEndpointRef source(MIDIEntityRef entity, size_t index) const;
    MIDIEndpointRef destination(MIDIEntityRef entity, size_t index) const;

    // Properties.
    OSStatus stringProperty(MIDIObjectRef object, const QString& property, QString* value) const;
    OSStatus setStringProperty(MIDIObjectRef object, const QString& property, const QString& value);
    OSStatus integerProperty(MIDIObjectRef object, const QString& property, SInt32* value) const;
    OSStatus setIntegerProperty(MIDIObjectRef object, const QString& property, SInt32 value);
    OSStatus dictionaryProperty(MIDIObjectRef object, const QString& property, QVariantMap* value) const;
    OSStatus setDictionaryProperty(MIDIObjectRef object, const QString& property, const QVariantMap& value);
    // Every property of the object; with deep, a device's also lists its entities under
    // "entities" and an entity's its endpoints under "sources" and "destinations", each with
    // their properties.
    OSStatus properties(MIDIObjectRef object, QVariantMap* value, bool deep) const;

    // Whether the reference names a live object, and of which kind.
    bool exists(MIDIObjectRef object) const;
    Kind kind(MIDIObjectRef object) const;
    // The device an entity belongs to (the null object for anything else).
    MIDIDeviceRef deviceOfEntity(MIDIEntityRef entity) const;

    // For drivers: adds a device named name whose "driver" property is driverName, served by
    // driver (which must outlive the device); removes one with its entities (the driver hears
    // of each).
    MIDIDeviceRef addDevice(const QString& name, const QString& driverName, MIDIDeviceDriver* driver);
    void removeDevice(MIDIDeviceRef device);

private:
    struct Object {
        Kind kind = Kind::Device;
        MIDIObjectRef parent = kMIDINullObject;
        QVariantMap properties;
        std::vector<MIDIObjectRef> entities;     // a device's
        std::vector<MIDIObjectRef> sources;      // an entity's
        std::vector<MIDIObjectRef> destinations; // an entity's
        MIDIDeviceDriver* driver = nullptr;      // a device's
    };

    const Object* find(MIDIObjectRef object) const;
    Object* find(MIDIObjectRef object);
    MIDIObjectRef make(Kind kind, MIDIObjectRef parent, const QString& name);
    template <class Value>
    OSStatus read(MIDIObjectRef object, const QString& property, int typeId, Value* value) const;
    OSStatus write(MIDIObjectRef object, const QString& property, const QVariant& value);
    QVariantMap describe(MIDIObjectRef object, bool deep) const;
    MIDIDeviceDriver* driverOfEntity(MIDIObjectRef entity) const;

    std::map<MIDIObjectRef, Object> objects_;
    std::vector<MIDIDeviceRef> devices_;
    MIDIObjectRef nextReference_ = 1;
};
