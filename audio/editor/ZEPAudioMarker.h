#pragma once
// A named position of a sound (absolute, in packets of the edit model's extraction format).
// Shared objects like regions (ZEPAudioMarkerRef); markers are equal when their locations are.
// Main thread.

#include "platform/CoreAudioTypes.h"

#include <QList>
#include <QString>
#include <QVariantMap>

#include <memory>

class ZEPAudioMarker;
using ZEPAudioMarkerRef = std::shared_ptr<ZEPAudioMarker>;
using ZEPAudioMarkerList = QList<ZEPAudioMarkerRef>;

class ZEPAudioMarker {
public:
    // No name, location 0, not selected.
    ZEPAudioMarker() = default;
    ZEPAudioMarker(const QString& name, SInt64 location) : mLocation(location), mName(name) {}

    static ZEPAudioMarkerRef markerWithName(const QString& name, SInt64 location);
    // "Name" and "Index" (the location), both optional.
    static ZEPAudioMarkerRef markerWithDictionary(const QVariantMap& dictionary);
    void initWithDictionary(const QVariantMap& dictionary);
    // A marker without a name writes no "Name".
    QVariantMap asDictionary() const;

    QString name() const { return mName; }
    void setName(const QString& name) { mName = name; }
    SInt64 location() const { return mLocation; }
    void setLocation(SInt64 location) { mLocation = location; }
    bool selected() const { return mSelected; }
    void setSelected(bool selected) { mSelected = selected; }

    // By location: -1, 0 or 1.
    int compare(const ZEPAudioMarker& other) const;
    bool isEqual(const ZEPAudioMarker* other) const
    {
        return other && (other == this || other->mLocation == mLocation);
    }
    // Same name and location, not selected.
    ZEPAudioMarkerRef copy() const { return markerWithName(mName, mLocation); }

private:
    SInt64 mLocation = 0;
    QString mName;
    bool mSelected = false;
};
