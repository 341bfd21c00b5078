#include "audio/files/ZEPCoreAudioConverter.h"

#include "audio/files/ZEPAudioFileWriter.h"
#include "platform/FoundationExtensions.h"
#include "platform/UserDefaults.h"
#include "platform/VariantValues.h"
#include "platform/codecs/AudioConverter.h"
#include "platform/codecs/AudioFormatCatalog.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <set>

namespace {

const double kStandardSampleRates[] = {8000,  11025, 16000, 22050, 24000, 32000,
                                       44100, 48000, 64000, 88200, 96000, 192000};

AudioStreamBasicDescription description(Float64 rate, AudioFormatID format, AudioFormatFlags flags, UInt32 bytesPerPacket,
                                        UInt32 framesPerPacket, UInt32 bytesPerFrame, UInt32 channels, UInt32 bits)
{
    AudioStreamBasicDescription d;
    d.mSampleRate = rate;
    d.mFormatID = format;
    d.mFormatFlags = flags;
    d.mBytesPerPacket = bytesPerPacket;
    d.mFramesPerPacket = framesPerPacket;
    d.mBytesPerFrame = bytesPerFrame;
    d.mChannelsPerFrame = channels;
    d.mBitsPerChannel = bits;
    return d;
}

// The Apple Lossless source-bit-depth flag for a bit count: 32, 24 and 20 bits, else 16.
AudioFormatFlags losslessFlagsForBits(qint64 bits)
{
    switch (bits) {
    case 32: return kAppleLosslessFormatFlag_32BitSourceData;
    case 24: return kAppleLosslessFormatFlag_24BitSourceData;
    case 20: return kAppleLosslessFormatFlag_20BitSourceData;
    default: return kAppleLosslessFormatFlag_16BitSourceData;
    }
}

bool isAACFileType(UInt32 type)
{
    return type == kAudioFileQuickTimeMovieType || type == kAudioFileAAC_ADTSType || type == kAudioFileM4AType ||
           type == kAudioFileMPEG4Type;
}

bool isExcludedFormat(UInt32 format)
{
    return format == kAudioFormatQDesign || format == kAudioFormatQDesign2 || format == kAudioFormatQUALCOMM;
}

// Each range's maximum (or minimum), once, ascending.
QVariantList rangeEnds(const std::vector<AudioValueRange>& ranges, bool maximum)
{
    std::set<double> values;
    for (const AudioValueRange& range : ranges)
        values.insert(maximum ? range.mMaximum : range.mMinimum);
    QVariantList list;
    for (double value : values)
        list.append(value);
    return list;
}

bool listContains(const QVariantList& list, double value)
{
    return std::any_of(list.begin(), list.end(), [value](const QVariant& v) { return v.toDouble() == value; });
}

OSStatus ZEPCoreAudioConverterInputProc(AudioConverter* audioConverter, UInt32* numberOfPackets,
                                        AudioBufferList* bufferList, AudioStreamPacketDescription** descriptions,
                                        void* userData)
{
    return static_cast<ZEPCoreAudioConverter*>(userData)->converterNumberOfPackets(audioConverter, numberOfPackets,
                                                                                   bufferList, descriptions);
}

} // namespace

ZEPCoreAudioConverter::ZEPCoreAudioConverter() = default;

ZEPCoreAudioConverter::~ZEPCoreAudioConverter() = default;

OSStatus ZEPCoreAudioConverter::defaultOutputDescription(AudioStreamBasicDescription* d, UInt32 fileType)
{
    *d = description(44100, kAudioFormatLinearPCM, 3, 8, 1, 8, 2, 32);
    OSStatus status = noErr;
    if (fileType == kAudioFileAIFCType) {
        *d = description(44100, kAudioFormatAppleIMA4, 0, 68, 64, 0, 2, 0);
    } else if (fileType == kAudioFileAIFFType || fileType == kAudioFileNextType ||
               fileType == kAudioFileSoundDesigner2Type) {
        *d = description(44100, kAudioFormatLinearPCM, 14, 8, 1, 8, 2, 32);
    } else if (fileType == kAudioFileWAVEType) {
        *d = description(44100, kAudioFormatLinearPCM, 12, 4, 1, 4, 2, 16);
    } else if (isAACFileType(fileType) || fileType == kAudioFileCAFType) {
        const AudioFormatID format = fileType == kAudioFileCAFType ? kAudioFormatAppleLossless : kAudioFormatMPEG4AAC;
        *d = description(44100, format, 0, 0, 1024, 0, 2, 0);
        getDefaultASBD(d);
    } else {
        const std::optional<QVariantList> formats = ZEPAudioFileWriter::availableFormatsForFileType(fileType);
        std::vector<AudioStreamBasicDescription> descriptions;
        if (!formats || formats->isEmpty() ||
            ZEPAudioFileWriter::availableOutputDescriptions(&descriptions, fileType,
                                                            UInt32(formats->first().toLongLong())) != noErr ||
            descriptions.empty())
            return kAudioFileUnsupportedFileTypeError;
        *d = descriptions.front();
        const std::optional<QVariantList> rates = ZEPAudioFileWriter::availableSampleRatesForFormatID(d->mFormatID);
        if (rates) {
            if (const std::optional<QVariant> rate = closestNumberToNumber(*rates, 44100))
                d->mSampleRate = rate->toDouble();
        }
        if (std::optional<QVariantList> channels = ZEPAudioFileWriter::availableNumberChannelsForFormatID(d->mFormatID)) {
            channels->erase(std::remove_if(channels->begin(), channels->end(),
                                           [](const QVariant& count) { return count.toLongLong() < 1; }),
                            channels->end());
            if (const std::optional<QVariant> count = closestNumberToNumber(*channels, 2))
                d->mChannelsPerFrame = UInt32(count->toLongLong());
        }
        if (d->mSampleRate == 0)
            d->mSampleRate = 44100;
    }
    if (d->mFormatID == kAudioFormatAppleLossless) {
        const QVariant bits = UserDefaults::standardUserDefaults().objectForKey(QStringLiteral("LosslessPreservedBits"));
        d->mFormatFlags = variant::isNumber(bits) ? losslessFlagsForBits(bits.toLongLong())
                                                  : kAppleLosslessFormatFlag_16BitSourceData;
    }
    return status;
}

