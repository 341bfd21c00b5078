#include "audio/editor/ZEPAudioMarker.h"

#include "platform/VariantValues.h"

namespace {
const QString kNameKey = QStringLiteral("Name");
const QString kIndexKey = QStringLiteral("Index");
} // namespace

ZEPAudioMarkerRef ZEPAudioMarker::markerWithName(const QString& name, SInt64 location)
{
    return std::make_shared<ZEPAudioMarker>(name, location);
}

ZEPAudioMarkerRef ZEPAudioMarker::markerWithDictionary(const QVariantMap& dictionary)
{
    ZEPAudioMarkerRef marker = std::make_shared<ZEPAudioMarker>();
    marker->initWithDictionary(dictionary);
    return marker;
}

void ZEPAudioMarker::initWithDictionary(const QVariantMap& dictionary)
{
    *this = ZEPAudioMarker();
    if (dictionary.contains(kNameKey))
        mName = variant::stringValue(dictionary.value(kNameKey));
    if (dictionary.contains(kIndexKey))
        mLocation = SInt64(UInt64(variant::integerValue(dictionary.value(kIndexKey))));
}

QVariantMap ZEPAudioMarker::asDictionary() const
{
    // The location goes out as a signed number: the same bits as the unsigned form for
    // every real position, and one a property list can always hold.
    QVariantMap dictionary{{kIndexKey, qlonglong(mLocation)}};
    if (!mName.isNull())
        dictionary.insert(kNameKey, mName);
    return dictionary;
}

int ZEPAudioMarker::compare(const ZEPAudioMarker& other) const
{
    if (mLocation == other.mLocation)
        return 0;
    return mLocation < other.mLocation ? -1 : 1;
}
