// The server controller with remotes of the tests' own on loopback: pairing, the mirror kept
// by commits and checksums, votes, time-outs, hostile peers beside paired remotes, and the
// service's publication. Remotes that must be told apart connect from their own loopback
// address (127.0.0.2, 127.0.0.3, ...): the controller knows a remote by its address text.
#include "ErrorCountingHost.h"
#include "RemoteTestClient.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKClipdeckHost.h"
#include "clipdeck/CKSoundSource.h"
#include "platform/NotificationCenter.h"
#include "platform/ObservableObject.h"
#include "platform/TimeSource.h"
#include "platform/UserDefaults.h"
#include "remote/CKClipdeckParent.h"
#include "remote/CKCompleteState.h"
#include "remote/CKRemoteProtocol.h"
#include "remote/CKRemoteServer.h"
#include "remote/CKServerController.h"
#include "support/FakeDNSServices.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

using clipdeck::test::FakeDNSServices;
using clipdeck::test::waitUntil;
using remotetest::RemoteTestClient;
namespace P = CKRemoteProtocol;

class FakeMasterControls : public ObservableObject {
    Q_OBJECT
    Q_PROPERTY(float masterVolume READ masterVolume WRITE setMasterVolume)
    Q_PROPERTY(bool paused READ paused WRITE setPaused)
    Q_PROPERTY(bool ducked READ ducked WRITE setDucked)
public:
    float masterVolume() const { return volume_; }
    void setMasterVolume(float volume) { changeValue(QStringLiteral("masterVolume"), volume_, volume); }
    bool paused() const { return paused_; }
    void setPaused(bool paused) { changeValue(QStringLiteral("paused"), paused_, paused); }
    bool ducked() const { return ducked_; }
    void setDucked(bool ducked) { changeValue(QStringLiteral("ducked"), ducked_, ducked); }

private:
    float volume_ = 1.0f;
    bool paused_ = false;
    bool ducked_ = false;
};

namespace {

class BoardList : public CKClipdeckParent {
public:
    QList<std::shared_ptr<CKClipdeck>> clipdecks() const override { return boards; }
    std::optional<std::size_t> selectedClipdeckIndex() const override { return selected; }
    void flushCache() override { ++flushes; }
    void loadEditorsOfClipdeck(const std::shared_ptr<CKClipdeck>& clipdeck) override { loaded << clipdeck->uuid(); }

    QList<std::shared_ptr<CKClipdeck>> boards;
    std::optional<std::size_t> selected = 1;
    int flushes = 0;
    QStringList loaded;
};

std::shared_ptr<CKSoundSource> makeSound(const QString& name, const QString& uuid)
{
    auto sound = std::make_shared<CKSoundSource>();
    sound->setName(name);
    sound->setUuid(uuid);
    return sound;
}

class ServerControllerTest : public ::testing::Test {
protected:
    ServerControllerTest()
    {
        TimeSource::install(&clock);
        preferences.setDouble(0.33, QStringLiteral("duckingVolume"));
        preferences.setDouble(1.0, QStringLiteral("duckingDuration"));
        for (int b = 0; b < 2; ++b) {
            auto board = std::make_shared<CKClipdeck>();
            board->setUuid(QStringLiteral("BOARD-%1").arg(b));
            board->setName(QStringLiteral("Board %1").arg(b));
            board->addSound(makeSound(QStringLiteral("drum"), QStringLiteral("DRUM-%1").arg(b)), 3, false);
            board->addSound(makeSound(QStringLiteral("bell"), QStringLiteral("BELL-%1").arg(b)), 9, false);
            boards.boards << board;
        }
        NotificationCenter::defaultCenter().addObserver(this, CKServerController::StatusChangeNotification, nullptr,
                                                        [this](const Notification&) { ++statusChanges; });
        controller.setListeningInterface(QStringLiteral("localhost"));
        controller.setMasterControls(&master);
        controller.setPreferences(&preferences);
        controller.setClipdeckParent(&boards);
    }
    ~ServerControllerTest() override
    {
        NotificationCenter::defaultCenter().removeObserver(this);
        controller.setRemoteEnabled(false);
        TimeSource::install(nullptr);
    }

