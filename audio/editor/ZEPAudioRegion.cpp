#include "audio/editor/ZEPAudioRegion.h"

#include "platform/VariantValues.h"

#include <algorithm>

namespace {

const QString kTypeKey = QStringLiteral("Type");
const QString kIndexKey = QStringLiteral("Index");
const QString kLengthKey = QStringLiteral("Length");
const QString kVisibleKey = QStringLiteral("Visible");
const QString kFadeTypeKey = QStringLiteral("FadeType");
const QString kFadeLengthKey = QStringLiteral("FadeLength");
const QString kEndRegionKey = QStringLiteral("EndRegion");
const QString kFadeEnabledKey = QStringLiteral("FadeEnabled");
const QString kFadeParameterKey = QStringLiteral("FadeParameter");

} // namespace

ZEPAudioRegionRef ZEPAudioRegionClass::regionAtIndex(SInt64 index, SInt64 end) const
{
    ZEPAudioRegionRef region = alloc();
    region->initWithIndex(index, end);
    return region;
}

ZEPAudioRegionRef ZEPAudioRegionClass::regionAtIndexWithLength(SInt64 index, SInt64 length) const
{
    ZEPAudioRegionRef region = alloc();
    region->initWithIndexLength(index, length);
    return region;
}

ZEPAudioRegionRef ZEPAudioRegionClass::regionWithDictionary(const QVariantMap& dictionary) const
{
    ZEPAudioRegionRef region = alloc();
    region->initWithDictionary(dictionary);
    return region;
}

void ZEPAudioRegion::sortRegions(ZEPAudioRegionList& regions)
{
    std::stable_sort(regions.begin(), regions.end(),
                     [](const ZEPAudioRegionRef& a, const ZEPAudioRegionRef& b) { return a->compare(*b) < 0; });
}

ZEPAudioRegionRef ZEPAudioRegion::regionAtIndex(SInt64 index, SInt64 end)
{
    return ZEPAudioRegionClass::of<ZEPAudioRegion>().regionAtIndex(index, end);
}

ZEPAudioRegionRef ZEPAudioRegion::regionAtIndexWithLength(SInt64 index, SInt64 length)
{
    return ZEPAudioRegionClass::of<ZEPAudioRegion>().regionAtIndexWithLength(index, length);
}

ZEPAudioRegionRef ZEPAudioRegion::regionWithDictionary(const QVariantMap& dictionary)
{
    return ZEPAudioRegionClass::of<ZEPAudioRegion>().regionWithDictionary(dictionary);
}

void ZEPAudioRegion::initWithIndex(SInt64 index, SInt64 end)
{
    *this = ZEPAudioRegion();
    mIndex = index;
    setEnd(end);
    mEnabled = true;
}

void ZEPAudioRegion::initWithIndexLength(SInt64 index, SInt64 length)
{
    initWithIndex(index, index + length - 1);
}

void ZEPAudioRegion::initWithDictionary(const QVariantMap& dictionary)
{
    *this = ZEPAudioRegion();
    if (dictionary.contains(kTypeKey))
        mType = UInt32(variant::integerValue(dictionary.value(kTypeKey)));
    // Index first, so that the end follows from index and length.
    if (dictionary.contains(kIndexKey))
        setIndex(variant::integerValue(dictionary.value(kIndexKey)));
    if (dictionary.contains(kLengthKey))
        setLength(variant::integerValue(dictionary.value(kLengthKey)));
    if (dictionary.contains(kVisibleKey))
        mVisible = variant::boolValue(dictionary.value(kVisibleKey));
    if (dictionary.contains(kFadeTypeKey))
        mFadeType = SInt32(UInt32(variant::integerValue(dictionary.value(kFadeTypeKey))));
    if (dictionary.contains(kFadeLengthKey))
        setFadeLength(SInt32(variant::integerValue(dictionary.value(kFadeLengthKey))));
    if (dictionary.contains(kEndRegionKey))
        mEndRegion = variant::boolValue(dictionary.value(kEndRegionKey));
    if (dictionary.contains(kFadeEnabledKey))
        mFadeEnabled = variant::boolValue(dictionary.value(kFadeEnabledKey));
    if (dictionary.contains(kFadeParameterKey))
        mFadeParameter = Float32(variant::doubleValue(dictionary.value(kFadeParameterKey)));
    if (mEndRegion)
        mShowBoth = true;
}

QVariantMap ZEPAudioRegion::asDictionary() const
{
    return {
        {kTypeKey, qlonglong(mType)},
        {kIndexKey, qlonglong(mIndex)},
        {kLengthKey, qlonglong(mLength)},
        {kVisibleKey, mVisible},
        {kFadeTypeKey, qlonglong(UInt32(mFadeType))},
        {kFadeLengthKey, qlonglong(mFadeLength)},
        {kEndRegionKey, mEndRegion},
        {kFadeEnabledKey, mFadeEnabled},
        {kFadeParameterKey, double(mFadeParameter)},
    };
}

void ZEPAudioRegion::setIndex(SInt64 index)
{
    const SInt64 oldEnd = end();
    mIndex = index;
    setEnd(oldEnd);
}

