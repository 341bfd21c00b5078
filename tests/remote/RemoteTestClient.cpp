#include "RemoteTestClient.h"

#include "platform/PropertyList.h"
#include "support/TestEnvironment.h"

#include <QCryptographicHash>

#include <algorithm>

namespace remotetest {
namespace {

const QByteArray kSeparator("\xFA\xDE\xDE\xAD", 4);

QString typeOf(const QVariantMap& message)
{
    return message.value(QStringLiteral("MessageType")).toString();
}

QVariantMap* findByUUID(QVariantList& list, const QString& uuid, QVariantMap& storage, qsizetype* at)
{
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list[i].toMap().value(QStringLiteral("uuid")).toString() == uuid) {
            storage = list[i].toMap();
            *at = i;
            return &storage;
        }
    }
    return nullptr;
}

void sortByIndex(QVariantList& sounds)
{
    std::stable_sort(sounds.begin(), sounds.end(), [](const QVariant& a, const QVariant& b) {
        return a.toMap().value(QStringLiteral("index")).toLongLong() < b.toMap().value(QStringLiteral("index")).toLongLong();
    });
}

} // namespace

RemoteTestClient::RemoteTestClient(const char* host, uint16_t port, const char* sourceAddress)
    : peer_(std::make_unique<sockettest::Peer>(host, port, sourceAddress))
{
}

QByteArray RemoteTestClient::frame(const QVariantMap& message)
{
    return PropertyList::serialize(message, PropertyList::Format::Binary).value_or(QByteArray()) + kSeparator;
}

void RemoteTestClient::send(const QVariantMap& message)
{
    peer_->send(frame(message));
}

void RemoteTestClient::sendRaw(const QByteArray& bytes)
{
    peer_->send(bytes);
}

bool RemoteTestClient::poll()
{
    if (!peer_->isConnected())
        return closed;
    const bool ended = peer_->readAvailable();
    pending_ += peer_->received().mid(consumed_);
    consumed_ = peer_->received().size();
    for (qsizetype end; (end = pending_.indexOf(kSeparator)) >= 0;) {
        const QByteArray body = pending_.left(end);
        pending_.remove(0, end + kSeparator.size());
        const std::optional<QVariant> value = body.isEmpty() ? std::nullopt : PropertyList::parse(body);
        if (!value || value->typeId() != QMetaType::QVariantMap) {
            ++unreadable;
            continue;
        }
        const QVariantMap message = value->toMap();
        received << message;
        if (typeOf(message) == QLatin1String("CompositeMessage")) {
            for (const QVariant& entry : message.value(QStringLiteral("MessageArray")).toList())
                handle(entry.toMap());
        } else {
            handle(message);
        }
    }
    if (ended && !closed) {
        closed = true;
        closeReasonBeforeEnd = !closeReason.isNull();
    }
    return closed;
}

bool RemoteTestClient::waitFor(const std::function<bool()>& condition)
{
    return clipdeck::test::waitUntil([&] {
        poll();
        return condition();
    });
}

bool RemoteTestClient::waitForClose()
{
    return waitFor([&] { return closed; });
}

int RemoteTestClient::count(const QString& type) const
{
    return int(std::count_if(handled.begin(), handled.end(), [&](const QVariantMap& m) { return typeOf(m) == type; }));
}

QByteArray RemoteTestClient::mirrorChecksum() const
{
    const QByteArray bytes = PropertyList::serialize(mirror, PropertyList::Format::Binary).value_or(QByteArray());
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5);
}

void RemoteTestClient::handle(const QVariantMap& message)
{
    handled << message;
    const QString type = typeOf(message);
    if (type == QLatin1String("ConnectAccept")) {
        selectedClipdeck = message.value(QStringLiteral("SelectedCKOfServer")).toLongLong();
        mirror = message.value(QStringLiteral("CompleteState")).toMap();
    } else if (type == QLatin1String("CompleteUpdate")) {
        mirror = message.value(QStringLiteral("CompleteState")).toMap();
    } else if (type == QLatin1String("CommitIncChange")) {
        applyCommit(message) ? ++commitsApplied : ++commitsNotApplied;
    } else if (type == QLatin1String("ProgressUpdate")) {
        progress = message.value(QStringLiteral("ProgressBundle")).toMap();
    } else if (type == QLatin1String("VoteIncChangeFail")) {
        ++voteFailures;
    } else if (type == QLatin1String("PerformChecksum")) {
        const bool matches = message.value(QStringLiteral("ChecksumHash")).toByteArray() == mirrorChecksum();
        matches ? ++checksumsMatched : ++checksumsMismatched;
        if (answerChecksums)
            send(ofType(matches ? QStringLiteral("ChecksumPassed") : QStringLiteral("ChecksumFailed")));
    } else if (type == QLatin1String("CloseConnection")) {
        closeReason = message.value(QStringLiteral("CloseConnectionReason")).toString();
    }
}

