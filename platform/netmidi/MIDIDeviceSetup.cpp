#include "platform/netmidi/MIDIDeviceSetup.h"

#include "platform/netmidi/MIDINetworkDriver.h"

#include <algorithm>

MIDIDeviceSetup& MIDIDeviceSetup::shared()
{
    // Kept for the whole process, like the system's MIDI services: the driver ends its
    // sessions when the application ends (MIDINetworkDriver.h).
    static MIDIDeviceSetup* setup = [] {
        auto* made = new MIDIDeviceSetup;
        MIDINetworkDriver::install(*made);
        return made;
    }();
    return *setup;
}

MIDIDeviceSetup::MIDIDeviceSetup() = default;
MIDIDeviceSetup::~MIDIDeviceSetup() = default;

const MIDIDeviceSetup::Object* MIDIDeviceSetup::find(MIDIObjectRef object) const
{
    const auto found = objects_.find(object);
    return found == objects_.end() ? nullptr : &found->second;
}

MIDIDeviceSetup::Object* MIDIDeviceSetup::find(MIDIObjectRef object)
{
    const auto found = objects_.find(object);
    return found == objects_.end() ? nullptr : &found->second;
}

MIDIObjectRef MIDIDeviceSetup::make(Kind kind, MIDIObjectRef parent, const QString& name)
{
    const MIDIObjectRef reference = nextReference_++;
    Object& object = objects_[reference];
    object.kind = kind;
    object.parent = parent;
    object.properties.insert(kMIDIPropertyName, name);
    return reference;
}

bool MIDIDeviceSetup::exists(MIDIObjectRef object) const
{
    return find(object) != nullptr;
}

MIDIDeviceSetup::Kind MIDIDeviceSetup::kind(MIDIObjectRef object) const
{
    const Object* found = find(object);
    return found ? found->kind : Kind::Device;
}

MIDIDeviceRef MIDIDeviceSetup::deviceOfEntity(MIDIEntityRef entity) const
{
    const Object* found = find(entity);
    return found && found->kind == Kind::Entity ? found->parent : kMIDINullObject;
}

MIDIDeviceDriver* MIDIDeviceSetup::driverOfEntity(MIDIObjectRef entity) const
{
    const Object* device = find(deviceOfEntity(entity));
    return device ? device->driver : nullptr;
}

// Devices and entities

size_t MIDIDeviceSetup::numberOfDevices() const
{
    return devices_.size();
}

MIDIDeviceRef MIDIDeviceSetup::device(size_t index) const
{
    return index < devices_.size() ? devices_[index] : kMIDINullObject;
}

size_t MIDIDeviceSetup::numberOfEntities(MIDIDeviceRef device) const
{
    const Object* found = find(device);
    return found && found->kind == Kind::Device ? found->entities.size() : 0;
}

MIDIEntityRef MIDIDeviceSetup::entity(MIDIDeviceRef device, size_t index) const
{
    const Object* found = find(device);
    if (!found || found->kind != Kind::Device || index >= found->entities.size())
        return kMIDINullObject;
    return found->entities[index];
}

OSStatus MIDIDeviceSetup::addEntity(MIDIDeviceRef device, const QString& name, bool embedded, size_t sources,
                                    size_t destinations, MIDIEntityRef* newEntity)
{
    if (newEntity)
        *newEntity = kMIDINullObject;
    Object* owner = find(device);
    if (!owner)
        return kMIDIObjectNotFound;
    if (owner->kind != Kind::Device)
        return kMIDIWrongObjectType;
    // References into the map stay valid while objects are added to it.
    const MIDIEntityRef entity = make(Kind::Entity, device, name);
    Object& made = objects_[entity];
    made.properties.insert(kMIDIPropertyEmbedded, int(embedded ? 1 : 0));
    for (size_t i = 0; i < sources; ++i)
        made.sources.push_back(make(Kind::Source, entity, name));
    for (size_t i = 0; i < destinations; ++i)
        made.destinations.push_back(make(Kind::Destination, entity, name));
    owner->entities.push_back(entity);
    if (newEntity)
        *newEntity = entity;
    if (owner->driver)
        owner->driver->entityAdded(entity);
    return noErr;
}

OSStatus MIDIDeviceSetup::removeEntity(MIDIDeviceRef device, MIDIEntityRef entity)
{
    const Object* owner = find(device);
    const Object* removed = find(entity);
    if (!owner || !removed)
        return kMIDIObjectNotFound;
    if (owner->kind != Kind::Device || removed->kind != Kind::Entity || removed->parent != device)
        return kMIDIWrongObjectType;
    if (MIDIDeviceDriver* driver = owner->driver)
        driver->entityWillBeRemoved(entity);
    // The driver may have changed the tree meanwhile: look everything up again.
    Object* entityObject = find(entity);
    if (!entityObject)
        return noErr;
    for (MIDIObjectRef endpoint : entityObject->sources)
        objects_.erase(endpoint);
    for (MIDIObjectRef endpoint : entityObject->destinations)
        objects_.erase(endpoint);
    objects_.erase(entity);
    if (Object* deviceObject = find(device)) {
        auto& entities = deviceObject->entities;
        entities.erase(std::remove(entities.begin(), entities.end(), entity), entities.end());
    }
    return noErr;
}

