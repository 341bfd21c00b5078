#include "remote/ZEPMIDINetworkSession.h"

#include "platform/netmidi/MIDINetworkDriver.h"

#include <QVariantList>

namespace {

MIDIDeviceSetup& setup()
{
    return MIDIDeviceSetup::shared();
}

constexpr double kStartPollInterval = 0.1;

} // namespace

MIDIDeviceRef ZEPMIDINetworkSession::getAppleRTPDriver()
{
    for (size_t i = 0; i < setup().numberOfDevices(); ++i) {
        const MIDIDeviceRef device = setup().device(i);
        QString driver;
        if (setup().stringProperty(device, kMIDIPropertyDriverOwner, &driver) == noErr &&
            driver == MIDINetworkDriver::kDriverName)
            return device;
    }
    return kMIDINullObject;
}

bool ZEPMIDINetworkSession::isEntity(MIDIEntityRef entity, const QString& anZEPMIDINetworkSessionNamed)
{
    QString name;
    SInt32 owned = 0;
    return setup().stringProperty(entity, kMIDIPropertyName, &name) == noErr && name == anZEPMIDINetworkSessionNamed &&
           setup().dictionaryProperty(entity, MIDINetworkDriver::kSessionProperty, nullptr) == noErr &&
           setup().integerProperty(entity, kOwnershipProperty, &owned) == noErr && owned == 1;
}

void ZEPMIDINetworkSession::removeZEPMIDINetworkSessionNamed(const QString& name)
{
    const MIDIDeviceRef driver = getAppleRTPDriver();
    // From the last to the first: a removal moves only entities already looked at.
    for (size_t index = setup().numberOfEntities(driver); index-- > 0;) {
        const MIDIEntityRef entity = setup().entity(driver, index);
        if (entity != kMIDINullObject && isEntity(entity, name))
            removeEntityFromAppleRTPDriver(entity);
    }
}

bool ZEPMIDINetworkSession::removeEntityFromAppleRTPDriver(MIDIEntityRef entity)
{
    return setup().removeEntity(getAppleRTPDriver(), entity) == noErr;
}

void ZEPMIDINetworkSession::printPropertyListOfMIDIObject(MIDIObjectRef object)
{
    QVariantMap properties;
    setup().properties(object, &properties, true);
}

ZEPMIDINetworkSession::ZEPMIDINetworkSession(const QString& name, const QString& bonjourName,
                                             ZEPMIDINetworkSessionDelegate* delegate)
    : delegate_(delegate), localName_(name), networkName_(bonjourName)
{
    const MIDIDeviceRef driver = getAppleRTPDriver();
    for (size_t i = 0; i < setup().numberOfEntities(driver); ++i) {
        const MIDIEntityRef candidate = setup().entity(driver, i);
        QString candidateName;
        error_ = setup().stringProperty(candidate, kMIDIPropertyName, &candidateName);
        if (error_ == noErr && candidateName == localName_) {
            entity_ = candidate; // adopted as it is
            return;
        }
    }
    createEntity(driver);
    if (delegate_) {
        startTimer_ = std::make_unique<Timer>([this] { checkForSessionStart(); });
        startTimer_->start(kStartPollInterval, true);
    }
}

void ZEPMIDINetworkSession::createEntity(MIDIDeviceRef driver)
{
    note(setup().addEntity(driver, localName_, true, 1, 1, &entity_));
    const QVariantMap settings{
        {MIDINetworkDriver::kFlagsKey, 1},
        {MIDINetworkDriver::kJoinPolicyKey, connectionPolicy_},
        {MIDINetworkDriver::kPeersKey, QVariantList()},
        {MIDINetworkDriver::kPortKey, 0},
        {MIDINetworkDriver::kNetworkNameKey, networkName_},
    };
    note(setup().setDictionaryProperty(entity_, MIDINetworkDriver::kSessionProperty, settings));
    note(setup().setIntegerProperty(entity_, kMIDIPropertyOffline, 0));
    note(setup().setIntegerProperty(entity_, kOwnershipProperty, 1));
}

ZEPMIDINetworkSession::~ZEPMIDINetworkSession()
{
    startTimer_.reset();
    SInt32 owned = 0;
    if (entity_ != kMIDINullObject && setup().integerProperty(entity_, kOwnershipProperty, &owned) == noErr &&
        owned == 1)
        removeEntityFromAppleRTPDriver(entity_);
}

OSStatus ZEPMIDINetworkSession::note(OSStatus status)
{
    if (status != noErr)
        error_ = status;
    return status;
}

void ZEPMIDINetworkSession::setConnectionPolicy(uint32_t policy)
{
    QVariantMap settings;
    if (note(setup().dictionaryProperty(entity_, MIDINetworkDriver::kSessionProperty, &settings)) != noErr ||
        error_ != noErr)
        return;
    settings.insert(MIDINetworkDriver::kJoinPolicyKey, policy);
    if (note(setup().setDictionaryProperty(entity_, MIDINetworkDriver::kSessionProperty, settings)) == noErr &&
        error_ == noErr)
        connectionPolicy_ = policy;
}

MIDIEndpointRef ZEPMIDINetworkSession::sourceEndpoint() const
{
    return setup().source(entity_, 0);
}

MIDIEndpointRef ZEPMIDINetworkSession::destinationEndpoint() const
{
    return setup().destination(entity_, 0);
}

void ZEPMIDINetworkSession::checkForSessionStart()
{
    QVariantMap settings;
    if (note(setup().dictionaryProperty(entity_, MIDINetworkDriver::kSessionProperty, &settings)) != noErr)
        return;
    bool isNumber = false;
    const uint32_t port = settings.value(MIDINetworkDriver::kPortKey).toUInt(&isNumber);
    if (!isNumber || port == 0)
        return;
    if (startTimer_)
        startTimer_->stop();
    enabled_ = true;
    networkPort_ = port;
    if (delegate_)
        delegate_->midiNetworkSessionDidStart(this);
}
