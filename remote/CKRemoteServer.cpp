#include "remote/CKRemoteServer.h"

#include "remote/CKRemoteProtocol.h"

#include <QDebug>

#include <algorithm>

CKRemoteServer::CKRemoteServer(CKRemoteTerminalDelegate* delegate, const QString& interface)
    : CKRemoteTerminal(delegate), theListeningSocket(AsyncSocket::create(this))
{
    theConnections.reserve(3);
    theListeningSocket->setRunLoopModes({NSRunLoopCommonModes});
    Error error;
    if (theListeningSocket->acceptOnInterface(interface, 0, &error))
        thePort = theListeningSocket->localPort();
    else
        qWarning("Remote server could not listen: %s", qPrintable(error.description()));
}

CKRemoteServer::~CKRemoteServer()
{
    theListeningSocket->setDelegate(nullptr);
    theListeningSocket->disconnect();
    for (const Connection& connection : theConnections) {
        connection.socket->setDelegate(nullptr);
        connection.socket->disconnect();
    }
}

std::vector<std::shared_ptr<AsyncSocket>> CKRemoteServer::connectedSockets() const
{
    std::vector<std::shared_ptr<AsyncSocket>> sockets;
    sockets.reserve(theConnections.size());
    for (const Connection& connection : theConnections)
        sockets.push_back(connection.socket);
    return sockets;
}

CKRemoteServer::Connection* CKRemoteServer::connectionWithHost(const QString& host)
{
    for (Connection& connection : theConnections)
        if (connection.socket->connectedHost() == host)
            return &connection;
    return nullptr;
}

CKRemoteServer::Connection* CKRemoteServer::connectionOf(const AsyncSocket& sock)
{
    for (Connection& connection : theConnections)
        if (connection.socket.get() == &sock)
            return &connection;
    return nullptr;
}

bool CKRemoteServer::write(Connection& connection, const QByteArray& data)
{
    if (connection.queuedBytes + data.size() > kMaximumQueuedWriteBytes) {
        qWarning("Remote %s stopped reading: closing its connection", qPrintable(connection.socket->connectedHost()));
        const QString host = connection.host;
        drop(connection.socket);
        if (theClosedHandler)
            theClosedHandler(host);
        return false;
    }
    connection.pendingWrites.push_back(data.size());
    connection.queuedBytes += data.size();
    connection.socket->writeData(data, -1, 0);
    return true;
}

void CKRemoteServer::drop(const std::shared_ptr<AsyncSocket>& socket)
{
    const std::shared_ptr<AsyncSocket> keep = socket; // the list may hold the last reference
    std::erase_if(theConnections, [&](const Connection& connection) { return connection.socket == keep; });
    keep->setDelegate(nullptr);
    keep->disconnect();
}

bool CKRemoteServer::sendDictionary(const QVariantMap& dictionary, const QString& toHost)
{
    if (theConnections.empty())
        return false;
    const QByteArray message = completeMessageFromDictionary(dictionary);
    Connection* connection = connectionWithHost(toHost);
    return connection && write(*connection, message);
}

bool CKRemoteServer::sendDictionary(const QVariantMap& dictionary, const QStringList& toHosts)
{
    if (theConnections.empty())
        return false;
    const QByteArray message = completeMessageFromDictionary(dictionary);
    qsizetype written = 0;
    for (const QString& host : toHosts)
        if (Connection* connection = connectionWithHost(host); connection && write(*connection, message))
            ++written;
    return written == toHosts.size();
}

bool CKRemoteServer::removeSocketWithHost(const QString& host, const std::optional<QString>& withReason)
{
    Connection* connection = connectionWithHost(host);
    if (!connection)
        return false;
    const std::shared_ptr<AsyncSocket> socket = connection->socket;
    if (withReason) {
        const QByteArray message = completeMessageFromDictionary(CKRemoteProtocol::closeConnection(*withReason));
        connection->pendingWrites.push_back(message.size());
        connection->queuedBytes += message.size();
        syncWriteData(message, *socket);
        // The connection may have gone while the write ran; socket still holds it.
    }
    drop(socket);
    return true;
}

void CKRemoteServer::onSocketDidAcceptNewSocket(AsyncSocket&, const std::shared_ptr<AsyncSocket>& newSocket)
{
    theConnections.push_back(Connection{newSocket, newSocket->connectedHost(), {}, 0});
    if (theAcceptedHandler)
        theAcceptedHandler(newSocket);
}

void CKRemoteServer::onSocketDidDisconnect(AsyncSocket& sock)
{
    if (&sock == theListeningSocket.get())
        return;
    // Destroying the element may destroy the socket: take it out of the list first.
    std::shared_ptr<AsyncSocket> leaving;
    QString host;
    for (auto it = theConnections.begin(); it != theConnections.end(); ++it) {
        if (it->socket.get() == &sock) {
            leaving = std::move(it->socket);
            host = it->host;
            theConnections.erase(it);
            break;
        }
    }
    if (leaving && theClosedHandler)
        theClosedHandler(host);
}

void CKRemoteServer::onSocketDidWriteDataWithTag(AsyncSocket& sock, long tag)
{
    if (Connection* connection = connectionOf(sock); connection && !connection->pendingWrites.empty()) {
        connection->queuedBytes -= connection->pendingWrites.front();
        connection->pendingWrites.pop_front();
    }
    CKRemoteTerminal::onSocketDidWriteDataWithTag(sock, tag);
}
