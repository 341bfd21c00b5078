#pragma once
// AsyncSocket: the program's one TCP endpoint. It listens (IPv4 and IPv6 on one port),
// accepts, or connects to a host or an address; serves queued reads (of what is available,
// to a length, or to and including a separator) and queued writes in order; times them out;
// disconnects at once or after its reads and/or writes; and names both ends of the connection.
//
// Run loop: everything happens on the main thread's RunLoop, in the socket's modes
// (NSDefaultRunLoopMode alone after creation). Nothing blocks and nothing starts a thread,
// except that a host name given to connectToHost is looked up on a thread of its own.
// Adding a private mode (addRunLoopMode) makes the socket also run while the caller runs
// RunLoop::runMode in that mode, with every other socket, timer and the user interface
// waiting: that is how a caller writes one message synchronously:
//     sock.addRunLoopMode("CKSynchronousWrite");
//     sock.writeData(message, -1, tag);   // onSocketDidWriteDataWithTag sets done
//     while (!done && RunLoop::main().runMode("CKSynchronousWrite", TimeSource::currentTime() + 1)) {}
//     sock.removeRunLoopMode("CKSynchronousWrite");
// runMode answers false once the socket has closed (nothing is left in the mode). Writes
// queued earlier on the socket go first. Under a test's ManualTimeSource the deadline is
// never reached by waiting: such a loop ends by the write or the close.
//
// Ownership: sockets are shared: create() makes one, and an accepted socket is handed to
// onSocketDidAcceptNewSocket, where the delegate keeps it or lets it close. Every callback
// keeps the socket alive for its own length, so a delegate may drop its last reference from
// inside any message. Releasing the last reference closes the socket; the delegate then
// hears onSocketDidDisconnect (if the socket was listening, connecting or connected) with
// a socket that is being destroyed: it must not keep it (shared_from_this() fails there).
// The delegate is not owned (see AsyncSocketDelegate). Data given to writeData is shared,
// not copied: leave it unchanged while the write is queued. A caller's read buffer is
// shared with the read until it completes.
//
// Threads: main thread only; the class takes no lock. Changing modes or run loop elsewhere
// raises NSInternalInconsistencyException.
//
// Failures: run-time failures close the socket through onSocketWillDisconnectWithError (an
// Error in "AsyncSocketErrorDomain", or a converted stream error) and onSocketDidDisconnect;
// set-up failures answer false with the error. Misuse throws AsyncSocketException; broken
// inner preconditions throw NSInternalInconsistencyException. TLS is not offered: startTLS
// ends in a close with the general socket error.

#include "platform/Error.h"
#include "platform/network/StreamError.h"
#include "platform/runloop/RunLoop.h" // the mode names
#include "remote/AsyncPackets.h"
#include "remote/AsyncSocketDelegate.h"
#include "remote/AsyncSocketException.h"
#include "remote/PartialReadBuffer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstdint>
#include <deque>
#include <memory>
#include <sys/types.h>

class NativeSocket;
class ReadStream;
class RunLoop;
class RunLoopTimer;
class WriteStream;

// Codes of errors in "AsyncSocketErrorDomain".
enum AsyncSocketError : int {
    AsyncSocketCFSocketError = -1,      // "General CFSocket error"
    AsyncSocketNoError = 0,
    AsyncSocketCanceledError = 1,       // "Connection canceled"
    AsyncSocketConnectTimeoutError = 2, // "Attempt to connect to host timed out"
    AsyncSocketReadMaxedOutError = 3,   // "Read operation reached set maximum length"
    AsyncSocketReadTimeoutError = 4,    // "Read operation timed out"
    AsyncSocketWriteTimeoutError = 5,   // "Write operation timed out"
};

inline const QString AsyncSocketErrorDomain = QStringLiteral("AsyncSocketErrorDomain");

