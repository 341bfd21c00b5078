// The output device of the playback controller: the chosen device, the device list's
// changes (handed from the device polling thread to the main thread) and the following of
// the stored device when it is unplugged and comes back.
#include "clipdeck/CKPlaybackController.h"

#include "audio/engine/ZEPAudioDevice.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

void CKPlaybackController::setOutputAudioDevice(std::shared_ptr<ZEPAudioDevice> device)
{
    mOutputDevice = std::move(device);
    mOutputPlayer->setDevice(mOutputDevice ? mOutputDevice->audioDeviceID() : 0);
}

void CKPlaybackController::updateOutputDevice()
{
    const AudioObjectID wanted = mOutputDevice ? mOutputDevice->audioDeviceID() : 0;
    if (mOutputPlayer->device() != wanted || (wanted == 0) != mOutputPlayer->usesDefaultOutputDevice())
        mOutputPlayer->setDevice(wanted);
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setObject(mOutputDevice ? QVariant(mOutputDevice->uid()) : QVariant(), OutputDeviceKey);
    defaults.synchronize();
}

void CKPlaybackController::listenForDeviceChanges()
{
    // The listener runs on the polling thread: it only hands each change to the main thread.
    mDeviceListenerToken = AudioHardware::shared().addListener([this](AudioHardware::Change change, AudioObjectID id) {
        switch (change) {
        case AudioHardware::Change::DevicesChanged:
            mainthread::post([this] {
                NotificationCenter::defaultCenter().post(DevicesChangedNotification);
                followStoredOutputDevice();
            });
            break;
        case AudioHardware::Change::DefaultOutputChanged:
            mainthread::post([this] {
                NotificationCenter::defaultCenter().post(DefaultOutputChangedNotification);
                followStoredOutputDevice();
            });
            break;
        case AudioHardware::Change::DeviceDied:
            mainthread::post([this, id] { outputDeviceDied(id); });
            break;
        case AudioHardware::Change::DefaultInputChanged:
            break;
        }
    });
}

void CKPlaybackController::outputDeviceDied(AudioObjectID device)
{
    if (device != 0 && device == mOutputPlayer->device())
        mOutputDeviceLost = true;
}

void CKPlaybackController::followStoredOutputDevice()
{
    if (mTerminating)
        return;
    const QString uid = UserDefaults::standardUserDefaults().stringForKey(OutputDeviceKey);
    AudioHardware& hardware = AudioHardware::shared();
    const AudioObjectID wanted = uid.isEmpty() ? hardware.defaultOutputDevice() : hardware.deviceIDForUID(uid);
    if (wanted == 0)
        return; // not there (yet): the output stays where it is
    const bool elsewhere = mOutputPlayer->device() != wanted;
    if (!elsewhere && !mOutputDeviceLost && mOutputPlayer->isRunning())
        return;
    if (!uid.isEmpty()) {
        mOutputDevice = ZEPAudioDevice::audioDeviceWithDeviceID(wanted);
        mOutputPlayer->setDevice(wanted);
    } else {
        mOutputPlayer->setDevice(0);
    }
    // A stream on a device that went away still counts as running: it is started afresh.
    if (mOutputDeviceLost || !mOutputPlayer->isRunning())
        restartOutput();
    mOutputDeviceLost = false;
}

void CKPlaybackController::restartOutput()
{
    // The player forgets its pause when its device goes away: the pause asked for holds, and
    // "paused" (which counts only while the output runs) is announced when it shows again.
    const bool pausedBefore = paused();
    const bool wasPaused = mOutputPlayer->isPaused() || mPauseWanted;
    mOutputPlayer->stop();
    if (const OSStatus status = mOutputPlayer->play())
        qWarning("The output does not run (%d): %s", int(status), qPrintable(mOutputPlayer->lastErrorText()));
    if (wasPaused)
        mOutputPlayer->pause();
    if (paused() != pausedBefore)
        didChangeValueForKey(QStringLiteral("paused"), pausedBefore, paused());
}
