#pragma once
// The listening end of the remote protocol: accepts remotes on a port the system chooses,
// keeps the connected sockets in the order they were accepted, sends framed messages to
// remotes by their address text, and closes one remote, with a reason or without.
//
// Limits that keep a bad or stalled peer from hurting the program:
//  - a message read is at most CKRemoteTerminal::kMaximumMessageLength bytes (longer closes);
//  - a socket with more than kMaximumQueuedWriteBytes of writes waiting (a peer that stops
//    reading) is closed instead of being sent more;
//  - closing with a reason waits at most CKRemoteTerminal::kSyncWriteLimit seconds.
// A socket that closes, by itself or through this class, leaves the connected list at once.
//
// Two remotes behind one address share one address text: messages for it go to the first
// of their sockets in the list.
//
// Main thread only. The delegate is not owned.

#include "remote/CKRemoteTerminal.h"

#include <QStringList>

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CKRemoteServer : public CKRemoteTerminal {
public:
    static constexpr qsizetype kMaximumQueuedWriteBytes = qsizetype(8) << 20;

    // Listens on every interface, or on interface (see AsyncSocket::acceptOnInterface:
    // "localhost" for tests). A socket that cannot listen leaves port() at 0.
    explicit CKRemoteServer(CKRemoteTerminalDelegate* delegate, const QString& interface = QString());
    ~CKRemoteServer() override;

    const std::shared_ptr<AsyncSocket>& listeningSocket() const { return theListeningSocket; }
    std::vector<std::shared_ptr<AsyncSocket>> connectedSockets() const;
    uint16_t port() const { return thePort; }

    // Sends dictionary to the first connected socket whose peer address is host; false when
    // none is (or it was closed for its backlog).
    bool sendDictionary(const QVariantMap& dictionary, const QString& toHost);
    // Sends dictionary to each host; true when every host got it. With no socket connected,
    // false (also for no hosts).
    bool sendDictionary(const QVariantMap& dictionary, const QStringList& toHosts);
    // Closes the first connected socket whose peer address is host, first sending
    // {"MessageType": "CloseConnection", "CloseConnectionReason": reason} (synchronously)
    // when a reason is given. The socket's delegate is cleared first: no disconnect message
    // follows. False when no socket has that address.
    bool removeSocketWithHost(const QString& host, const std::optional<QString>& withReason);

    // Closes sock at once, without a word to the remote or to the handlers below.
    void closeSocket(const std::shared_ptr<AsyncSocket>& sock) { drop(sock); }

    // Told of each socket accepted (already in the connected list) and of each socket that
    // leaves the list by itself (the remote closed it, it failed, or it was closed for its
    // backlog) with the address text it had. Sockets closed through removeSocketWithHost()
    // or closeSocket() are not reported. The handlers may close sockets but must not destroy
    // the server.
    using SocketAcceptedHandler = std::function<void(const std::shared_ptr<AsyncSocket>& sock)>;
    using SocketClosedHandler = std::function<void(const QString& host)>;
    void setSocketAcceptedHandler(SocketAcceptedHandler handler) { theAcceptedHandler = std::move(handler); }
    void setSocketClosedHandler(SocketClosedHandler handler) { theClosedHandler = std::move(handler); }

    // AsyncSocketDelegate
    void onSocketDidAcceptNewSocket(AsyncSocket& sock, const std::shared_ptr<AsyncSocket>& newSocket) override;
    void onSocketDidDisconnect(AsyncSocket& sock) override;
    void onSocketDidWriteDataWithTag(AsyncSocket& sock, long tag) override;

private:
    struct Connection {
        std::shared_ptr<AsyncSocket> socket;
        // Its peer's address text, kept for the report when it closes.
        QString host;
        // Sizes of the writes not yet finished, in order, and their sum.
        std::deque<qsizetype> pendingWrites;
        qsizetype queuedBytes = 0;
    };

    Connection* connectionWithHost(const QString& host);
    Connection* connectionOf(const AsyncSocket& sock);
    // Queues a write, or closes the connection when it would pass the backlog limit.
    bool write(Connection& connection, const QByteArray& data);
    // Forgets the socket and closes it without a word to anyone.
    void drop(const std::shared_ptr<AsyncSocket>& socket);

    SocketAcceptedHandler theAcceptedHandler;
    SocketClosedHandler theClosedHandler;
    std::shared_ptr<AsyncSocket> theListeningSocket;
    std::vector<Connection> theConnections;
    uint16_t thePort = 0;
};