OSStatus ZEPCoreAudioConverter::getDefaultASBD(AudioStreamBasicDescription* d)
{
    const Float64 rate = d->mSampleRate;
    const AudioFormatID format = d->mFormatID;
    *d = AudioStreamBasicDescription{};
    d->mSampleRate = rate;
    d->mFormatID = format;
    if (format == kAudioFormatAMR) {
        d->mSampleRate = 8000;
        d->mChannelsPerFrame = 1;
    } else if (format == kAudioFormatLinearPCM) {
        *d = description(rate, format, 14, 8, 1, 8, 2, 32);
    } else {
        d->mChannelsPerFrame = format == kAudioFormatQUALCOMM ? 1 : 2;
    }
    return AudioFormatCatalog::completeDescription(d);
}

OSStatus ZEPCoreAudioConverter::getDefaultDescription(AudioStreamBasicDescription* d)
{
    AudioStreamBasicDescription attempt = *d;
    OSStatus status = AudioFormatCatalog::completeDescription(&attempt);
    if (status != noErr) {
        attempt = *d;
        attempt.mFramesPerPacket = 0;
        status = AudioFormatCatalog::completeDescription(&attempt);
    }
    if (status != noErr) {
        attempt = AudioStreamBasicDescription{};
        attempt.mFormatID = d->mFormatID;
        status = AudioFormatCatalog::completeDescription(&attempt);
    }
    if (status == noErr)
        *d = attempt;
    return status;
}

QVariantList ZEPCoreAudioConverter::sampleRatesFromRanges(const std::vector<AudioValueRange>& ranges)
{
    if (ranges.size() == 1) {
        const AudioValueRange& range = ranges.front();
        const bool any = range.mMinimum == 0 && range.mMaximum == 0;
        const bool span = range.mMinimum != range.mMaximum;
        if (any || span) {
            QVariantList rates;
            for (double rate : kStandardSampleRates)
                rates.append(rate);
            if (span) {
                for (double end : {range.mMinimum, range.mMaximum}) {
                    if (end != 0 && !listContains(rates, end))
                        rates.append(end);
                }
                rates.erase(std::remove_if(rates.begin(), rates.end(),
                                           [&](const QVariant& rate) {
                                               return rate.toDouble() < range.mMinimum ||
                                                      rate.toDouble() > range.mMaximum;
                                           }),
                            rates.end());
            }
            return rates;
        }
    }
    return rangeEnds(ranges, true);
}

std::unique_ptr<ZEPCoreAudioConverter> ZEPCoreAudioConverter::initWithFileType(UInt32 fileType)
{
    if (fileType == kAudioFileM4BType)
        fileType = kAudioFileM4AType;
    AudioStreamBasicDescription output;
    if (defaultOutputDescription(&output, fileType) != noErr)
        return nullptr;
    std::unique_ptr<ZEPCoreAudioConverter> converter =
        initWithInputDescription(defaultInputDescription(), output, 0, kAudioConverterQuality_Max);
    if (converter)
        converter->mFileTypeID = fileType;
    return converter;
}

