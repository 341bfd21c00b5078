#pragma once
// The one concrete encoder and decoder: a wrapper of one platform AudioConverter
// (platform/codecs/AudioConverter.h) between an input and an output stream description.
// It encodes (canonical float to a file's format), decodes (its inverse converter) and, as
// an audio source, renders converted frames. It decides each file type's default output,
// keeps the output inside what the file type and codec accept (flags, bits, sample rate,
// bit rate, channels), rebuilds the converter whenever the formats change, and falls back
// to the previous formats when the platform refuses new ones (the setter then answers 0 and
// callers see the refusal in outputDescription()).
//
// Threads: settings changes run on the main thread inside change brackets; fills run on
// the converting thread under the same recursive lock. renderFrames() converts, so it
// allocates: a converter is a source for the conversion thread, not for a device's render
// thread.

#include "audio/engine/ZEPAudioSource.h"
#include "audio/files/ZEPAudioConverter.h"

#include <vector>

class AudioConverter;

class ZEPCoreAudioConverter : public ZEPAudioConverter, public ZEPAudioSource {
public:
    // Starts from 44100 Hz two-channel output: 'AIFC' IMA 4:1; 'AIFF', 'NeXT', 'Sd2f' 32-bit
    // big-endian integers; 'WAVE' 16-bit little-endian integers; 'MooV', 'adts', 'm4af',
    // 'mp4f' AAC; 'caff' Apple Lossless (source bits from the "LosslessPreservedBits"
    // default); other types the file writer's first description, rate and channels snapped.
    // "typ?" when the writer has no description for the type.
    static OSStatus defaultOutputDescription(AudioStreamBasicDescription* description, UInt32 fileType);
    // Keeps the sample rate and format, fills fresh defaults and completes the description.
    static OSStatus getDefaultASBD(AudioStreamBasicDescription* description);
    // Completes a description, retrying with fewer fields when the platform refuses it.
    static OSStatus getDefaultDescription(AudioStreamBasicDescription* description);
    // The rates of a list of ranges as the settings show them: each range's maximum once,
    // ascending; one range of 0 to 0, or one true span, gives the standard rates (a span
    // limited to itself, its ends added).
    static QVariantList sampleRatesFromRanges(const std::vector<AudioValueRange>& ranges);

    // 'm4bf' is taken as 'm4af'; bit rate 0 and quality 127.
    static std::unique_ptr<ZEPCoreAudioConverter> initWithFileType(UInt32 fileType);
    static std::unique_ptr<ZEPCoreAudioConverter> initWithInputDescription(const AudioStreamBasicDescription& input,
                                                                           const AudioStreamBasicDescription& output,
                                                                           UInt32 bitRate, UInt32 quality);
    ~ZEPCoreAudioConverter() override;

    std::unique_ptr<ZEPAudioConverter> inverseConverter() override;
    OSStatus setInputDescription(const AudioStreamBasicDescription* description) override;
    OSStatus getInputDescription(AudioStreamBasicDescription* description) override;
    OSStatus getInputIsExternallyFramed(bool* framed) override;
    OSStatus setOutputDescription(const AudioStreamBasicDescription* description) override;
    const AudioStreamBasicDescription* outputDescription() override { return &mOutputDesc; }
    OSStatus getOutputDescription(AudioStreamBasicDescription* description) override;
    OSStatus getOutputIsExternallyFramed(bool* framed) override;
    OSStatus getMaximumOutputPacketSize(UInt32* size) override;
    OSStatus getMaximumInputPacketSize(UInt32* size);
    OSStatus getMinimumInputBufferSize(UInt32* size);
    OSStatus getMinimumOutputBufferSize(UInt32* size);
    OSStatus setDecompressionCookie(const void* cookie, UInt32 size) override;
    OSStatus getCompressionMagicCookie(QByteArray* cookie) override;
    OSStatus setBitRate(UInt32 bitRate) override;
    OSStatus getBitRate(UInt32* bitRate) override;
    OSStatus getSampleRate(Float64* sampleRate) override;
    OSStatus getBitsPerChannel(UInt32* bits);
    OSStatus setCodecQuality(UInt32 quality) override;
    OSStatus getCodecQuality(UInt32* quality) override;
    OSStatus setSampleRateConversionQuality(UInt32 quality) override;
    OSStatus getSampleRateConversionQuality(UInt32* quality) override;
    OSStatus getPrimeInfo(AudioConverterPrimeInfo* info) override;
    AudioConverterPrimeInfo primeInfo() override;
    OSStatus getReadyToEncode() override;
    OSStatus reset() override;
    OSStatus setSampleRate(Float64 sampleRate) override;
    OSStatus setInputSampleRate(Float64 sampleRate);
    OSStatus setBitsPerChannel(UInt32 bits) override;
    OSStatus setFormatFlags(UInt32 flags) override;
    OSStatus setAudioFormatID(UInt32 formatID) override;
    OSStatus setNumberChannels(UInt32 channels) override;
    OSStatus setChannelMap(std::vector<SInt32>* map);
    // A converter property as bytes (size query, allocation, read).
    OSStatus getConverterProperty(AudioConverterPropertyID property, QByteArray* data);

