#pragma once
// Helpers of the socket tests: a delegate that writes down what it hears, a plain peer
// socket on loopback, and a listener with one accepted connection.

#include "remote/AsyncSocket.h"
#include "support/QStringPrinter.h"
#include "support/SettleEventLoop.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <ostream>
#include <vector>

// Readable failure messages for the byte arrays the tests compare.
inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << '"' << bytes.toStdString() << '"';
}

namespace sockettest {

// Writes down every message as one line ("read 7 hello", "willDisconnect AsyncSocketErrorDomain 3",
// "willDisconnect nil", "didDisconnect", ...), keeps accepted sockets unless told not to, and
// re-arms a separator read after each read when told so.
class RecordingDelegate : public AsyncSocketDelegate {
public:
    QStringList events;
    std::vector<std::shared_ptr<AsyncSocket>> accepted;
    bool keepAccepted = true;
    // Writes down unreadData() inside onSocketWillDisconnectWithError ("unread <hex>").
    bool recordUnreadData = false;
    // Re-armed after each read when not empty.
    QByteArray rearmSeparator;
    uint32_t rearmMaxLength = 0;
    // Answers of onSocketShouldTimeoutReadWithTag, in order (0 once they run out).
    std::vector<double> readExtensions;
    // Called at the end of onSocketDidReadData.
    std::function<void(AsyncSocket&, const QByteArray&)> onRead;
    int readDepth = 0;    // nesting of onSocketDidReadData
    bool nestedRead = false;

    int count(const QString& prefix) const;

    void onSocketDidAcceptNewSocket(AsyncSocket& sock, const std::shared_ptr<AsyncSocket>& newSocket) override;
    void onSocketDidConnectToHost(AsyncSocket& sock, const QString& host, uint16_t port) override;
    void onSocketWillDisconnectWithError(AsyncSocket& sock, const Error& err) override;
    void onSocketDidDisconnect(AsyncSocket& sock) override;
    void onSocketDidReadData(AsyncSocket& sock, const QByteArray& data, long tag) override;
    void onSocketDidReadPartialDataOfLength(AsyncSocket& sock, size_t partialLength, long tag) override;
    void onSocketDidWriteDataWithTag(AsyncSocket& sock, long tag) override;
    double onSocketShouldTimeoutReadWithTag(AsyncSocket& sock, long tag, double elapsed, size_t bytesDone) override;
};

// A non-blocking TCP client (or accepted end) of plain system calls.
class Peer {
public:
    // Connects to host ("127.0.0.1", "::1") and port; isConnected() tells. With a source
    // address ("127.0.0.2"), the connection comes from there: remotes that must be told
    // apart by their address text need one each.
    Peer(const char* host, uint16_t port, const char* sourceAddress = nullptr);
    explicit Peer(int descriptor) : fd_(descriptor) {}
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool isConnected() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }
    void send(const QByteArray& bytes);
    // Reads what waits into received(); true when the peer has closed its end (or reset it).
    bool readAvailable();
    const QByteArray& received() const { return received_; }
    // Closes with a reset (linger 0) instead of an orderly end.
    void reset();
    void close();

private:
    int fd_ = -1;
    QByteArray received_;
};

// A listener on port 0 with its delegate; connect() adds one peer and waits for its
// accepted socket to open.
struct Listener {
    RecordingDelegate delegate;
    std::shared_ptr<AsyncSocket> socket = AsyncSocket::create(&delegate);

    Listener();
    ~Listener();
    uint16_t port() const { return socket->localPort(); }
    // The accepted socket of a new peer on host, once it has opened (null when it did not).
    std::shared_ptr<AsyncSocket> connect(std::unique_ptr<Peer>& peer, const char* host = "127.0.0.1");
};

// One accepted connection whose messages go to a delegate of its own.
struct Connection {
    Listener listener;
    std::unique_ptr<Peer> peer;
    std::shared_ptr<AsyncSocket> socket;
    RecordingDelegate delegate;

    Connection();
    ~Connection();
};

// For checking that something does not happen.
inline void settle() { clipdeck::test::settleEventLoop(); }

// True when ::1 can be connected to on this machine.
bool hasIPv6Loopback();

} // namespace sockettest
