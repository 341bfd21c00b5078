#include "audio/files/ZEPAudioConverter.h"

#include "audio/engine/ZEPCanonicalFormats.h"
#include "audio/files/ZEPCoreAudioConverter.h"
#include "audio/files/ZEPStreamDescriptionDictionary.h"
#include "platform/NotificationCenter.h"
#include "platform/VariantValues.h"

#include <QCoreApplication>

namespace {

const QString kBitRateKey = QStringLiteral("bitRate");
const QString kQualityKey = QStringLiteral("quality");

} // namespace

ZEPAudioConverter::ZEPAudioConverter() = default;

ZEPAudioConverter::~ZEPAudioConverter() = default;

OSStatus ZEPAudioConverter::defaultOutputDescription(AudioStreamBasicDescription* description, UInt32 fileType)
{
    return ZEPCoreAudioConverter::defaultOutputDescription(description, fileType);
}

AudioStreamBasicDescription ZEPAudioConverter::asbdWithDictionary(const QVariantMap& d)
{
    auto unsignedValue = [&](const char* key) { return UInt32(variant::integerValue(d.value(QString::fromLatin1(key)))); };
    AudioStreamBasicDescription description;
    description.mSampleRate = variant::doubleValue(d.value(QStringLiteral("mSampleRate")));
    description.mFormatID = unsignedValue("mFormatID");
    description.mFormatFlags = unsignedValue("mFormatFlags");
    description.mBytesPerPacket = unsignedValue("mBytesPerPacket");
    description.mFramesPerPacket = unsignedValue("mFramesPerPacket");
    description.mBytesPerFrame = unsignedValue("mBytesPerFrame");
    description.mChannelsPerFrame = unsignedValue("mChannelsPerFrame");
    description.mBitsPerChannel = unsignedValue("mBitsPerChannel");
    description.mReserved = unsignedValue("mReserved");
    return description;
}

QVariantMap ZEPAudioConverter::dictionaryWithASBD(const AudioStreamBasicDescription& description)
{
    return ZEPDictionaryFromASBD(description);
}

QString ZEPAudioConverter::descriptionWithEncoderSettings(const QVariantMap& settings)
{
    const AudioStreamBasicDescription description = asbdWithDictionary(settings);
    const UInt32 bitRate = UInt32(variant::integerValue(settings.value(kBitRateKey)));
    QString size;
    if (bitRate != 0)
        size = QStringLiteral("%1kbps").arg(bitRate / 1000);
    else if (description.mBitsPerChannel != 0)
        size = QStringLiteral("%1-bit").arg(description.mBitsPerChannel);
    const QString channels = description.mChannelsPerFrame < 2 ? QCoreApplication::translate("ZEPAudioConverter", "Mono")
                                                               : QCoreApplication::translate("ZEPAudioConverter", "Stereo");
    const QString rate = QString::asprintf("%.1fkHz", description.mSampleRate / 1000.0);
    QString text = QStringLiteral("%1, %2").arg(channels, rate);
    if (!size.isEmpty())
        text += QStringLiteral(", %1").arg(size);
    return text;
}

AudioStreamBasicDescription ZEPAudioConverter::defaultInputDescription() { return ZEPPlaybackFormat(); }

std::unique_ptr<ZEPAudioConverter> ZEPAudioConverter::initWithFileType(UInt32 fileType)
{
    return ZEPCoreAudioConverter::initWithFileType(fileType);
}

std::unique_ptr<ZEPAudioConverter> ZEPAudioConverter::initWithInputDescription(const AudioStreamBasicDescription& input,
                                                                               const AudioStreamBasicDescription& output,
                                                                               UInt32 bitRate, UInt32 quality)
{
    return ZEPCoreAudioConverter::initWithInputDescription(input, output, bitRate, quality);
}

OSStatus ZEPAudioConverter::setInputDescription(const AudioStreamBasicDescription*) { return -1; }
OSStatus ZEPAudioConverter::getInputDescription(AudioStreamBasicDescription*) { return -1; }
OSStatus ZEPAudioConverter::setOutputDescription(const AudioStreamBasicDescription*) { return -1; }
OSStatus ZEPAudioConverter::getOutputDescription(AudioStreamBasicDescription*) { return -1; }
OSStatus ZEPAudioConverter::setDecompressionCookie(const void*, UInt32) { return -1; }
OSStatus ZEPAudioConverter::setBitRate(UInt32) { return -1; }
OSStatus ZEPAudioConverter::getBitRate(UInt32*) { return -1; }
OSStatus ZEPAudioConverter::getSampleRate(Float64*) { return -1; }
OSStatus ZEPAudioConverter::setCodecQuality(UInt32) { return -1; }
OSStatus ZEPAudioConverter::getCodecQuality(UInt32*) { return -1; }
OSStatus ZEPAudioConverter::setSampleRateConversionQuality(UInt32) { return -1; }
OSStatus ZEPAudioConverter::getSampleRateConversionQuality(UInt32*) { return -1; }
OSStatus ZEPAudioConverter::setSampleRate(Float64) { return -1; }
OSStatus ZEPAudioConverter::setBitsPerChannel(UInt32) { return -1; }
OSStatus ZEPAudioConverter::setFormatFlags(UInt32) { return -1; }
OSStatus ZEPAudioConverter::setAudioFormatID(UInt32) { return -1; }
OSStatus ZEPAudioConverter::setNumberChannels(UInt32) { return -1; }