class AsyncSocket : public std::enable_shared_from_this<AsyncSocket> {
    struct Passkey {};

public:
    static std::shared_ptr<AsyncSocket> create(AsyncSocketDelegate* delegate = nullptr, long userData = 0);
    AsyncSocket(Passkey, AsyncSocketDelegate* delegate, long userData);
    ~AsyncSocket();
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    AsyncSocketDelegate* delegate() const { return theDelegate; }
    void setDelegate(AsyncSocketDelegate* delegate) { theDelegate = delegate; }
    // True when no read or write is queued or current.
    bool canSafelySetDelegate() const;
    long userData() const { return theUserData; }
    void setUserData(long userData) { theUserData = userData; }

    // The listening or connecting socket (IPv4 first), and the connection's streams; not owned
    // by the caller, valid until the socket closes.
    NativeSocket* getCFSocket() const;
    ReadStream* getCFReadStream() const { return theReadStream.get(); }
    WriteStream* getCFWriteStream() const { return theWriteStream.get(); }

    // --- listening and connecting

    // Listens on port (0: the system chooses one port for both families) on every interface,
    // or on interface: "localhost" or "loopback" (127.0.0.1 and ::1), a numeric address, or
    // the name of one of this machine's interfaces (never looked up on the network). False,
    // with the error, when the interface is unknown (domain "kCFStreamErrorDomainNetDB") or
    // the system refuses (general socket error). Throws AsyncSocketException without a
    // delegate or while not disconnected.
    bool acceptOnPort(uint16_t port, Error* errPtr = nullptr);
    bool acceptOnInterface(const QString& interface, uint16_t port, Error* errPtr = nullptr);

    // Connects to host (a name, looked up off the main thread, or a numeric address) and
    // port, giving up after timeout seconds (below 0: never). True when the attempt started;
    // the outcome arrives as onSocketDidConnectToHost or a disconnect. Throws
    // AsyncSocketException without a delegate or while not disconnected.
    bool connectToHost(const QString& hostname, uint16_t port, Error* errPtr = nullptr);
    bool connectToHost(const QString& hostname, uint16_t port, double timeout, Error* errPtr = nullptr);
    // Connects to a socket address record (see platform/network/SocketAddress.h), optionally
    // from a local interface address.
    bool connectToAddress(const QByteArray& remoteAddr, Error* errPtr = nullptr);
    bool connectToAddress(const QByteArray& remoteAddr, double timeout, Error* errPtr = nullptr);
    bool connectToAddress(const QByteArray& remoteAddr, const QByteArray& interfaceAddr, double timeout,
                          Error* errPtr = nullptr);

    // --- disconnecting

    // Closes at once: queued and current reads and writes are dropped without a message.
    void disconnect();
    // Forbid new reads and writes at once, then close once the named queues have run dry.
    void disconnectAfterReading();
    void disconnectAfterWriting();
    void disconnectAfterReadingAndWriting();

    // --- run loop

    const QStringList& runLoopModes() const { return theRunLoopModes; }
    // False for an empty list (nothing changes); true when the modes are already these.
    bool setRunLoopModes(const QStringList& runLoopModes);
    // False for an empty name; true when the mode is already there.
    bool addRunLoopMode(const QString& runLoopMode);
    // False for an empty name or the last mode (nothing changes); true when absent.
    bool removeRunLoopMode(const QString& runLoopMode);
    // False for null; true when already there.
    bool moveToRunLoop(RunLoop* runLoop);
    // Throws AsyncSocketException when called off the thread of the socket's run loop.
    void checkForThreadSafety() const;

    // --- reads (a refused request is dropped without a message)

    // Reads what is available (at least one byte; at most maxLength when it is not 0),
    // into buffer at offset when given, else into the socket's own buffer.
    void readDataWithTimeout(double timeout, long tag);
    void readDataWithTimeout(double timeout, std::shared_ptr<QByteArray> buffer, uint32_t offset, long tag);
    void readDataWithTimeout(double timeout, std::shared_ptr<QByteArray> buffer, uint32_t offset, uint32_t maxLength,
                             long tag);
    // Reads exactly length bytes (refused when length is 0).
    void readDataToLength(uint32_t length, double timeout, long tag);
    void readDataToLength(uint32_t length, double timeout, std::shared_ptr<QByteArray> buffer, uint32_t offset, long tag);
    // Reads up to and including the separator data (refused when empty, or when maxLength
    // is set and shorter than the separator). A read that reaches maxLength first closes the
    // socket with AsyncSocketReadMaxedOutError.
    void readDataToData(const QByteArray& data, double timeout, long tag);
    void readDataToData(const QByteArray& data, double timeout, std::shared_ptr<QByteArray> buffer, uint32_t offset,
                        long tag);
    void readDataToData(const QByteArray& data, double timeout, uint32_t maxLength, long tag);
    void readDataToData(const QByteArray& data, double timeout, std::shared_ptr<QByteArray> buffer, uint32_t offset,
                        uint32_t maxLength, long tag);

