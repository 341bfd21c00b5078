#pragma once
// One processing unit, in place of an Audio Unit: input and output buses (elements), a
// stream format per bus, parameters addressed by id, scope and element, a largest slice,
// and one render (pull) call per output bus. A unit gets its input by pulling either a
// render callback or another unit's output bus connected to that input.
//
// Threads:
//  - Set-up (element counts, formats, largest slice, initialize/uninitialize, presets,
//    class info) happens on one control thread, normally the main thread. Element counts,
//    formats and the largest slice change only while the unit is uninitialized
//    (kAudioUnitErr_Initialized otherwise).
//  - render() runs on one render thread at a time (the thread that pulls the unit's head);
//    it requires an initialized unit and allocates nothing, takes no lock and never logs.
//  - setParameter()/getParameter() may be called from any thread, render thread included:
//    parameters are atomics.
//  - setRenderCallback() and setInputConnection() may be called while another thread
//    renders: the new input is published atomically, and the call returns once no render
//    can still be using the old one (it waits for a render in progress to finish; the
//    render thread never waits). uninitialize() waits the same way.
//  - reset() may be called from any thread: it is carried out at the start of the next
//    render (at once when the unit is uninitialized).
//
// A render fills the caller's buffers (mData must point at room for the frames in the
// output bus's format) and sets their byte sizes. A render callback or connected unit must
// deliver every frame asked; what it cannot deliver it fills with silence.

#include "platform/audiounits/AudioUnitTypes.h"

#include <QList>
#include <QVariant>

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

class AudioUnit {
public:
    AudioUnit(const AudioComponentDescription& description, UInt32 inputBuses, UInt32 outputBuses);
    virtual ~AudioUnit();
    AudioUnit(const AudioUnit&) = delete;
    AudioUnit& operator=(const AudioUnit&) = delete;

    const AudioComponentDescription& componentDescription() const { return mDescription; }

    // Life. initialize() prepares the unit for rendering (allocating what render needs);
    // uninitialize() returns once no render is in progress.
    OSStatus initialize();
    OSStatus uninitialize();
    bool isInitialized() const { return mInitialized.load(); }
    // Clears render state (buffered frames, filter history, meters). See the header note.
    void reset();

    // Output units only (others answer kAudioUnitErr_NotAnOutputUnit).
    virtual OSStatus start();
    virtual OSStatus stop();
    virtual bool isRunning() const { return false; }

    // Buses.
    UInt32 elementCount(AudioUnitScope scope) const;
    OSStatus setElementCount(AudioUnitScope scope, UInt32 count);
    OSStatus getStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                             AudioStreamBasicDescription* outFormat) const;
    OSStatus setStreamFormat(AudioUnitScope scope, AudioUnitElement element, const AudioStreamBasicDescription& format);
    UInt32 maxFramesPerSlice() const { return mMaxFramesPerSlice; }
    OSStatus setMaxFramesPerSlice(UInt32 frames);

    // Inputs: a callback (a null inputProc disconnects) or another unit's output bus (a null
    // source disconnects). One replaces the other.
    OSStatus setRenderCallback(AudioUnitElement input, const AURenderCallbackStruct& callback);
    OSStatus setInputConnection(const AudioUnitConnection& connection);
    bool hasInput(AudioUnitElement input) const;

    // Parameters. The base unit has none.
    virtual OSStatus getParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                  AudioUnitParameterValue* outValue) const;
    virtual OSStatus setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                  AudioUnitParameterValue value);
    // The parameter ids of a scope (allocates: not on the render thread).
    virtual std::vector<AudioUnitParameterID> parameterList(AudioUnitScope scope) const;
    // What a parameter is (allocates: not on the render thread). The base unit describes
    // none: kAudioUnitErr_InvalidParameter.
    virtual OSStatus getParameterInfo(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                      AudioUnitParameterInfo* outInfo) const;

    // Properties by id, for those the typed calls above do not cover and for code that
    // addresses them by number. getProperty with null data answers the size in *ioDataSize.
    // Unknown ids answer kAudioUnitErr_InvalidProperty. Units add their own by overriding
    // and passing the rest to these.
    virtual OSStatus getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* outData,
                                 UInt32* ioDataSize) const;
    virtual OSStatus setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                 const void* data, UInt32 dataSize);

    // Saved state: a dictionary with "type", "subtype", "manufacturer", "version", "name" and
    // "data" (here: the global parameters by id). setClassInfo refuses a dictionary of another
    // kind of unit with kAudioUnitErr_InvalidPropertyValue.
    virtual OSStatus getClassInfo(QVariant* outClassInfo) const;
    virtual OSStatus setClassInfo(const QVariant& classInfo);

    // Presets. The base unit has no factory presets; its present and current preset is a
    // name and number it keeps (-1 "Untitled" at first).
    virtual OSStatus getFactoryPresets(QList<AUPreset>* outPresets) const;
    virtual OSStatus getPresentPreset(AUPreset* outPreset) const;
    virtual OSStatus setPresentPreset(const AUPreset& preset);
    virtual OSStatus getCurrentPreset(AUPreset* outPreset) const;
    virtual OSStatus setCurrentPreset(const AUPreset& preset);

    // Renders frames of output bus into ioData. Render thread only; see the header note.
    OSStatus render(AudioUnitRenderActionFlags* ioActionFlags, const AudioTimeStamp* timeStamp, UInt32 outputBus,
                    UInt32 frames, AudioBufferList* ioData);