std::unique_ptr<ZEPCoreAudioConverter> ZEPCoreAudioConverter::initWithInputDescription(
    const AudioStreamBasicDescription& input, const AudioStreamBasicDescription& output, UInt32 bitRate, UInt32 quality)
{
    std::unique_ptr<ZEPCoreAudioConverter> converter(new ZEPCoreAudioConverter);
    converter->mInputDesc = input;
    converter->mOutputDesc = output;
    if (output.mFormatID == kAudioFormatAppleLossless) {
        const QVariant bits = UserDefaults::standardUserDefaults().objectForKey(QStringLiteral("AppleLosslessPreservedBits"));
        qint64 count = 0;
        if (variant::isNumber(bits))
            count = bits.toLongLong();
        else if (bits.typeId() == QMetaType::QString)
            count = bits.toString().trimmed().toLongLong();
        converter->mOutputDesc.mFormatFlags = losslessFlagsForBits(count);
    }
    converter->setChangeNotificationEnabled(false);
    if (converter->createConverter() != noErr)
        return nullptr;
    if (const std::optional<QVariantList> rates = converter->availableSampleRates(); rates && !rates->isEmpty()) {
        const double closest = closestNumberToNumber(*rates, converter->mOutputDesc.mSampleRate)->toDouble();
        if (closest != converter->mOutputDesc.mSampleRate && converter->setSampleRate(closest) != noErr)
            return nullptr;
    }
    if (bitRate != 0)
        converter->setBitRate(bitRate);
    if (quality != 0)
        converter->setCodecQuality(quality);
    if (input.mChannelsPerFrame == 1)
        converter->setMonoChannelMap();
    converter->setChangeNotificationEnabled(true);
    return converter;
}

OSStatus ZEPCoreAudioConverter::createConverter()
{
    mAudioConverter.reset();
    return AudioConverter::create(mInputDesc, mOutputDesc, &mAudioConverter);
}

OSStatus ZEPCoreAudioConverter::readProperty(AudioConverterPropertyID property, void* data, UInt32 size)
{
    if (!mAudioConverter)
        return kAudio_ParamError;
    return mAudioConverter->getProperty(property, &size, data);
}

OSStatus ZEPCoreAudioConverter::writeProperty(AudioConverterPropertyID property, const void* data, UInt32 size)
{
    if (!mAudioConverter)
        return kAudio_ParamError;
    return mAudioConverter->setProperty(property, size, data);
}

OSStatus ZEPCoreAudioConverter::setMonoChannelMap()
{
    std::vector<SInt32> map(mOutputDesc.mChannelsPerFrame, 0);
    return setChannelMap(&map);
}

OSStatus ZEPCoreAudioConverter::setChannelMap(std::vector<SInt32>* map)
{
    const UInt32 size = UInt32(map->size() * sizeof(SInt32));
    const OSStatus status = writeProperty(kAudioConverterChannelMap, map->data(), size);
    if (status == noErr)
        readProperty(kAudioConverterChannelMap, map->data(), size);
    return status;
}

std::unique_ptr<ZEPAudioConverter> ZEPCoreAudioConverter::inverseConverter()
{
    AudioStreamBasicDescription input, output;
    if (getInputDescription(&input) != noErr || getOutputDescription(&output) != noErr)
        return nullptr;
    UInt32 quality = 0;
    getCodecQuality(&quality);
    std::unique_ptr<ZEPCoreAudioConverter> decoder = initWithInputDescription(output, input, 0, quality);
    if (!decoder)
        return nullptr;
    QByteArray cookie;
    if (getCompressionMagicCookie(&cookie) == noErr && !cookie.isEmpty() &&
        decoder->setDecompressionCookie(cookie.constData(), UInt32(cookie.size())) != noErr)
        return nullptr;
    if (output.mChannelsPerFrame == 1)
        decoder->setMonoChannelMap();
    return decoder;
}

OSStatus ZEPCoreAudioConverter::getInputDescription(AudioStreamBasicDescription* d)
{
    return readProperty(kAudioConverterCurrentInputStreamDescription, d, sizeof(*d));
}

OSStatus ZEPCoreAudioConverter::getOutputDescription(AudioStreamBasicDescription* d)
{
    return readProperty(kAudioConverterCurrentOutputStreamDescription, d, sizeof(*d));
}

namespace {

// Whether a description's packets vary in size or need descriptions of their own.
OSStatus framingOf(const AudioStreamBasicDescription& description, bool* framed)
{
    bool variable = false, external = false;
    OSStatus status = AudioFormatCatalog::isVariableBitRate(description, &variable);
    if (status == noErr)
        status = AudioFormatCatalog::isExternallyFramed(description, &external);
    *framed = variable || external;
    return status;
}

} // namespace

OSStatus ZEPCoreAudioConverter::getInputIsExternallyFramed(bool* framed)
{
    AudioStreamBasicDescription input;
    *framed = false;
    const OSStatus status = getInputDescription(&input);
    return status == noErr ? framingOf(input, framed) : status;
}

OSStatus ZEPCoreAudioConverter::getOutputIsExternallyFramed(bool* framed)
{
    AudioStreamBasicDescription output;
    *framed = false;
    const OSStatus status = getOutputDescription(&output);
    return status == noErr ? framingOf(output, framed) : status;
}

