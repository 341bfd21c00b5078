#pragma once
// Lets the user hear export settings before exporting: an audio source that takes the edit
// model's audio from its data source, encodes it in the chosen export format, bit rate and
// quality, and decodes it again to float, so that playback sounds like the exported file.
// The edit model makes one per track while live preview is on and is its data source.
//
// A mono export format (other than MP3, whose encoder mixes down itself) is previewed by
// first mixing the stereo input down to one channel, the mean of left and right, in a
// matrix mixer (the "mono maker"); the decoder then hands out that channel on both sides.
//
// Input: the data source's converter() is asked for frames of the input description given
// at creation (32-bit float, non-interleaved), with the encoder standing for this preview
// converter in the call, so a data source serving several preview converters tells them
// apart by encoder(). Its 0 and 667 ("nothing yet") pass through to the converters; any
// other status is taken as the end of the input for that fill, so playback hears silence
// rather than failing.
//
// Output: renderFrames() renders float frames of decoder() (2 channels, non-interleaved, at
// the input's rate); its status is the decoder's, so 667 and the end of the input reach the
// caller.
//
// Threads: made and destroyed on the main thread; renderFrames() and the reads run on the
// thread that pulls the edit model's playback (a loader thread: the converters allocate, so
// never a device's render thread). The converters' own locks serialise each fill; the
// preview converter holds no lock of its own.

#include "audio/engine/ZEPAudioSource.h"
#include "audio/files/ZEPAudioConverter.h"
#include "platform/audiounits/AudioUnit.h"

#include <memory>
#include <vector>

class ZEPPreviewConverter : public ZEPAudioSource, public ZEPAudioConverterDataSource {
public:
    // Creation failures.
    static constexpr OSStatus kNoEncoderError = OSStatus(FourCC("!Enc"));
    static constexpr OSStatus kNoDecoderError = OSStatus(FourCC("!Dec"));
    static constexpr OSStatus kNoMonoMakerError = OSStatus(FourCC("!MMx"));

    static constexpr UInt32 kDecoderInputDataSize = 262144;
    static constexpr UInt32 kMaxPacketDescriptions = 16384;
    static constexpr UInt32 kMonoMakerBufferSize = 16384;

    // Encoder from ioDescription to previewDescription (with the bit rate and quality),
    // decoder from there back to float. Null, with the failing status in *outStatus, when
    // either converter or the mono maker cannot be made.
    static std::unique_ptr<ZEPPreviewConverter> initWithPreviewAudioDescription(
        const AudioStreamBasicDescription& previewDescription, UInt32 previewBitRate, UInt32 previewQuality,
        const AudioStreamBasicDescription& ioDescription, OSStatus* outStatus = nullptr);
    ~ZEPPreviewConverter() override;
    ZEPPreviewConverter(const ZEPPreviewConverter&) = delete;
    ZEPPreviewConverter& operator=(const ZEPPreviewConverter&) = delete;

    ZEPAudioConverter* encoder() const { return mEncoder.get(); }
    ZEPAudioConverter* decoder() const { return mDecoder.get(); }
    // Not owned; it outlives the preview converter or is unset first.
    void setDataSource(ZEPAudioConverterDataSource* dataSource) { mDataSource = dataSource; }
    ZEPAudioConverterDataSource* dataSource() const { return mDataSource; }
    bool needsMonofication() const { return mNeedsMonofication; }

    // The encoder's, then the decoder's; the first failure is returned.
    OSStatus reset();
    OSStatus getReadyToEncode();

    // The input of both converters: the decoder asks for encoded packets, the encoder for
    // float frames.
    OSStatus converter(ZEPAudioConverter* converter, UInt32* readPackets, AudioBufferList* bufferList,
                       AudioStreamPacketDescription** packetDescriptions) override;
    // The mono maker's input: the data source's frames.
    OSStatus inputMixerCallbackWithFlags(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                                         UInt32 bus, UInt32 frames, AudioBufferList* ioData);

    // The producer contract.
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override;
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;
    OSStatus setMaxRequestFrames(UInt32) override { return noErr; }
    UInt32 maxRequestFrames() override { return 1024; }
    SInt64 framesAvailable() override { return 512; }
    bool isFlushing() override { return false; }
    void flush() override {}

private:
    ZEPPreviewConverter() = default;
    OSStatus init(const AudioStreamBasicDescription& previewDescription, UInt32 previewBitRate,
                  UInt32 previewQuality, const AudioStreamBasicDescription& ioDescription);
    OSStatus setupMonoMakerMixer(Float64 sampleRate);
    OSStatus readEncodedPackets(UInt32* readPackets, AudioBufferList* bufferList,
                                AudioStreamPacketDescription** packetDescriptions);
    OSStatus readMonoFrames(UInt32* readPackets, AudioBufferList* bufferList);

    std::unique_ptr<ZEPAudioConverter> mEncoder;
    std::unique_ptr<ZEPAudioConverter> mDecoder;
    UInt32 mDecoderInputDataSize = kDecoderInputDataSize;
    AudioBufferList* mDecoderInputBufferList = nullptr;
    std::vector<AudioStreamPacketDescription> mDecoderInputPacketDescs;
    AudioBufferList* mMonoMakerBufferList = nullptr;
    ZEPAudioConverterDataSource* mDataSource = nullptr;
    bool mNeedsMonofication = false;
    std::unique_ptr<AudioUnit> mMonoMakerMatrixMixer;
    AudioTimeStamp mMonoMakerTimeStamp;
    UInt32 mMonoMakerMaxFrames = 0;
    bool mEncoderOutputIsFramed = false;
    // What the data source answered to the mono maker's last pull.
    OSStatus mMonoMakerInputStatus = noErr;
    UInt32 mMonoMakerInputFrames = 0;
};