void ZEPAudioRegion::setEnd(SInt64 end)
{
    if (end < 0)
        return;
    setLength(end + 1 - mIndex);
}

SInt32 ZEPAudioRegion::nextFadeType() const
{
    switch (mFadeType) {
    case kZEPFadeNone: return kZEPFadeLinear;
    case kZEPFadeLinear: return kZEPFadeSquare;
    case kZEPFadeSquare: return kZEPFadeLog;
    default: return kZEPFadeNone;
    }
}

SInt32 ZEPAudioRegion::leftFadeType() const
{
    switch (mFadeType) {
    case kZEPFadeLog: return kZEPFadeLogOut;
    case kZEPFadeSquare: return kZEPFadeSquareOut;
    case kZEPFadeLinear: return kZEPFadeLinearOut;
    case kZEPFadeConstantGain: return kZEPFadeConstantGain;
    default: return kZEPFadeNone;
    }
}

SInt32 ZEPAudioRegion::rightFadeType() const
{
    switch (mFadeType) {
    case kZEPFadeLog: return kZEPFadeLogIn;
    case kZEPFadeSquare: return kZEPFadeSquareIn;
    case kZEPFadeLinear: return kZEPFadeLinearIn;
    case kZEPFadeConstantGain: return kZEPFadeConstantGain;
    default: return kZEPFadeNone;
    }
}

ZEPAudioRegionRef ZEPAudioRegion::leftFadeRegion() const
{
    ZEPAudioRegionRef fade = regionAtIndex(mIndex - mFadeLength, mIndex);
    fade->setFadeType(leftFadeType());
    return fade;
}

ZEPAudioRegionRef ZEPAudioRegion::rightFadeRegion() const
{
    ZEPAudioRegionRef fade = regionAtIndex(end(), end() + mFadeLength);
    fade->setFadeType(rightFadeType());
    return fade;
}

int ZEPAudioRegion::compare(const ZEPAudioRegion& other) const
{
    if (mIndex != other.mIndex)
        return mIndex < other.mIndex ? -1 : 1;
    if (mLength != other.mLength)
        return mLength < other.mLength ? -1 : 1;
    return 0;
}

bool ZEPAudioRegion::isEqual(const ZEPAudioRegion* other) const
{
    return other && (other == this || compare(*other) == 0);
}

bool ZEPAudioRegion::isEqualtoRegion(const ZEPAudioRegion* other) const
{
    return other && (other == this || (isEqual(other) && asDictionary() == other->asDictionary()));
}

bool ZEPAudioRegion::intersects(const ZEPAudioRegion* other) const
{
    return other && (containsLocation(other->mIndex) || other->containsLocation(mIndex));
}

bool ZEPAudioRegion::isAdjoiningWithRegion(const ZEPAudioRegion* other) const
{
    if (!other || intersects(other))
        return false;
    return end() + 1 == other->mIndex || other->end() + 1 == mIndex;
}

bool ZEPAudioRegion::isSuperSetOfRegion(const ZEPAudioRegion* other) const
{
    return other && mIndex <= other->mIndex && end() >= other->end();
}

bool ZEPAudioRegion::isSubsetOfRegion(const ZEPAudioRegion* other) const
{
    return other && mIndex >= other->mIndex && end() <= other->end();
}

ZEPAudioRegionRef ZEPAudioRegion::regionByUnionWith(const ZEPAudioRegion& other) const
{
    return regionClass().regionAtIndex(std::min(mIndex, other.mIndex), std::max(end(), other.end()));
}

ZEPAudioRegionRef ZEPAudioRegion::regionByIntersectionWith(const ZEPAudioRegion& other) const
{
    if (!intersects(&other))
        return nullptr;
    const ZEPAudioRegion& later = compare(other) <= 0 ? other : *this;
    return regionClass().regionAtIndex(later.mIndex, std::min(end(), other.end()));
}

ZEPAudioRegionRef ZEPAudioRegion::copy() const
{
    ZEPAudioRegionRef region = regionClass().regionAtIndexWithLength(mIndex, mLength);
    region->takeValuesFrom(*this);
    return region;
}

void ZEPAudioRegion::takeValuesFrom(const ZEPAudioRegion& other)
{
    mType = other.mType;
    // Index and length together stand for index and end; taking the length itself keeps a
    // region of length 0 at index 0 (end -1, which setEnd() would ignore).
    mIndex = other.mIndex;
    mLength = other.mLength;
    mFadeType = other.mFadeType;
    mFadeLength = other.mFadeLength;
    mFadeEnabled = other.mFadeEnabled;
    mFadeParameter = other.mFadeParameter;
    mVisible = other.mVisible;
    mShowBoth = other.mShowBoth;
    mEndRegion = other.mEndRegion;
}

QString ZEPAudioRegion::description() const
{
    return QStringLiteral("<%1 %2>\nindex: %3\nend: %4\nlength: %5\ntype: %6\nfadeLength: %7")
        .arg(QString::fromLatin1(typeid(*this).name()))
        .arg(quintptr(this), 0, 16)
        .arg(mIndex)
        .arg(end())
        .arg(mLength)
        .arg(mType)
        .arg(mFadeLength);
}
