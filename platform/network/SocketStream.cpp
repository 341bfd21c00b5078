#include "platform/network/SocketStream.h"

#include "platform/network/HostLookup.h"
#include "platform/network/SocketAddress.h"
#include "platform/runloop/RunLoop.h"

#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

// What the two streams of a pair share: the descriptor and, for a pair toward a host, the
// lookup and connection attempts that lead to it.
class SocketConnection {
public:
    enum class State { Waiting, Resolving, Connecting, Connected, Failed };

    SocketConnection(int descriptor, bool closeNative)
        : descriptor(descriptor), state(State::Connected), closeNative(closeNative) {}
    SocketConnection(QString host, uint16_t port)
        : host(std::move(host)), port(port), state(State::Waiting), closeNative(true) {}
    ~SocketConnection() { closeDescriptor(); }

    // Called by each stream's open(): a host pair starts its lookup on the first.
    void start()
    {
        if (state != State::Waiting)
            return;
        lookup = HostLookup::start(host, port);
        if (!lookup) {
            failAll(StreamError{kCFStreamErrorDomainPOSIX, EAGAIN});
            return;
        }
        state = State::Resolving;
        updateWatches();
    }

    // What the write stream watches while the pair is opening.
    int progressDescriptor() const
    {
        if (state == State::Resolving)
            return lookup->readyDescriptor();
        return state == State::Connecting ? descriptor : -1;
    }
    int progressInterest() const
    {
        if (state == State::Resolving)
            return RunLoopSource::Readable;
        return state == State::Connecting ? RunLoopSource::Writable : 0;
    }

