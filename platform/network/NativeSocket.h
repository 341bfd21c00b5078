#pragma once
// A TCP socket for listening or connecting, watched by a run-loop source: in place of the
// platform's socket objects. A listening socket calls its callout once per accepted
// connection with the new, non-blocking descriptor (the callout owns it from then on); a
// connecting socket calls it once when the connection has been made or has failed.
//
// Threads: main thread only. The callout runs on a pass of the loop the source is scheduled
// in, never inside a call made here; it may invalidate or destroy the socket.

#include "platform/runloop/RunLoopSource.h"

#include <QByteArray>

#include <functional>
#include <memory>

class NativeSocket {
public:
    enum CallBackType { NoCallBack = 0, AcceptCallBack = 1, ConnectCallBack = 2 };
    // Accept: value is the accepted descriptor. Connect: value is 0 on success, else errno.
    using Callout = std::function<void(NativeSocket& socket, CallBackType type, int value)>;

    // A new non-blocking TCP socket of family (2 or 10) that will accept or connect. An IPv6
    // listener accepts IPv6 only (IPV6_V6ONLY), so IPv4 and IPv6 listeners can share one
    // port. Null, with errno set, when the system refuses the socket.
    static std::unique_ptr<NativeSocket> create(int family, CallBackType type, Callout callout);
    // Wraps a descriptor for address queries only: no callbacks, and invalidating it never
    // closes the descriptor (its owner does).
    static std::unique_ptr<NativeSocket> createWithNative(int descriptor);

    // Invalidates.
    ~NativeSocket();
    NativeSocket(const NativeSocket&) = delete;
    NativeSocket& operator=(const NativeSocket&) = delete;

    int native() const { return descriptor_; }
    int family() const { return family_; }
    bool isValid() const { return descriptor_ >= 0; }

    // Turns SO_REUSEADDR on; false (errno set) when refused.
    bool setReuseAddress();
    // Binds to address and listens (accepting sockets); false with errno set on failure.
    bool setAddress(const QByteArray& address);
    // Binds to a local address before connecting; false with errno set on failure.
    bool bindToAddress(const QByteArray& address);
    // Starts connecting to address without waiting; the callout reports the outcome. False,
    // with errno set, when the attempt fails at once.
    bool connectToAddress(const QByteArray& address);

    QByteArray copyAddress() const;
    QByteArray copyPeerAddress() const;

    // Whether invalidating closes the descriptor (on for sockets made by create()).
    void setCloseOnInvalidate(bool close) { closeOnInvalidate_ = close; }
    // Stops every callback and, unless told otherwise, closes the descriptor.
    void invalidate();

    // The source that serves the callbacks; schedule it in the modes the socket runs in.
    RunLoopSource& runLoopSource() { return source_; }

private:
    NativeSocket(int descriptor, int family, CallBackType type, Callout callout);
    void handle(int events);

    int descriptor_;
    int family_;
    CallBackType type_;
    Callout callout_;
    bool closeOnInvalidate_ = true;
    bool connectReported_ = false;
    int immediateConnectResult_ = -1; // a connect that finished at once, reported by signal
    RunLoopSource source_;
};
