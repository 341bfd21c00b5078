#pragma once
// A stream description kept in settings as a dictionary under the keys "mSampleRate",
// "mFormatID", "mFormatFlags", "mBytesPerPacket", "mFramesPerPacket", "mBytesPerFrame",
// "mChannelsPerFrame", "mBitsPerChannel" and "mReserved": the sample rate as a double, the
// other eight as unsigned 32-bit numbers. Pure functions; any thread.

#include "platform/CoreAudioTypes.h"

#include <QString>
#include <QVariantMap>

// The number types the dictionary functions read and write.
enum class ZEPNumberType {
    Float64, // a double
    UInt32,  // an unsigned 32-bit integer (a "long" of the 32-bit target)
};

// Stores the value at value under key. Answers 0.
OSStatus ZEPDictionarySetNumber(QVariantMap& dictionary, const QString& key, ZEPNumberType type, const void* value);

// Reads the number under key into value: "!Key" when the key is missing, "!Num" when its
// value is not a number (value is then left untouched), else 0.
OSStatus ZEPDictionaryGetNumber(const QVariantMap& dictionary, const QString& key, ZEPNumberType type, void* value);

// The description read key by key; a field whose key is missing or not a number stays 0.
AudioStreamBasicDescription ZEPASBDFromDictionary(const QVariantMap& dictionary);

// The nine keys of the description.
QVariantMap ZEPDictionaryFromASBD(const AudioStreamBasicDescription& description);
