#include "remote/CKCompleteState.h"

#include "platform/PropertyList.h"
#include "remote/CKRemoteException.h"
#include "remote/CKRemoteProtocol.h"

#include <QCryptographicHash>

namespace CKCompleteState {

QVariantMap make(const MasterValues& master, const PreferenceValues& preferences, const QVariantList& clipdeckArray)
{
    return QVariantMap{
        {QStringLiteral("duckingVolume"), preferences.duckingVolume},
        {QStringLiteral("duckingDuration"), preferences.duckingDuration},
        {QStringLiteral("masterVolume"), master.masterVolume},
        {QStringLiteral("ducked"), master.ducked},
        {QStringLiteral("paused"), master.paused},
        {ClipdeckArrayKey, clipdeckArray},
    };
}

QVariantMap clipdeckDictionary(const QVariant& name, const QVariant& uuid, const QVariantList& sounds)
{
    return QVariantMap{{QStringLiteral("name"), name}, {QStringLiteral("uuid"), uuid}, {QStringLiteral("sounds"), sounds}};
}

QVariantMap soundDictionary(const std::function<QVariant(const QString& key)>& valueForKey)
{
    QVariantMap sound;
    for (const QString& key : CKRemoteProtocol::mirroredKeys(CKRemoteProtocol::SoundChange)) {
        const QVariant value = valueForKey(key);
        if (!value.isValid() || value.isNull())
            throw CKRemoteException("CKSyncController trying to mirror a nil or NSNull.");
        sound.insert(key, value);
    }
    return sound;
}

QVariantMap progressEntry(double duration, double currentTime, float leftPeakLevel, float rightPeakLevel,
                          float leftAvgLevel, float rightAvgLevel)
{
    return QVariantMap{
        {QStringLiteral("duration"), duration},
        {QStringLiteral("currentTime"), currentTime},
        {QStringLiteral("leftPeakLevel"), leftPeakLevel},
        {QStringLiteral("rightPeakLevel"), rightPeakLevel},
        {QStringLiteral("leftAvgLevel"), leftAvgLevel},
        {QStringLiteral("rightAvgLevel"), rightAvgLevel},
    };
}

QByteArray md5ChecksumOfData(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

QByteArray serializedState(const QVariantMap& state)
{
    return PropertyList::serialize(state, PropertyList::Format::Binary).value_or(QByteArray());
}

QByteArray checksumOfState(const QVariantMap& state)
{
    return md5ChecksumOfData(serializedState(state));
}

} // namespace CKCompleteState
