#pragma once
// The framing of the remote protocol on AsyncSocket. Every message, either way, is one
// dictionary in binary property-list form followed by the separator FA DE DE AD; nothing
// escapes the separator, so a body that happens to hold those bytes is cut there and both
// halves are dropped as unreadable (the connection stays up).
//
// Reading: after a connection opens, the terminal keeps one read to the separator armed
// (re-armed before each message is handled) and hands every message to its delegate. A
// message of more than kMaximumMessageLength bytes closes the connection with
// AsyncSocketReadMaxedOutError.
//
// Writing: syncWriteData sends one framed message and returns once it and every write queued
// before it have gone, the socket has closed, or kSyncWriteLimit seconds (on TimeSource's
// clock) have passed. It runs the main run loop nested in the private mode
// "CKSynchronousWrite", where only that socket is served: timers, other sockets and the user
// interface wait. Used to say why a connection closes before closing it.
//
// Main thread only. The delegate is not owned.

#include "remote/AsyncSocket.h"
#include "remote/CKRemoteTerminalDelegate.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <optional>

class CKRemoteTerminal : public AsyncSocketDelegate {
public:
    // Largest message read, separator included (the socket's read maximum).
    static constexpr uint32_t kMaximumMessageLength = 1u << 20;
    // Longest wait of a synchronous write, in seconds.
    static constexpr double kSyncWriteLimit = 2.0;
    static constexpr long kSyncWriteTag = 10;
    static inline const QString SynchronousWriteMode = QStringLiteral("CKSynchronousWrite");

    explicit CKRemoteTerminal(CKRemoteTerminalDelegate* delegate);
    ~CKRemoteTerminal() override = default;
    CKRemoteTerminal(const CKRemoteTerminal&) = delete;
    CKRemoteTerminal& operator=(const CKRemoteTerminal&) = delete;

    CKRemoteTerminalDelegate* delegate() const { return theDelegate; }
    void setDelegate(CKRemoteTerminalDelegate* delegate) { theDelegate = delegate; }

    // The four bytes FA DE DE AD.
    static const QByteArray& messageSeparatorData();
    // The binary property-list form of dictionary, or nothing when a value cannot be stored.
    static std::optional<QByteArray> serializedDictionary(const QVariantMap& dictionary);
    // The property list in data (binary or XML), or nothing when it does not parse.
    static std::optional<QVariant> deserializedData(const QByteArray& data);
    // The serialised dictionary followed by the separator; the bare separator (an empty
    // message, which receivers ignore) when the dictionary cannot be serialised.
    static QByteArray completeMessageFromDictionary(const QVariantMap& dictionary);

    // Hands one read message (body and separator) to the delegate, decoded.
    void receiveMessage(const QByteArray& data, const QString& fromHost);
    // Writes framed data to sock and waits as described above; true when the write finished.
    bool syncWriteData(const QByteArray& data, AsyncSocket& toSocket);
    bool syncWriteComplete() const { return theSyncWriteComplete; }

    // AsyncSocketDelegate
    void onSocketDidConnectToHost(AsyncSocket& sock, const QString& host, uint16_t port) override;
    void onSocketDidReadData(AsyncSocket& sock, const QByteArray& data, long tag) override;
    void onSocketDidWriteDataWithTag(AsyncSocket& sock, long tag) override;

protected:
    // Arms the next read of one message on sock.
    static void readNextMessage(AsyncSocket& sock);

private:
    CKRemoteTerminalDelegate* theDelegate;
    bool theSyncWriteComplete = false;
};
