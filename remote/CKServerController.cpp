#include "remote/CKServerController.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKClipdeckHost.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundSource.h"
#include "platform/ApplicationNotifications.h"
#include "platform/MainThread.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/dnssd/DNSServicePublisher.h"
#include "remote/CKClipdeckParent.h"
#include "remote/CKCompleteState.h"
#include "remote/CKRemoteException.h"
#include "remote/CKRemoteProtocol.h"
#include "remote/CKRemoteServer.h"
#include "remote/ZEPMIDINetworkSession.h"

#include <QCoreApplication>
#include <QDateTime>

#include <algorithm>

namespace P = CKRemoteProtocol;

namespace {

bool isConnectionMessage(const QString& type)
{
    return type == P::ConnectVerify || type == P::ConnectRequest || type == P::CloseConnection;
}

QStringList addressesOf(const QList<CKClientEntry>& clients)
{
    QStringList addresses;
    for (const CKClientEntry& client : clients)
        addresses << client.address();
    return addresses;
}

QStringList namesOf(const QList<CKClientEntry>& clients)
{
    QStringList names;
    for (const CKClientEntry& client : clients)
        names << client.name();
    return names;
}

// Clears the external-change flag however handling ends.
class ExternalChangeScope {
public:
    explicit ExternalChangeScope(std::function<void(bool)> set) : set_(std::move(set)) { set_(true); }
    ~ExternalChangeScope() { set_(false); }

private:
    std::function<void(bool)> set_;
};

} // namespace

CKServerController* CKServerController::sharedSyncController()
{
    static CKServerController* controller = new CKServerController;
    return controller;
}

CKServerController::CKServerController()
{
    theChecksumTimer.setAction([this] { sendChecksumToClients(); });
    theKeepAliveTimer.setAction([this] { killInactiveClients(); });
    theArrivalTimer.setAction([this] { closeSilentArrivals(); });
    NotificationCenter::defaultCenter().addObserver(this, ApplicationWillTerminateNotification, nullptr,
                                                    [this](const Notification&) { willTerminateApplication(); });
}

CKServerController::~CKServerController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    switchOff();
    endSession();
}

ObservableObject* CKServerController::getMasterControls() const
{
    return theMasterControls ? theMasterControls : CKPlaybackController::sharedPlaybackController();
}

UserDefaults* CKServerController::getPreferences() const
{
    return thePreferences ? thePreferences : &UserDefaults::standardUserDefaults();
}

const CKClientEntry* CKServerController::entryIn(const QList<CKClientEntry>& list, const QString& address)
{
    const auto it = std::find_if(list.begin(), list.end(), [&](const CKClientEntry& e) { return e.address() == address; });
    return it == list.end() ? nullptr : &*it;
}

CKClientEntry* CKServerController::entryIn(QList<CKClientEntry>& list, const QString& address)
{
    const auto it = std::find_if(list.begin(), list.end(), [&](const CKClientEntry& e) { return e.address() == address; });
    return it == list.end() ? nullptr : &*it;
}

const CKClientEntry* CKServerController::activeClient(const QString& address) const
{
    return entryIn(theActiveClients, address);
}

const CKClientEntry* CKServerController::pendingClient(const QString& address) const
{
    return entryIn(thePendingClients, address);
}

QStringList CKServerController::listOfPendingClientNames() const { return namesOf(thePendingClients); }

QStringList CKServerController::listOfActiveClientNames() const { return namesOf(theActiveClients); }

void CKServerController::postStatusChange()
{
    NotificationCenter::defaultCenter().post(StatusChangeNotification);
}

// Switching ------------------------------------------------------------------------------

void CKServerController::setRemoteEnabled(bool enabled)
{
    enabled ? switchOn() : switchOff();
}

void CKServerController::switchOn()
{
    if (theServer)
        return;
    ZEPMIDINetworkSession::removeZEPMIDINetworkSessionNamed(MIDISessionName);
    theServer = std::make_unique<CKRemoteServer>(this, theListeningInterface);
    theServer->setSocketAcceptedHandler([this](const std::shared_ptr<AsyncSocket>& sock) { socketAccepted(sock); });
    theServer->setSocketClosedHandler([this](const QString& host) { socketClosed(host); });
    theShowServiceFailureAlert = true;
    if (theServer->port() == 0) {
        serviceFailed(QStringLiteral("the server could not listen"));
        return;
    }
    theArrivalTimer.start(kKeepAliveInterval, true);
    theSyncService = DNSServicePublisher::create();
    theSyncService->setPublishedHandler([this](const QString& name) {
        setEnabled(true);
        theServiceName = name;
        postStatusChange();
    });
    theSyncService->setFailedHandler([this](const Error& error) {
        // Once published, the service goes on for the remotes already connected; only the
        // announcement is gone.
        if (isEnabled())
            qWarning("Remote service no longer announced: %s", qPrintable(error.description()));
        else
            serviceFailed(error.description());
    });
    theSyncService->publish(ServiceType, QString(), theServer->port());
}

