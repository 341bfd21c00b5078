#pragma once
// The machine's audio devices, in place of the audio hardware interface: one list over the
// sound systems RtAudio reaches, a running JACK server first, then PulseAudio, then ALSA.
//
// A device is known by a stable uid "<api>:<device name>" (RtAudio's own device numbers
// change as devices come and go) and, within this process, by a small AudioObjectID that
// stays the same for a uid as long as the process runs; 0 means "no device".
//
// The list is read again by refresh(), and about once a second by a polling thread while
// anyone listens; listeners hear of changes on that thread, never on a render thread. The
// JACK part is read by a child process (JackDeviceLister.h); when it does not answer in time
// the JACK devices stay as last read.
//
// Linux devices have no data sources, transport type or hardware gain: callers that ask
// for them get neutral values from the layers above.

#include "platform/CoreAudioTypes.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

using AudioObjectID = UInt32;

struct AudioHardwareDevice {
    AudioObjectID id = 0;
    QString uid;  // "<api>:<device name>"
    QString name; // the device name as the sound system gives it
    QString api;  // "jack", "pulse" or "alsa"
    UInt32 outputChannels = 0;
    UInt32 inputChannels = 0;
    std::vector<UInt32> sampleRates;
    UInt32 preferredSampleRate = 0;
};

class AudioHardware {
public:
    enum class Change {
        DevicesChanged,      // a device came or went
        DefaultOutputChanged,
        DefaultInputChanged,
        DeviceDied,          // the device with the given id went away
    };
    using Listener = std::function<void(Change change, AudioObjectID device)>;

    static AudioHardware& shared();

    std::vector<AudioHardwareDevice> devices();
    std::optional<AudioHardwareDevice> device(AudioObjectID id);
    AudioObjectID defaultOutputDevice();
    AudioObjectID defaultInputDevice();
    // 0 when no present device has that uid.
    AudioObjectID deviceIDForUID(const QString& uid);
    bool isAlive(AudioObjectID id);

    // Reads the device list now and tells the listeners what changed.
    void refresh();
    // Any thread, also a sound server's own (no lock, no allocation): the list is out of date.
    // The polling thread reads it again at once, and so does the next query when none polls.
    void refreshSoon() noexcept;
    // Any thread, a sound server's own too (no lock, no allocation): the server of device id
    // told its client it is ending. A server that is ending may still answer a listing for a
    // moment, so the list is read again at once and, while anyone listens, every
    // kEndingRereadMs as long as it still lists the device, for up to kEndingRereadLimitMs.
    void deviceEnded(AudioObjectID id) noexcept;
    static constexpr int kEndingRereadMs = 50;
    static constexpr int kEndingRereadLimitMs = 10000;

    // Listeners run on the thread that noticed the change (the polling thread, or the
    // caller of refresh()), one call at a time. Adding the first listener starts polling.
    int addListener(Listener listener);
    // Once it returns the listener is never called again: a call under way on another thread
    // is waited for (so a listener must not wait for the thread that removes it). A listener
    // may remove itself, or another, from its own call.
    void removeListener(int token);

    // How many times the list has been read; tests wait on it.
    unsigned long readCount() const { return reads_.load(); }

    // Interval of the polling thread; tests shorten it.
    void setPollingInterval(int milliseconds);

    // A sentence telling what is missing when no output device exists at all.
    static QString noOutputDeviceExplanation();

    ~AudioHardware();

private:
    AudioHardware() = default;
    struct Snapshot {
        std::vector<AudioHardwareDevice> devices;
        AudioObjectID defaultOutput = 0;
        AudioObjectID defaultInput = 0;
    };
    Snapshot enumerate();
    AudioObjectID idForUID(const QString& uid); // assigns a new id on first sight
    void ensureLoaded();
    // After a read: forgets the ending device once it is no longer listed or its time is up.
    void noteEndingDeviceLocked();
    void startPollingLocked();
    void pollLoop();

    std::mutex mutex_;
    bool loaded_ = false;
    Snapshot current_;
    std::map<QString, AudioObjectID> ids_;
    AudioObjectID nextID_ = 1;

    std::mutex listenersMutex_;
    std::condition_variable listenerReturned_;
    std::map<int, std::shared_ptr<Listener>> listeners_;
    int nextToken_ = 1;
    int callingToken_ = 0;             // the listener being called, 0 when none
    std::thread::id callingThread_;    // and the thread calling it

    std::mutex pollMutex_;
    std::condition_variable pollWake_;
    std::thread poller_;
    bool stopPolling_ = false;
    std::atomic<int> intervalMs_{1000};
    std::atomic<bool> stale_{false};
    std::atomic<unsigned long> reads_{0};
    std::atomic<AudioObjectID> endingDevice_{0};     // 0 when no server is ending
    std::atomic<std::chrono::steady_clock::time_point> endingDeadline_{};
    static_assert(std::atomic<std::chrono::steady_clock::time_point>::is_always_lock_free); // set on server threads
};
