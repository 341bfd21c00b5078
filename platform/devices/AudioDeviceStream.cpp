#include "platform/devices/AudioDeviceStream.h"

#include "platform/ThreadPriority.h"
#include "platform/devices/JackStreamClient.h"

#include <rtaudio/RtAudio.h>
#include <samplerate.h>

#include <QtGlobal>

#include <algorithm>
#include <pthread.h>
#include <cstring>
#include <time.h>
#include <tuple>
#include <utility>
#include <vector>

namespace {

constexpr UInt32 kPlaybackRate = 44100;
constexpr UInt32 kRequestedBufferFrames = 512;
// Frames the converter pulls from the render procedure at a time.
constexpr UInt32 kConverterChunk = 256;

RtAudio::Api apiNamed(const QString& name)
{
    return RtAudio::getCompiledApiByName(name.toStdString());
}

UInt64 hostTimeNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return UInt64(now.tv_sec) * 1000000000ull + UInt64(now.tv_nsec);
}

std::atomic<const AudioDeviceSliceObserver*> g_sliceObserver{nullptr};

UInt32 chooseRate(const AudioHardwareDevice& device)
{
    const auto& rates = device.sampleRates;
    if (std::find(rates.begin(), rates.end(), kPlaybackRate) != rates.end())
        return kPlaybackRate;
    if (device.preferredSampleRate)
        return device.preferredSampleRate;
    return rates.empty() ? kPlaybackRate : rates.front();
}

} // namespace

struct AudioDeviceStream::Engine {
    std::unique_ptr<RtAudio> audio;      // every system but JACK
    std::unique_ptr<JackStreamClient> jack;
    UInt32 channels = 2;          // channels open on the device (1 or 2)
    UInt32 maxFrames = 0;         // largest device slice the scratch buffers hold
    SRC_STATE* converter = nullptr;
    double ratio = 1.0;           // output rate / input rate of the converter
    std::vector<float> left, right;     // planar audio at 44100 Hz
    std::vector<float> interleavedIn;   // converter input
    std::vector<float> interleavedOut;  // converter output
    AudioTimeStamp timeStamp;

    ~Engine()
    {
        if (converter)
            src_delete(converter);
    }
};

AudioDeviceStream::AudioDeviceStream(Direction direction) : direction_(direction) {}

AudioDeviceStream::~AudioDeviceStream() { stop(); }

void AudioDeviceStream::setRenderProc(AudioDeviceRenderProc proc, void* refCon)
{
    renderProc_ = proc;
    renderRefCon_ = refCon;
}

void AudioDeviceStream::setCaptureProc(AudioDeviceCaptureProc proc, void* refCon)
{
    captureProc_ = proc;
    captureRefCon_ = refCon;
}

OSStatus AudioDeviceStream::setDevice(AudioObjectID device)
{
    if (device != 0 && !AudioHardware::shared().isAlive(device))
        return kAudioHardwareBadDeviceError;
    if (device == device_)
        return noErr;
    device_ = device;
    if (!isRunning())
        return noErr;
    stop();
    return start();
}