void CKServerController::serviceFailed(const QString& reason)
{
    qWarning("Remote service could not start: %s", qPrintable(reason));
    switchOff();
    if (theShowServiceFailureAlert) {
        theShowServiceFailureAlert = false;
        CKClipdeckHost::current().presentError(
            Error(QStringLiteral("CKServerController"), 1, QCoreApplication::translate("CKServerController", "Clipdeck Remote"),
                  QCoreApplication::translate("CKServerController", "Clipdeck was unable to start the Remote service.")));
    }
}

void CKServerController::switchOff()
{
    if (!theServer)
        return;
    disconnectClients(addressesOf(thePendingClients) + addressesOf(theActiveClients), reasons().kCKReasonServerQuit);
    if (theSyncService) {
        theSyncService->stop();
        theSyncService.reset();
    }
    theArrivalTimer.stop();
    theArrivals.clear();
    theServer.reset();
    theServiceName.clear();
    setEnabled(false);
    postStatusChange();
}

void CKServerController::willTerminateApplication() { switchOff(); }

// Sessions -------------------------------------------------------------------------------

void CKServerController::beginSession()
{
    CKSyncController::beginSession();
    addAllObservers();
    if (!theMidiSession)
        theMidiSession = std::make_unique<ZEPMIDINetworkSession>(MIDISessionName, theServiceName, nullptr);
    if (auto* playback = qobject_cast<CKPlaybackController*>(getMasterControls())) {
        theProgressConnection = connect(playback, &CKPlaybackController::progressUpdated, this,
                                         [this, playback] { sendProgressUpdateWithSources(playback->playingSounds()); });
    }
    theChecksumTimer.start(kChecksumInterval, true);
    theKeepAliveTimer.start(kKeepAliveInterval, true);
}

void CKServerController::endSession()
{
    if (isActive()) {
        removeAllObservers();
        disconnect(theProgressConnection);
        theChecksumTimer.stop();
        theKeepAliveTimer.stop();
        theMidiSession.reset();
    }
    CKSyncController::endSession();
    // What was queued for the remotes of the session has nobody to go to.
    mutablePostQueue().clear();
}

void CKServerController::sendChecksumToClients()
{
    postDictionary(P::performChecksum(performChecksumOfState()));
}

void CKServerController::killInactiveClients()
{
    const double now = TimeSource::currentTime();
    QStringList silent;
    for (const CKClientEntry& client : std::as_const(theActiveClients)) {
        if (client.lastSeen() && now - *client.lastSeen() > kSilenceLimit)
            silent << client.address();
    }
    if (!silent.isEmpty())
        disconnectClients(silent, reasons().kCKReasonServerTimeout);
}

// Posting --------------------------------------------------------------------------------

void CKServerController::postDictionary(const QVariantMap& message)
{
    CKSyncController::postDictionary(P::commitFromVote(message));
}

void CKServerController::performScheduledPostings()
{
    if (const std::optional<QVariantMap> outgoing = postQueue().outgoingMessage();
        outgoing && theServer && !theActiveClients.isEmpty())
        theServer->sendDictionary(*outgoing, addressesOf(theActiveClients));
    CKSyncController::performScheduledPostings();
}

void CKServerController::sendProgressUpdateWithSources(const std::vector<std::shared_ptr<CKSoundSource>>& sources)
{
    if (!isActive())
        return;
    QVariantMap bundle;
    for (const std::shared_ptr<CKSoundSource>& sound : sources) {
        if (sound) {
            bundle.insert(sound->uuid(),
                          CKCompleteState::progressEntry(sound->duration(), sound->currentTime(), sound->leftPeakLevel(),
                                                         sound->rightPeakLevel(), sound->leftAvgLevel(),
                                                         sound->rightAvgLevel()));
        }
    }
    postDictionary(P::progressUpdate(bundle));
}

void CKServerController::sendTo(const QVariantMap& message, const QString& host)
{
    if (theServer)
        theServer->sendDictionary(message, host);
}

// Pairing --------------------------------------------------------------------------------

bool CKServerController::clientName(const QString& name, const QVariant& authenticatesWith)
{
    const auto it = std::find_if(thePendingClients.begin(), thePendingClients.end(),
                                 [&](const CKClientEntry& client) { return client.name() == name; });
    if (it == thePendingClients.end() || !it->passcode().isValid() || !authenticatesWith.isValid()
        || it->passcode().toLongLong() != authenticatesWith.toLongLong())
        return false;
    const CKClientEntry client = *it;
    thePendingClients.erase(it);
    UserDefaults& defaults = *getPreferences();
    QVariantList whitelist = defaults.arrayForKey(WhitelistedRemotesKey);
    if (!whitelist.contains(client.identifier())) {
        whitelist << client.identifier();
        defaults.setObject(whitelist, WhitelistedRemotesKey);
    }
    addConnectedClient(client);
    return true;
}

