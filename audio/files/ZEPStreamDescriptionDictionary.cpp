#include "audio/files/ZEPStreamDescriptionDictionary.h"

#include "platform/VariantValues.h"

#include <cstring>

namespace {

struct Field {
    const char* key;
    size_t offset;
};

// The eight unsigned fields, after the sample rate.
const Field kUnsignedFields[] = {
    {"mFormatID", offsetof(AudioStreamBasicDescription, mFormatID)},
    {"mFormatFlags", offsetof(AudioStreamBasicDescription, mFormatFlags)},
    {"mBytesPerPacket", offsetof(AudioStreamBasicDescription, mBytesPerPacket)},
    {"mFramesPerPacket", offsetof(AudioStreamBasicDescription, mFramesPerPacket)},
    {"mBytesPerFrame", offsetof(AudioStreamBasicDescription, mBytesPerFrame)},
    {"mChannelsPerFrame", offsetof(AudioStreamBasicDescription, mChannelsPerFrame)},
    {"mBitsPerChannel", offsetof(AudioStreamBasicDescription, mBitsPerChannel)},
    {"mReserved", offsetof(AudioStreamBasicDescription, mReserved)},
};

const QString kSampleRateKey = QStringLiteral("mSampleRate");

} // namespace

OSStatus ZEPDictionarySetNumber(QVariantMap& dictionary, const QString& key, ZEPNumberType type, const void* value)
{
    if (type == ZEPNumberType::Float64)
        dictionary.insert(key, *static_cast<const Float64*>(value));
    else
        dictionary.insert(key, qlonglong(*static_cast<const UInt32*>(value)));
    return noErr;
}

OSStatus ZEPDictionaryGetNumber(const QVariantMap& dictionary, const QString& key, ZEPNumberType type, void* value)
{
    const auto found = dictionary.constFind(key);
    if (found == dictionary.constEnd())
        return kZEPMissingKeyError;
    if (!variant::isNumber(*found))
        return kZEPNotANumberError;
    if (type == ZEPNumberType::Float64)
        *static_cast<Float64*>(value) = found->toDouble();
    else
        *static_cast<UInt32*>(value) = UInt32(found->toLongLong());
    return noErr;
}

AudioStreamBasicDescription ZEPASBDFromDictionary(const QVariantMap& dictionary)
{
    AudioStreamBasicDescription description;
    ZEPDictionaryGetNumber(dictionary, kSampleRateKey, ZEPNumberType::Float64, &description.mSampleRate);
    for (const Field& field : kUnsignedFields) {
        auto* target = reinterpret_cast<UInt32*>(reinterpret_cast<char*>(&description) + field.offset);
        ZEPDictionaryGetNumber(dictionary, QString::fromLatin1(field.key), ZEPNumberType::UInt32, target);
    }
    return description;
}

QVariantMap ZEPDictionaryFromASBD(const AudioStreamBasicDescription& description)
{
    QVariantMap dictionary;
    ZEPDictionarySetNumber(dictionary, kSampleRateKey, ZEPNumberType::Float64, &description.mSampleRate);
    for (const Field& field : kUnsignedFields) {
        const auto* source = reinterpret_cast<const UInt32*>(reinterpret_cast<const char*>(&description) + field.offset);
        ZEPDictionarySetNumber(dictionary, QString::fromLatin1(field.key), ZEPNumberType::UInt32, source);
    }
    return dictionary;
}