    // --- writes

    // Queues data (refused when empty or after a disconnect-after call); written in order,
    // at most 4096 bytes per stream write.
    void writeData(const QByteArray& data, double timeout, long tag);

    // Asks for a TLS upgrade after the queued reads and writes. The streams here refuse TLS
    // settings, so the socket then closes with the general socket error.
    void startTLS(const QVariantMap& tlsSettings);

    // Separator reads read ahead in chunks (always on).
    void enablePreBuffering();
    // Progress of the current read (write): tag, bytes done and total (each optional);
    // answers the fraction, or NaN when there is no current read (write).
    float progressOfReadReturningTag(long* tag, uint32_t* done, uint32_t* total) const;
    float progressOfWriteReturningTag(long* tag, uint32_t* done, uint32_t* total) const;
    // Inside onSocketWillDisconnectWithError only: the bytes read but not delivered,
    // including what the stream still holds; empty elsewhere.
    QByteArray unreadData();

    // --- state and addresses

    bool isDisconnected() const;
    bool isConnected() const;
    bool isIPv4() const;
    bool isIPv6() const;

    // The peer's (connected) or own (local) numeric address and port; empty or 0 when
    // unknown. Of the listening pair, the IPv4 socket answers first.
    QString connectedHost() const;
    uint16_t connectedPort() const;
    QString localHost() const;
    uint16_t localPort() const;
    QString connectedHost4() const;
    QString connectedHost6() const;
    uint16_t connectedPort4() const;
    uint16_t connectedPort6() const;
    QString localHost4() const;
    QString localHost6() const;
    uint16_t localPort4() const;
    uint16_t localPort6() const;
    // The whole address records.
    QByteArray connectedAddress() const;
    QByteArray localAddress() const;

    // A stream error as an Error; no error for domain 0 with code 0.
    static Error errorFromCFStreamError(StreamError err);
    // The read stream's error, else the write stream's, else none.
    Error getStreamError() const;

    QString description() const;

    static QByteArray CRLFData();
    static QByteArray CRData();
    static QByteArray LFData();
    static QByteArray ZeroData();

private:
    enum Flag : uint16_t {
        kEnablePreBuffering = 1 << 0,
        kDidStartDelegate = 1 << 1,
        kDidCompleteOpenForRead = 1 << 2,
        kDidCompleteOpenForWrite = 1 << 3,
        kStartingReadTLS = 1 << 4,
        kStartingWriteTLS = 1 << 5,
        kForbidReadsWrites = 1 << 6,
        kDisconnectAfterReads = 1 << 7,
        kDisconnectAfterWrites = 1 << 8,
        kClosingWithError = 1 << 9,
        kDequeueReadScheduled = 1 << 10,
        kDequeueWriteScheduled = 1 << 11,
        kSocketCanAcceptBytes = 1 << 12,
        kSocketHasBytesAvailable = 1 << 13,
    };
    // Names of the socket's deferred calls, for cancelling them one kind at a time.
    enum Deferred : int { kMaybeDequeueRead = 1, kMaybeDequeueWrite, kMaybeScheduleDisconnect, kDisconnect };

    bool has(Flag flag) const { return theFlags & flag; }