    std::optional<QVariantList> availableAudioFormats() override;
    std::optional<QVariantList> availableAudioFormatNames() override;
    QString getFormatName(UInt32 formatID);
    std::optional<QVariantList> availableSampleRates() override;
    std::optional<QVariantList> applicableSampleRates() override;
    std::optional<QVariantList> availableBitRates() override;
    std::optional<QVariantList> applicableBitRates() override;
    std::optional<QVariantList> availableFormatFlags() override { return availableFormatFlags(false); }
    // Entries {"value": flags, "localizedName", "selected"}; empty unless the output is linear
    // PCM or all is set.
    std::optional<QVariantList> availableFormatFlags(bool all);
    std::optional<QVariantList> availableBitsPerChannel() override;
    std::optional<QVariantList> applicableBitsPerChannel() override { return applicableBitsPerChannel(false); }
    std::optional<QVariantList> applicableBitsPerChannel(bool useStored);
    std::optional<QVariantList> availableNumberChannels() override;
    std::optional<QVariantList> applicableChannels() override;
    QString nibName() const override { return QStringLiteral("ZEPCoreAudioConverterView"); }
    UInt32 fileType() const override { return mFileTypeID; }
    void setLogZeros(bool logZeros) { mLogZeros = logZeros; }
    bool logZeros() const { return mLogZeros; }

    OSStatus fillComplexBuffer(AudioBufferList* bufferList, AudioStreamPacketDescription* packets,
                               UInt32* numPackets) override;
    OSStatus flushComplexBuffer(AudioBufferList* bufferList, AudioStreamPacketDescription* packets,
                                UInt32* numPackets) override;
    // What the platform converter's input procedure asks: the data source's packets, counted.
    OSStatus converterNumberOfPackets(AudioConverter* audioConverter, UInt32* numberOfPackets,
                                      AudioBufferList* bufferList, AudioStreamPacketDescription** packetDescriptions);

    // As an audio source: renders *frames packets of the output; always 0.
    OSStatus getAudioDescription(AudioStreamBasicDescription* description) override;
    AudioStreamBasicDescription audioDescription() const { return mOutputDesc; }
    OSStatus renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags* renderFlags,
                          const AudioTimeStamp* timeStamp, void* sender) override;
    OSStatus setMaxRequestFrames(UInt32) override { return noErr; }
    UInt32 maxRequestFrames() override { return 1024; }
    SInt64 framesAvailable() override { return 512; }
    bool isFlushing() override { return false; }
    void flush() override {}

private:
    ZEPCoreAudioConverter();
    OSStatus createConverter();
    OSStatus setMonoChannelMap();
    OSStatus readProperty(AudioConverterPropertyID property, void* data, UInt32 size);
    OSStatus writeProperty(AudioConverterPropertyID property, const void* data, UInt32 size);
    std::optional<QVariantList> writerDescriptionValues(UInt32 fileType, bool flags, bool matchFlags,
                                                        const AudioStreamBasicDescription& output);

    AudioStreamBasicDescription mInputDesc;
    AudioStreamBasicDescription mOutputDesc;
    std::unique_ptr<AudioConverter> mAudioConverter;
    UInt32 mFileTypeID = 0;
    bool mLogZeros = false;
};