void CKServerController::addConnectedClient(const CKClientEntry& client)
{
    CKClientEntry* filed = entryIn(theActiveClients, client.address());
    if (!filed) {
        if (theActiveClients.size() >= kMaximumActiveClients)
            return;
        theActiveClients << client;
        filed = &theActiveClients.last();
    } else {
        *filed = client;
    }
    filed->setLastSeen(TimeSource::currentTime());
    const CKClipdeckParent* parent = getClipdeckParent();
    const std::optional<std::size_t> selected = parent ? parent->selectedClipdeckIndex() : std::nullopt;
    sendTo(P::connectAccept(selected ? qint64(*selected) : P::SelectedCKNotFound, completeState()), client.address());
    if (!isActive())
        beginSession();
    postStatusChange();
}

void CKServerController::deauthorizeAllRemotes()
{
    getPreferences()->removeObjectForKey(WhitelistedRemotesKey);
    disconnectClients(addressesOf(theActiveClients), reasons().kCKReasonServerDeauth);
}

void CKServerController::disconnectClients(const QStringList& addresses, const std::optional<QString>& withReason)
{
    if (addresses.isEmpty())
        return;
    for (const QString& address : addresses) {
        if (theServer)
            theServer->removeSocketWithHost(address, withReason);
    }
    const auto leaving = [&](const CKClientEntry& client) { return addresses.contains(client.address()); };
    theActiveClients.removeIf(leaving);
    thePendingClients.removeIf(leaving);
    if (theActiveClients.isEmpty())
        endSession();
    postStatusChange();
}

// Receiving ------------------------------------------------------------------------------

void CKServerController::dictionaryReceived(const std::optional<QVariantMap>& dictionary, const QString& fromHost)
{
    if (!dictionary)
        return;
    const QString type = P::messageType(*dictionary);
    if (!entryIn(theActiveClients, fromHost) && !isConnectionMessage(type))
        return;
    if (type == P::ConnectRequest || type == P::ConnectVerify)
        std::erase_if(theArrivals, [&](const Arrival& arrival) { return arrival.host == fromHost; });
    const QDateTime received = QDateTime::currentDateTimeUtc();
    for (QVariantMap message : P::unpackedMessages(*dictionary)) {
        message.insert(P::ExternalHostKey, fromHost);
        message.insert(P::ReceivedDateKey, received);
        queueForHandling(message);
    }
}

void CKServerController::handleDictionary(const QVariantMap& message)
{
    ExternalChangeScope scope([this](bool handling) { setHandlingAnExternalChange(handling); });
    const QString host = message.value(P::ExternalHostKey).toString();
    const QString type = P::messageType(message);
    // The sender may have been closed since its message arrived.
    CKClientEntry* client = entryIn(theActiveClients, host);
    if (!client && !isConnectionMessage(type))
        return;
    const double now = TimeSource::currentTime();
    if (type == P::VoteIncChange) {
        client->setLastSeen(now);
        handleVote(message, client, host);
    } else if (type == P::ChecksumPassed) {
        client->setLastSeen(now);
    } else if (type == P::ChecksumFailed) {
        client->setLastSeen(now);
        handleChecksumFailed(*client, host);
    } else if (type == P::LoadClipdeck) {
        client->setLastSeen(now);
        if (CKClipdeckParent* parent = getClipdeckParent()) {
            parent->flushCache();
            const QVariant uuid = message.value(P::LoadClipdeckUUIDKey);
            if (uuid.typeId() == QMetaType::QString) {
                if (const std::shared_ptr<CKClipdeck> clipdeck = findClipdeck(uuid.toString()))
                    parent->loadEditorsOfClipdeck(clipdeck);
            }
        }
    } else if (type == P::ConnectRequest) {
        handleConnectRequest(message, host);
    } else if (type == P::ConnectVerify) {
        handleConnectVerify(message, host);
    } else if (type == P::CloseConnection) {
        disconnectClients({host}, std::nullopt);
    }
}

void CKServerController::handleVote(const QVariantMap& message, CKClientEntry*, const QString& host)
{
    bool applied = false;
    try {
        applied = applyIncrementalChange(message);
    } catch (const CKRemoteException& exception) {
        qWarning("Remote vote refused: %s", exception.what());
    }
    if (applied)
        postDictionary(message);
    else
        sendTo(P::voteIncChangeFail(), host);
}

