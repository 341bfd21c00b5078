#pragma once
// What an AsyncSocket tells its delegate. Every message has a default that does what
// happens when a delegate does not care for it, so a delegate overrides only what it needs.
//
// Threads and order: every message arrives on the main thread, on a pass of the run loop
// in one of the socket's modes (never inside the call that queued the work). The socket is
// the first argument and is kept alive for the length of the message: a delegate may drop
// its last reference to it, close it, queue reads and writes or change its modes from
// inside any message. For an accepted connection the order is onSocketDidAcceptNewSocket
// and onSocketWantsRunLoopForNewSocket (on the listener), onSocketWillConnect (new socket),
// onSocketDidConnectToHost, reads and writes, and at the end onSocketWillDisconnectWithError
// (only for a close through an error or the peer's end) followed by onSocketDidDisconnect.
//
// The socket does not own its delegate: a delegate that goes away first clears itself
// (setDelegate(nullptr)) from every socket it serves.

#include "platform/Error.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

class AsyncSocket;
class RunLoop;

class AsyncSocketDelegate {
public:
    virtual ~AsyncSocketDelegate() = default;

    // A listener accepted a connection. The new socket has the listener's delegate and modes
    // and is not yet open. Nobody else keeps it: a delegate that wants the connection keeps
    // newSocket; otherwise it is closed (and reported by onSocketDidDisconnect) as soon as
    // this accept is over.
    virtual void onSocketDidAcceptNewSocket(AsyncSocket& sock, const std::shared_ptr<AsyncSocket>& newSocket)
    {
        (void)sock, (void)newSocket;
    }
    // The run loop for the new socket; null: the current one.
    virtual RunLoop* onSocketWantsRunLoopForNewSocket(AsyncSocket& sock, AsyncSocket& newSocket)
    {
        (void)sock, (void)newSocket;
        return nullptr;
    }
    // Before an accepted socket's or a host connection's streams open, and before a socket
    // connects to an address. False aborts the connection (connect answers the canceled error).
    virtual bool onSocketWillConnect(AsyncSocket& sock)
    {
        (void)sock;
        return true;
    }
    // Both streams have opened: the connection is ready; host is the peer's numeric address.
    virtual void onSocketDidConnectToHost(AsyncSocket& sock, const QString& host, uint16_t port)
    {
        (void)sock, (void)host, (void)port;
    }
    // The socket is about to close because of err, or because the peer closed its end
    // (err holds no error then). Queued reads and writes are already dropped; unreadData()
    // still answers here.
    virtual void onSocketWillDisconnectWithError(AsyncSocket& sock, const Error& err) { (void)sock, (void)err; }
    // The socket has closed; it may be used again for a new accept or connect.
    virtual void onSocketDidDisconnect(AsyncSocket& sock) { (void)sock; }

    // A read completed. The data is valid for this message only: copy it to keep it (a
    // QByteArray copy shares the bytes without copying them).
    virtual void onSocketDidReadData(AsyncSocket& sock, const QByteArray& data, long tag)
    {
        (void)sock, (void)data, (void)tag;
    }
    // A pass read partialLength bytes toward a read to a length or a separator.
    virtual void onSocketDidReadPartialDataOfLength(AsyncSocket& sock, size_t partialLength, long tag)
    {
        (void)sock, (void)partialLength, (void)tag;
    }
    virtual void onSocketDidWriteDataWithTag(AsyncSocket& sock, long tag) { (void)sock, (void)tag; }
    virtual void onSocketDidWritePartialDataOfLength(AsyncSocket& sock, size_t partialLength, long tag)
    {
        (void)sock, (void)partialLength, (void)tag;
    }
    // A read (write) timed out after elapsed seconds; answer more seconds to extend it, or 0
    // to close the socket with the read (write) time-out error.
    virtual double onSocketShouldTimeoutReadWithTag(AsyncSocket& sock, long tag, double elapsed, size_t bytesDone)
    {
        (void)sock, (void)tag, (void)elapsed, (void)bytesDone;
        return 0;
    }
    virtual double onSocketShouldTimeoutWriteWithTag(AsyncSocket& sock, long tag, double elapsed, size_t bytesDone)
    {
        (void)sock, (void)tag, (void)elapsed, (void)bytesDone;
        return 0;
    }
    // A TLS upgrade finished (never, here: the streams offer no TLS).
    virtual void onSocketDidSecure(AsyncSocket& sock) { (void)sock; }
};
