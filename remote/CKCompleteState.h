#pragma once
// The complete state a paired remote mirrors, its checksum, and the progress bundle.
//
// The complete state is one flat dictionary: "duckingVolume", "duckingDuration",
// "masterVolume", "ducked", "paused" and "ClipdeckArray" (one dictionary per board, in list
// order: "name", "uuid" and "sounds", one dictionary per occupied cell in cell order, each
// with the ten mirrored sound properties). Values are kept as the model holds them.
//
// The checksum is the MD5 digest of the state's binary property-list form with every
// dictionary's keys in sorted order (QVariantMap's own order): the same state always gives
// the same bytes, so a remote that serialises its mirror the same way gets the same digest.
//
// Any thread; no shared state.

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

namespace CKCompleteState {

inline const QString ClipdeckArrayKey = QStringLiteral("ClipdeckArray");

struct MasterValues {
    QVariant masterVolume;
    QVariant ducked;
    QVariant paused;
};
struct PreferenceValues {
    QVariant duckingVolume;
    QVariant duckingDuration;
};

QVariantMap make(const MasterValues& master, const PreferenceValues& preferences, const QVariantList& clipdeckArray);
// A board's dictionary; sounds holds the dictionaries of its occupied cells in cell order.
QVariantMap clipdeckDictionary(const QVariant& name, const QVariant& uuid, const QVariantList& sounds);
// A sound's dictionary: each mirrored sound property read through valueForKey. Throws
// CKRemoteException when a value is missing or null.
QVariantMap soundDictionary(const std::function<QVariant(const QString& key)>& valueForKey);

// One entry of a progress bundle (the bundle maps each playing sound's uuid to its entry).
QVariantMap progressEntry(double duration, double currentTime, float leftPeakLevel, float rightPeakLevel,
                          float leftAvgLevel, float rightAvgLevel);

// The 16-byte MD5 digest of data.
QByteArray md5ChecksumOfData(const QByteArray& data);
// The bytes that are hashed: the binary property-list form of state; empty when the state
// holds a value a property list cannot carry.
QByteArray serializedState(const QVariantMap& state);
// md5ChecksumOfData(serializedState(state)).
QByteArray checksumOfState(const QVariantMap& state);

} // namespace CKCompleteState