    void switchOn()
    {
        controller.setRemoteEnabled(true);
        ASSERT_TRUE(waitUntil([&] { return controller.isEnabled(); }));
    }

    std::unique_ptr<RemoteTestClient> connect(const char* source)
    {
        auto client = std::make_unique<RemoteTestClient>("127.0.0.1", controller.server()->port(), source);
        EXPECT_TRUE(client->isConnected());
        EXPECT_TRUE(waitUntil([&] {
            for (const auto& sock : controller.server()->connectedSockets())
                if (sock->connectedHost() == QLatin1String(source))
                    return true;
            return false;
        }));
        return client;
    }

    // A remote from source, paired by passcode.
    std::unique_ptr<RemoteTestClient> pair(const char* source, const QString& name, qint64 passcode = 123)
    {
        auto client = connect(source);
        client->send(RemoteTestClient::connectVerify("id-" + name, name, passcode));
        EXPECT_TRUE(waitUntil([&] { return controller.pendingClient(QLatin1String(source)) != nullptr; }));
        EXPECT_TRUE(controller.clientName(name, passcode));
        EXPECT_TRUE(client->waitFor([&] { return client->count(P::ConnectAccept) > 0; }));
        return client;
    }

    // One posting tick, then what it sent arrives at clients.
    void tick(const std::vector<RemoteTestClient*>& clients, const std::function<bool()>& until)
    {
        clock.advance(CKSyncController::kPostingInterval);
        EXPECT_TRUE(waitUntil([&] {
            for (RemoteTestClient* client : clients)
                client->poll();
            return until();
        }));
    }