void CKServerController::handleChecksumFailed(CKClientEntry& client, const QString& host)
{
    std::vector<double>& failures = client.checksumFailureDates();
    failures.push_back(TimeSource::currentTime());
    if (failures.size() >= 3) {
        if (failures.back() - failures.front() <= kChecksumFailureWindow) {
            disconnectClients({host}, reasons().kCKReasonNetworkFail);
            return;
        }
        failures.erase(failures.begin());
    }
    sendTo(P::completeUpdate(completeState()), host);
}

void CKServerController::handleConnectRequest(const QVariantMap& message, const QString& host)
{
    const QVariant version = message.value(P::RemoteVersionKey);
    if (version.typeId() != QMetaType::QString || version.toString() != P::ProtocolVersion) {
        qWarning("Remote connection denied: Clipdeck has protocol %s, Remote has protocol %s", qPrintable(P::ProtocolVersion),
                 version.isValid() ? qPrintable(version.toString()) : "(null)");
        disconnectClients({host}, reasons().kCKReasonIncompatible);
        return;
    }
    const QVariant identifier = message.value(P::ClientIdentifierKey);
    const QVariant name = message.value(P::ClientHostNameKey);
    const bool named = identifier.typeId() == QMetaType::QString && name.typeId() == QMetaType::QString;
    if (named && getPreferences()->arrayForKey(WhitelistedRemotesKey).contains(identifier.toString()))
        addConnectedClient(CKClientEntry(host, name.toString(), identifier.toString()));
    else
        sendTo(P::connectChallenge(), host);
}

void CKServerController::handleConnectVerify(const QVariantMap& message, const QString& host)
{
    const QVariant identifier = message.value(P::ClientIdentifierKey);
    const QVariant name = message.value(P::ClientHostNameKey);
    const QVariant passcode = message.value(P::PasscodeKey);
    if (identifier.typeId() != QMetaType::QString || name.typeId() != QMetaType::QString
        || !P::valueHasType(passcode, P::MirroredType::Number))
        return;
    thePendingClients.removeIf([&](const CKClientEntry& client) { return client.address() == host; });
    if (thePendingClients.size() >= kMaximumPendingClients)
        thePendingClients.removeFirst();
    CKClientEntry entry(host, name.toString(), identifier.toString());
    entry.setPasscode(passcode);
    thePendingClients << entry;
    postStatusChange();
}

// Connections that have not introduced themselves ------------------------------------------

bool CKServerController::isKnownHost(const QString& host) const
{
    return entryIn(theActiveClients, host) || entryIn(thePendingClients, host);
}

void CKServerController::socketAccepted(const std::shared_ptr<AsyncSocket>& sock)
{
    const QString host = sock->connectedHost();
    qsizetype strangers = 0;
    for (const std::shared_ptr<AsyncSocket>& connected : theServer->connectedSockets()) {
        if (!isKnownHost(connected->connectedHost()))
            ++strangers;
    }
    if (strangers > kMaximumUnpairedConnections) {
        // Closed once the socket class has finished accepting it.
        mainthread::post([weak = std::weak_ptr<AsyncSocket>(sock), controller = QPointer<CKServerController>(this)] {
            if (const std::shared_ptr<AsyncSocket> socket = weak.lock(); controller && socket && controller->theServer)
                controller->theServer->closeSocket(socket);
        });
        return;
    }
    theArrivals.push_back(Arrival{sock, host, TimeSource::currentTime()});
}

void CKServerController::closeSilentArrivals()
{
    const double now = TimeSource::currentTime();
    std::vector<std::shared_ptr<AsyncSocket>> silent;
    std::erase_if(theArrivals, [&](const Arrival& arrival) {
        const std::shared_ptr<AsyncSocket> socket = arrival.socket.lock();
        if (!socket)
            return true;
        if (now - arrival.acceptedAt < kConnectTimeout)
            return false;
        if (!isKnownHost(arrival.host))
            silent.push_back(socket);
        return true;
    });
    for (const std::shared_ptr<AsyncSocket>& socket : silent) {
        if (theServer)
            theServer->closeSocket(socket);
    }
}

void CKServerController::socketClosed(const QString& host)
{
    // Runs later: the server may be in the middle of its own work on the list.
    mainthread::post([server = QPointer<CKServerController>(this), host] {
        if (!server || !server->theServer)
            return;
        const auto sockets = server->theServer->connectedSockets();
        const bool stillThere = std::any_of(sockets.begin(), sockets.end(), [&](const std::shared_ptr<AsyncSocket>& s) {
            return s->connectedHost() == host;
        });
        // A waiting remote that went away can never be paired: it leaves the list. A paired
        // one stays until the keep-alive check closes it.
        if (!stillThere && server->thePendingClients.removeIf([&](const CKClientEntry& c) { return c.address() == host; }))
            server->postStatusChange();
    });
}
