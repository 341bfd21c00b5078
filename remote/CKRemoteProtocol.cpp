#include "remote/CKRemoteProtocol.h"

#include "platform/VariantValues.h"
#include "remote/CKRemoteException.h"

#include <QDateTime>

#include <cassert>

namespace CKRemoteProtocol {
namespace {

struct MirroredProperty {
    const QString& target;
    QString key;
    MirroredType type;
};

const std::vector<MirroredProperty>& mirroredProperties()
{
    static const std::vector<MirroredProperty> table{
        {ControllerChange, QStringLiteral("masterVolume"), MirroredType::Float},
        {ControllerChange, QStringLiteral("paused"), MirroredType::Boolean},
        {ControllerChange, QStringLiteral("ducked"), MirroredType::Boolean},
        {PreferencesChange, QStringLiteral("duckingVolume"), MirroredType::Number},
        {PreferencesChange, QStringLiteral("duckingDuration"), MirroredType::Number},
        {ClipdeckChange, QStringLiteral("name"), MirroredType::String},
        {ClipdeckChange, QStringLiteral("uuid"), MirroredType::String},
        {ClipdeckChange, QStringLiteral("sounds"), MirroredType::Slots},
        {SoundChange, QStringLiteral("name"), MirroredType::String},
        {SoundChange, QStringLiteral("loops"), MirroredType::Boolean},
        {SoundChange, QStringLiteral("restartOnPress"), MirroredType::Boolean},
        {SoundChange, QStringLiteral("uuid"), MirroredType::String},
        {SoundChange, QStringLiteral("playbackVolume"), MirroredType::Float},
        {SoundChange, QStringLiteral("liftBehavior"), MirroredType::Unsigned},
        {SoundChange, QStringLiteral("index"), MirroredType::Unsigned},
        {SoundChange, QStringLiteral("backgroundColor"), MirroredType::String},
        {SoundChange, QStringLiteral("sticky"), MirroredType::Boolean},
        {SoundChange, QStringLiteral("isPlayable"), MirroredType::Boolean},
    };
    return table;
}

bool isReal(const QVariant& value)
{
    return value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float;
}

bool isUnsignedInteger(const QVariant& value)
{
    if (!variant::isInteger(value))
        return false;
    switch (value.typeId()) {
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
        return true;
    default:
        return value.toLongLong() >= 0;
    }
}

// What a property list can carry as a changed value.
bool isPropertyListValue(const QVariant& value)
{
    return variant::isInteger(value) || isReal(value) || value.typeId() == QMetaType::Bool
        || value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray
        || value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QStringList
        || value.typeId() == QMetaType::QVariantMap || value.typeId() == QMetaType::QDateTime;
}

QVariantMap message(const QString& type)
{
    return QVariantMap{{MessageTypeKey, type}};
}

QVariantMap change(const QString& target, const QString& type, const QString& uuid)
{
    QVariantMap vote{{MessageTypeKey, VoteIncChange}, {ChangeTargetKey, target}, {ChangeTypeKey, type}};
    if (!uuid.isNull())
        vote.insert(IncChangeUUIDKey, uuid);
    return vote;
}

} // namespace

std::optional<MirroredType> mirroredPropertyType(const QString& target, const QString& key)
{
    for (const MirroredProperty& property : mirroredProperties())
        if (property.target == target && property.key == key)
            return property.type;
    return std::nullopt;
}

QStringList mirroredKeys(const QString& target)
{
    QStringList keys;
    for (const MirroredProperty& property : mirroredProperties())
        if (property.target == target)
            keys << property.key;
    return keys;
}

bool valueHasType(const QVariant& value, MirroredType type)
{
    switch (type) {
    case MirroredType::Float:
    case MirroredType::Number:
        return isReal(value) || variant::isInteger(value);
    case MirroredType::Boolean:
        return value.typeId() == QMetaType::Bool;
    case MirroredType::Unsigned:
        return isUnsignedInteger(value);
    case MirroredType::String:
        return value.typeId() == QMetaType::QString;
    case MirroredType::Slots:
        return value.typeId() == QMetaType::QVariantList;
    }
    return false;
}

QString messageType(const QVariantMap& message)
{
    const QVariant type = message.value(MessageTypeKey);
    return type.typeId() == QMetaType::QString ? type.toString() : QString();
}

QList<QVariantMap> unpackedMessages(const QVariantMap& message)
{
    if (messageType(message) != CompositeMessage)
        return {message};
    QList<QVariantMap> messages;
    const QVariant array = message.value(MessageArrayKey);
    if (array.typeId() != QMetaType::QVariantList)
        return messages;
    for (const QVariant& entry : array.toList())
        if (entry.typeId() == QMetaType::QVariantMap)
            messages << entry.toMap();
    return messages;
}

std::optional<quint64> indexValue(const QVariant& value)
{
    if (!isUnsignedInteger(value))
        return std::nullopt;
    return value.toULongLong();
}

std::optional<QVariant> acceptableModifyValue(const QVariantMap& change)
{
    const QVariant target = change.value(ChangeTargetKey);
    const QVariant key = change.value(IncChangeModifyKeyKey);
    if (target.typeId() != QMetaType::QString || key.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString name = key.toString();
    // Structure and identity change only from this end.
    if (name == QLatin1String("sounds") || name == QLatin1String("index") || name == QLatin1String("uuid"))
        return std::nullopt;
    const std::optional<MirroredType> type = mirroredPropertyType(target.toString(), name);
    if (!type || !change.contains(name))
        return std::nullopt;
    const QVariant value = change.value(name);
    if (!valueHasType(value, *type))
        return std::nullopt;
    return value;
}

QVariantMap connectChallenge()
{
    return message(ConnectChallenge);
}

QVariantMap connectAccept(qint64 selectedClipdeck, const QVariantMap& completeState)
{
    QVariantMap accept = message(ConnectAccept);
    accept.insert(SelectedCKOfServerKey, selectedClipdeck);
    accept.insert(CompleteStateKey, completeState);
    return accept;
}

QVariantMap voteIncChangeFail()
{
    return message(VoteIncChangeFail);
}

QVariantMap completeUpdate(const QVariantMap& completeState)
{
    QVariantMap update = message(CompleteUpdate);
    update.insert(CompleteStateKey, completeState);
    return update;
}

QVariantMap progressUpdate(const QVariantMap& progressBundle)
{
    QVariantMap update = message(ProgressUpdate);
    update.insert(ProgressBundleKey, progressBundle);
    return update;
}

QVariantMap performChecksum(const QByteArray& checksumHash)
{
    QVariantMap checksum = message(PerformChecksum);
    checksum.insert(ChecksumHashKey, checksumHash);
    return checksum;
}

QVariantMap closeConnection(const QString& reason)
{
    QVariantMap close = message(CloseConnection);
    close.insert(CloseConnectionReasonKey, reason);
    return close;
}

QVariantMap compositeMessage(const QList<QVariantMap>& messages)
{
    QVariantList array;
    array.reserve(messages.size());
    for (const QVariantMap& entry : messages)
        array << entry;
    QVariantMap composite = message(CompositeMessage);
    composite.insert(MessageArrayKey, array);
    return composite;
}

QVariantMap addChange(const QString& target, const QVariantMap& addDictionary, quint64 index, const QString& uuid)
{
    QVariantMap vote = change(target, IncChangeAdd, uuid);
    vote.insert(IncChangeIndexKey, index);
    vote.insert(IncChangeAddDictionaryKey, addDictionary);
    return vote;
}

QVariantMap modifyChange(const QString& target, const QString& key, const QVariant& value, const QString& uuid)
{
    if (!value.isValid() || value.isNull())
        throw CKRemoteException("CKSyncController trying to modify a value to nil or NSNull.");
    assert(isPropertyListValue(value) && "a changed value must be a number, string, data, array, dictionary or date");
    QVariantMap vote = change(target, IncChangeModify, uuid);
    vote.insert(IncChangeModifyKeyKey, key);
    vote.insert(key, value);
    return vote;
}

QVariantMap rearrangeChange(const QString& target, quint64 index, quint64 indexOther, const QString& uuid)
{
    QVariantMap vote = change(target, IncChangeRearrange, uuid);
    vote.insert(IncChangeIndexKey, index);
    vote.insert(IncChangeIndexOtherKey, indexOther);
    return vote;
}

QVariantMap deleteChange(const QString& target, quint64 index, const QString& uuid)
{
    QVariantMap vote = change(target, IncChangeDelete, uuid);
    vote.insert(IncChangeIndexKey, index);
    return vote;
}

QVariantMap commitFromVote(const QVariantMap& message)
{
    if (messageType(message) != VoteIncChange)
        return message;
    QVariantMap commit = message;
    commit.insert(MessageTypeKey, CommitIncChange);
    return commit;
}

} // namespace CKRemoteProtocol
