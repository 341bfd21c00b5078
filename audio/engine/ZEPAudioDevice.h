#pragma once
// One audio device of the machine, for the rest of the program: the device list, the
// defaults, a device's persistent uid, name, channel count and sample rates, and the
// notifications of devices arriving, leaving and disconnecting.
//
// Devices come from platform/devices/AudioHardware (JACK, then PulseAudio, then ALSA); a
// uid reads "<api>:<device name>". Linux devices have no data sources, no transport type
// and no hardware gain, so sources() is empty, transportType() is 0, iconImageName() is
// empty, gains() is empty and the supports...Gain() tests answer false.
//
// Notifications (posted synchronously on the thread that noticed the change, the device
// polling thread; observers that touch the interface hop to the main thread themselves):
//   "ZEPAudioDevicesConnectionNotification"   object null: the device list changed
//   "ZEPAudioDeviceDidDisconnectNotification" object the ZEPAudioDevice: it went away
// Any thread.

#include "platform/CoreAudioTypes.h"
#include "platform/devices/AudioHardware.h"

#include <QString>
#include <QVariantList>

#include <memory>
#include <vector>

inline const QString ZEPAudioDevicesConnectionNotification = QStringLiteral("ZEPAudioDevicesConnectionNotification");
inline const QString ZEPAudioDeviceDidDisconnectNotification = QStringLiteral("ZEPAudioDeviceDidDisconnectNotification");

class ZEPAudioDevice {
public:
    // Every present device, in list order.
    static std::vector<std::shared_ptr<ZEPAudioDevice>> audioDevices();
    static std::vector<std::shared_ptr<ZEPAudioDevice>> inputAudioDevices();
    static std::vector<std::shared_ptr<ZEPAudioDevice>> outputAudioDevices();
    // Null when there is no such default.
    static std::shared_ptr<ZEPAudioDevice> defaultOutputDevice();
    static std::shared_ptr<ZEPAudioDevice> defaultInputDevice();
    static std::shared_ptr<ZEPAudioDevice> defaultAlertsDevice(); // alerts play on the default output
    static std::shared_ptr<ZEPAudioDevice> audioDeviceWithDeviceID(AudioObjectID deviceID);
    // Null when no present device has the uid.
    static std::shared_ptr<ZEPAudioDevice> audioDeviceWithDeviceUID(const QString& uid);

    explicit ZEPAudioDevice(AudioObjectID deviceID);
    ~ZEPAudioDevice();
    ZEPAudioDevice(const ZEPAudioDevice&) = delete;
    ZEPAudioDevice& operator=(const ZEPAudioDevice&) = delete;

    AudioObjectID audioDeviceID() const { return mDeviceID; }
    // The rate the device runs at; 0 when it is gone.
    double nominalSampleRate() const;
    // The rates the device offers (numbers); empty when it is gone.
    QVariantList availableSampleRates() const;
    bool isInput() const;
    bool isOutput() const;
    // Null strings when the device is gone.
    QString uid() const;
    QString name() const;
    // Channels in the device's own direction (input when isInput(), else output).
    UInt32 numberOfChannels() const;
    QVariantList sources() const { return {}; }
    UInt32 transportType() const { return 0; }
    QString iconImageName() const;
    QVariantList gains() const { return {}; }
    bool supportsGain() const { return supportsMasterGain() || supportsChannelGain(); }
    bool supportsMasterGain() const { return false; }
    bool supportsChannelGain() const { return false; }

    // The rate to pick out of a device's range [minimum, maximum]: the first of the
    // standard rates (44100, 48000, 96000, 88200, 64000, 32000, 24000, 22050, 16000, 12000,
    // 11025, 8000) inside it, else the maximum.
    static double preferredSampleRateInRange(double minimum, double maximum);

    // Name of the image for a transport type; empty for an unknown type.
    static QString iconImageNameForTransportType(UInt32 transportType);

private:
    std::optional<AudioHardwareDevice> info() const;
    AudioObjectID mDeviceID;
    int mListenerToken = 0;
};

// Device helpers over the device list (the few the players and menus call).
// The device with the uid, or 0 in *outDevice; a null uid returns 0 and leaves it alone.
OSStatus ZEPDeviceIDForUID(const QString& uid, AudioObjectID* outDevice);
OSStatus ZEPGetDefaultOutputDevice(AudioObjectID* outDevice);
OSStatus ZEPGetDefaultInputDevice(AudioObjectID* outDevice);
OSStatus ZEPDeviceGetName(AudioObjectID device, QString* outName);
OSStatus ZEPDeviceGetChannelCount(AudioObjectID device, bool isInput, UInt32* outChannels);
OSStatus ZEPDeviceIsAlive(AudioObjectID device, UInt32* outAlive);
bool ZEPDeviceHasInputStreams(AudioObjectID device);
bool ZEPDeviceHasOutputStreams(AudioObjectID device);
// Names and uids of every device with output (input) channels, in list order.
OSStatus ZEPCopyOutputDeviceNamesAndUIDs(QStringList* outNames, QStringList* outUIDs);
OSStatus ZEPCopyInputDeviceNamesAndUIDs(QStringList* outNames, QStringList* outUIDs);
// Largest rate the device offers; 0 when it offers none.
OSStatus ZEPDeviceGetMaxSampleRate(AudioObjectID device, Float64* outRate);
// The offered rate nearest to *ioRate; 0 when it offers none.
OSStatus ZEPDeviceGetNearestSampleRate(AudioObjectID device, Float64* ioRate);
