#include "audio/engine/ZEPAudioDevice.h"

#include "platform/NotificationCenter.h"

#include <QStringList>

#include <cmath>
#include <mutex>

namespace {

// Announces list changes once for the whole program, from the first use of the class on.
void listenForDeviceListChanges()
{
    static std::once_flag once;
    std::call_once(once, [] {
        AudioHardware::shared().addListener([](AudioHardware::Change change, AudioObjectID) {
            if (change == AudioHardware::Change::DevicesChanged)
                NotificationCenter::defaultCenter().post(ZEPAudioDevicesConnectionNotification);
        });
    });
}

std::vector<std::shared_ptr<ZEPAudioDevice>> devicesWhere(bool (ZEPAudioDevice::*predicate)() const)
{
    std::vector<std::shared_ptr<ZEPAudioDevice>> result;
    for (auto& device : ZEPAudioDevice::audioDevices()) {
        if (!predicate || (device.get()->*predicate)())
            result.push_back(std::move(device));
    }
    return result;
}

std::shared_ptr<ZEPAudioDevice> deviceOrNull(AudioObjectID id)
{
    return id ? std::make_shared<ZEPAudioDevice>(id) : nullptr;
}

} // namespace

std::vector<std::shared_ptr<ZEPAudioDevice>> ZEPAudioDevice::audioDevices()
{
    listenForDeviceListChanges();
    std::vector<std::shared_ptr<ZEPAudioDevice>> result;
    for (const auto& device : AudioHardware::shared().devices())
        result.push_back(std::make_shared<ZEPAudioDevice>(device.id));
    return result;
}

std::vector<std::shared_ptr<ZEPAudioDevice>> ZEPAudioDevice::inputAudioDevices()
{
    return devicesWhere(&ZEPAudioDevice::isInput);
}

std::vector<std::shared_ptr<ZEPAudioDevice>> ZEPAudioDevice::outputAudioDevices()
{
    return devicesWhere(&ZEPAudioDevice::isOutput);
}

std::shared_ptr<ZEPAudioDevice> ZEPAudioDevice::defaultOutputDevice()
{
    listenForDeviceListChanges();
    return deviceOrNull(AudioHardware::shared().defaultOutputDevice());
}

std::shared_ptr<ZEPAudioDevice> ZEPAudioDevice::defaultInputDevice()
{
    listenForDeviceListChanges();
    return deviceOrNull(AudioHardware::shared().defaultInputDevice());
}

std::shared_ptr<ZEPAudioDevice> ZEPAudioDevice::defaultAlertsDevice() { return defaultOutputDevice(); }

std::shared_ptr<ZEPAudioDevice> ZEPAudioDevice::audioDeviceWithDeviceID(AudioObjectID deviceID)
{
    listenForDeviceListChanges();
    return std::make_shared<ZEPAudioDevice>(deviceID);
}

std::shared_ptr<ZEPAudioDevice> ZEPAudioDevice::audioDeviceWithDeviceUID(const QString& uid)
{
    AudioObjectID id = 0;
    if (uid.isEmpty() || ZEPDeviceIDForUID(uid, &id) != noErr || id == 0)
        return nullptr;
    return audioDeviceWithDeviceID(id);
}

ZEPAudioDevice::ZEPAudioDevice(AudioObjectID deviceID) : mDeviceID(deviceID)
{
    mListenerToken = AudioHardware::shared().addListener([this](AudioHardware::Change change, AudioObjectID device) {
        if (change == AudioHardware::Change::DeviceDied && device == mDeviceID)
            NotificationCenter::defaultCenter().post(ZEPAudioDeviceDidDisconnectNotification, this);
    });
}

ZEPAudioDevice::~ZEPAudioDevice() { AudioHardware::shared().removeListener(mListenerToken); }

std::optional<AudioHardwareDevice> ZEPAudioDevice::info() const { return AudioHardware::shared().device(mDeviceID); }

double ZEPAudioDevice::nominalSampleRate() const
{
    const auto device = info();
    if (!device)
        return 0;
    if (device->preferredSampleRate)
        return device->preferredSampleRate;
    return device->sampleRates.empty() ? 0 : device->sampleRates.front();
}

QVariantList ZEPAudioDevice::availableSampleRates() const
{
    QVariantList rates;
    if (const auto device = info()) {
        // The sound systems list single rates: each is a range of its own.
        for (UInt32 rate : device->sampleRates)
            rates.append(preferredSampleRateInRange(rate, rate));
    }
    return rates;
}

bool ZEPAudioDevice::isInput() const
{
    const auto device = info();
    return device && device->inputChannels > 0;
}

bool ZEPAudioDevice::isOutput() const
{
    const auto device = info();
    return device && device->outputChannels > 0;
}

QString ZEPAudioDevice::uid() const
{
    const auto device = info();
    return device ? device->uid : QString();
}

QString ZEPAudioDevice::name() const
{
    const auto device = info();
    return device ? device->name : QString();
}

UInt32 ZEPAudioDevice::numberOfChannels() const
{
    const auto device = info();
    if (!device)
        return 0;
    return device->inputChannels > 0 ? device->inputChannels : device->outputChannels;
}