protected:
    // What each unit provides. renderBus runs under the same rules as render(); the checks of
    // render() (initialized, bus, slice size, list present) have passed.
    virtual OSStatus renderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                               UInt32 outputBus, UInt32 frames, AudioBufferList* ioData) = 0;
    // Allocates what rendering needs; formats and counts are fixed from here on.
    virtual OSStatus initializeUnit() { return noErr; }
    // Frees it again; no render is in progress.
    virtual void uninitializeUnit() {}
    // Clears render state; runs on the render thread (or with no render possible).
    virtual void resetState() {}
    // 0 when the unit accepts format on that bus, else kAudioUnitErr_FormatNotSupported.
    virtual OSStatus validateStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                          const AudioStreamBasicDescription& format) const;
    // Whether the bus count of scope may change (not by default).
    virtual bool canChangeElementCount(AudioUnitScope scope) const;
    // Told after the bus count of scope changed (the unit is uninitialized).
    virtual void elementCountDidChange(AudioUnitScope, UInt32) {}

    // Pulls input bus `input` for frames into ioData. Render thread only.
    OSStatus pullInput(UInt32 input, AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                       UInt32 frames, AudioBufferList* ioData);

    const AudioStreamBasicDescription& inputFormat(UInt32 element) const { return mInputFormats[element]; }
    const AudioStreamBasicDescription& outputFormat(UInt32 element) const { return mOutputFormats[element]; }
    // Returns once no render started before this call is still running. Control thread.
    void waitForRenderToFinish() const;

    // Answers a fixed-size property value (only its size when outData is null).
    template <typename T>
    static OSStatus answerProperty(const T& value, void* outData, UInt32* ioDataSize)
    {
        if (!ioDataSize)
            return kAudio_ParamError;
        if (outData) {
            if (*ioDataSize < sizeof(T))
                return kAudioUnitErr_InvalidPropertyValue;
            std::memcpy(outData, &value, sizeof(T));
        }
        *ioDataSize = sizeof(T);
        return noErr;
    }
    // Takes a fixed-size property value; false when data is missing or too small.
    template <typename T>
    static bool takeProperty(T& value, const void* data, UInt32 dataSize)
    {
        if (!data || dataSize < sizeof(T))
            return false;
        std::memcpy(&value, data, sizeof(T));
        return true;
    }

private:
    struct InputSource {
        AURenderCallback proc = nullptr;
        void* refCon = nullptr;
        AudioUnit* unit = nullptr;
        UInt32 bus = 0;
    };
    OSStatus replaceInput(AudioUnitElement input, InputSource* source);
    void resizeInputs(UInt32 count);

    AudioComponentDescription mDescription;
    UInt32 mInputCount = 0;
    UInt32 mOutputCount = 0;
    std::vector<AudioStreamBasicDescription> mInputFormats;
    std::vector<AudioStreamBasicDescription> mOutputFormats;
    UInt32 mMaxFramesPerSlice = 4096;
    std::unique_ptr<std::atomic<InputSource*>[]> mInputSources;
    std::atomic<bool> mInitialized{false};
    // Odd while a render runs: lets control calls wait for the render in progress.
    std::atomic<UInt32> mRenderEpoch{0};
    std::atomic<bool> mResetRequested{false};
    std::atomic<OSStatus> mLastRenderError{noErr};
    AUPreset mPresentPreset{-1, QStringLiteral("Untitled")};
};

// 44100 Hz, 32-bit float, packed, non-interleaved linear PCM of the given channels: the
// format every bus starts with.
AudioStreamBasicDescription AudioUnitCanonicalFormat(UInt32 channels = 2);

// Whether two descriptions are equal field for field (the reserved word ignored).
bool AudioUnitFormatsEqual(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b);