OSStatus ZEPAudioConverter::getInputIsExternallyFramed(bool* framed)
{
    *framed = false;
    return -1;
}

OSStatus ZEPAudioConverter::getOutputIsExternallyFramed(bool* framed)
{
    *framed = false;
    return -1;
}

OSStatus ZEPAudioConverter::getMaximumOutputPacketSize(UInt32* size)
{
    *size = 0;
    return -1;
}

OSStatus ZEPAudioConverter::getMaxEncodeSize(UInt32* size)
{
    *size = 0;
    return -1;
}

OSStatus ZEPAudioConverter::getCompressionMagicCookie(QByteArray* cookie)
{
    cookie->clear();
    return -1;
}

OSStatus ZEPAudioConverter::getPrimeInfo(AudioConverterPrimeInfo* info)
{
    *info = AudioConverterPrimeInfo{};
    return noErr;
}

OSStatus ZEPAudioConverter::fillComplexBuffer(AudioBufferList*, AudioStreamPacketDescription*, UInt32* numPackets)
{
    *numPackets = 0;
    return -1;
}

OSStatus ZEPAudioConverter::flushComplexBuffer(AudioBufferList* bufferList, AudioStreamPacketDescription*,
                                               UInt32* numPackets)
{
    *numPackets = 0;
    if (bufferList && bufferList->mNumberBuffers > 0)
        bufferList->mBuffers[0].mDataByteSize = 0;
    return noErr;
}

OSStatus ZEPAudioConverter::converter(ZEPAudioConverter*, UInt32* readPackets, AudioBufferList* bufferList,
                                      AudioStreamPacketDescription**)
{
    *readPackets = 0;
    if (bufferList && bufferList->mNumberBuffers > 0)
        bufferList->mBuffers[0].mDataByteSize = 0;
    return noErr;
}

OSStatus ZEPAudioConverter::getReadyToEncode()
{
    OSStatus status = getInputIsExternallyFramed(&mInputIsExternallyFramed_Cached);
    if (status == noErr)
        status = getOutputIsExternallyFramed(&mOutputIsExternallyFramed_Cached);
    if (status == noErr)
        status = getMaximumOutputPacketSize(&mMaximumOutputPacketSize_Cached);
    if (status == noErr)
        status = getOutputDescription(&mOutputDesc_Cached);
    return status;
}

std::optional<QVariantMap> ZEPAudioConverter::settings()
{
    AudioStreamBasicDescription output;
    if (getOutputDescription(&output) != noErr)
        return std::nullopt;
    QVariantMap settings = dictionaryWithASBD(output);
    UInt32 value = 0;
    if (getBitRate(&value) == noErr)
        settings.insert(kBitRateKey, qlonglong(value));
    if (getCodecQuality(&value) == noErr)
        settings.insert(kQualityKey, qlonglong(value));
    return settings;
}

void ZEPAudioConverter::setSettings(const QVariantMap& settings)
{
    const QVariant quality = settings.value(kQualityKey);
    beginChange();
    const UInt32 bitRate = UInt32(variant::integerValue(settings.value(kBitRateKey)));
    const AudioStreamBasicDescription description = asbdWithDictionary(settings);
    if (setOutputDescription(&description) == noErr) {
        setBitRate(bitRate);
        if (quality.isValid())
            setCodecQuality(UInt32(variant::integerValue(quality)));
        updateGUI();
    }
    endChange();
}

void ZEPAudioConverter::beginChange()
{
    mLock.lock();
    ++mChangeDepth;
}

void ZEPAudioConverter::endChange()
{
    if (mChangeDepth > 0)
        --mChangeDepth;
    resetStats();
    if (mChangeNotificationEnabled && mChangeDepth == 0)
        NotificationCenter::defaultCenter().post(HasChangedNotification, this);
    mLock.unlock();
}

UInt64 ZEPAudioConverter::bytesPerSecondEstimate()
{
    const std::optional<QVariantMap> current = settings();
    if (!current)
        return 0;
    const AudioStreamBasicDescription description = asbdWithDictionary(*current);
    if (description.mBytesPerFrame != 0)
        return UInt64(description.mBytesPerFrame * description.mSampleRate);
    return UInt64(variant::integerValue(current->value(kBitRateKey))) / 8;
}

void ZEPAudioConverter::resetStats()
{
    mSamplesConverted = 0;
    mAmountConverted = 0;
    mConvertedAmount = 0;
}