OSStatus ZEPCoreAudioConverter::getMaximumOutputPacketSize(UInt32* size)
{
    OSStatus status = readProperty(kAudioConverterPropertyMaximumOutputPacketSize, size, sizeof(*size));
    if (status == kAudioConverterErr_PropertyNotSupported) {
        *size = mOutputDesc.mBytesPerPacket;
        status = noErr;
    }
    return status;
}

OSStatus ZEPCoreAudioConverter::getMaximumInputPacketSize(UInt32* size)
{
    OSStatus status = readProperty(kAudioConverterPropertyMaximumInputPacketSize, size, sizeof(*size));
    if (status == kAudioConverterErr_PropertyNotSupported) {
        *size = mInputDesc.mBytesPerPacket;
        status = noErr;
    }
    return status;
}

OSStatus ZEPCoreAudioConverter::getMinimumInputBufferSize(UInt32* size)
{
    return readProperty(kAudioConverterPropertyMinimumInputBufferSize, size, sizeof(*size));
}

OSStatus ZEPCoreAudioConverter::getMinimumOutputBufferSize(UInt32* size)
{
    return readProperty(kAudioConverterPropertyMinimumOutputBufferSize, size, sizeof(*size));
}

OSStatus ZEPCoreAudioConverter::getConverterProperty(AudioConverterPropertyID property, QByteArray* data)
{
    data->clear();
    if (!mAudioConverter)
        return kAudio_ParamError;
    UInt32 size = 0;
    OSStatus status = mAudioConverter->getPropertyInfo(property, &size, nullptr);
    if (status != noErr)
        return status;
    QByteArray bytes(qsizetype(size), '\0');
    status = mAudioConverter->getProperty(property, &size, bytes.data());
    if (status == noErr)
        *data = bytes.left(qsizetype(size));
    return status;
}

OSStatus ZEPCoreAudioConverter::setDecompressionCookie(const void* cookie, UInt32 size)
{
    beginChange();
    const OSStatus status = writeProperty(kAudioConverterDecompressionMagicCookie, cookie, size);
    endChange();
    return status;
}

OSStatus ZEPCoreAudioConverter::getCompressionMagicCookie(QByteArray* cookie)
{
    return getConverterProperty(kAudioConverterCompressionMagicCookie, cookie);
}

OSStatus ZEPCoreAudioConverter::getBitRate(UInt32* bitRate)
{
    return readProperty(kAudioConverterEncodeBitRate, bitRate, sizeof(*bitRate));
}

OSStatus ZEPCoreAudioConverter::getSampleRate(Float64* sampleRate)
{
    AudioStreamBasicDescription output;
    const OSStatus status = getOutputDescription(&output);
    if (status == noErr)
        *sampleRate = output.mSampleRate;
    return status;
}

OSStatus ZEPCoreAudioConverter::getBitsPerChannel(UInt32* bits)
{
    AudioStreamBasicDescription output;
    const OSStatus status = getOutputDescription(&output);
    if (status == noErr)
        *bits = output.mBitsPerChannel;
    return status;
}

OSStatus ZEPCoreAudioConverter::getCodecQuality(UInt32* quality)
{
    return readProperty(kAudioConverterCodecQuality, quality, sizeof(*quality));
}

OSStatus ZEPCoreAudioConverter::getSampleRateConversionQuality(UInt32* quality)
{
    return readProperty(kAudioConverterSampleRateConverterQuality, quality, sizeof(*quality));
}

OSStatus ZEPCoreAudioConverter::setSampleRateConversionQuality(UInt32 quality)
{
    beginChange();
    const OSStatus status = writeProperty(kAudioConverterSampleRateConverterQuality, &quality, sizeof(quality));
    endChange();
    return status;
}

OSStatus ZEPCoreAudioConverter::getPrimeInfo(AudioConverterPrimeInfo* info)
{
    return readProperty(kAudioConverterPrimeInfo, info, sizeof(*info));
}

AudioConverterPrimeInfo ZEPCoreAudioConverter::primeInfo()
{
    AudioConverterPrimeInfo info;
    if (getPrimeInfo(&info) != noErr)
        info = AudioConverterPrimeInfo{};
    return info;
}

OSStatus ZEPCoreAudioConverter::reset()
{
    return mAudioConverter ? mAudioConverter->reset() : kAudio_ParamError;
}

OSStatus ZEPCoreAudioConverter::getReadyToEncode()
{
    reset();
    if (mInputDesc.mChannelsPerFrame == 1)
        setMonoChannelMap();
    return ZEPAudioConverter::getReadyToEncode();
}