QString ZEPAudioDevice::iconImageName() const { return iconImageNameForTransportType(transportType()); }

double ZEPAudioDevice::preferredSampleRateInRange(double minimum, double maximum)
{
    static const double kStandardRates[] = {44100, 48000, 96000, 88200, 64000, 32000,
                                            24000, 22050, 16000, 12000, 11025, 8000};
    for (double rate : kStandardRates) {
        if (minimum <= rate && rate <= maximum)
            return rate;
    }
    return maximum;
}

QString ZEPAudioDevice::iconImageNameForTransportType(UInt32 transportType)
{
    switch (transportType) {
    case FourCC("1394"): return "kIOAudioDeviceTransportTypeFireWire";
    case FourCC("bltn"): return "kIOAudioDeviceTransportTypeBuiltIn";
    case FourCC("ntwk"): return "kIOAudioDeviceTransportTypeNetwork";
    case FourCC("othr"): return "kIOAudioDeviceTransportTypeOther";
    case FourCC("pci "): return "kIOAudioDeviceTransportTypePCI";
    case FourCC("usb "): return "kIOAudioDeviceTransportTypeUSB";
    case FourCC("virt"): return "kIOAudioDeviceTransportTypeVirtual";
    case FourCC("wrls"): return "kIOAudioDeviceTransportTypeWireless";
    default: return {};
    }
}

OSStatus ZEPDeviceIDForUID(const QString& uid, AudioObjectID* outDevice)
{
    if (uid.isNull())
        return noErr;
    *outDevice = AudioHardware::shared().deviceIDForUID(uid);
    return *outDevice ? noErr : kAudioHardwareBadDeviceError;
}

OSStatus ZEPGetDefaultOutputDevice(AudioObjectID* outDevice)
{
    *outDevice = AudioHardware::shared().defaultOutputDevice();
    return *outDevice ? noErr : kAudioHardwareBadDeviceError;
}

OSStatus ZEPGetDefaultInputDevice(AudioObjectID* outDevice)
{
    *outDevice = AudioHardware::shared().defaultInputDevice();
    return *outDevice ? noErr : kAudioHardwareBadDeviceError;
}

OSStatus ZEPDeviceGetName(AudioObjectID device, QString* outName)
{
    const auto info = AudioHardware::shared().device(device);
    if (!info)
        return kAudioHardwareBadDeviceError;
    *outName = info->name;
    return noErr;
}

OSStatus ZEPDeviceGetChannelCount(AudioObjectID device, bool isInput, UInt32* outChannels)
{
    const auto info = AudioHardware::shared().device(device);
    if (!info)
        return kAudioHardwareBadDeviceError;
    *outChannels = isInput ? info->inputChannels : info->outputChannels;
    return noErr;
}

OSStatus ZEPDeviceIsAlive(AudioObjectID device, UInt32* outAlive)
{
    *outAlive = AudioHardware::shared().isAlive(device) ? 1 : 0;
    return noErr;
}

bool ZEPDeviceHasInputStreams(AudioObjectID device)
{
    UInt32 channels = 0;
    return ZEPDeviceGetChannelCount(device, true, &channels) == noErr && channels > 0;
}

bool ZEPDeviceHasOutputStreams(AudioObjectID device)
{
    UInt32 channels = 0;
    return ZEPDeviceGetChannelCount(device, false, &channels) == noErr && channels > 0;
}

namespace {

OSStatus copyNamesAndUIDs(bool input, QStringList* outNames, QStringList* outUIDs)
{
    outNames->clear();
    outUIDs->clear();
    for (const auto& device : AudioHardware::shared().devices()) {
        if ((input ? device.inputChannels : device.outputChannels) == 0)
            continue;
        outNames->append(device.name);
        outUIDs->append(device.uid);
    }
    return noErr;
}

} // namespace

OSStatus ZEPCopyOutputDeviceNamesAndUIDs(QStringList* outNames, QStringList* outUIDs)
{
    return copyNamesAndUIDs(false, outNames, outUIDs);
}

OSStatus ZEPCopyInputDeviceNamesAndUIDs(QStringList* outNames, QStringList* outUIDs)
{
    return copyNamesAndUIDs(true, outNames, outUIDs);
}

OSStatus ZEPDeviceGetMaxSampleRate(AudioObjectID device, Float64* outRate)
{
    const auto info = AudioHardware::shared().device(device);
    if (!info)
        return kAudioHardwareBadDeviceError;
    *outRate = 0;
    for (UInt32 rate : info->sampleRates)
        *outRate = std::max<Float64>(*outRate, rate);
    return noErr;
}

OSStatus ZEPDeviceGetNearestSampleRate(AudioObjectID device, Float64* ioRate)
{
    const auto info = AudioHardware::shared().device(device);
    if (!info)
        return kAudioHardwareBadDeviceError;
    const Float64 wanted = *ioRate;
    *ioRate = 0;
    for (UInt32 rate : info->sampleRates) {
        if (*ioRate == 0 || std::fabs(rate - wanted) < std::fabs(*ioRate - wanted))
            *ioRate = rate;
    }
    return noErr;
}
