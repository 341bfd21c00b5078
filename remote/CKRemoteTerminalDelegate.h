#pragma once
// What a CKRemoteTerminal hands on: each message read from a remote, decoded.

#include <QString>
#include <QVariantMap>

#include <optional>

class CKRemoteTerminalDelegate {
public:
    virtual ~CKRemoteTerminalDelegate() = default;
    // One message from the socket whose peer address is fromHost: the decoded dictionary, or
    // nothing when the body did not parse or is not a dictionary. Main thread, inside the
    // socket's read callback: the next read is already armed, and the delegate may send,
    // close sockets or drop the terminal's sockets from here.
    virtual void dictionaryReceived(const std::optional<QVariantMap>& dictionary, const QString& fromHost) = 0;
};