OSStatus ZEPCoreAudioConverter::setOutputDescription(const AudioStreamBasicDescription* requested)
{
    AudioStreamBasicDescription previousInput, previousOutput;
    OSStatus status = getInputDescription(&previousInput);
    if (status == noErr)
        status = getOutputDescription(&previousOutput);
    if (status != noErr)
        return status;
    mInputDesc = previousInput;
    mOutputDesc = *requested;
    if (mOutputDesc.mFormatID == kAudioFormatLinearPCM) {
        const std::optional<QVariantList> flagEntries = availableFormatFlags(true);
        QVariantList flags;
        for (const QVariant& entry : flagEntries.value_or(QVariantList()))
            flags.append(entry.toMap().value("value"));
        if (!listContains(flags, mOutputDesc.mFormatFlags))
            mOutputDesc.mFormatFlags = flags.isEmpty() ? 0 : UInt32(flags.first().toLongLong());
        const QVariantList bits = applicableBitsPerChannel(true).value_or(QVariantList());
        if (!listContains(bits, mOutputDesc.mBitsPerChannel)) {
            const std::optional<QVariant> closest = closestNumberToNumber(bits, mOutputDesc.mBitsPerChannel);
            mOutputDesc.mBitsPerChannel = closest ? UInt32(closest->toLongLong()) : 0;
        }
    }
    const OSStatus completion = getDefaultDescription(&mOutputDesc);
    if (mOutputDesc.mChannelsPerFrame != mInputDesc.mChannelsPerFrame) {
        mInputDesc.mChannelsPerFrame = mOutputDesc.mChannelsPerFrame;
        mInputDesc.mBytesPerFrame = mInputDesc.mBytesPerPacket = 0;
        status = getDefaultDescription(&mInputDesc);
        if (status != noErr)
            return status;
    }
    beginChange();
    UInt32 bitRate = 0, quality = 0;
    const bool bitRateRead = getBitRate(&bitRate) == noErr;
    getCodecQuality(&quality);
    const OSStatus creation = createConverter();
    if (completion != noErr || creation != noErr) {
        mInputDesc = previousInput;
        mOutputDesc = previousOutput;
        status = createConverter();
    } else {
        writeProperty(kAudioConverterCodecQuality, &quality, sizeof(quality));
        status = noErr;
    }
    if (bitRateRead && bitRate != 0)
        writeProperty(kAudioConverterEncodeBitRate, &bitRate, sizeof(bitRate));
    if (mInputDesc.mChannelsPerFrame == 1)
        setMonoChannelMap();
    getReadyToEncode();
    endChange();
    return status;
}

OSStatus ZEPCoreAudioConverter::setInputDescription(const AudioStreamBasicDescription* requested)
{
    AudioStreamBasicDescription previous;
    OSStatus status = getInputDescription(&previous);
    if (status != noErr)
        return status;
    if (dictionaryWithASBD(*requested) == dictionaryWithASBD(previous))
        return noErr;
    beginChange();
    UInt32 bitRate = 0, quality = 0;
    const bool bitRateRead = getBitRate(&bitRate) == noErr;
    getCodecQuality(&quality);
    mInputDesc = *requested;
    status = createConverter();
    if (status != noErr) {
        mInputDesc = previous;
        status = createConverter();
    }
    if (bitRateRead && bitRate != 0) {
        const OSStatus bitRateStatus = writeProperty(kAudioConverterEncodeBitRate, &bitRate, sizeof(bitRate));
        if (bitRateStatus != noErr) {
            endChange();
            return bitRateStatus;
        }
    }
    writeProperty(kAudioConverterCodecQuality, &quality, sizeof(quality));
    if (mInputDesc.mChannelsPerFrame == 1)
        setMonoChannelMap();
    getReadyToEncode();
    endChange();
    return status;
}

OSStatus ZEPCoreAudioConverter::setInputSampleRate(Float64 sampleRate)
{
    AudioStreamBasicDescription input = mInputDesc;
    input.mSampleRate = sampleRate;
    return setInputDescription(&input);
}

OSStatus ZEPCoreAudioConverter::setAudioFormatID(UInt32 formatID)
{
    if (mOutputDesc.mFormatID == formatID)
        return noErr;
    beginChange();
    AudioStreamBasicDescription output;
    OSStatus status = getOutputDescription(&output);
    if (status == noErr) {
        output.mFormatID = formatID;
        status = getDefaultDescription(&output);
    }
    if (status != noErr) {
        endChange();
        return status;
    }
    status = setOutputDescription(&output);
    if (mFileTypeID != 0 && mOutputDesc.mFormatID != formatID) {
        // Refused: try the flags the type offers, then the format's own defaults.
        const QVariantList flags = availableFormatFlags().value_or(QVariantList());
        const bool listed = std::any_of(flags.begin(), flags.end(), [&](const QVariant& entry) {
            return entry.toMap().value("value").toLongLong() == qlonglong(output.mFormatFlags);
        });
        OSStatus retry = noErr;
        if (!listed && !flags.isEmpty()) {
            output.mFormatFlags = UInt32(flags.first().toMap().value("value").toLongLong());
            getDefaultDescription(&output);
            retry = setOutputDescription(&output);
        }
        if (mOutputDesc.mFormatID != formatID) {
            AudioStreamBasicDescription defaults;
            defaults.mSampleRate = output.mSampleRate;
            defaults.mFormatID = formatID;
            getDefaultASBD(&defaults);
            const OSStatus last = setOutputDescription(&defaults);
            if (retry == noErr)
                retry = last;
        }
        status = retry;
    }
    endChange();
    return status;
}

