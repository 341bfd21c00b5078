#pragma once
// The program's end of the remote protocol: publishes the service by DNS-SD
// ("_zep-clipdeck._tcp"), accepts remotes, pairs them by passcode or by the whitelist of
// remotes once paired ("WhitelistedRemotes"), keeps at most three paired, runs a session
// while any is (posting every 0.05 s, a checksum every 8 s, a keep-alive check every second,
// the network MIDI session "Clipdeck"), handles what remotes send and closes them with a
// reason text (CKCloseReasons).
//
// A remote, by the address text of its socket: connected -> waiting (after "ConnectVerify")
// -> paired (the right passcode typed, or a whitelisted "ConnectRequest") -> closed.
//
// Guards against bad or stalled peers, beside the server's own limits (CKRemoteServer):
//  - at most kMaximumUnpairedConnections connections neither paired nor waiting; more are
//    closed at once, and one that sends no connect message within kConnectTimeout is closed;
//  - only the connection messages pass from a host that is not paired, also when it was
//    paired a moment ago (handling checks the sender again);
//  - a vote that is not a well-formed modify of a mirrored property is refused.
//
// "NotificationStatusChange" (no object) is posted whenever the service or the set of
// remotes changes. Times (lastSeen, failures, silence) are on TimeSource's clock.
//
// Main thread only. The program uses the one sharedSyncController(); tests make their own and
// give it a model (setMasterControls, setPreferences, setClipdeckParent) and a listening
// interface ("localhost").

#include "remote/CKClientEntry.h"
#include "remote/CKSyncController.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class AsyncSocket;
class CKRemoteServer;
class CKSoundSource;
class DNSServicePublisher;
class ZEPMIDINetworkSession;

class CKServerController : public CKSyncController {
    Q_OBJECT
public:
    static inline const QString StatusChangeNotification = QStringLiteral("NotificationStatusChange");
    static inline const QString ServiceType = QStringLiteral("_zep-clipdeck._tcp.");
    static inline const QString MIDISessionName = QStringLiteral("Clipdeck");
    static inline const QString WhitelistedRemotesKey = QStringLiteral("WhitelistedRemotes");
    static constexpr qsizetype kMaximumActiveClients = 3;
    static constexpr qsizetype kMaximumPendingClients = 3;
    static constexpr qsizetype kMaximumUnpairedConnections = 8;
    static constexpr double kChecksumInterval = 8.0;
    static constexpr double kKeepAliveInterval = 1.0;
    static constexpr double kSilenceLimit = 15.0;
    static constexpr double kChecksumFailureWindow = 60.0;
    static constexpr double kConnectTimeout = 30.0;

    // The program's controller, made on first use.
    static CKServerController* sharedSyncController();

    CKServerController();
    ~CKServerController() override;

    // Where the server listens: every interface unless set ("localhost" in tests).
    void setListeningInterface(const QString& interface) { theListeningInterface = interface; }
    // The model; unset, the shared playback controller, the standard user defaults and no
    // boards.
    void setMasterControls(ObservableObject* controls) { theMasterControls = controls; }
    void setPreferences(UserDefaults* preferences) { thePreferences = preferences; }
    void setClipdeckParent(CKClipdeckParent* parent) { theClipdeckParent = parent; }

    // Switches the service on (publishing) or off (closing every paired and waiting remote
    // with the quit text). A failed publication or a server that could not listen releases
    // server and service, shows one error, and leaves the service off.
    void setRemoteEnabled(bool enabled);

    QStringList listOfPendingClientNames() const;
    QStringList listOfActiveClientNames() const;
    QStringList listOfAllClientNames() const { return listOfPendingClientNames() + listOfActiveClientNames(); }

    // True when the first waiting remote named name showed passcode; pairs it.
    bool clientName(const QString& name, const QVariant& authenticatesWith);
    // The progress of the playing sounds, for every paired remote (only in a session).
    void sendProgressUpdateWithSources(const std::vector<std::shared_ptr<CKSoundSource>>& sources);
    // Forgets the whitelist and closes every paired remote; waiting ones stay.
    void deauthorizeAllRemotes();

    void addConnectedClient(const CKClientEntry& client);
    // Closes the remotes at these addresses (sending reason first when given).
    void disconnectClients(const QStringList& addresses, const std::optional<QString>& withReason);
    void sendChecksumToClients();
    void killInactiveClients();
    void willTerminateApplication();

    // CKSyncController
    void beginSession() override;
    void endSession() override;
    void postDictionary(const QVariantMap& message) override;
    void performScheduledPostings() override;
    ObservableObject* getMasterControls() const override;
    UserDefaults* getPreferences() const override;
    CKClipdeckParent* getClipdeckParent() const override { return theClipdeckParent; }
    void dictionaryReceived(const std::optional<QVariantMap>& dictionary, const QString& fromHost) override;

    CKRemoteServer* server() const { return theServer.get(); }
    const QString& serviceName() const { return theServiceName; }
    DNSServicePublisher* syncService() const { return theSyncService.get(); }
    ZEPMIDINetworkSession* midiSession() const { return theMidiSession.get(); }
    const Timer& checksumTimer() const { return theChecksumTimer; }
    const Timer& keepAliveTimer() const { return theKeepAliveTimer; }
    const CKClientEntry* activeClient(const QString& address) const;
    const CKClientEntry* pendingClient(const QString& address) const;

protected:
    void handleDictionary(const QVariantMap& message) override;

private:
    struct Arrival {
        std::weak_ptr<AsyncSocket> socket;
        QString host;
        double acceptedAt;
    };

    void switchOn();
    void switchOff();
    // Drops server, service and name after a failure; says so once per switching on.
    void serviceFailed(const QString& reason);
    void postStatusChange();

    void handleVote(const QVariantMap& message, CKClientEntry* client, const QString& host);
    void handleChecksumFailed(CKClientEntry& client, const QString& host);
    void handleConnectRequest(const QVariantMap& message, const QString& host);
    void handleConnectVerify(const QVariantMap& message, const QString& host);
    void sendTo(const QVariantMap& message, const QString& host);

    void socketAccepted(const std::shared_ptr<AsyncSocket>& sock);
    void socketClosed(const QString& host);
    void closeSilentArrivals();
    bool isKnownHost(const QString& host) const;

    static CKClientEntry* entryIn(QList<CKClientEntry>& list, const QString& address);
    static const CKClientEntry* entryIn(const QList<CKClientEntry>& list, const QString& address);

    QString theListeningInterface;
    ObservableObject* theMasterControls = nullptr;
    UserDefaults* thePreferences = nullptr;
    CKClipdeckParent* theClipdeckParent = nullptr;

    std::unique_ptr<CKRemoteServer> theServer;
    QString theServiceName;
    std::unique_ptr<DNSServicePublisher> theSyncService;
    std::unique_ptr<ZEPMIDINetworkSession> theMidiSession;
    // In the order they were filed: the oldest waiting remote gives way first.
    QList<CKClientEntry> theActiveClients;
    QList<CKClientEntry> thePendingClients;
    // Connections that have not introduced themselves yet.
    std::vector<Arrival> theArrivals;
    Timer theChecksumTimer;
    Timer theKeepAliveTimer;
    Timer theArrivalTimer;
    bool theShowServiceFailureAlert = true;
    QMetaObject::Connection theProgressConnection;
};