OSStatus AudioDeviceStream::start()
{
    if (isRunning())
        return noErr;
    if (engine_)
        stop(); // what is left of a stream whose device went away
    errorText_.clear();
    deviceGone_.store(false);
    AudioHardware& hardware = AudioHardware::shared();
    const bool output = direction_ == Direction::Output;
    const auto chosen = [&] {
        const AudioObjectID id = device_ ? device_ : output ? hardware.defaultOutputDevice() : hardware.defaultInputDevice();
        auto found = hardware.device(id);
        if (found && (output ? found->outputChannels : found->inputChannels) == 0)
            found.reset();
        return std::pair(id, found);
    };
    auto [id, device] = chosen();
    if (!device) {
        // The list is read again only every so often: a device that has just come (a sound
        // server started a moment ago) may not be in it yet.
        hardware.refresh();
        std::tie(id, device) = chosen();
    }
    if (!device) {
        errorText_ = id == 0 && output ? AudioHardware::noOutputDeviceExplanation()
                     : id == 0         ? QStringLiteral("No audio input device was found.")
                                       : QStringLiteral("The audio device is no longer available.");
        return kAudioHardwareBadDeviceError;
    }

    auto engine = std::make_unique<Engine>();
    const UInt32 available = output ? device->outputChannels : device->inputChannels;
    engine->channels = std::min<UInt32>(2, available);
    deviceUID_ = device->uid;
    runningDevice_ = id;
    if (device->api == QLatin1String(RtAudio::getApiName(RtAudio::UNIX_JACK).c_str())) {
        engine->jack = std::make_unique<JackStreamClient>();
        if (!engine->jack->open(kClientName, output, engine->channels,
                                {&AudioDeviceStream::jackProcess, &AudioDeviceStream::deviceWentAway, this})) {
            errorText_ = QStringLiteral("The audio device \"%1\" could not be opened: %2")
                             .arg(device->uid, engine->jack->errorText());
            return kAudioUnitErr_FailedInitialization;
        }
        deviceRate_ = engine->jack->sampleRate();
        bufferFrames_ = engine->jack->bufferFrames();
    } else try {
        engine->audio = std::make_unique<RtAudio>(apiNamed(device->api));
        engine->audio->showWarnings(false);
        // Device numbers change as devices come and go: find ours by name now.
        unsigned index = engine->audio->getDeviceCount();
        for (unsigned i = 0; i < engine->audio->getDeviceCount(); ++i) {
            if (QString::fromStdString(engine->audio->getDeviceInfo(i).name) == device->name) {
                index = i;
                break;
            }
        }
        if (index == engine->audio->getDeviceCount()) {
            errorText_ = QStringLiteral("The audio device \"%1\" is no longer available.").arg(device->uid);
            return kAudioHardwareBadDeviceError;
        }
        RtAudio::StreamParameters parameters;
        parameters.deviceId = index;
        parameters.nChannels = engine->channels;
        RtAudio::StreamOptions options;
        options.flags = RTAUDIO_NONINTERLEAVED | RTAUDIO_SCHEDULE_REALTIME;
        options.streamName = kClientName;
        unsigned bufferFrames = kRequestedBufferFrames;
        const UInt32 rate = chooseRate(*device);
        engine->audio->openStream(output ? &parameters : nullptr, output ? nullptr : &parameters, RTAUDIO_FLOAT32,
                                  rate, &bufferFrames, &AudioDeviceStream::callback, this, &options);
        deviceRate_ = engine->audio->getStreamSampleRate();
        bufferFrames_ = bufferFrames;
    } catch (const RtAudioError& error) {
        errorText_ = QStringLiteral("The audio device \"%1\" could not be opened: %2")
                         .arg(device->uid, QString::fromStdString(error.getMessage()));
        return kAudioUnitErr_FailedInitialization;
    }

    // Scratch space for the largest slice the device hands us, and a converter when the
    // device does not run at the playback rate. All allocation happens here, not later.
    engine->maxFrames = std::max<UInt32>(bufferFrames_, kConverterChunk) * 4;
    const size_t planarFrames = std::max<size_t>(engine->maxFrames, kConverterChunk) * 2;
    engine->left.assign(planarFrames, 0.0f);
    engine->right.assign(planarFrames, 0.0f);
    engine->interleavedIn.assign(planarFrames * 2, 0.0f);
    engine->interleavedOut.assign(planarFrames * 2, 0.0f);
    engine->timeStamp.mFlags = kAudioTimeStampSampleTimeValid | kAudioTimeStampHostTimeValid;
    if (deviceRate_ != kPlaybackRate) {
        int error = 0;
        engine->ratio = output ? double(deviceRate_) / kPlaybackRate : double(kPlaybackRate) / deviceRate_;
        engine->converter = output ? src_callback_new(
                                         [](void* self, float** data) {
                                             return static_cast<AudioDeviceStream*>(self)->pullForConverter(data);
                                         },
                                         SRC_SINC_FASTEST, 2, &error, this)
                                   : src_new(SRC_SINC_FASTEST, 2, &error);
        if (!engine->converter) {
            if (engine->audio)
                engine->audio->closeStream();
            errorText_ = QStringLiteral("The sample-rate converter could not be made: %1").arg(src_strerror(error));
            return kAudioUnitErr_FailedInitialization;
        }
    }
    engine_ = std::move(engine);
    underruns_ = 0;
    lastError_ = 0;
    if (engine_->jack && !engine_->jack->activate(device->name, output)) {
        errorText_ = QStringLiteral("The audio device \"%1\" could not be started: %2")
                         .arg(device->uid, engine_->jack->errorText());
        closeEngine();
        return kAudioHardwareNotRunningError;
    }
    try {
        if (engine_->audio)
            engine_->audio->startStream();
    } catch (const RtAudioError& error) {
        errorText_ = QStringLiteral("The audio device \"%1\" could not be started: %2")
                         .arg(device->uid, QString::fromStdString(error.getMessage()));
        closeEngine();
        return kAudioHardwareNotRunningError;
    }
    running_ = true;
    return noErr;
}