OSStatus ZEPCoreAudioConverter::setFormatFlags(UInt32 flags)
{
    if (mOutputDesc.mFormatFlags == flags)
        return noErr;
    AudioStreamBasicDescription output;
    OSStatus status = getOutputDescription(&output);
    if (status != noErr)
        return status;
    output.mFormatFlags = flags;
    if (output.mFormatID == kAudioFormatLinearPCM)
        output.mBitsPerChannel = (flags & kAudioFormatFlagIsFloat) ? 32 : (flags & kAudioFormatFlagIsSignedInteger) ? 16 : 8;
    output.mBytesPerPacket = output.mBitsPerChannel * output.mChannelsPerFrame * output.mFramesPerPacket / 8;
    // A description without frames per packet has no bytes per frame either.
    output.mBytesPerFrame = output.mFramesPerPacket ? output.mBytesPerPacket / output.mFramesPerPacket : 0;
    getDefaultDescription(&output);
    return setOutputDescription(&output);
}

OSStatus ZEPCoreAudioConverter::setBitsPerChannel(UInt32 bits)
{
    if (mOutputDesc.mBitsPerChannel == bits)
        return noErr;
    AudioStreamBasicDescription output;
    const OSStatus status = getOutputDescription(&output);
    if (status != noErr)
        return status;
    output.mBitsPerChannel = bits;
    output.mBytesPerPacket = output.mBitsPerChannel * output.mChannelsPerFrame * output.mFramesPerPacket / 8;
    output.mBytesPerFrame = output.mFramesPerPacket ? output.mBytesPerPacket / output.mFramesPerPacket : 0;
    return setOutputDescription(&output);
}

OSStatus ZEPCoreAudioConverter::setNumberChannels(UInt32 channels)
{
    AudioStreamBasicDescription input, output;
    OSStatus status = getInputDescription(&input);
    if (status == noErr)
        status = getOutputDescription(&output);
    if (status != noErr)
        return status;
    if (output.mChannelsPerFrame == channels)
        return noErr;
    UInt32 bitRate = 0;
    const bool bitRateRead = getBitRate(&bitRate) == noErr;
    beginChange();
    for (AudioStreamBasicDescription* d : {&input, &output}) {
        d->mChannelsPerFrame = channels;
        d->mBytesPerFrame = d->mBytesPerPacket = 0;
    }
    status = getDefaultDescription(&input);
    if (status == noErr)
        status = getDefaultDescription(&output);
    if (status != noErr) {
        endChange();
        return status;
    }
    mInputDesc = input;
    mOutputDesc = output;
    status = createConverter();
    if (status != noErr) {
        endChange();
        return status;
    }
    if (bitRateRead && bitRate != 0)
        status = writeProperty(kAudioConverterEncodeBitRate, &bitRate, sizeof(bitRate));
    endChange();
    return status;
}

OSStatus ZEPCoreAudioConverter::setSampleRate(Float64 sampleRate)
{
    if (mOutputDesc.mSampleRate == sampleRate)
        return noErr;
    const QVariantList rates = availableSampleRates().value_or(QVariantList());
    const std::optional<QVariant> closest = closestNumberToNumber(rates, sampleRate);
    beginChange();
    AudioStreamBasicDescription output;
    OSStatus status = getOutputDescription(&output);
    if (status == noErr) {
        output.mSampleRate = closest ? closest->toDouble() : 0;
        status = setOutputDescription(&output);
    }
    endChange();
    return status;
}

OSStatus ZEPCoreAudioConverter::setBitRate(UInt32 bitRate)
{
    beginChange();
    const QVariantList rates = applicableBitRates().value_or(QVariantList());
    if (!listContains(rates, bitRate))
        bitRate = rates.isEmpty() ? 0 : UInt32(rates.last().toLongLong());
    OSStatus status = writeProperty(kAudioConverterEncodeBitRate, &bitRate, sizeof(bitRate));
    if (status == kAudioCodecUnsupportedFormatError) {
        // The codec refused: a fresh converter keeps its default bit rate.
        const OSStatus creation = createConverter();
        if (creation != noErr) {
            endChange();
            return creation;
        }
    }
    getOutputDescription(&mOutputDesc);
    mOutputDesc_Cached = mOutputDesc;
    endChange();
    return status;
}

