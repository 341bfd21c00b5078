#pragma once
// A remote server on loopback whose delegate writes down every message it hands on.

#include "RemoteTestClient.h"

#include "remote/CKRemoteServer.h"

#include <QStringList>

#include <memory>

namespace remotetest {

// Writes down each message as "<MessageType> from <host>", or "nil from <host>".
class RecordingTerminalDelegate : public CKRemoteTerminalDelegate {
public:
    QStringList events;
    QList<QVariantMap> dictionaries;
    void dictionaryReceived(const std::optional<QVariantMap>& dictionary, const QString& fromHost) override;
};

struct LoopbackServer {
    RecordingTerminalDelegate delegate;
    CKRemoteServer server{&delegate, QStringLiteral("localhost")};

    // A client on 127.0.0.1 whose connection the server has accepted and opened.
    std::unique_ptr<RemoteTestClient> connect();
};

// Keeps the kernel from absorbing what the server sends to client: small buffers at both
// ends, so queued writes stay queued while the client does not read.
void shrinkBuffers(RemoteTestClient& client, AsyncSocket& serverSide);

} // namespace remotetest
