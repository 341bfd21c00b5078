// The message layer: what a remote's change may touch, how queued changes coalesce, the
// complete state's checksum, and a mirror kept in step by commits.
#include "RemoteServerSupport.h"

#include "remote/CKCompleteState.h"
#include "remote/CKPostQueue.h"
#include "remote/CKRemoteException.h"
#include "remote/CKRemoteProtocol.h"
#include "platform/PropertyList.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDateTime>

using namespace CKRemoteProtocol;
using namespace remotetest;
using clipdeck::test::waitUntil;

namespace {

const QString kSoundA = QStringLiteral("5F0C8F3E-0F5B-4E0A-9C38-0A4E4B7D1A01");
const QString kSoundB = QStringLiteral("5F0C8F3E-0F5B-4E0A-9C38-0A4E4B7D1A02");
const QString kBoard = QStringLiteral("9D2E1C44-7B7A-4C1B-8E55-3F1A2B3C4D5E");

QVariantMap sound(const QString& uuid, const QString& name, qulonglong index, float volume)
{
    const QVariantMap values{
        {"name", name},           {"loops", false},         {"restartOnPress", true},
        {"uuid", uuid},           {"playbackVolume", volume}, {"liftBehavior", qulonglong(0)},
        {"index", index},         {"backgroundColor", "red"}, {"sticky", false},
        {"isPlayable", true},
    };
    return CKCompleteState::soundDictionary([&](const QString& key) { return values.value(key); });
}

QVariantMap sampleState()
{
    const QVariantList sounds{sound(kSoundA, "Applause", 0, 1.0f), sound(kSoundB, "Thunder", 5, 0.5f)};
    return CKCompleteState::make({0.75f, false, false}, {0.25, 1.5},
                                 {CKCompleteState::clipdeckDictionary("Act One", kBoard, sounds),
                                  CKCompleteState::clipdeckDictionary("Empty", kBoard.left(35) + "F", {})});
}

// "<target> <key> <value>" for modifies, "<type>" for the rest: the queue in short.
QStringList shortForm(const QList<QVariantMap>& messages)
{
    QStringList lines;
    for (const QVariantMap& m : messages) {
        if (m.value(ChangeTypeKey) == IncChangeModify) {
            const QString key = m.value(IncChangeModifyKeyKey).toString();
            lines << QStringLiteral("%1 %2 %3%4").arg(m.value(ChangeTargetKey).toString(), key, m.value(key).toString(),
                                                     m.contains(IncChangeUUIDKey) ? " " + m.value(IncChangeUUIDKey).toString().right(1) : "");
        } else {
            lines << m.value(MessageTypeKey).toString() + " " + m.value(ProgressBundleKey).toMap().value("n").toString();
        }
    }
    return lines;
}

} // namespace