bool RemoteTestClient::applyCommit(const QVariantMap& commit)
{
    const QString target = commit.value(QStringLiteral("ChangeTarget")).toString();
    const QString type = commit.value(QStringLiteral("ChangeType")).toString();
    const QString uuid = commit.value(QStringLiteral("IncChangeUUID")).toString();
    const qsizetype index = qsizetype(commit.value(QStringLiteral("IncChangeIndex")).toLongLong());
    const qsizetype other = qsizetype(commit.value(QStringLiteral("IncChangeIndexOther")).toLongLong());
    const QString key = commit.value(QStringLiteral("IncChangeModifyKey")).toString();
    const QString arrayKey = QStringLiteral("ClipdeckArray");
    QVariantList clipdecks = mirror.value(arrayKey).toList();

    if (type == QLatin1String("IncChangeModify") && (target == QLatin1String("ControllerChange") || target == QLatin1String("PreferencesChange"))) {
        if (!commit.contains(key))
            return false;
        mirror.insert(key, commit.value(key));
        return true;
    }
    if (target == QLatin1String("ClipdeckChange")) {
        if (type == QLatin1String("IncChangeModify")) {
            QVariantMap clipdeck;
            qsizetype at = 0;
            if (!findByUUID(clipdecks, uuid, clipdeck, &at) || !commit.contains(key))
                return false;
            clipdeck.insert(key, commit.value(key));
            clipdecks[at] = clipdeck;
        } else if (type == QLatin1String("IncChangeAdd") && index >= 0 && index <= clipdecks.size()) {
            clipdecks.insert(index, commit.value(QStringLiteral("IncChangeAddDictionary")).toMap());
        } else if (type == QLatin1String("IncChangeRearrange") && index >= 0 && other >= 0 && index < clipdecks.size()
                   && other < clipdecks.size()) {
            clipdecks.swapItemsAt(index, other);
        } else if (type == QLatin1String("IncChangeDelete") && index >= 0 && index < clipdecks.size()) {
            clipdecks.removeAt(index);
        } else {
            return false;
        }
        mirror.insert(arrayKey, clipdecks);
        return true;
    }
    if (target != QLatin1String("SoundChange"))
        return false;

    if (type == QLatin1String("IncChangeModify")) {
        for (QVariant& entry : clipdecks) {
            QVariantMap clipdeck = entry.toMap();
            QVariantList sounds = clipdeck.value(QStringLiteral("sounds")).toList();
            QVariantMap sound;
            qsizetype at = 0;
            if (!findByUUID(sounds, uuid, sound, &at))
                continue;
            if (!commit.contains(key))
                return false;
            sound.insert(key, commit.value(key));
            sounds[at] = sound;
            sortByIndex(sounds);
            clipdeck.insert(QStringLiteral("sounds"), sounds);
            entry = clipdeck;
            mirror.insert(arrayKey, clipdecks);
            return true;
        }
        return false;
    }
    QVariantMap clipdeck;
    qsizetype clipdeckAt = 0;
    if (!findByUUID(clipdecks, uuid, clipdeck, &clipdeckAt))
        return false;
    QVariantList sounds = clipdeck.value(QStringLiteral("sounds")).toList();
    const auto cell = [&](qsizetype i) -> qsizetype {
        for (qsizetype s = 0; s < sounds.size(); ++s)
            if (sounds[s].toMap().value(QStringLiteral("index")).toLongLong() == i)
                return s;
        return -1;
    };
    const auto moveCell = [&](qsizetype from, qsizetype to) {
        QVariantMap sound = sounds[from].toMap();
        sound.insert(QStringLiteral("index"), qlonglong(to));
        sounds[from] = sound;
    };
    if (type == QLatin1String("IncChangeAdd")) {
        sounds << commit.value(QStringLiteral("IncChangeAddDictionary")).toMap();
    } else if (type == QLatin1String("IncChangeRearrange")) {
        const qsizetype first = cell(index);
        const qsizetype second = cell(other);
        if (first >= 0)
            moveCell(first, other);
        if (second >= 0)
            moveCell(second, index);
    } else if (type == QLatin1String("IncChangeDelete")) {
        const qsizetype at = cell(index);
        if (at < 0)
            return false;
        sounds.removeAt(at);
    } else {
        return false;
    }
    sortByIndex(sounds);
    clipdeck.insert(QStringLiteral("sounds"), sounds);
    clipdecks[clipdeckAt] = clipdeck;
    mirror.insert(arrayKey, clipdecks);
    return true;
}

QVariantMap RemoteTestClient::ofType(const QString& type)
{
    return QVariantMap{{QStringLiteral("MessageType"), type}};
}

QVariantMap RemoteTestClient::connectRequest(const QString& identifier, const QString& hostName,
                                             const std::optional<QString>& version)
{
    QVariantMap message = ofType(QStringLiteral("ConnectRequest"));
    message.insert(QStringLiteral("ClientIdentifier"), identifier);
    message.insert(QStringLiteral("ClientHostName"), hostName);
    if (version)
        message.insert(QStringLiteral("RemoteVersionKey"), *version);
    return message;
}

QVariantMap RemoteTestClient::connectVerify(const QString& identifier, const QString& hostName, qint64 passcode)
{
    QVariantMap message = ofType(QStringLiteral("ConnectVerify"));
    message.insert(QStringLiteral("ClientIdentifier"), identifier);
    message.insert(QStringLiteral("ClientHostName"), hostName);
    message.insert(QStringLiteral("Passcode"), passcode);
    return message;
}

QVariantMap RemoteTestClient::modifyVote(const QString& target, const QString& key, const QVariant& value, const QString& uuid)
{
    QVariantMap message = ofType(QStringLiteral("VoteIncChange"));
    message.insert(QStringLiteral("ChangeTarget"), target);
    message.insert(QStringLiteral("ChangeType"), QStringLiteral("IncChangeModify"));
    message.insert(QStringLiteral("IncChangeModifyKey"), key);
    if (value.isValid())
        message.insert(key, value);
    if (!uuid.isNull())
        message.insert(QStringLiteral("IncChangeUUID"), uuid);
    return message;
}

} // namespace remotetest
