#pragma once
// The remote protocol's message catalogue: the names of message types and keys exactly as
// they travel, the builders of the messages this end sends, and the checks of what a remote
// sends. A message is one dictionary (QVariantMap) whose "MessageType" names its kind; the
// framing that carries it is CKRemoteTerminal's, the complete state is CKCompleteState's.
//
// What arrives from a remote is untrusted: every reader here checks types and answers
// nothing (or false) for a missing, null or mistyped value, never throws for it.
// The builders take values from this program's own model and throw CKRemoteException for a
// missing or null value (a caller's programming error).
//
// Any thread; no shared state.

#include <QList>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <cstdint>
#include <optional>

namespace CKRemoteProtocol {

// --- message types ("MessageType")
inline const QString MessageTypeKey = QStringLiteral("MessageType");
inline const QString ConnectRequest = QStringLiteral("ConnectRequest");
inline const QString ConnectChallenge = QStringLiteral("ConnectChallenge");
inline const QString ConnectVerify = QStringLiteral("ConnectVerify");
inline const QString ConnectAccept = QStringLiteral("ConnectAccept");
inline const QString VoteIncChange = QStringLiteral("VoteIncChange");
inline const QString CommitIncChange = QStringLiteral("CommitIncChange");
inline const QString VoteIncChangeFail = QStringLiteral("VoteIncChangeFail");
inline const QString CompleteUpdate = QStringLiteral("CompleteUpdate");
inline const QString ProgressUpdate = QStringLiteral("ProgressUpdate");
inline const QString PerformChecksum = QStringLiteral("PerformChecksum");
inline const QString ChecksumPassed = QStringLiteral("ChecksumPassed");
inline const QString ChecksumFailed = QStringLiteral("ChecksumFailed");
inline const QString LoadClipdeck = QStringLiteral("LoadClipdeck");
inline const QString CloseConnection = QStringLiteral("CloseConnection");
inline const QString CompositeMessage = QStringLiteral("CompositeMessage");

// --- keys of the connection, state and session messages
inline const QString ClientIdentifierKey = QStringLiteral("ClientIdentifier");
inline const QString ClientHostNameKey = QStringLiteral("ClientHostName");
inline const QString RemoteVersionKey = QStringLiteral("RemoteVersionKey");
inline const QString PasscodeKey = QStringLiteral("Passcode");
inline const QString SelectedCKOfServerKey = QStringLiteral("SelectedCKOfServer");
inline const QString CompleteStateKey = QStringLiteral("CompleteState");
inline const QString ProgressBundleKey = QStringLiteral("ProgressBundle");
inline const QString ChecksumHashKey = QStringLiteral("ChecksumHash");
inline const QString LoadClipdeckUUIDKey = QStringLiteral("LoadClipdeckUUID");
inline const QString CloseConnectionReasonKey = QStringLiteral("CloseConnectionReason");
inline const QString MessageArrayKey = QStringLiteral("MessageArray");
// Added by the receiving end to every message before it is handled.
inline const QString ExternalHostKey = QStringLiteral("ExternalHost");
inline const QString ReceivedDateKey = QStringLiteral("ReceivedDate");

// The protocol version this end speaks ("RemoteVersionKey").
inline const QString ProtocolVersion = QStringLiteral("1");
// "SelectedCKOfServer" when no board is shown: the largest signed 64-bit integer, which
// remotes take for "not found".
constexpr qint64 SelectedCKNotFound = INT64_MAX;

// --- incremental changes ("VoteIncChange", "CommitIncChange")
inline const QString ChangeTargetKey = QStringLiteral("ChangeTarget");
inline const QString ChangeTypeKey = QStringLiteral("ChangeType");
inline const QString IncChangeIndexKey = QStringLiteral("IncChangeIndex");
inline const QString IncChangeIndexOtherKey = QStringLiteral("IncChangeIndexOther");
inline const QString IncChangeAddDictionaryKey = QStringLiteral("IncChangeAddDictionary");
inline const QString IncChangeModifyKeyKey = QStringLiteral("IncChangeModifyKey");
inline const QString IncChangeUUIDKey = QStringLiteral("IncChangeUUID");

inline const QString ControllerChange = QStringLiteral("ControllerChange");
inline const QString PreferencesChange = QStringLiteral("PreferencesChange");
inline const QString ClipdeckChange = QStringLiteral("ClipdeckChange");
inline const QString SoundChange = QStringLiteral("SoundChange");

inline const QString IncChangeAdd = QStringLiteral("IncChangeAdd");
inline const QString IncChangeModify = QStringLiteral("IncChangeModify");
inline const QString IncChangeRearrange = QStringLiteral("IncChangeRearrange");
inline const QString IncChangeDelete = QStringLiteral("IncChangeDelete");

// --- mirrored properties: the keys that appear in the complete state and as
// "IncChangeModifyKey", with the type each holds.
enum class MirroredType {
    Float,    // a real (an integer is taken too)
    Number,   // any number but a boolean
    Boolean,
    Unsigned, // an integer of at least 0
    String,
    Slots,    // a board's array of sound dictionaries
};
// The type of key on target, or nothing when target does not mirror key.
std::optional<MirroredType> mirroredPropertyType(const QString& target, const QString& key);
// The mirrored keys of target in the order of the table (empty for an unknown target).
QStringList mirroredKeys(const QString& target);
// True when value (as read from a message) has the type.
bool valueHasType(const QVariant& value, MirroredType type);

// The message's type, or an empty string when it has none that is a string.
QString messageType(const QVariantMap& message);
// The messages a received message stands for: the dictionaries of a "CompositeMessage"'s
// "MessageArray" in order (entries that are not dictionaries are left out; a composite without
// an array stands for none), else the message itself.
QList<QVariantMap> unpackedMessages(const QVariantMap& message);
// A non-negative integer index of a received change, or nothing.
std::optional<quint64> indexValue(const QVariant& value);
// The new value of a received modify that this end may apply: the change names a target of
// the table and one of its mirrored properties that is neither structure nor identity
// ("sounds", "index", "uuid"), and carries a value of the table's type under that name.
// Anything else answers nothing and must change nothing.
std::optional<QVariant> acceptableModifyValue(const QVariantMap& change);

// --- builders of the messages this end sends
QVariantMap connectChallenge();
QVariantMap connectAccept(qint64 selectedClipdeck, const QVariantMap& completeState);
QVariantMap voteIncChangeFail();
QVariantMap completeUpdate(const QVariantMap& completeState);
QVariantMap progressUpdate(const QVariantMap& progressBundle);
QVariantMap performChecksum(const QByteArray& checksumHash);
QVariantMap closeConnection(const QString& reason);
// A "CompositeMessage" of messages in posting order.
QVariantMap compositeMessage(const QList<QVariantMap>& messages);

// Votes built from local model changes ("VoteIncChange"); uuid is added only when not null.
QVariantMap addChange(const QString& target, const QVariantMap& addDictionary, quint64 index, const QString& uuid = {});
// Throws CKRemoteException when value is missing or null; value must be a number, string,
// data, array, dictionary or date (anything else is a programming error: asserted).
QVariantMap modifyChange(const QString& target, const QString& key, const QVariant& value, const QString& uuid = {});
QVariantMap rearrangeChange(const QString& target, quint64 index, quint64 indexOther, const QString& uuid = {});
QVariantMap deleteChange(const QString& target, quint64 index, const QString& uuid = {});
// The commit of a vote: the same keys, with the type "CommitIncChange". Other messages
// come back unchanged.
QVariantMap commitFromVote(const QVariantMap& message);

} // namespace CKRemoteProtocol