TEST(CKRemoteProtocol, QueuedChangesCoalesceOnlyWhereAnOlderValueIsWorthless)
{
    const auto volume = [](const QString& uuid, double v) { return modifyChange(SoundChange, "playbackVolume", v, uuid); };
    const auto name = [](const QString& uuid, const char* v) { return modifyChange(SoundChange, "name", v, uuid); };
    const auto master = [](double v) { return commitFromVote(modifyChange(ControllerChange, "masterVolume", v)); };
    const auto ducking = [](double v) { return modifyChange(PreferencesChange, "duckingVolume", v); };
    const auto progress = [](int n) { return progressUpdate({{"n", n}}); };
    struct Case {
        const char* name;
        QList<QVariantMap> posted;
        QStringList queued;
    };
    const std::vector<Case> cases{
        {"two volumes of one sound: the last", {volume(kSoundA, 0.2), volume(kSoundA, 0.4)}, {"SoundChange playbackVolume 0.4 1"}},
        {"volumes of two sounds: both", {volume(kSoundA, 0.2), volume(kSoundB, 0.4)},
         {"SoundChange playbackVolume 0.2 1", "SoundChange playbackVolume 0.4 2"}},
        {"two names: both, in order", {name(kSoundA, "x"), name(kSoundA, "y")}, {"SoundChange name x 1", "SoundChange name y 1"}},
        {"a master commit replaces and moves behind", {master(0.1), name(kSoundA, "x"), master(0.9)},
         {"SoundChange name x 1", "ControllerChange masterVolume 0.9"}},
        {"a preference replaces its own key only", {ducking(0.1), modifyChange(PreferencesChange, "duckingDuration", 2), ducking(0.3)},
         {"PreferencesChange duckingDuration 2", "PreferencesChange duckingVolume 0.3"}},
        {"progress replaces progress, at the end", {progress(1), name(kSoundA, "x"), progress(2)}, {"SoundChange name x 1", "ProgressUpdate 2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CKPostQueue queue;
        for (const QVariantMap& m : c.posted)
            queue.post(m);
        EXPECT_EQ(shortForm(queue.messages()), c.queued);
    }

    CKPostQueue queue;
    EXPECT_FALSE(queue.outgoingMessage());
    queue.post(name(kSoundA, "x"));
    EXPECT_EQ(*queue.outgoingMessage(), name(kSoundA, "x")) << "one message goes as it is";
    queue.post(name(kSoundA, "y"));
    const QVariantMap composite = *queue.outgoingMessage();
    EXPECT_EQ(composite.value(MessageTypeKey), CompositeMessage);
    EXPECT_EQ(unpackedMessages(composite), queue.messages());
}

TEST(CKRemoteProtocol, ARemoteModifyIsAcceptedOnlyForAMirroredPropertyOfItsType)
{
    struct Case {
        const char* name;
        QString target;
        QString key;
        QVariant value; // invalid: the key is missing
        bool accepted;
    };
    const std::vector<Case> cases{
        {"master volume, real", ControllerChange, "masterVolume", 0.5, true},
        {"master volume, integer", ControllerChange, "masterVolume", 1, true},
        {"master volume, string", ControllerChange, "masterVolume", "loud", false},
        {"master volume, boolean", ControllerChange, "masterVolume", true, false},
        {"master volume, missing", ControllerChange, "masterVolume", QVariant(), false},
        {"master volume, null", ControllerChange, "masterVolume", QVariant::fromValue(nullptr), false},
        {"paused, boolean", ControllerChange, "paused", true, true},
        {"paused, integer", ControllerChange, "paused", 1, false},
        {"a key nobody mirrors", ControllerChange, "loggingPath", "/tmp", false},
        {"ducking volume", PreferencesChange, "duckingVolume", 0.3, true},
        {"ducking volume, boolean", PreferencesChange, "duckingVolume", false, false},
        {"board name", ClipdeckChange, "name", "Act Two", true},
        {"board sounds (structure)", ClipdeckChange, "sounds", QVariantList(), false},
        {"board uuid (identity)", ClipdeckChange, "uuid", kBoard, false},
        {"sound index (structure)", SoundChange, "index", 3, false},
        {"sound lift behaviour", SoundChange, "liftBehavior", 2, true},
        {"sound lift behaviour, negative", SoundChange, "liftBehavior", -1, false},
        {"sound colour", SoundChange, "backgroundColor", "blue", true},
        {"unknown target", "EverythingChange", "name", "x", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QVariantMap change = RemoteTestClient::modifyVote(c.target, c.key, c.value, kSoundA);
        const std::optional<QVariant> value = acceptableModifyValue(change);
        EXPECT_EQ(value.has_value(), c.accepted);
        if (value) {
            EXPECT_EQ(*value, c.value);
        }
    }
    QVariantMap keyNotAString = RemoteTestClient::modifyVote(ControllerChange, "paused", true);
    keyNotAString.insert(IncChangeModifyKeyKey, 7);
    EXPECT_FALSE(acceptableModifyValue(keyNotAString));
}

TEST(CKRemoteProtocol, ReceivedValuesAreCheckedNotTrusted)
{
    EXPECT_EQ(indexValue(3), 3u);
    EXPECT_EQ(indexValue(qulonglong(7)), 7u);
    for (const QVariant& bad : {QVariant(-1), QVariant("3"), QVariant(2.0), QVariant(true), QVariant()})
        EXPECT_FALSE(indexValue(bad)) << bad.typeName();

    EXPECT_EQ(messageType({{MessageTypeKey, 5}}), QString());
    const QVariantMap plain = RemoteTestClient::ofType("ChecksumPassed");
    EXPECT_EQ(unpackedMessages(plain), QList<QVariantMap>{plain});
    EXPECT_TRUE(unpackedMessages({{MessageTypeKey, CompositeMessage}, {MessageArrayKey, "not a list"}}).isEmpty());
    EXPECT_EQ(unpackedMessages({{MessageTypeKey, CompositeMessage}, {MessageArrayKey, QVariantList{plain, 4, "x", plain}}}),
              (QList<QVariantMap>{plain, plain}))
        << "entries that are not dictionaries are left out";
}

TEST(CKRemoteProtocol, LocalChangesNameTheirTargetAndRefuseMissingValues)
{
    const QVariantMap modify = modifyChange(SoundChange, "playbackVolume", 0.5, kSoundA);
    EXPECT_EQ(modify, (QVariantMap{{MessageTypeKey, VoteIncChange}, {ChangeTargetKey, SoundChange}, {ChangeTypeKey, IncChangeModify},
                                   {IncChangeModifyKeyKey, "playbackVolume"}, {"playbackVolume", 0.5}, {IncChangeUUIDKey, kSoundA}}));
    EXPECT_FALSE(deleteChange(ClipdeckChange, 1).contains(IncChangeUUIDKey)) << "no uuid for the board list";
    EXPECT_EQ(rearrangeChange(SoundChange, 3, 7, kBoard).value(IncChangeIndexOtherKey).toULongLong(), 7u);
    EXPECT_EQ(commitFromVote(modify).value(MessageTypeKey), CommitIncChange);
    EXPECT_EQ(commitFromVote(progressUpdate({})).value(MessageTypeKey), ProgressUpdate);
    try {
        modifyChange(SoundChange, "name", QVariant(), kSoundA);
        ADD_FAILURE() << "no exception";
    } catch (const CKRemoteException& e) {
        EXPECT_STREQ(e.what(), "CKSyncController trying to modify a value to nil or NSNull.");
    }
    EXPECT_THROW(modifyChange(SoundChange, "name", QVariant::fromValue(nullptr)), CKRemoteException);
    EXPECT_THROW(CKCompleteState::soundDictionary([](const QString&) { return QVariant(); }), CKRemoteException);
}

// The bytes a remote must produce for this state, and their digest: pinned, so that a change
// of serialiser or key order is caught before remotes start failing every checksum.
TEST(CKCompleteState, ChecksumIsTheMD5OfTheSortedBinaryForm)
{
    const QVariantMap state = sampleState();
    const QByteArray bytes = CKCompleteState::serializedState(state);
    const QByteArray golden(
        "62706c6973743030d601232426282a0211252729115d436c69706465636b4172726179a2031fd304061705071e546e616d65"
        "57416374204f6e6556736f756e6473a20819da090b0d0f1004131516170a0c0e0c1112140e11185f100f6261636b67726f75"
        "6e64436f6c6f725372656455696e64657810005a6973506c617961626c65095c6c6966744265686176696f72556c6f6f7073"
        "08584170706c617573655e706c61796261636b566f6c756d65223f8000005e726573746172744f6e50726573735673746963"
        "6b7954757569645f102435463043384633452d304635422d344530412d394333382d304134453442374431413031da090b0d"
        "0f1004131516170a1a0e0c111b1c0e111d1005575468756e646572223f0000005f102435463043384633452d304635422d34"
        "4530412d394333382d3041344534423744314130325f102439443245314334342d374237412d344331422d384535352d3346"
        "31413242334334443545d304061720212255456d707479a05f102439443245314334342d374237412d344331422d38453535"
        "2d334631413242334334443546566475636b65645f100f6475636b696e674475726174696f6e223fc000005d6475636b696e"
        "67566f6c756d65223e8000005c6d6173746572566f6c756d65223f400000567061757365640008001500230026002d003200"
        "3a004100440059006b006f007500770082008300900096009700a000af00b400c300ca00cf00f6010b010d0115011a014101"
        "68016f01750176019d01a401b601bb01c901ce01db01e00000000000000201000000000000002b0000000000000000000000"
        "00000001e7");
    EXPECT_EQ(bytes.toHex(), golden);
    EXPECT_EQ(CKCompleteState::checksumOfState(state).toHex(), QByteArray("70ab5164908843ecfef6bfaba2f40f73"));
    EXPECT_EQ(CKCompleteState::checksumOfState(state).size(), 16);
    // A remote that reads the state and writes it back gets the same bytes.
    const std::optional<QVariant> read = PropertyList::parse(bytes);
    ASSERT_TRUE(read);
    EXPECT_EQ(CKCompleteState::serializedState(read->toMap()), bytes);
    // Any change of a value changes the digest.
    QVariantMap louder = state;
    louder.insert("masterVolume", 0.8f);
    EXPECT_NE(CKCompleteState::checksumOfState(louder), CKCompleteState::checksumOfState(state));
}

TEST(CKCompleteState, AMirrorKeptByCommitsHashesToTheServersState)
{
    LoopbackServer server;
    const auto client = server.connect();
    ASSERT_TRUE(client);
    const QString host = QStringLiteral("127.0.0.1");
    ASSERT_TRUE(server.server.sendDictionary(connectAccept(SelectedCKNotFound, sampleState()), host));
    ASSERT_TRUE(client->waitFor([&] { return client->selectedClipdeck.has_value(); }));
    EXPECT_EQ(*client->selectedClipdeck, SelectedCKNotFound);
    EXPECT_EQ(client->mirror, sampleState());

    // One tick's worth of changes, queued and posted as the server end posts them.
    CKPostQueue queue;
    const QVariantMap added = sound("5F0C8F3E-0F5B-4E0A-9C38-0A4E4B7D1A03", "Door", 2, 1.0f);
    for (const QVariantMap& vote : {modifyChange(SoundChange, "playbackVolume", 0.1f, kSoundB),
                                    modifyChange(SoundChange, "playbackVolume", 0.3f, kSoundB),
                                    modifyChange(ControllerChange, "paused", true),
                                    addChange(SoundChange, added, 2, kBoard),
                                    rearrangeChange(SoundChange, 0, 5, kBoard),
                                    modifyChange(ClipdeckChange, "name", "Act 1", kBoard),
                                    deleteChange(ClipdeckChange, 1)})
        queue.post(commitFromVote(vote));
    queue.post(progressUpdate({{kSoundA, CKCompleteState::progressEntry(10, 1, 0.5f, 0.5f, 0.2f, 0.2f)}}));
    queue.post(progressUpdate({{kSoundA, CKCompleteState::progressEntry(10, 2, 0.5f, 0.5f, 0.2f, 0.2f)}}));
    ASSERT_TRUE(server.server.sendDictionary(*queue.outgoingMessage(), QStringList{host}));

    const QVariantList expectedSounds{sound(kSoundB, "Thunder", 0, 0.3f), added, sound(kSoundA, "Applause", 5, 1.0f)};
    QVariantMap expected = sampleState();
    expected.insert("paused", true);
    expected.insert(CKCompleteState::ClipdeckArrayKey, QVariantList{CKCompleteState::clipdeckDictionary("Act 1", kBoard, expectedSounds)});
    ASSERT_TRUE(server.server.sendDictionary(performChecksum(CKCompleteState::checksumOfState(expected)), host));
    ASSERT_TRUE(server.delegate.events.isEmpty());
    ASSERT_TRUE(client->waitFor([&] { return !server.delegate.events.isEmpty(); }));
    EXPECT_EQ(server.delegate.events, QStringList{"ChecksumPassed from 127.0.0.1"});
    EXPECT_EQ(client->commitsApplied, 6) << "two volumes of one sound came as one";
    EXPECT_EQ(client->commitsNotApplied, 0);
    EXPECT_EQ(client->count(ProgressUpdate), 1);
    EXPECT_EQ(client->progress.value(kSoundA).toMap().value("currentTime").toDouble(), 2.0);
    EXPECT_EQ(client->mirror, expected);
}
