#include "remote/CKPostQueue.h"

#include "remote/CKRemoteProtocol.h"

using namespace CKRemoteProtocol;

namespace {

// True when queued is superseded by the modify message.
bool modifyReplaces(const QVariantMap& message, const QVariantMap& queued)
{
    const QString target = message.value(ChangeTargetKey).toString();
    const QString key = message.value(IncChangeModifyKeyKey).toString();
    if (queued.value(ChangeTargetKey).toString() != target || queued.value(IncChangeModifyKeyKey).toString() != key)
        return false;
    if (target == ControllerChange || target == PreferencesChange)
        return true;
    return target == SoundChange && key == QLatin1String("playbackVolume")
        && queued.value(IncChangeUUIDKey) == message.value(IncChangeUUIDKey);
}

} // namespace

void CKPostQueue::post(const QVariantMap& message)
{
    const QString type = messageType(message);
    if ((type == VoteIncChange || type == CommitIncChange) && message.value(ChangeTypeKey).toString() == IncChangeModify)
        theMessages.removeIf([&](const QVariantMap& queued) { return modifyReplaces(message, queued); });
    else if (type == ProgressUpdate)
        theMessages.removeIf([](const QVariantMap& queued) { return messageType(queued) == ProgressUpdate; });
    theMessages.append(message);
}

std::optional<QVariantMap> CKPostQueue::outgoingMessage() const
{
    if (theMessages.isEmpty())
        return std::nullopt;
    if (theMessages.size() == 1)
        return theMessages.front();
    return compositeMessage(theMessages);
}
