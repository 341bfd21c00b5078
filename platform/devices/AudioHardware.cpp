#include "platform/devices/AudioHardware.h"

#include "platform/devices/DeviceListing.h"
#include "platform/devices/JackDeviceLister.h"
#include "platform/devices/SoundLibraryMessages.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <set>

namespace {

// A JACK listing takes a few milliseconds; this bound is for a machine at full load.
constexpr int kJackListingTimeoutMs = 5000;
// While a server is ending a listing that hangs on it is given up sooner: another follows.
constexpr int kEndingJackListingTimeoutMs = 1000;

// The sound systems in order of preference.
const RtAudio::Api kApis[] = {RtAudio::UNIX_JACK, RtAudio::LINUX_PULSE, RtAudio::LINUX_ALSA};

bool isCompiled(RtAudio::Api api)
{
    std::vector<RtAudio::Api> compiled;
    RtAudio::getCompiledApi(compiled);
    return std::find(compiled.begin(), compiled.end(), api) != compiled.end();
}

} // namespace

AudioHardware& AudioHardware::shared()
{
    static AudioHardware hardware;
    return hardware;
}

AudioHardware::~AudioHardware()
{
    {
        std::lock_guard lock(pollMutex_);
        stopPolling_ = true;
    }
    pollWake_.notify_all();
    if (poller_.joinable())
        poller_.join();
}

AudioObjectID AudioHardware::idForUID(const QString& uid)
{
    std::lock_guard lock(mutex_);
    auto it = ids_.find(uid);
    if (it != ids_.end())
        return it->second;
    const AudioObjectID id = nextID_++;
    ids_.emplace(uid, id);
    return id;
}

AudioHardware::Snapshot AudioHardware::enumerate()
{
    silenceSoundLibraryMessages();
    Snapshot snapshot;
    std::vector<AudioHardwareDevice> previous;
    {
        std::lock_guard lock(mutex_);
        previous = current_.devices;
    }
    for (RtAudio::Api api : kApis) {
        if (!isCompiled(api))
            continue;
        const QString apiName = QString::fromStdString(RtAudio::getApiName(api));
        std::optional<DeviceListing> listing;
        if (api == RtAudio::UNIX_JACK)
            listing = listJackDevicesInChildProcess(endingDevice_.load() != 0 ? kEndingJackListingTimeoutMs
                                                                              : kJackListingTimeoutMs);
        else
            listing = listDevices(api);
        if (!listing) {
            // The lister did not answer in time (a server ending, a machine at full load):
            // its devices stay as they were until a read that answers.
            for (const auto& device : previous) {
                if (device.api == apiName)
                    snapshot.devices.push_back(device);
            }
            continue;
        }
        for (const ListedDevice& info : listing->devices) {
            AudioHardwareDevice device;
            device.api = apiName;
            device.name = QString::fromStdString(info.name);
            device.uid = apiName + ":" + device.name;
            device.id = idForUID(device.uid);
            if (info.probed) {
                device.outputChannels = info.outputChannels;
                device.inputChannels = info.inputChannels;
                device.sampleRates = info.sampleRates;
                device.preferredSampleRate = info.preferredSampleRate;
            } else {
                // A device busy with our own stream cannot be probed: keep what was known.
                auto known = std::find_if(previous.begin(), previous.end(),
                                          [&](const AudioHardwareDevice& d) { return d.uid == device.uid; });
                if (known != previous.end())
                    device = *known;
            }
            if (info.index == listing->defaultOutput && device.outputChannels > 0 && snapshot.defaultOutput == 0)
                snapshot.defaultOutput = device.id;
            if (info.index == listing->defaultInput && device.inputChannels > 0 && snapshot.defaultInput == 0)
                snapshot.defaultInput = device.id;
            snapshot.devices.push_back(device);
        }
    }
    // A preferred system without a default of its own still gives one.
    for (const auto& device : snapshot.devices) {
        if (snapshot.defaultOutput == 0 && device.outputChannels > 0)
            snapshot.defaultOutput = device.id;
        if (snapshot.defaultInput == 0 && device.inputChannels > 0)
            snapshot.defaultInput = device.id;
    }
    return snapshot;
}

void AudioHardware::ensureLoaded()
{
    bool loaded;
    {
        std::lock_guard lock(mutex_);
        loaded = loaded_;
    }
    if (!loaded || stale_.load())
        refresh();
}

void AudioHardware::refreshSoon() noexcept
{
    stale_.store(true);
    pollWake_.notify_all();
}

void AudioHardware::deviceEnded(AudioObjectID id) noexcept
{
    endingDeadline_.store(std::chrono::steady_clock::now() + std::chrono::milliseconds(kEndingRereadLimitMs));
    endingDevice_.store(id);
    refreshSoon();
}

