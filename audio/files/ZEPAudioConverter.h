#pragma once
// The front of every encoder and decoder, and the settings model the export and preview
// paths store with a sound: a stream description plus a bit rate and a codec quality, kept
// in dictionaries, described in one line for the user, and changed inside nested change
// brackets whose outermost end posts "ZEPAudioConverterHasChangedNotification" (with the
// converter as object, on the thread that ends it).
//
// A class cluster: the initialisers answer a ZEPCoreAudioConverter, the one concrete
// encoder. The operations below answer the base results the concrete class replaces
// (-1 for statuses, nothing for lists).
//
// Threads: settings changes (main thread) and converting calls (the conversion thread) both
// hold the converter's recursive lock, so they never overlap. The settings pop-ups of the
// encoder settings view are not part of this class here.

#include "audio/files/ZEPAudioConverterDataSource.h"
#include "platform/codecs/AudioCodecTypes.h"

#include <QByteArray>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <memory>
#include <mutex>
#include <optional>

class ZEPAudioConverter : public ZEPAudioConverterDataSource {
public:
    static inline const QString HasChangedNotification = QStringLiteral("ZEPAudioConverterHasChangedNotification");

    // The default output description of a file type (see ZEPCoreAudioConverter).
    static OSStatus defaultOutputDescription(AudioStreamBasicDescription* description, UInt32 fileType);
    // Reads the nine keys leniently: a missing key or a value that is not a number reads 0.
    static AudioStreamBasicDescription asbdWithDictionary(const QVariantMap& dictionary);
    static QVariantMap dictionaryWithASBD(const AudioStreamBasicDescription& description);
    // "Stereo, 44.1kHz, 128kbps", "Mono, 48.0kHz, 16-bit", "Stereo, 44.1kHz".
    static QString descriptionWithEncoderSettings(const QVariantMap& encoderSettings);
    // 44100 Hz float linear PCM, two channels, non-interleaved (the playback format).
    static AudioStreamBasicDescription defaultInputDescription();

    // New concrete converters; null when the platform cannot make one.
    static std::unique_ptr<ZEPAudioConverter> initWithFileType(UInt32 fileType);
    static std::unique_ptr<ZEPAudioConverter> initWithInputDescription(const AudioStreamBasicDescription& input,
                                                                       const AudioStreamBasicDescription& output,
                                                                       UInt32 bitRate, UInt32 quality);

    ~ZEPAudioConverter() override;
    ZEPAudioConverter(const ZEPAudioConverter&) = delete;
    ZEPAudioConverter& operator=(const ZEPAudioConverter&) = delete;

    // The operations of a converter.
    virtual std::unique_ptr<ZEPAudioConverter> inverseConverter() { return nullptr; }
    virtual OSStatus setInputDescription(const AudioStreamBasicDescription* description);
    virtual OSStatus getInputDescription(AudioStreamBasicDescription* description);
    bool inputIsExternallyFramed() const { return mInputIsExternallyFramed_Cached; }
    virtual OSStatus getInputIsExternallyFramed(bool* framed);
    virtual OSStatus setOutputDescription(const AudioStreamBasicDescription* description);
    virtual const AudioStreamBasicDescription* outputDescription() { return nullptr; }
    virtual OSStatus getOutputDescription(AudioStreamBasicDescription* description);
    bool outputIsExternallyFramed() const { return mOutputIsExternallyFramed_Cached; }
    virtual OSStatus getOutputIsExternallyFramed(bool* framed);
    UInt32 maxmimumOutputPacketSize() const { return mMaximumOutputPacketSize_Cached; }
    virtual OSStatus getMaximumOutputPacketSize(UInt32* size);
    virtual OSStatus setDecompressionCookie(const void* cookie, UInt32 size);
    // The encoder's cookie (empty and -1 in the base).
    virtual OSStatus getCompressionMagicCookie(QByteArray* cookie);
    virtual OSStatus setBitRate(UInt32 bitRate);
    virtual OSStatus getBitRate(UInt32* bitRate);
    virtual OSStatus getSampleRate(Float64* sampleRate);
    virtual OSStatus setCodecQuality(UInt32 quality);
    virtual OSStatus getCodecQuality(UInt32* quality);
    virtual OSStatus setSampleRateConversionQuality(UInt32 quality);
    virtual OSStatus getSampleRateConversionQuality(UInt32* quality);
    // Fills the cached framing: input framing, output framing, maximum output packet size,
    // output description; the first failing query's status is returned.
    virtual OSStatus getReadyToEncode();
    virtual OSStatus reset() { return noErr; }
    virtual OSStatus getMaxEncodeSize(UInt32* size);
    virtual OSStatus setSampleRate(Float64 sampleRate);
    virtual OSStatus setBitsPerChannel(UInt32 bits);
    virtual OSStatus setFormatFlags(UInt32 flags);
    virtual OSStatus setAudioFormatID(UInt32 formatID);
    virtual OSStatus setNumberChannels(UInt32 channels);