    ManualTimeSource clock;
    clipdeck::test::TempFolder folder;
    UserDefaults preferences{folder.file(QStringLiteral("preferences.plist"))};
    FakeDNSServices dns;
    FakeMasterControls master;
    BoardList boards;
    int statusChanges = 0;
    CKServerController controller;
};

// Pairing -----------------------------------------------------------------------------------

TEST_F(ServerControllerTest, pairsByPasscodeThenByTheWhitelistAndHoldsAtMostThree)
{
    switchOn();
    auto tablet = connect("127.0.0.2");
    tablet->send(RemoteTestClient::connectRequest("id-tablet", "Tablet"));
    ASSERT_TRUE(tablet->waitFor([&] { return tablet->count(P::ConnectChallenge) == 1; }));

    const int before = statusChanges;
    tablet->send(RemoteTestClient::connectVerify("id-tablet", "Tablet", 123));
    ASSERT_TRUE(waitUntil([&] { return controller.listOfPendingClientNames() == QStringList{"Tablet"}; }));
    EXPECT_GT(statusChanges, before);
    EXPECT_FALSE(controller.clientName("Tablet", 124));
    EXPECT_FALSE(controller.clientName("Nobody", 123));
    EXPECT_EQ(controller.listOfPendingClientNames(), QStringList{"Tablet"});

    EXPECT_TRUE(controller.clientName("Tablet", 123));
    ASSERT_TRUE(tablet->waitFor([&] { return tablet->count(P::ConnectAccept) == 1; }));
    EXPECT_EQ(tablet->mirror, controller.completeState());
    EXPECT_EQ(tablet->mirror.value("ClipdeckArray").toList().size(), 2);
    EXPECT_EQ(tablet->selectedClipdeck, 1);
    EXPECT_EQ(controller.listOfActiveClientNames(), QStringList{"Tablet"});
    EXPECT_TRUE(controller.listOfPendingClientNames().isEmpty());
    EXPECT_TRUE(controller.isActive());
    EXPECT_EQ(preferences.arrayForKey("WhitelistedRemotes"), QVariantList{"id-tablet"});

    // Back again: no challenge, no second session, whitelisted once.
    tablet->send(RemoteTestClient::connectRequest("id-tablet", "Tablet"));
    ASSERT_TRUE(tablet->waitFor([&] { return tablet->count(P::ConnectAccept) == 2; }));
    EXPECT_EQ(tablet->count(P::ConnectChallenge), 1);
    EXPECT_EQ(preferences.arrayForKey("WhitelistedRemotes"), QVariantList{"id-tablet"});

    // Two more fill the room; a fourth, whitelisted, is not accepted.
    auto second = pair("127.0.0.3", "Second");
    auto third = pair("127.0.0.4", "Third");
    boards.selected.reset();
    auto fourth = connect("127.0.0.5");
    preferences.setObject(preferences.arrayForKey("WhitelistedRemotes") << "id-fourth", "WhitelistedRemotes");
    fourth->send(RemoteTestClient::connectRequest("id-fourth", "Fourth"));
    clipdeck::test::settleEventLoop();
    fourth->poll();
    EXPECT_EQ(fourth->count(P::ConnectAccept), 0);
    EXPECT_EQ(controller.listOfActiveClientNames(), (QStringList{"Tablet", "Second", "Third"}));

    // A board no longer shown gives remotes the not-found position.
    controller.disconnectClients({"127.0.0.4"}, std::nullopt);
    fourth->send(RemoteTestClient::connectRequest("id-fourth", "Fourth"));
    ASSERT_TRUE(fourth->waitFor([&] { return fourth->count(P::ConnectAccept) == 1; }));
    EXPECT_EQ(fourth->selectedClipdeck, P::SelectedCKNotFound);
}

TEST_F(ServerControllerTest, closesRemotesOfAnotherProtocolVersionWithTheIncompatibilityText)
{
    switchOn();
    const struct {
        const char* source;
        std::optional<QString> version;
    } cases[] = {{"127.0.0.2", QStringLiteral("2")}, {"127.0.0.3", std::nullopt}};
    for (const auto& row : cases) {
        auto remote = connect(row.source);
        remote->send(RemoteTestClient::connectRequest("id", "Old", row.version));
        ASSERT_TRUE(remote->waitForClose()) << row.source;
        EXPECT_EQ(remote->closeReason, controller.reasons().kCKReasonIncompatible);
        EXPECT_TRUE(remote->closeReason.contains("lastest"));
        EXPECT_TRUE(remote->closeReasonBeforeEnd);
    }
}

TEST_F(ServerControllerTest, aFourthWaitingRemoteTakesThePlaceOfTheOldest)
{
    switchOn();
    std::vector<std::unique_ptr<RemoteTestClient>> waiting;
    const char* sources[] = {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"};
    for (int i = 0; i < 4; ++i) {
        waiting.push_back(connect(sources[i]));
        waiting.back()->send(RemoteTestClient::connectVerify("id", QStringLiteral("R%1").arg(i), 100 + i));
        ASSERT_TRUE(waitUntil([&] { return controller.pendingClient(sources[i]); }));
    }
    EXPECT_EQ(controller.listOfPendingClientNames(), (QStringList{"R1", "R2", "R3"}));
    EXPECT_FALSE(controller.clientName("R0", 100));

    // One that hangs up can never be paired: it leaves the list.
    waiting[2]->peer().close();
    ASSERT_TRUE(waitUntil([&] { return controller.listOfPendingClientNames() == QStringList({"R1", "R3"}); }));
}

// Mirror ------------------------------------------------------------------------------------

TEST_F(ServerControllerTest, commitsKeepTheMirrorInStepAndItsChecksumMatches)
{
    switchOn();
    auto tablet = pair("127.0.0.2", "Tablet");
    const auto drum = boards.boards[0]->soundAtIndex(3);

    drum->setPlaybackVolume(0.25f);
    drum->setPlaybackVolume(0.5f);
    drum->setName("kick");
    drum->setName("snare");
    // (Only playing sounds have progress; none plays here.)
    controller.sendProgressUpdateWithSources({});
    controller.sendProgressUpdateWithSources({});
    tick({tablet.get()}, [&] { return tablet->commitsApplied == 3 && tablet->count(P::ProgressUpdate) == 1; });

    QStringList commits;
    for (const QVariantMap& m : tablet->handled)
        if (P::messageType(m) == P::CommitIncChange)
            commits << m.value(P::IncChangeModifyKeyKey).toString() + "=" + m.value(m.value(P::IncChangeModifyKeyKey).toString()).toString();
    // The second volume replaced the first; every name change stays.
    EXPECT_EQ(commits, (QStringList{"playbackVolume=0.5", "name=kick", "name=snare"}));
    EXPECT_EQ(tablet->count(P::ProgressUpdate), 1);
    EXPECT_TRUE(tablet->progress.isEmpty());
    EXPECT_EQ(tablet->commitsNotApplied, 0);
    EXPECT_EQ(tablet->mirror, controller.completeState());

    clock.advance(CKServerController::kChecksumInterval + 2 * CKSyncController::kPostingInterval);
    ASSERT_TRUE(tablet->waitFor([&] { return tablet->checksumsMatched == 1; }));
    EXPECT_EQ(tablet->checksumsMismatched, 0);
}

TEST_F(ServerControllerTest, threeChecksumFailuresWithinAMinuteClose)
{
    switchOn();
    const struct {
        const char* source;
        std::vector<double> failures;
        bool closes;
    } cases[] = {
        {"127.0.0.2", {0, 30, 59}, true},
        {"127.0.0.3", {0, 30, 61}, false},
        {"127.0.0.4", {0, 30, 61, 80}, true},
    };
    for (const auto& row : cases) {
        auto remote = pair(row.source, row.source);
        remote->answerChecksums = false;
        double at = 0;
        for (double failure : row.failures) {
            // Stays in touch meanwhile so that silence does not close it first.
            for (; at + 10 < failure; at += 10) {
                clock.advance(10);
                remote->send(RemoteTestClient::ofType(P::ChecksumPassed));
                remote->poll();
                clipdeck::test::settleEventLoop();
            }
            clock.advance(failure - at);
            at = failure;
            remote->send(RemoteTestClient::ofType(P::ChecksumFailed));
            clipdeck::test::settleEventLoop();
        }
        if (row.closes) {
            ASSERT_TRUE(remote->waitForClose()) << row.source;
            EXPECT_EQ(remote->closeReason, controller.reasons().kCKReasonNetworkFail);
            EXPECT_EQ(remote->count(P::CompleteUpdate), int(row.failures.size()) - 1);
        } else {
            ASSERT_TRUE(remote->waitFor([&] { return remote->count(P::CompleteUpdate) == 3; })) << row.source;
            EXPECT_FALSE(remote->closed);
        }
        controller.disconnectClients({row.source}, std::nullopt);
    }
}

// Votes -------------------------------------------------------------------------------------

TEST_F(ServerControllerTest, votesChangeTheModelAndReachEveryPairedRemoteOrAreRefusedAtTheVoterOnly)
{
    switchOn();
    auto voter = pair("127.0.0.2", "Voter");
    auto other = pair("127.0.0.3", "Other");

    voter->send(RemoteTestClient::modifyVote(P::ControllerChange, "masterVolume", 0.25));
    ASSERT_TRUE(waitUntil([&] { return master.masterVolume() == 0.25f; }));
    tick({voter.get(), other.get()}, [&] { return voter->commitsApplied == 1 && other->commitsApplied == 1; });
    EXPECT_FLOAT_EQ(master.masterVolume(), 0.25f);
    const QVariantMap echo = other->handled.last();
    EXPECT_EQ(echo.value(P::ExternalHostKey), "127.0.0.2");
    EXPECT_EQ(echo.value(P::ReceivedDateKey).typeId(), QMetaType::QDateTime);
    EXPECT_FALSE(controller.isHandlingAnExternalChange());

    QVariantMap noValue = RemoteTestClient::modifyVote(P::ControllerChange, "masterVolume", 0.5);
    noValue.remove("masterVolume");
    QVariantMap add = RemoteTestClient::ofType(P::VoteIncChange);
    add.insert(P::ChangeTargetKey, P::ClipdeckChange);
    add.insert(P::ChangeTypeKey, P::IncChangeAdd);
    add.insert(P::IncChangeIndexKey, 0);
    add.insert(P::IncChangeAddDictionaryKey, QVariantMap{{"name", "x"}});
    QVariantMap rearrange = add;
    rearrange.insert(P::ChangeTypeKey, P::IncChangeRearrange);
    rearrange.insert(P::IncChangeIndexOtherKey, 1);
    QVariantMap remove = add;
    remove.insert(P::ChangeTypeKey, P::IncChangeDelete);
    const QList<QVariantMap> refused{
        add, rearrange, remove, noValue,
        RemoteTestClient::modifyVote(P::ControllerChange, "masterVolume", "loud"),
        RemoteTestClient::modifyVote(P::PreferencesChange, "loggingPath", "/tmp"),
        RemoteTestClient::modifyVote(P::ClipdeckChange, "sounds", QVariantList{}, "BOARD-0"),
        RemoteTestClient::modifyVote(P::SoundChange, "index", 5, "DRUM-0"),
    };
    const QVariantMap stateBefore = controller.completeState();
    for (const QVariantMap& vote : refused)
        voter->send(vote);
    ASSERT_TRUE(voter->waitFor([&] { return voter->voteFailures == refused.size(); }));
    clock.advance(CKSyncController::kPostingInterval);
    clipdeck::test::settleEventLoop();
    other->poll();
    EXPECT_EQ(other->voteFailures, 0);
    EXPECT_EQ(other->commitsApplied, 1);
    EXPECT_EQ(controller.completeState(), stateBefore);
    EXPECT_FALSE(controller.isHandlingAnExternalChange());

    // A sound's volume by vote, then announcements flow as before.
    voter->send(RemoteTestClient::modifyVote(P::SoundChange, "playbackVolume", 0.5, "BELL-1"));
    ASSERT_TRUE(waitUntil([&] { return boards.boards[1]->soundAtIndex(9)->playbackVolume() == 0.5f; }));
    tick({voter.get(), other.get()}, [&] { return other->commitsApplied == 2; });
    master.setDucked(true);
    tick({voter.get(), other.get()}, [&] { return voter->commitsApplied == 3 && other->commitsApplied == 3; });
    EXPECT_EQ(other->mirror, controller.completeState());
}

// Time-outs and the end of a session --------------------------------------------------------

TEST_F(ServerControllerTest, silentRemotesAreClosedAndTheLastOneEndsTheSession)
{
    switchOn();
    auto remote = pair("127.0.0.2", "Quiet");
    remote->answerChecksums = false;
    EXPECT_TRUE(controller.keepAliveTimer().isActive());
    EXPECT_TRUE(controller.checksumTimer().isActive());

    clock.advance(CKServerController::kSilenceLimit);
    clipdeck::test::settleEventLoop();
    EXPECT_EQ(controller.listOfActiveClientNames(), QStringList{"Quiet"});
    clock.advance(1.0);
    ASSERT_TRUE(remote->waitForClose());
    EXPECT_EQ(remote->closeReason, "Clipdeck for Mac has lost connection to Remote.");

    EXPECT_FALSE(controller.isActive());
    EXPECT_FALSE(controller.keepAliveTimer().isActive());
    EXPECT_FALSE(controller.checksumTimer().isActive());
    EXPECT_FALSE(controller.postingTimer().isActive());
    EXPECT_EQ(controller.midiSession(), nullptr);
    master.setMasterVolume(0.1f);
    boards.boards[0]->setName("unheard");
    EXPECT_TRUE(controller.postQueue().isEmpty());
}

TEST_F(ServerControllerTest, aMessageFromARemoteClosedBeforeItIsHandledIsDropped)
{
    switchOn();
    auto remote = pair("127.0.0.2", "Gone");
    controller.dictionaryReceived(RemoteTestClient::modifyVote(P::ControllerChange, "masterVolume", 0.3), "127.0.0.2");
    controller.disconnectClients({"127.0.0.2"}, std::nullopt);
    clipdeck::test::settleEventLoop();
    EXPECT_FLOAT_EQ(master.masterVolume(), 1.0f);
}

// Hostile peers -----------------------------------------------------------------------------

TEST_F(ServerControllerTest, hostilePeersBesideThreePairedRemotesAreClosedOrIgnored)
{
    switchOn();
    std::vector<std::unique_ptr<RemoteTestClient>> paired;
    paired.push_back(pair("127.0.0.2", "A"));
    paired.push_back(pair("127.0.0.3", "B"));
    paired.push_back(pair("127.0.0.4", "C"));

    auto oversized = connect("127.0.0.10");
    auto garbage = connect("127.0.0.11");
    auto silent = connect("127.0.0.12");
    oversized->sendRaw(QByteArray(CKRemoteTerminal::kMaximumMessageLength + 16, 'x'));
    garbage->sendRaw(QByteArray("\x00\x01 bplist00 \xFA\xDE\xDE\xAD", 16));
    garbage->send(RemoteTestClient::modifyVote(P::ControllerChange, "masterVolume", 0.0));
    ASSERT_TRUE(oversized->waitForClose());
    std::vector<std::unique_ptr<RemoteTestClient>> crowd;
    for (int i = 0; i < 20; ++i)
        crowd.push_back(std::make_unique<RemoteTestClient>("127.0.0.1", controller.server()->port(), "127.0.0.20"));

    // At most eight strangers stay (garbage, silent and six of the crowd); the rest of the
    // crowd is closed at once.
    ASSERT_TRUE(waitUntil([&] {
        int open = 0;
        for (const auto& client : crowd)
            open += client->poll() ? 0 : 1;
        return open == 6;
    }));

    for (int i = 0; i < 3; ++i) {
        master.setMasterVolume(0.1f * float(i + 1));
        std::vector<RemoteTestClient*> all;
        for (const auto& client : paired)
            all.push_back(client.get());
        tick(all, [&] {
            return std::all_of(paired.begin(), paired.end(), [&](const auto& c) { return c->commitsApplied == i + 1; });
        });
    }
    EXPECT_FLOAT_EQ(master.masterVolume(), 0.3f);
    EXPECT_FALSE(garbage->closed);

    // Thirty seconds without a connect message close a stranger; paired remotes stay.
    for (int s = 0; s < 30; ++s) {
        clock.advance(1.0);
        for (const auto& client : paired) {
            client->send(RemoteTestClient::ofType(P::ChecksumPassed));
            client->poll();
        }
        clipdeck::test::settleEventLoop(1);
    }
    ASSERT_TRUE(silent->waitForClose());
    EXPECT_TRUE(silent->closeReason.isNull());
    for (const auto& client : paired)
        EXPECT_FALSE(client->closed);
    EXPECT_EQ(controller.listOfActiveClientNames(), (QStringList{"A", "B", "C"}));
}

// Publishing and switching off --------------------------------------------------------------

TEST_F(ServerControllerTest, publishesItsPortAndSwitchingOffSendsTheQuitText)
{
    switchOn();
    EXPECT_EQ(dns.standing(), (std::vector<FakeDNSServices::Record>{
                                  {"_zep-clipdeck._tcp", FakeDNSServices::kHostName, controller.server()->port()}}));
    EXPECT_EQ(controller.serviceName(), FakeDNSServices::kHostName);
    auto paired = pair("127.0.0.2", "Paired");
    auto waiting = connect("127.0.0.3");
    waiting->send(RemoteTestClient::connectVerify("id", "Waiting", 5));
    ASSERT_TRUE(waitUntil([&] { return controller.pendingClient("127.0.0.3"); }));

    controller.setRemoteEnabled(false);
    for (RemoteTestClient* remote : {paired.get(), waiting.get()}) {
        ASSERT_TRUE(remote->waitForClose());
        EXPECT_EQ(remote->closeReason, "Clipdeck for Mac has quit.");
    }
    EXPECT_TRUE(dns.standing().empty());
    EXPECT_EQ(controller.server(), nullptr);
    EXPECT_FALSE(controller.isEnabled());
    EXPECT_FALSE(controller.isActive());
}

TEST_F(ServerControllerTest, aFailedPublicationReleasesTheServerAndSaysSoOnce)
{
    ErrorCountingHost host;
    dns.setFailing(true);
    controller.setRemoteEnabled(true);
    ASSERT_TRUE(waitUntil([&] { return controller.server() == nullptr; }));
    EXPECT_EQ(host.errors, QStringList{"Clipdeck Remote"});
    EXPECT_FALSE(controller.isEnabled());
    EXPECT_TRUE(dns.standing().empty());

    // A later attempt starts afresh.
    dns.setFailing(false);
    switchOn();
    EXPECT_NE(controller.server(), nullptr);
    EXPECT_EQ(host.errors.size(), 1);
}

} // namespace

#include "CKServerControllerTest.moc"