OSStatus ZEPCoreAudioConverter::setCodecQuality(UInt32 quality)
{
    UInt32 current = 0;
    if (getCodecQuality(&current) == noErr && current == quality)
        return noErr;
    beginChange();
    const OSStatus status = writeProperty(kAudioConverterCodecQuality, &quality, sizeof(quality));
    endChange();
    return status;
}

std::optional<QVariantList> ZEPCoreAudioConverter::availableAudioFormats()
{
    if (mFileTypeID != kAudioFileQuickTimeMovieType)
        return ZEPAudioFileWriter::availableFormatsForFileType(mFileTypeID);
    std::vector<AudioFormatID> formats = AudioFormatCatalog::encodeFormatIDs();
    std::sort(formats.begin(), formats.end());
    QVariantList list;
    for (AudioFormatID format : formats) {
        if (!isExcludedFormat(format))
            list.append(qlonglong(format));
    }
    return list;
}

QString ZEPCoreAudioConverter::getFormatName(UInt32 formatID)
{
    AudioStreamBasicDescription d;
    d.mFormatID = formatID;
    QString name;
    if (AudioFormatCatalog::formatName(d, &name) != noErr)
        return QCoreApplication::translate("ZEPCoreAudioConverter", "Unknown Format");
    return name;
}

std::optional<QVariantList> ZEPCoreAudioConverter::availableAudioFormatNames()
{
    const std::optional<QVariantList> formats = availableAudioFormats();
    if (!formats)
        return std::nullopt;
    QVariantList names;
    for (const QVariant& format : *formats)
        names.append(getFormatName(UInt32(format.toLongLong())));
    return names;
}

std::optional<QVariantList> ZEPCoreAudioConverter::availableSampleRates()
{
    std::vector<AudioValueRange> ranges;
    if (AudioFormatCatalog::availableEncodeSampleRates(mOutputDesc.mFormatID, &ranges) != noErr)
        return std::nullopt;
    return sampleRatesFromRanges(ranges);
}

std::optional<QVariantList> ZEPCoreAudioConverter::applicableSampleRates()
{
    QByteArray data;
    if (getConverterProperty(kAudioConverterApplicableEncodeSampleRates, &data) != noErr)
        return availableSampleRates();
    std::vector<AudioValueRange> ranges(size_t(data.size()) / sizeof(AudioValueRange));
    std::memcpy(ranges.data(), data.constData(), ranges.size() * sizeof(AudioValueRange));
    return sampleRatesFromRanges(ranges);
}

namespace {

std::optional<QVariantList> bitRateMaxima(ZEPCoreAudioConverter& converter, AudioConverterPropertyID property)
{
    QByteArray data;
    if (converter.getConverterProperty(property, &data) != noErr)
        return QVariantList();
    std::vector<AudioValueRange> ranges(size_t(data.size()) / sizeof(AudioValueRange));
    std::memcpy(ranges.data(), data.constData(), ranges.size() * sizeof(AudioValueRange));
    return rangeEnds(ranges, true);
}

} // namespace

std::optional<QVariantList> ZEPCoreAudioConverter::availableBitRates()
{
    return bitRateMaxima(*this, kAudioConverterAvailableEncodeBitRates);
}

std::optional<QVariantList> ZEPCoreAudioConverter::applicableBitRates()
{
    return bitRateMaxima(*this, kAudioConverterApplicableEncodeBitRates);
}

std::optional<QVariantList> ZEPCoreAudioConverter::availableFormatFlags(bool all)
{
    QVariantList entries;
    if (mOutputDesc.mFormatID != kAudioFormatLinearPCM && !all)
        return entries;
    const UInt32 type = mFileTypeID == kAudioFileQuickTimeMovieType ? kAudioFileCAFType : mFileTypeID;
    std::vector<AudioStreamBasicDescription> descriptions;
    ZEPAudioFileWriter::availableOutputDescriptions(&descriptions, type, kAudioFormatLinearPCM);
    const std::optional<QVariantMap> current = settings();
    const qlonglong selectedFlags = current ? current->value("mFormatFlags").toLongLong() : -1;
    std::set<UInt32> seen;
    for (const AudioStreamBasicDescription& d : descriptions) {
        if (!seen.insert(d.mFormatFlags).second)
            continue;
        QString name;
        if (d.mFormatFlags & kAudioFormatFlagIsFloat)
            name = QCoreApplication::translate("ZEPCoreAudioConverter", "Float") + QStringLiteral(" ");
        else if (d.mFormatFlags & kAudioFormatFlagIsSignedInteger)
            name = QCoreApplication::translate("ZEPCoreAudioConverter", "Integer") + QStringLiteral(" ");
        else
            name = QCoreApplication::translate("ZEPCoreAudioConverter", "Unsigned Integer") + QStringLiteral(" ");
        name += (d.mFormatFlags & kAudioFormatFlagIsBigEndian)
                    ? QCoreApplication::translate("ZEPCoreAudioConverter", "Big Endian")
                    : QCoreApplication::translate("ZEPCoreAudioConverter", "Little Endian");
        entries.append(QVariantMap{{"value", qlonglong(d.mFormatFlags)},
                                   {"localizedName", name},
                                   {"selected", qlonglong(d.mFormatFlags) == selectedFlags}});
    }
    return entries;
}