    virtual std::optional<QVariantList> availableAudioFormats() { return std::nullopt; }
    virtual std::optional<QVariantList> availableAudioFormatNames() { return std::nullopt; }
    virtual std::optional<QVariantList> availableSampleRates() { return std::nullopt; }
    virtual std::optional<QVariantList> applicableSampleRates() { return std::nullopt; }
    virtual std::optional<QVariantList> availableBitRates() { return std::nullopt; }
    virtual std::optional<QVariantList> applicableBitRates() { return std::nullopt; }
    virtual std::optional<QVariantList> availableBitsPerChannel() { return std::nullopt; }
    virtual std::optional<QVariantList> applicableBitsPerChannel() { return std::nullopt; }
    virtual std::optional<QVariantList> availableFormatFlags() { return std::nullopt; }
    virtual std::optional<QVariantList> availableNumberChannels() { return std::nullopt; }
    virtual std::optional<QVariantList> applicableChannels() { return std::nullopt; }
    virtual QString nibName() const { return {}; }
    virtual QString version() const { return {}; }
    virtual UInt32 fileType() const { return 0; }
    virtual UInt32 primeMethod() const { return 0; }
    virtual UInt64 bytesPerMinuteEstimate() const { return 0; }
    virtual OSStatus getPrimeInfo(AudioConverterPrimeInfo* info);
    virtual AudioConverterPrimeInfo primeInfo() { return {}; }

    // Converting: fills up to *numPackets packets from the data source into bufferList.
    virtual OSStatus fillComplexBuffer(AudioBufferList* bufferList, AudioStreamPacketDescription* packets,
                                       UInt32* numPackets);
    // The same with no more input, so the converter drains what it holds.
    virtual OSStatus flushComplexBuffer(AudioBufferList* bufferList, AudioStreamPacketDescription* packets,
                                        UInt32* numPackets);
    // As its own data source (while flushing): no packets, a zero byte count, 0.
    OSStatus converter(ZEPAudioConverter* converter, UInt32* readPackets, AudioBufferList* bufferList,
                       AudioStreamPacketDescription** packetDescriptions) override;

    // The encoder settings dictionary of the current output: the description's nine keys
    // plus "bitRate" and "quality" when the encoder reports them. Nothing when the output
    // description cannot be read.
    std::optional<QVariantMap> settings();
    // Applies an encoder settings dictionary: the output description, then (only when that
    // was taken) its bit rate (0 when missing: the highest the codec offers) and quality.
    void setSettings(const QVariantMap& settings);

    void setDataSource(ZEPAudioConverterDataSource* dataSource) { mDataSource = dataSource; }
    ZEPAudioConverterDataSource* dataSource() const { return mDataSource; }
    void setChangeNotificationEnabled(bool enabled) { mChangeNotificationEnabled = enabled; }
    bool changeNotificationEnabled() const { return mChangeNotificationEnabled; }

    void lock() { mLock.lock(); }
    void unlock() { mLock.unlock(); }
    // A change bracket: holds the lock; the outermost end posts the changed notification.
    void beginChange();
    void endChange();

    // Bytes per frame times the rate, or the bit rate / 8 (nothing in the program calls it).
    UInt64 bytesPerSecondEstimate();
    SInt64 samplesConverted() const { return mSamplesConverted; }
    UInt64 amountConverted() const { return mAmountConverted; }
    UInt64 convertedAmount() const { return mConvertedAmount; }
    void resetStats();

protected:
    ZEPAudioConverter();
    // Refreshes the settings interface; the encoder settings view hooks in here.
    virtual void updateGUI() {}

    ZEPAudioConverterDataSource* mDataSource = nullptr;
    SInt64 mSamplesConverted = 0;
    UInt64 mAmountConverted = 0;
    UInt64 mConvertedAmount = 0;
    bool mInputIsExternallyFramed_Cached = false;
    bool mOutputIsExternallyFramed_Cached = false;
    UInt32 mMaximumOutputPacketSize_Cached = 0;
    AudioStreamBasicDescription mOutputDesc_Cached;
    bool mChangeNotificationEnabled = true;
    std::recursive_mutex mLock;
    UInt32 mChangeDepth = 0;
    bool mSettingsViewEnabled = true;
};

// Holds a converter's lock for a scope.
class ZEPAudioConverterLocker {
public:
    explicit ZEPAudioConverterLocker(ZEPAudioConverter& converter) : mConverter(converter) { mConverter.lock(); }
    ~ZEPAudioConverterLocker() { mConverter.unlock(); }
    ZEPAudioConverterLocker(const ZEPAudioConverterLocker&) = delete;
    ZEPAudioConverterLocker& operator=(const ZEPAudioConverterLocker&) = delete;

private:
    ZEPAudioConverter& mConverter;
};