MIDIEndpointRef MIDIDeviceSetup::source(MIDIEntityRef entity, size_t index) const
{
    const Object* found = find(entity);
    if (!found || found->kind != Kind::Entity || index >= found->sources.size())
        return kMIDINullObject;
    return found->sources[index];
}

MIDIEndpointRef MIDIDeviceSetup::destination(MIDIEntityRef entity, size_t index) const
{
    const Object* found = find(entity);
    if (!found || found->kind != Kind::Entity || index >= found->destinations.size())
        return kMIDINullObject;
    return found->destinations[index];
}

MIDIDeviceRef MIDIDeviceSetup::addDevice(const QString& name, const QString& driverName, MIDIDeviceDriver* driver)
{
    const MIDIDeviceRef device = make(Kind::Device, kMIDINullObject, name);
    Object& made = objects_[device];
    made.properties.insert(kMIDIPropertyDriverOwner, driverName);
    made.driver = driver;
    devices_.push_back(device);
    return device;
}

void MIDIDeviceSetup::removeDevice(MIDIDeviceRef device)
{
    while (numberOfEntities(device) > 0)
        removeEntity(device, entity(device, numberOfEntities(device) - 1));
    objects_.erase(device);
    devices_.erase(std::remove(devices_.begin(), devices_.end(), device), devices_.end());
}

// Properties

template <class Value>
OSStatus MIDIDeviceSetup::read(MIDIObjectRef object, const QString& property, int typeId, Value* value) const
{
    const Object* found = find(object);
    if (!found)
        return kMIDIObjectNotFound;
    const auto stored = found->properties.constFind(property);
    if (stored == found->properties.constEnd())
        return kMIDIUnknownProperty;
    if (stored->typeId() != typeId)
        return kMIDIWrongPropertyType;
    if (value)
        *value = stored->template value<Value>();
    return noErr;
}

OSStatus MIDIDeviceSetup::write(MIDIObjectRef object, const QString& property, const QVariant& value)
{
    Object* found = find(object);
    if (!found)
        return kMIDIObjectNotFound;
    found->properties.insert(property, value);
    if (found->kind == Kind::Entity) {
        if (MIDIDeviceDriver* driver = driverOfEntity(object))
            driver->entityPropertyChanged(object, property);
    }
    return noErr;
}

OSStatus MIDIDeviceSetup::stringProperty(MIDIObjectRef object, const QString& property, QString* value) const
{
    return read(object, property, QMetaType::QString, value);
}

OSStatus MIDIDeviceSetup::setStringProperty(MIDIObjectRef object, const QString& property, const QString& value)
{
    return write(object, property, value);
}

OSStatus MIDIDeviceSetup::integerProperty(MIDIObjectRef object, const QString& property, SInt32* value) const
{
    return read(object, property, QMetaType::Int, value);
}

OSStatus MIDIDeviceSetup::setIntegerProperty(MIDIObjectRef object, const QString& property, SInt32 value)
{
    return write(object, property, QVariant(int(value)));
}

OSStatus MIDIDeviceSetup::dictionaryProperty(MIDIObjectRef object, const QString& property, QVariantMap* value) const
{
    return read(object, property, QMetaType::QVariantMap, value);
}

OSStatus MIDIDeviceSetup::setDictionaryProperty(MIDIObjectRef object, const QString& property,
                                                const QVariantMap& value)
{
    return write(object, property, value);
}

OSStatus MIDIDeviceSetup::properties(MIDIObjectRef object, QVariantMap* value, bool deep) const
{
    if (!find(object))
        return kMIDIObjectNotFound;
    if (value)
        *value = describe(object, deep);
    return noErr;
}

QVariantMap MIDIDeviceSetup::describe(MIDIObjectRef object, bool deep) const
{
    const Object* found = find(object);
    QVariantMap description = found->properties;
    if (!deep)
        return description;
    const auto list = [this](const std::vector<MIDIObjectRef>& children) {
        QVariantList described;
        for (MIDIObjectRef child : children)
            described << describe(child, true);
        return described;
    };
    if (found->kind == Kind::Device)
        description.insert(QStringLiteral("entities"), list(found->entities));
    if (found->kind == Kind::Entity) {
        description.insert(QStringLiteral("sources"), list(found->sources));
        description.insert(QStringLiteral("destinations"), list(found->destinations));
    }
    return description;
}
