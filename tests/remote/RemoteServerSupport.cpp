#include "RemoteServerSupport.h"

#include "platform/network/NativeSocket.h"
#include "support/TestEnvironment.h"

#include <sys/socket.h>

namespace remotetest {

void RecordingTerminalDelegate::dictionaryReceived(const std::optional<QVariantMap>& dictionary, const QString& fromHost)
{
    if (dictionary)
        dictionaries << *dictionary;
    events << QStringLiteral("%1 from %2").arg(dictionary ? dictionary->value(QStringLiteral("MessageType")).toString()
                                                           : QStringLiteral("nil"),
                                               fromHost);
}

std::unique_ptr<RemoteTestClient> LoopbackServer::connect()
{
    const size_t before = server.connectedSockets().size();
    auto client = std::make_unique<RemoteTestClient>("127.0.0.1", server.port());
    if (!client->isConnected())
        return nullptr;
    // Open once the socket has its peer's address (its first read is armed by then) and its
    // streams have opened (an accepted socket has its address from the start, its socket
    // object only then).
    const bool opened = clipdeck::test::waitUntil([&] {
        const auto sockets = server.connectedSockets();
        return sockets.size() > before && !sockets.back()->connectedHost().isEmpty() && sockets.back()->getCFSocket();
    });
    return opened ? std::move(client) : nullptr;
}

void shrinkBuffers(RemoteTestClient& client, AsyncSocket& serverSide)
{
    const int small = 4096;
    setsockopt(client.peer().descriptor(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    setsockopt(serverSide.getCFSocket()->native(), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
}

} // namespace remotetest