QString AudioDeviceStream::errorText() const
{
    if (deviceGone_.load())
        return QStringLiteral("The audio device \"%1\" went away: its sound server quit.").arg(deviceUID_);
    return errorText_;
}

OSStatus AudioDeviceStream::stop()
{
    if (!engine_)
        return noErr;
    running_ = false;
    closeEngine();
    deviceRate_ = 0;
    return noErr;
}

void AudioDeviceStream::closeEngine()
{
    if (engine_->jack) {
        engine_->jack->close();
        engine_.reset();
        return;
    }
    try {
        if (engine_->audio->isStreamRunning())
            engine_->audio->abortStream(); // stopStream() can hang on JACK; aborting does not
        if (engine_->audio->isStreamOpen())
            engine_->audio->closeStream();
    } catch (const RtAudioError& error) {
        qWarning("AudioDeviceStream: closing the device failed: %s", error.what());
    }
    engine_.reset();
}

void AudioDeviceStream::setSliceObserver(const AudioDeviceSliceObserver* observer) { g_sliceObserver.store(observer); }

int AudioDeviceStream::callback(void* output, void* input, unsigned frames, double, unsigned status, void* self)
{
    // RtAudio hands non-interleaved buffers: channel 1 follows channel 0.
    auto* stream = static_cast<AudioDeviceStream*>(self);
    const UInt32 channels = stream->engine_->channels;
    auto* out = static_cast<float*>(output);
    auto* in = static_cast<float*>(input);
    float* outputs[2] = {out, out && channels == 2 ? out + frames : out};
    float* inputs[2] = {in, in && channels == 2 ? in + frames : in};
    stream->slice(out ? outputs : nullptr, in ? inputs : nullptr, frames,
                  status & (RTAUDIO_OUTPUT_UNDERFLOW | RTAUDIO_INPUT_OVERFLOW));
    return 0;
}

void AudioDeviceStream::jackProcess(void* self, float* const* channels, unsigned frames, bool underrun)
{
    auto* stream = static_cast<AudioDeviceStream*>(self);
    const bool output = stream->direction_ == Direction::Output;
    stream->slice(output ? channels : nullptr, output ? nullptr : channels, frames, underrun);
}

void AudioDeviceStream::deviceWentAway(void* self)
{
    // On a thread of the sound server's: only flags, and a wake-up for the device list.
    auto* stream = static_cast<AudioDeviceStream*>(self);
    stream->deviceGone_.store(true);
    stream->running_.store(false);
    AudioHardware::shared().deviceEnded(stream->runningDevice_);
}

void AudioDeviceStream::slice(float* const* outputs, float* const* inputs, unsigned frames, bool underrun)
{
    // A sound server may cancel its client's thread, at any instruction, when the client
    // deactivates (JACK does): never in the middle of a slice, where the unwinding would meet
    // code that must not throw and end the program. A cancellation asked for meanwhile takes
    // effect as the slice ends.
    int cancelState = PTHREAD_CANCEL_ENABLE;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &cancelState);
    const AudioDeviceSliceObserver* observer = g_sliceObserver.load(std::memory_order_acquire);
    if (observer)
        observer->begin();
    // Helper threads stay below this one (platform/ThreadPriority.h).
    ThreadPriority::noteAudioThread();
    if (underrun) {
        underruns_.fetch_add(1, std::memory_order_relaxed);
        lastError_.store(kAudioDeviceProcessorOverloadError, std::memory_order_relaxed);
    }
    if (outputs)
        renderOutput(outputs, frames);
    if (inputs)
        deliverInput(inputs, frames);
    if (observer)
        observer->end();
    pthread_setcancelstate(cancelState, nullptr);
}

namespace {

// Calls the render procedure for frames into left/right; silence on failure.
OSStatus renderInto(AudioDeviceRenderProc proc, void* refCon, AudioTimeStamp& timeStamp, float* left, float* right,
                    UInt32 frames)
{
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, frames * 4, left};
    list.mBuffers[1] = {1, frames * 4, right};
    AudioUnitRenderActionFlags flags = 0;
    timeStamp.mHostTime = hostTimeNow();
    OSStatus status = proc ? proc(refCon, &flags, &timeStamp, frames, list.list()) : noErr;
    if (!proc || status != noErr || (flags & kAudioUnitRenderAction_OutputIsSilence)) {
        std::memset(left, 0, frames * 4);
        std::memset(right, 0, frames * 4);
    } else {
        // A producer that delivered less leaves the rest of the slice silent.
        for (UInt32 b = 0; b < 2; ++b) {
            const UInt32 delivered = std::min(list.mBuffers[b].mDataByteSize, frames * 4);
            std::memset(static_cast<char*>(b == 0 ? static_cast<void*>(left) : right) + delivered, 0,
                        frames * 4 - delivered);
        }
    }
    timeStamp.mSampleTime += frames;
    return status;
}

} // namespace