    void progress(int events)
    {
        if (state == State::Resolving && lookup->isFinished()) {
            // Kept until the watches have moved off its descriptor.
            const std::shared_ptr<HostLookup> finished = std::move(lookup);
            const int status = finished->status();
            candidates = finished->addresses();
            if (status != 0) {
                failAll(StreamError{kCFStreamErrorDomainNetDB, status});
                return;
            }
            if (candidates.empty()) {
                failAll(StreamError{kCFStreamErrorDomainNetDB, EAI_NONAME});
                return;
            }
            tryNextCandidate();
        } else if (state == State::Connecting && (events & RunLoopSource::Writable)) {
            int error = 0;
            socklen_t length = sizeof error;
            if (getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
                error = errno;
            if (error == 0) {
                opened();
                return;
            }
            lastError = error;
            closeDescriptor();
            tryNextCandidate();
        }
    }

    void streamGone(SocketStream* stream)
    {
        if (stream == readStream)
            readStream = nullptr;
        if (stream == writeStream)
            writeStream = nullptr;
        if (!readStream && !writeStream)
            closeDescriptor();
    }

    void closeDescriptor()
    {
        if (descriptor >= 0 && closeNative)
            ::close(descriptor);
        descriptor = -1;
    }

    QString host;
    uint16_t port = 0;
    int descriptor = -1;
    State state;
    bool closeNative;
    StreamError failure;
    SocketStream* readStream = nullptr;
    SocketStream* writeStream = nullptr;

private:
    void tryNextCandidate()
    {
        while (nextCandidate < candidates.size()) {
            const QByteArray& address = candidates[nextCandidate++];
            descriptor = ::socket(socketaddress::family(address), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
            if (descriptor < 0) {
                lastError = errno;
                continue;
            }
            int result;
            do
                result = ::connect(descriptor, reinterpret_cast<const sockaddr*>(address.constData()), socklen_t(address.size()));
            while (result != 0 && errno == EINTR);
            if (result == 0) {
                opened();
                return;
            }
            if (errno == EINPROGRESS) {
                state = State::Connecting;
                updateWatches();
                return;
            }
            lastError = errno;
            ::close(descriptor);
            descriptor = -1;
        }
        failAll(StreamError{kCFStreamErrorDomainPOSIX, lastError ? lastError : ECONNREFUSED});
    }

    void opened()
    {
        state = State::Connected;
        for (SocketStream* stream : {readStream, writeStream})
            if (stream)
                stream->connectionOpened();
    }

    void failAll(StreamError error)
    {
        state = State::Failed;
        failure = error;
        closeDescriptor();
        for (SocketStream* stream : {readStream, writeStream})
            if (stream)
                stream->connectionFailed(error);
    }

    void updateWatches()
    {
        for (SocketStream* stream : {readStream, writeStream})
            if (stream)
                stream->updateWatch();
    }

    std::shared_ptr<HostLookup> lookup;
    std::vector<QByteArray> candidates;
    size_t nextCandidate = 0;
    int lastError = 0;
};

SocketStream::SocketStream(std::shared_ptr<SocketConnection> connection, bool isWriteStream)
    : connection_(std::move(connection)), isWriteStream_(isWriteStream), source_([this](int events) { handle(events); })
{
    (isWriteStream_ ? connection_->writeStream : connection_->readStream) = this;
}

SocketStream::~SocketStream()
{
    *alive_ = false;
    source_.setDescriptor(-1);
    connection_->streamGone(this);
}

void SocketStream::setClient(int eventMask, Client client)
{
    client_ = std::move(client);
    clientEvents_ = client_ ? eventMask : 0;
}

void SocketStream::scheduleWithRunLoop(RunLoop& loop, const QString& mode)
{
    loop.addSource(source_, mode);
}

void SocketStream::unscheduleFromRunLoop(RunLoop& loop, const QString& mode)
{
    loop.removeSource(source_, mode);
}

bool SocketStream::open()
{
    if (status_ != StreamStatus::NotOpen)
        return false;
    status_ = StreamStatus::Opening;
    connection_->start();
    if (connection_->state == SocketConnection::State::Connected)
        post(OpenCompleted);
    else if (connection_->state == SocketConnection::State::Failed)
        fail(connection_->failure);
    updateWatch();
    return true;
}

void SocketStream::close()
{
    if (closed_)
        return;
    closed_ = true;
    status_ = StreamStatus::Closed;
    client_ = nullptr;
    clientEvents_ = 0;
    pendingEvents_ = 0;
    source_.setInterest(0);
    source_.setDescriptor(-1);
    connection_->streamGone(this);
}

int SocketStream::nativeHandle() const
{
    return !closed_ && connection_->state == SocketConnection::State::Connected ? connection_->descriptor : -1;
}

void SocketStream::setShouldCloseNativeSocket(bool close)
{
    connection_->closeNative = close;
}

bool SocketStream::setSSLSettings(const QVariantMap&)
{
    return false;
}

void SocketStream::post(Event event)
{
    pendingEvents_ |= event;
    source_.signal();
}

void SocketStream::fail(StreamError error)
{
    status_ = StreamStatus::Error;
    error_ = error;
    post(ErrorOccurred);
    updateWatch();
}

void SocketStream::connectionOpened()
{
    if (status_ == StreamStatus::Opening)
        post(OpenCompleted);
    updateWatch();
}

void SocketStream::connectionFailed(StreamError error)
{
    if (status_ == StreamStatus::Opening)
        fail(error);
    else
        updateWatch();
}

void SocketStream::updateWatch()
{
    if (closed_)
        return;
    if (status_ == StreamStatus::Opening && connection_->state != SocketConnection::State::Connected) {
        // Only the write stream drives a host pair's progress, so no two notifiers of one
        // kind ever watch one descriptor.
        source_.setDescriptor(isWriteStream_ ? connection_->progressDescriptor() : -1);
        source_.setInterest(isWriteStream_ ? connection_->progressInterest() : 0);
    } else if (status_ == StreamStatus::Open) {
        source_.setDescriptor(connection_->descriptor);
        source_.setInterest(waitingForClient_ ? 0 : openInterest());
    } else {
        // Nothing to watch; posted events still come through the source's signal.
        source_.setInterest(0);
        source_.setDescriptor(-1);
    }
}

void SocketStream::handle(int events)
{
    const std::weak_ptr<bool> alive = alive_;
    if (events & RunLoopSource::Signalled) {
        for (const Event event : {OpenCompleted, HasBytesAvailable, CanAcceptBytes, ErrorOccurred, EndEncountered}) {
            if (!(pendingEvents_ & event))
                continue;
            pendingEvents_ &= ~event;
            if (event == OpenCompleted && status_ == StreamStatus::Opening) {
                status_ = StreamStatus::Open;
                updateWatch();
            }
            if (clientEvents_ & event) {
                const Client client = client_;
                client(event);
                if (alive.expired() || closed_)
                    return;
            }
        }
    }
    events &= RunLoopSource::Readable | RunLoopSource::Writable;
    if (!events || closed_)
        return;
    if (status_ == StreamStatus::Opening && isWriteStream_) {
        connection_->progress(events);
    } else if (status_ == StreamStatus::Open) {
        const int event = descriptorReady(events);
        if (clientEvents_ & event) {
            const Client client = client_;
            client(Event(event));
        }
    }
}

// --- ReadStream

int ReadStream::openInterest() const
{
    return RunLoopSource::Readable;
}

int ReadStream::descriptorReady(int events)
{
    if (!(events & RunLoopSource::Readable))
        return 0;
    uint8_t byte = 0;
    const ssize_t peeked = ::recv(connection_->descriptor, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    Event event;
    if (peeked > 0) {
        waitingForClient_ = true;
        event = HasBytesAvailable;
    } else if (peeked == 0) {
        status_ = StreamStatus::AtEnd;
        event = EndEncountered;
    } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
        return 0;
    } else {
        status_ = StreamStatus::Error;
        error_ = StreamError{kCFStreamErrorDomainPOSIX, errno};
        event = ErrorOccurred;
    }
    updateWatch();
    return event;
}

ssize_t ReadStream::read(uint8_t* buffer, size_t length)
{
    if (status_ != StreamStatus::Open)
        return status_ == StreamStatus::AtEnd ? 0 : -1;
    status_ = StreamStatus::Reading;
    ssize_t count;
    do
        count = ::recv(connection_->descriptor, buffer, length, MSG_DONTWAIT);
    while (count < 0 && errno == EINTR);
    status_ = StreamStatus::Open;
    waitingForClient_ = false;
    if (count == 0 && length > 0) {
        status_ = StreamStatus::AtEnd;
        post(EndEncountered);
    } else if (count < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            fail(StreamError{kCFStreamErrorDomainPOSIX, errno});
            return -1;
        }
        count = 0;
    }
    updateWatch();
    return count;
}

bool ReadStream::hasBytesAvailable() const
{
    int waiting = 0;
    return status_ == StreamStatus::Open && ::ioctl(connection_->descriptor, FIONREAD, &waiting) == 0 && waiting > 0;
}

// --- WriteStream

int WriteStream::openInterest() const
{
    return RunLoopSource::Writable;
}

int WriteStream::descriptorReady(int events)
{
    if (!(events & RunLoopSource::Writable))
        return 0;
    waitingForClient_ = true;
    full_ = false;
    updateWatch();
    return CanAcceptBytes;
}

ssize_t WriteStream::write(const uint8_t* buffer, size_t length)
{
    if (status_ != StreamStatus::Open)
        return -1;
    status_ = StreamStatus::Writing;
    ssize_t count;
    do
        count = ::send(connection_->descriptor, buffer, length, MSG_NOSIGNAL | MSG_DONTWAIT);
    while (count < 0 && errno == EINTR);
    const int error = errno;
    status_ = StreamStatus::Open;
    waitingForClient_ = false;
    if (observer_)
        observer_(length, count);
    if (count < 0) {
        if (error != EAGAIN && error != EWOULDBLOCK) {
            fail(StreamError{kCFStreamErrorDomainPOSIX, error});
            return -1;
        }
        full_ = true;
        count = 0;
    } else {
        full_ = false;
    }
    updateWatch();
    return count;
}

bool WriteStream::canAcceptBytes() const
{
    if (status_ != StreamStatus::Open || full_)
        return false;
    pollfd watch{connection_->descriptor, POLLOUT, 0};
    return ::poll(&watch, 1, 0) > 0 && watch.revents != 0;
}

// --- pairs

SocketStreamPair SocketStreamPair::withSocket(int descriptor)
{
    auto connection = std::make_shared<SocketConnection>(descriptor, false);
    SocketStreamPair pair;
    pair.readStream.reset(new ReadStream(connection, false));
    pair.writeStream.reset(new WriteStream(connection, true));
    return pair;
}

SocketStreamPair SocketStreamPair::toHost(const QString& host, uint16_t port)
{
    auto connection = std::make_shared<SocketConnection>(host, port);
    SocketStreamPair pair;
    pair.readStream.reset(new ReadStream(connection, false));
    pair.writeStream.reset(new WriteStream(connection, true));
    return pair;
}