std::optional<QVariantList> ZEPCoreAudioConverter::writerDescriptionValues(UInt32 fileType, bool flags,
                                                                           bool matchFlags,
                                                                           const AudioStreamBasicDescription& output)
{
    QVariantList values;
    std::vector<AudioStreamBasicDescription> descriptions;
    ZEPAudioFileWriter::availableOutputDescriptions(&descriptions, fileType, kAudioFormatLinearPCM);
    for (const AudioStreamBasicDescription& d : descriptions) {
        if (matchFlags && d.mFormatFlags != output.mFormatFlags)
            continue;
        const double value = flags ? d.mFormatFlags : d.mBitsPerChannel;
        if (!listContains(values, value))
            values.append(value);
    }
    return values;
}

std::optional<QVariantList> ZEPCoreAudioConverter::availableBitsPerChannel()
{
    if (mOutputDesc.mFormatID != kAudioFormatLinearPCM)
        return QVariantList();
    const UInt32 type = mFileTypeID == kAudioFileQuickTimeMovieType ? kAudioFileAIFCType : mFileTypeID;
    return writerDescriptionValues(type, false, false, mOutputDesc);
}

std::optional<QVariantList> ZEPCoreAudioConverter::applicableBitsPerChannel(bool useStored)
{
    AudioStreamBasicDescription output = mOutputDesc;
    if (!useStored && (getOutputDescription(&output) != noErr || output.mFormatID != kAudioFormatLinearPCM))
        return QVariantList();
    const UInt32 type = mFileTypeID == kAudioFileQuickTimeMovieType ? kAudioFileAIFCType : mFileTypeID;
    return writerDescriptionValues(type, false, true, output);
}

std::optional<QVariantList> ZEPCoreAudioConverter::availableNumberChannels()
{
    return ZEPAudioFileWriter::availableNumberChannelsForFormatID(mOutputDesc.mFormatID);
}

std::optional<QVariantList> ZEPCoreAudioConverter::applicableChannels()
{
    std::vector<UInt32> counts;
    const OSStatus status = AudioFormatCatalog::availableEncodeNumberChannels(mOutputDesc, &counts);
    const bool any = std::any_of(counts.begin(), counts.end(),
                                 [](UInt32 count) { return count == 0 || count == kAudioAnyChannelCount; });
    if (status != noErr || any)
        return QVariantList{qlonglong(1), qlonglong(2)};
    QVariantList list;
    for (UInt32 count : counts)
        list.append(qlonglong(count));
    return list;
}

OSStatus ZEPCoreAudioConverter::fillComplexBuffer(AudioBufferList* bufferList, AudioStreamPacketDescription* packets,
                                                  UInt32* numPackets)
{
    ZEPAudioConverterLocker locked(*this);
    if (!bufferList || bufferList->mNumberBuffers == 0 || !bufferList->mBuffers[0].mData)
        return kAudio_ParamError;
    if (!mAudioConverter)
        return kAudio_ParamError;
    return mAudioConverter->fillComplexBuffer(ZEPCoreAudioConverterInputProc, this, numPackets, bufferList, packets);
}

OSStatus ZEPCoreAudioConverter::flushComplexBuffer(AudioBufferList* bufferList, AudioStreamPacketDescription* packets,
                                                   UInt32* numPackets)
{
    ZEPAudioConverterLocker locked(*this);
    ZEPAudioConverterDataSource* previous = mDataSource;
    mDataSource = this;
    const OSStatus status = fillComplexBuffer(bufferList, packets, numPackets);
    mDataSource = previous;
    return status;
}

OSStatus ZEPCoreAudioConverter::converterNumberOfPackets(AudioConverter*, UInt32* numberOfPackets,
                                                         AudioBufferList* bufferList,
                                                         AudioStreamPacketDescription** packetDescriptions)
{
    // Without a data source the input has ended.
    if (!mDataSource) {
        *numberOfPackets = 0;
        return noErr;
    }
    const OSStatus status = mDataSource->converter(this, numberOfPackets, bufferList, packetDescriptions);
    mSamplesConverted += *numberOfPackets;
    return status;
}

OSStatus ZEPCoreAudioConverter::getAudioDescription(AudioStreamBasicDescription* description)
{
    *description = mOutputDesc;
    return noErr;
}

OSStatus ZEPCoreAudioConverter::renderFrames(UInt32* frames, AudioBufferList* ioData, AudioUnitRenderActionFlags*,
                                             const AudioTimeStamp*, void*)
{
    fillComplexBuffer(ioData, nullptr, frames);
    return noErr;
}