void AudioHardware::refresh()
{
    static std::mutex refreshMutex;
    std::lock_guard refreshing(refreshMutex);
    stale_.store(false);
    Snapshot fresh = enumerate();

    std::vector<std::pair<Change, AudioObjectID>> changes;
    {
        std::lock_guard lock(mutex_);
        if (loaded_) {
            std::set<AudioObjectID> before, after;
            for (const auto& d : current_.devices)
                before.insert(d.id);
            for (const auto& d : fresh.devices)
                after.insert(d.id);
            for (AudioObjectID id : before) {
                if (!after.count(id))
                    changes.emplace_back(Change::DeviceDied, id);
            }
            if (before != after)
                changes.emplace_back(Change::DevicesChanged, 0);
            if (fresh.defaultOutput != current_.defaultOutput)
                changes.emplace_back(Change::DefaultOutputChanged, fresh.defaultOutput);
            if (fresh.defaultInput != current_.defaultInput)
                changes.emplace_back(Change::DefaultInputChanged, fresh.defaultInput);
        }
        current_ = std::move(fresh);
        loaded_ = true;
        noteEndingDeviceLocked();
    }
    reads_.fetch_add(1);
    if (changes.empty())
        return;
    std::vector<int> tokens;
    {
        std::lock_guard lock(listenersMutex_);
        for (const auto& entry : listeners_)
            tokens.push_back(entry.first);
    }
    for (const auto& [change, id] : changes) {
        for (int token : tokens) {
            std::shared_ptr<Listener> listener;
            {
                std::lock_guard lock(listenersMutex_);
                const auto it = listeners_.find(token);
                if (it == listeners_.end())
                    continue; // removed meanwhile
                listener = it->second;
                callingToken_ = token;
                callingThread_ = std::this_thread::get_id();
            }
            (*listener)(change, id);
            {
                std::lock_guard lock(listenersMutex_);
                callingToken_ = 0;
                callingThread_ = {};
            }
            listenerReturned_.notify_all();
        }
    }
}

void AudioHardware::noteEndingDeviceLocked()
{
    AudioObjectID ending = endingDevice_.load();
    if (ending == 0)
        return;
    const bool listed = std::any_of(current_.devices.begin(), current_.devices.end(),
                                    [&](const AudioHardwareDevice& d) { return d.id == ending; });
    if (!listed || std::chrono::steady_clock::now() >= endingDeadline_.load())
        endingDevice_.compare_exchange_strong(ending, 0); // a newer ending stays
}

std::vector<AudioHardwareDevice> AudioHardware::devices()
{
    ensureLoaded();
    std::lock_guard lock(mutex_);
    return current_.devices;
}

std::optional<AudioHardwareDevice> AudioHardware::device(AudioObjectID id)
{
    ensureLoaded();
    std::lock_guard lock(mutex_);
    for (const auto& d : current_.devices) {
        if (d.id == id)
            return d;
    }
    return std::nullopt;
}

AudioObjectID AudioHardware::defaultOutputDevice()
{
    ensureLoaded();
    std::lock_guard lock(mutex_);
    return current_.defaultOutput;
}

AudioObjectID AudioHardware::defaultInputDevice()
{
    ensureLoaded();
    std::lock_guard lock(mutex_);
    return current_.defaultInput;
}

AudioObjectID AudioHardware::deviceIDForUID(const QString& uid)
{
    ensureLoaded();
    std::lock_guard lock(mutex_);
    for (const auto& d : current_.devices) {
        if (d.uid == uid)
            return d.id;
    }
    return 0;
}

bool AudioHardware::isAlive(AudioObjectID id) { return id != 0 && device(id).has_value(); }

int AudioHardware::addListener(Listener listener)
{
    ensureLoaded();
    int token;
    {
        std::lock_guard lock(listenersMutex_);
        token = nextToken_++;
        listeners_.emplace(token, std::make_shared<Listener>(std::move(listener)));
    }
    std::lock_guard lock(pollMutex_);
    startPollingLocked();
    return token;
}

void AudioHardware::removeListener(int token)
{
    std::unique_lock lock(listenersMutex_);
    listeners_.erase(token);
    // A call of it on another thread may have begun before the erase: it ends first.
    listenerReturned_.wait(lock, [&] {
        return callingToken_ != token || callingThread_ == std::this_thread::get_id();
    });
}

void AudioHardware::setPollingInterval(int milliseconds)
{
    intervalMs_ = std::max(1, milliseconds);
    pollWake_.notify_all();
}

void AudioHardware::startPollingLocked()
{
    if (!poller_.joinable())
        poller_ = std::thread([this] { pollLoop(); });
}

void AudioHardware::pollLoop()
{
    std::unique_lock lock(pollMutex_);
    while (!stopPolling_) {
        // While an ending server still lists its device, the list is read again shortly.
        const auto currentWaitMs = [this] { return endingDevice_.load() != 0 ? kEndingRereadMs : intervalMs_.load(); };
        const int waitMs = currentWaitMs();
        const bool woken = pollWake_.wait_for(lock, std::chrono::milliseconds(waitMs), [&] {
            return stopPolling_ || stale_.load() || currentWaitMs() != waitMs;
        });
        if (stopPolling_)
            break;
        if (woken && !stale_.load())
            continue; // only the interval changed: the wait starts anew
        lock.unlock();
        refresh();
        lock.lock();
    }
}

QString AudioHardware::noOutputDeviceExplanation()
{
    return QStringLiteral(
        "No audio output device was found: no JACK server is running, no PulseAudio server answers, "
        "and ALSA lists no sound card. Start a JACK or PulseAudio server, or connect a sound card.");
}