    // Connection set-up (AsyncSocket.cpp)
    void checkCanStart(const char* withoutDelegate, const char* whileConnected) const;
    bool createAcceptSockets(const QByteArray& address4, const QByteArray& address6, Error* errPtr);
    std::unique_ptr<NativeSocket> makeCallbackSocket(int family, int type);
    void doAcceptWithSocket(NativeSocket& listener, int newNative);
    void doSocketConnect(int error);
    bool attachStreamsToRunLoop(RunLoop* runLoop, Error* errPtr);
    bool configureStreamsAndReturnError(Error* errPtr);
    bool openStreamsAndReturnError(Error* errPtr);
    void doStreamOpen();
    void doCFReadStreamCallback(int event);
    void doCFWriteStreamCallback(int event);
    void startConnectTimeout(double timeout);
    void endConnectTimeout();
    void doConnectTimeout();
    void closeWithError(const Error& err);
    void close();
    void maybeScheduleDisconnect();

    // Run loop helpers (AsyncSocket.cpp)
    // The calling thread's loop (the main one, the only one there is).
    static RunLoop& currentRunLoop();
    // Where deferred calls go: the socket's loop, else the current one.
    RunLoop& performLoop() const;
    void perform(Deferred call);
    void cancelDeferred();
    void cancelDeferred(Deferred call);
    void deferAfterModeChange();
    // Schedules (unschedules) timers, sources and streams in one mode of loop.
    void attachMode(RunLoop& loop, const QString& mode);
    void detachMode(RunLoop& loop, const QString& mode);
    void requireRunLoopThread(const char* operation) const;
    void beginRunLoopChange();
    std::unique_ptr<RunLoopTimer> makeTimer(double interval, void (AsyncSocket::*action)());
    static Error socketError(AsyncSocketError code);

    // Queues (AsyncSocketQueues.cpp)
    void queueRead(std::shared_ptr<AsyncReadPacket> packet);
    void scheduleDequeueRead();
    void scheduleDequeueWrite();
    void maybeDequeueRead();
    void maybeDequeueWrite();
    bool hasBytesAvailable() const;
    ssize_t readIntoBuffer(uint8_t* buffer, size_t length);
    void doBytesAvailable();
    void completeCurrentRead();
    void endCurrentRead();
    void doReadTimeout();
    bool canAcceptBytes() const;
    void doSendBytes();
    void completeCurrentWrite();
    void endCurrentWrite();
    void doWriteTimeout();
    // A read or write timer fired: extend it as the delegate asks, or close with code.
    template <class Packet>
    void doTimeout(std::shared_ptr<AsyncPacket>& current, std::unique_ptr<RunLoopTimer>& timer,
                   double (AsyncSocketDelegate::*shouldTimeout)(AsyncSocket&, long, double, size_t),
                   void (AsyncSocket::*again)(), AsyncSocketError code);
    void maybeStartTLS();
    void onTLSHandshakeSuccessful();
    void emptyQueues();
    void recoverUnreadData();

    // Addresses (AsyncSocketAddresses.cpp)
    // The peer's (or own) address record of one family's socket or descriptor.
    QByteArray familyAddress(int family, bool peer) const;
    // The same of the first end present (IPv4 first).
    QByteArray endAddress(bool peer) const;

    // A descriptor of -1 means none (0 is a valid descriptor).
    int theNativeSocket4 = -1;
    int theNativeSocket6 = -1;
    std::unique_ptr<NativeSocket> theSocket4;
    std::unique_ptr<NativeSocket> theSocket6;
    std::unique_ptr<ReadStream> theReadStream;
    std::unique_ptr<WriteStream> theWriteStream;
    RunLoop* theRunLoop = nullptr;
    QStringList theRunLoopModes;
    std::unique_ptr<RunLoopTimer> theConnectTimer;
    std::deque<std::shared_ptr<AsyncPacket>> theReadQueue;
    std::shared_ptr<AsyncPacket> theCurrentRead;
    std::unique_ptr<RunLoopTimer> theReadTimer;
    PartialReadBuffer partialReadBuffer;
    std::deque<std::shared_ptr<AsyncPacket>> theWriteQueue;
    std::shared_ptr<AsyncPacket> theCurrentWrite;
    std::unique_ptr<RunLoopTimer> theWriteTimer;
    AsyncSocketDelegate* theDelegate;
    uint16_t theFlags = kEnablePreBuffering;
    long theUserData;
};
