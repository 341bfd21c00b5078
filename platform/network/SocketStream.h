#pragma once
// A read stream and a write stream over one TCP descriptor, in place of the platform's
// socket stream pair. A pair is made over a connected descriptor, or toward a host name
// and port (looked up on a thread of its own, then connected without blocking).
//
// Events reach the client on a pass of a loop that runs one of the stream's modes, never
// inside a call made on the stream:
//  - OpenCompleted once open() has succeeded (always posted, also over a connected socket);
//  - HasBytesAvailable (read stream) when bytes wait; it comes again only after read();
//  - CanAcceptBytes (write stream) when the socket has room; again only after write();
//  - EndEncountered (read stream) when the peer has closed its end;
//  - ErrorOccurred on a failure; error() tells it.
// Neither stream buffers: read() and write() go straight to the socket, and no call waits.
// Writes are sent with MSG_NOSIGNAL: a vanished peer is an error (EPIPE), not a signal.
// TLS is not offered: setSSLSettings() refuses.
//
// A host pair makes progress (lookup, connect) while its write stream is scheduled; the
// read stream hears OpenCompleted or the error at the same time.
//
// Threads: main thread only.

#include "platform/network/StreamError.h"
#include "platform/runloop/RunLoopSource.h"

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <sys/types.h>

class RunLoop;
class SocketConnection;

class SocketStream {
public:
    enum Event {
        OpenCompleted = 1,
        HasBytesAvailable = 2,
        CanAcceptBytes = 4,
        ErrorOccurred = 8,
        EndEncountered = 16,
    };
    using Client = std::function<void(Event event)>;

    virtual ~SocketStream();
    SocketStream(const SocketStream&) = delete;
    SocketStream& operator=(const SocketStream&) = delete;

    // Sets the client that hears the events of eventMask (an empty client: none).
    void setClient(int eventMask, Client client);
    void scheduleWithRunLoop(RunLoop& loop, const QString& mode);
    void unscheduleFromRunLoop(RunLoop& loop, const QString& mode);

    // Starts opening; false when the stream is not new.
    bool open();
    // Closes the stream (no more events). The descriptor closes once both streams of the
    // pair are closed or gone, when either was told to close it.
    void close();

    StreamStatus status() const { return status_; }
    StreamError error() const { return error_; }
    // The connected descriptor, -1 before the connection is made and after close.
    int nativeHandle() const;
    void setShouldCloseNativeSocket(bool close);
    // TLS is not offered here: always false, and nothing changes.
    bool setSSLSettings(const QVariantMap& settings);

protected:
    SocketStream(std::shared_ptr<SocketConnection> connection, bool isWriteStream);
    // Queues an event for the next pass.
    void post(Event event);
    void fail(StreamError error);
    // What the descriptor is watched for while open.
    virtual int openInterest() const = 0;
    // The descriptor is ready while open: answers the event to hand the client (0: none).
    virtual int descriptorReady(int events) = 0;
    void updateWatch();

    std::shared_ptr<SocketConnection> connection_;
    StreamStatus status_ = StreamStatus::NotOpen;
    StreamError error_;
    bool waitingForClient_ = false; // an event was handed over; the client has not acted yet

private:
    friend class SocketConnection;
    void handle(int events);
    void connectionOpened();
    void connectionFailed(StreamError error);

    const bool isWriteStream_;
    int pendingEvents_ = 0;
    int clientEvents_ = 0;
    Client client_;
    bool closed_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    RunLoopSource source_;
};

class ReadStream final : public SocketStream {
public:
    // Reads up to length bytes: the count read, 0 when nothing waits or at the end, -1 on
    // an error (status Error, error() set).
    ssize_t read(uint8_t* buffer, size_t length);
    // True when bytes wait to be read.
    bool hasBytesAvailable() const;

private:
    friend class SocketStreamPair;
    using SocketStream::SocketStream;
    int openInterest() const override;
    int descriptorReady(int events) override;
};

class WriteStream final : public SocketStream {
public:
    // Told every write request: the bytes offered and the result. For tests and measurements.
    using WriteObserver = std::function<void(size_t offered, ssize_t written)>;

    // Writes up to length bytes: the count written (0 when the socket is full), -1 on an
    // error (status Error, error() set).
    ssize_t write(const uint8_t* buffer, size_t length);
    // True when the socket has room (or has failed, which the next write reports).
    bool canAcceptBytes() const;
    void setWriteObserver(WriteObserver observer) { observer_ = std::move(observer); }

private:
    friend class SocketStreamPair;
    using SocketStream::SocketStream;
    int openInterest() const override;
    int descriptorReady(int events) override;

    WriteObserver observer_;
    bool full_ = false;
};

struct SocketStreamPair {
    std::unique_ptr<ReadStream> readStream;
    std::unique_ptr<WriteStream> writeStream;

    // A pair over a connected descriptor (which stays open unless a stream is told to close it).
    static SocketStreamPair withSocket(int descriptor);
    // A pair that looks host up and connects to port when opened; it closes its own socket.
    static SocketStreamPair toHost(const QString& host, uint16_t port);
};