void AudioDeviceStream::renderOutput(float* const* output, unsigned frames)
{
    Engine& engine = *engine_;
    const float gain = volume_.load(std::memory_order_relaxed);
    if (!engine.converter && engine.channels == 2) {
        renderInto(renderProc_, renderRefCon_, engine.timeStamp, output[0], output[1], frames);
    } else {
        unsigned done = 0;
        while (done < frames) {
            const unsigned chunk = std::min<unsigned>(frames - done, engine.maxFrames);
            float* left = engine.left.data();
            float* right = engine.right.data();
            if (engine.converter) {
                float* out = engine.interleavedOut.data();
                const long made = src_callback_read(engine.converter, engine.ratio, chunk, out);
                const unsigned produced = made > 0 ? unsigned(made) : 0;
                for (unsigned i = 0; i < produced; ++i) {
                    left[i] = out[2 * i];
                    right[i] = out[2 * i + 1];
                }
                std::fill(left + produced, left + chunk, 0.0f);
                std::fill(right + produced, right + chunk, 0.0f);
            } else {
                renderInto(renderProc_, renderRefCon_, engine.timeStamp, left, right, chunk);
            }
            if (engine.channels == 2) {
                std::memcpy(output[0] + done, left, chunk * 4);
                std::memcpy(output[1] + done, right, chunk * 4);
            } else {
                for (unsigned i = 0; i < chunk; ++i)
                    output[0][done + i] = 0.5f * (left[i] + right[i]);
            }
            done += chunk;
        }
    }
    if (gain != 1.0f) {
        for (UInt32 c = 0; c < engine.channels; ++c) {
            for (unsigned i = 0; i < frames; ++i)
                output[c][i] *= gain;
        }
    }
}

long AudioDeviceStream::pullForConverter(float** data)
{
    Engine& engine = *engine_;
    float* left = engine.left.data() + engine.maxFrames; // the second half: free while converting
    float* right = engine.right.data() + engine.maxFrames;
    renderInto(renderProc_, renderRefCon_, engine.timeStamp, left, right, kConverterChunk);
    float* interleaved = engine.interleavedIn.data();
    for (UInt32 i = 0; i < kConverterChunk; ++i) {
        interleaved[2 * i] = left[i];
        interleaved[2 * i + 1] = right[i];
    }
    *data = interleaved;
    return kConverterChunk;
}

void AudioDeviceStream::deliverInput(const float* const* input, unsigned frames)
{
    Engine& engine = *engine_;
    if (!captureProc_)
        return;
    unsigned done = 0;
    while (done < frames) {
        const unsigned chunk = std::min<unsigned>(frames - done, engine.maxFrames);
        const float* inLeft = input[0] + done;
        const float* inRight = engine.channels == 2 ? input[1] + done : inLeft;
        float* left = engine.left.data();
        float* right = engine.right.data();
        unsigned produced = chunk;
        if (engine.converter) {
            float* interleaved = engine.interleavedIn.data();
            for (unsigned i = 0; i < chunk; ++i) {
                interleaved[2 * i] = inLeft[i];
                interleaved[2 * i + 1] = inRight[i];
            }
            SRC_DATA conversion{};
            conversion.data_in = interleaved;
            conversion.input_frames = chunk;
            conversion.data_out = engine.interleavedOut.data();
            conversion.output_frames = long(engine.interleavedOut.size() / 2);
            conversion.src_ratio = engine.ratio;
            src_process(engine.converter, &conversion);
            produced = unsigned(conversion.output_frames_gen);
            for (unsigned i = 0; i < produced; ++i) {
                left[i] = conversion.data_out[2 * i];
                right[i] = conversion.data_out[2 * i + 1];
            }
        } else {
            std::memcpy(left, inLeft, chunk * 4);
            std::memcpy(right, inRight, chunk * 4);
        }
        if (produced > 0) {
            StackAudioBufferList<2> list;
            list.mBuffers[0] = {1, produced * 4, left};
            list.mBuffers[1] = {1, produced * 4, right};
            engine.timeStamp.mHostTime = hostTimeNow();
            captureProc_(captureRefCon_, &engine.timeStamp, produced, list.list());
            engine.timeStamp.mSampleTime += produced;
        }
        done += chunk;
    }
}
