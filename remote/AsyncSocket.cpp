// AsyncSocket: creation, listening, connecting, stream set-up, closing and run-loop modes.
// The queues are in AsyncSocketQueues.cpp, the address queries in AsyncSocketAddresses.cpp.
#include "remote/AsyncSocket.h"

#include "platform/network/NativeSocket.h"
#include "platform/network/SocketAddress.h"
#include "platform/network/SocketStream.h"
#include "platform/runloop/RunLoop.h"
#include "platform/runloop/RunLoopTimer.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <netdb.h>

namespace {

// The stream events the socket listens to.
constexpr int kReadStreamEvents = SocketStream::OpenCompleted | SocketStream::HasBytesAvailable
    | SocketStream::ErrorOccurred | SocketStream::EndEncountered;
constexpr int kWriteStreamEvents = SocketStream::OpenCompleted | SocketStream::CanAcceptBytes
    | SocketStream::ErrorOccurred | SocketStream::EndEncountered;

const char* addressText(const void* pointer)
{
    static thread_local char text[32];
    std::snprintf(text, sizeof text, "%p", pointer);
    return text;
}

} // namespace

std::shared_ptr<AsyncSocket> AsyncSocket::create(AsyncSocketDelegate* delegate, long userData)
{
    return std::make_shared<AsyncSocket>(Passkey{}, delegate, userData);
}

AsyncSocket::AsyncSocket(Passkey, AsyncSocketDelegate* delegate, long userData)
    : theRunLoopModes{NSDefaultRunLoopMode}, theDelegate(delegate), theUserData(userData)
{
}

AsyncSocket::~AsyncSocket()
{
    close();
    cancelDeferred();
}

bool AsyncSocket::canSafelySetDelegate() const
{
    return theReadQueue.empty() && theWriteQueue.empty() && !theCurrentRead && !theCurrentWrite;
}

NativeSocket* AsyncSocket::getCFSocket() const
{
    return theSocket4 ? theSocket4.get() : theSocket6.get();
}

Error AsyncSocket::socketError(AsyncSocketError code)
{
    const char* text = "";
    switch (code) {
    case AsyncSocketCFSocketError: text = "General CFSocket error"; break;
    case AsyncSocketCanceledError: text = "Connection canceled"; break;
    case AsyncSocketConnectTimeoutError: text = "Attempt to connect to host timed out"; break;
    case AsyncSocketReadMaxedOutError: text = "Read operation reached set maximum length"; break;
    case AsyncSocketReadTimeoutError: text = "Read operation timed out"; break;
    case AsyncSocketWriteTimeoutError: text = "Write operation timed out"; break;
    case AsyncSocketNoError: break;
    }
    return Error(AsyncSocketErrorDomain, code, QCoreApplication::translate("AsyncSocket", text));
}

// --- listening

void AsyncSocket::checkCanStart(const char* withoutDelegate, const char* whileConnected) const
{
    if (!theDelegate)
        throw AsyncSocketException(withoutDelegate);
    if (!isDisconnected())
        throw AsyncSocketException(whileConnected);
}

bool AsyncSocket::acceptOnPort(uint16_t port, Error* errPtr)
{
    return acceptOnInterface(QString(), port, errPtr);
}

bool AsyncSocket::acceptOnInterface(const QString& interface, uint16_t port, Error* errPtr)
{
    checkCanStart("Attempting to accept without a delegate. Set a delegate first.",
                  "Attempting to accept while connected or accepting connections. Disconnect first.");
    emptyQueues();

    QByteArray address4;
    QByteArray address6;
    if (interface.isEmpty()) {
        address4 = socketaddress::ipv4Any(port);
        address6 = socketaddress::ipv6Any(port);
    } else if (interface == QLatin1String("localhost") || interface == QLatin1String("loopback")) {
        address4 = socketaddress::ipv4Loopback(port);
        address6 = socketaddress::ipv6Loopback(port);
    } else {
        const int status = socketaddress::resolveLocalInterface(interface, port, &address4, &address6);
        if (status != 0) {
            setError(errPtr, Error(QStringLiteral("kCFStreamErrorDomainNetDB"), status, QString::fromLatin1(gai_strerror(status))));
            return false;
        }
        if (address4.isEmpty() && address6.isEmpty())
            return false;
    }
    return createAcceptSockets(address4, address6, errPtr);
}

std::unique_ptr<NativeSocket> AsyncSocket::makeCallbackSocket(int family, int type)
{
    return NativeSocket::create(family, NativeSocket::CallBackType(type),
                                [weak = weak_from_this()](NativeSocket& socket, NativeSocket::CallBackType kind, int value) {
                                    // Kept alive for the callback's length.
                                    const std::shared_ptr<AsyncSocket> self = weak.lock();
                                    if (!self)
                                        return;
                                    if (&socket != self->theSocket4.get() && &socket != self->theSocket6.get())
                                        throw NSInternalInconsistencyException(
                                            "Invalid parameter not satisfying: (sock == theSocket4) || (sock == theSocket6)");
                                    if (kind == NativeSocket::AcceptCallBack)
                                        self->doAcceptWithSocket(socket, value);
                                    else if (kind == NativeSocket::ConnectCallBack)
                                        self->doSocketConnect(value);
                                    else
                                        qWarning("AsyncSocket %s received unexpected CFSocketCallBackType %i",
                                                 addressText(self.get()), int(kind));
                                });
}

bool AsyncSocket::createAcceptSockets(const QByteArray& address4, const QByteArray& address6, Error* errPtr)
{
    const auto fail = [&] {
        setError(errPtr, socketError(AsyncSocketCFSocketError));
        theSocket4.reset();
        theSocket6.reset();
        theRunLoop = nullptr;
        return false;
    };
    // A machine without IPv6 still listens on IPv4 when no particular interface was asked for.
    const auto ipv6Missing = [] { return errno == EAFNOSUPPORT || errno == EADDRNOTAVAIL; };
    const bool ipv6Optional = !address4.isEmpty();

    if (!address4.isEmpty() && !(theSocket4 = makeCallbackSocket(socketaddress::kIPv4Family, NativeSocket::AcceptCallBack)))
        return fail();
    if (!address6.isEmpty() && !(theSocket6 = makeCallbackSocket(socketaddress::kIPv6Family, NativeSocket::AcceptCallBack))
        && !(ipv6Optional && ipv6Missing()))
        return fail();

    theRunLoop = &currentRunLoop();
    for (const QString& mode : theRunLoopModes)
        attachMode(*theRunLoop, mode);
    for (NativeSocket* socket : {theSocket4.get(), theSocket6.get()})
        if (socket)
            socket->setReuseAddress();

    QByteArray bound6 = address6;
    if (theSocket4) {
        if (!theSocket4->setAddress(address4))
            return fail();
        if (socketaddress::port(address4) == 0 && theSocket6)
            socketaddress::setPort(bound6, localPort4());
    }
    if (theSocket6 && !theSocket6->setAddress(bound6)) {
        if (!(ipv6Optional && ipv6Missing()))
            return fail();
        theSocket6.reset();
    }
    theFlags |= kDidStartDelegate;
    return true;
}

void AsyncSocket::doAcceptWithSocket(NativeSocket& listener, int newNative)
{
    const std::shared_ptr<AsyncSocket> newSocket = create(theDelegate);
    newSocket->setRunLoopModes(theRunLoopModes);

    SocketStreamPair streams = SocketStreamPair::withSocket(newNative);
    streams.readStream->setShouldCloseNativeSocket(true);
    streams.writeStream->setShouldCloseNativeSocket(true);
    newSocket->theReadStream = std::move(streams.readStream);
    newSocket->theWriteStream = std::move(streams.writeStream);
    (&listener == theSocket4.get() ? newSocket->theNativeSocket4 : newSocket->theNativeSocket6) = newNative;

    if (theDelegate)
        theDelegate->onSocketDidAcceptNewSocket(*this, newSocket);
    newSocket->theFlags |= kDidStartDelegate;

    RunLoop* runLoop = theDelegate ? theDelegate->onSocketWantsRunLoopForNewSocket(*this, *newSocket) : nullptr;
    Error err;
    if (!newSocket->attachStreamsToRunLoop(runLoop, &err) || !newSocket->configureStreamsAndReturnError(&err)
        || !newSocket->openStreamsAndReturnError(&err))
        newSocket->close();
    // Unless the delegate kept it, the new socket closes and goes here.
}

// --- connecting

bool AsyncSocket::connectToHost(const QString& hostname, uint16_t port, Error* errPtr)
{
    return connectToHost(hostname, port, -1.0, errPtr);
}

bool AsyncSocket::connectToHost(const QString& hostname, uint16_t port, double timeout, Error* errPtr)
{
    checkCanStart("Attempting to connect without a delegate. Set a delegate first.",
                  "Attempting to connect while connected or accepting connections. Disconnect first.");
    emptyQueues();

    SocketStreamPair streams = SocketStreamPair::toHost(hostname, port);
    streams.readStream->setShouldCloseNativeSocket(true);
    streams.writeStream->setShouldCloseNativeSocket(true);
    theReadStream = std::move(streams.readStream);
    theWriteStream = std::move(streams.writeStream);

    Error err;
    if (!attachStreamsToRunLoop(nullptr, &err) || !configureStreamsAndReturnError(&err) || !openStreamsAndReturnError(&err)) {
        close();
        setError(errPtr, err);
        return false;
    }
    startConnectTimeout(timeout);
    theFlags |= kDidStartDelegate;
    return true;
}

bool AsyncSocket::connectToAddress(const QByteArray& remoteAddr, Error* errPtr)
{
    return connectToAddress(remoteAddr, QByteArray(), -1.0, errPtr);
}

bool AsyncSocket::connectToAddress(const QByteArray& remoteAddr, double timeout, Error* errPtr)
{
    return connectToAddress(remoteAddr, QByteArray(), timeout, errPtr);
}

bool AsyncSocket::connectToAddress(const QByteArray& remoteAddr, const QByteArray& interfaceAddr, double timeout,
                                   Error* errPtr)
{
    checkCanStart("Attempting to connect without a delegate. Set a delegate first.",
                  "Attempting to connect while connected or accepting connections. Disconnect first.");
    emptyQueues();

    const auto fail = [&](Error err) {
        close();
        setError(errPtr, std::move(err));
        return false;
    };
    const auto isKnownFamily = [](const QByteArray& address) {
        const int family = socketaddress::family(address);
        return (family == socketaddress::kIPv4Family && address.size() >= socketaddress::kIPv4Size)
            || (family == socketaddress::kIPv6Family && address.size() >= socketaddress::kIPv6Size);
    };
    if (!isKnownFamily(remoteAddr))
        return fail(Error(AsyncSocketErrorDomain, AsyncSocketCFSocketError, QStringLiteral("Remote address is not IPv4 or IPv6")));
    const int family = socketaddress::family(remoteAddr);
    std::unique_ptr<NativeSocket>& socket = family == socketaddress::kIPv4Family ? theSocket4 : theSocket6;
    socket = makeCallbackSocket(family, NativeSocket::ConnectCallBack);
    if (!socket)
        return fail(socketError(AsyncSocketCFSocketError));
    if (!interfaceAddr.isEmpty()) {
        if (!isKnownFamily(interfaceAddr))
            return fail(Error(AsyncSocketErrorDomain, AsyncSocketCFSocketError, QStringLiteral("Interface address is not IPv4 or IPv6")));
        if (!socket->bindToAddress(interfaceAddr)) {
            const int error = errno;
            return fail(Error(Error::POSIXDomain, error, QString::fromLocal8Bit(std::strerror(error))));
        }
    }
    theRunLoop = &currentRunLoop();
    for (const QString& mode : theRunLoopModes)
        attachMode(*theRunLoop, mode);

    Error err;
    if (!configureStreamsAndReturnError(&err))
        return fail(err);
    if (!socket->connectToAddress(remoteAddr))
        return fail(socketError(AsyncSocketCFSocketError));
    startConnectTimeout(timeout);
    theFlags |= kDidStartDelegate;
    return true;
}

void AsyncSocket::doSocketConnect(int error)
{
    if (error != 0) {
        closeWithError(socketError(AsyncSocketCFSocketError));
        return;
    }
    // The descriptor now belongs to the streams.
    std::unique_ptr<NativeSocket> socket = std::move(theSocket4 ? theSocket4 : theSocket6);
    const int native = socket->native();
    (socket->family() == socketaddress::kIPv4Family ? theNativeSocket4 : theNativeSocket6) = native;
    socket->setCloseOnInvalidate(false);
    socket->invalidate();
    socket.reset();

    SocketStreamPair streams = SocketStreamPair::withSocket(native);
    streams.readStream->setShouldCloseNativeSocket(true);
    streams.writeStream->setShouldCloseNativeSocket(true);
    theReadStream = std::move(streams.readStream);
    theWriteStream = std::move(streams.writeStream);
    Error err;
    if (!attachStreamsToRunLoop(nullptr, &err) || !openStreamsAndReturnError(&err))
        closeWithError(err);
}

// --- streams

bool AsyncSocket::attachStreamsToRunLoop(RunLoop* runLoop, Error* errPtr)
{
    (void)errPtr; // our streams take any client
    theRunLoop = runLoop ? runLoop : &currentRunLoop();
    const std::weak_ptr<AsyncSocket> weak = weak_from_this();
    theReadStream->setClient(kReadStreamEvents, [weak](SocketStream::Event event) {
        if (const std::shared_ptr<AsyncSocket> self = weak.lock())
            self->doCFReadStreamCallback(event);
    });
    theWriteStream->setClient(kWriteStreamEvents, [weak](SocketStream::Event event) {
        if (const std::shared_ptr<AsyncSocket> self = weak.lock())
            self->doCFWriteStreamCallback(event);
    });
    for (const QString& mode : theRunLoopModes)
        attachMode(*theRunLoop, mode);
    return true;
}

bool AsyncSocket::configureStreamsAndReturnError(Error* errPtr)
{
    if (theDelegate && !theDelegate->onSocketWillConnect(*this)) {
        setError(errPtr, socketError(AsyncSocketCanceledError));
        return false;
    }
    return true;
}

bool AsyncSocket::openStreamsAndReturnError(Error* errPtr)
{
    if (!theReadStream->open()) {
        qWarning("AsyncSocket %s couldn't open read stream,", addressText(this));
        setError(errPtr, errorFromCFStreamError(theReadStream->error()));
        return false;
    }
    if (!theWriteStream->open()) {
        qWarning("AsyncSocket %s couldn't open write stream,", addressText(this));
        setError(errPtr, errorFromCFStreamError(theWriteStream->error()));
        return false;
    }
    return true;
}

void AsyncSocket::doStreamOpen()
{
    if (!has(kDidCompleteOpenForRead) || !has(kDidCompleteOpenForWrite))
        return;
    const int native = theReadStream->nativeHandle();
    Error err;
    if (native < 0) {
        err = errorFromCFStreamError(theReadStream->error());
    } else if (theNativeSocket4 >= 0) {
        theSocket4 = NativeSocket::createWithNative(native);
    } else if (theNativeSocket6 >= 0) {
        theSocket6 = NativeSocket::createWithNative(native);
    } else {
        // A host connection: the peer's address tells the family.
        std::unique_ptr<NativeSocket> wrapper = NativeSocket::createWithNative(native);
        const int family = socketaddress::family(wrapper->copyPeerAddress());
        if (family == socketaddress::kIPv4Family) {
            theSocket4 = std::move(wrapper);
            theNativeSocket4 = native;
        } else if (family == socketaddress::kIPv6Family) {
            theSocket6 = std::move(wrapper);
            theNativeSocket6 = native;
        } else {
            qWarning("AsyncSocket couldn't determine IP version of socket");
            err = socketError(AsyncSocketCFSocketError);
        }
    }
    if (native < 0 || err.isError()) {
        qWarning("AsyncSocket %s couldn't get socket from streams, %s. Disconnecting.", addressText(this),
                 qPrintable(err.description()));
        closeWithError(err);
        return;
    }
    endConnectTimeout();
    if (theDelegate)
        theDelegate->onSocketDidConnectToHost(*this, connectedHost(), connectedPort());
    // Reads and writes queued so far (also inside the message above) start now.
    maybeDequeueRead();
    maybeDequeueWrite();
}

void AsyncSocket::doCFReadStreamCallback(int event)
{
    if (!theReadStream)
        throw NSInternalInconsistencyException("Invalid parameter not satisfying: theReadStream != NULL");
    switch (event) {
    case SocketStream::OpenCompleted:
        theFlags |= kDidCompleteOpenForRead;
        doStreamOpen();
        break;
    case SocketStream::HasBytesAvailable:
        if (has(kStartingReadTLS)) {
            onTLSHandshakeSuccessful();
        } else {
            theFlags |= kSocketHasBytesAvailable;
            doBytesAvailable();
        }
        break;
    case SocketStream::ErrorOccurred:
    case SocketStream::EndEncountered:
        closeWithError(errorFromCFStreamError(theReadStream->error()));
        break;
    default:
        qWarning("AsyncSocket %s received unexpected CFReadStream callback, CFStreamEventType %i", addressText(this), event);
    }
}

void AsyncSocket::doCFWriteStreamCallback(int event)
{
    if (!theWriteStream)
        throw NSInternalInconsistencyException("Invalid parameter not satisfying: theWriteStream != NULL");
    switch (event) {
    case SocketStream::OpenCompleted:
        theFlags |= kDidCompleteOpenForWrite;
        doStreamOpen();
        break;
    case SocketStream::CanAcceptBytes:
        if (has(kStartingWriteTLS)) {
            onTLSHandshakeSuccessful();
        } else {
            theFlags |= kSocketCanAcceptBytes;
            doSendBytes();
        }
        break;
    case SocketStream::ErrorOccurred:
    case SocketStream::EndEncountered:
        closeWithError(errorFromCFStreamError(theWriteStream->error()));
        break;
    default:
        qWarning("AsyncSocket %s received unexpected CFWriteStream callback, CFStreamEventType %i", addressText(this), event);
    }
}

// --- connect time-out

std::unique_ptr<RunLoopTimer> AsyncSocket::makeTimer(double interval, void (AsyncSocket::*action)())
{
    auto timer = std::make_unique<RunLoopTimer>(interval, [weak = weak_from_this(), action] {
        if (const std::shared_ptr<AsyncSocket> self = weak.lock())
            ((*self).*action)();
    });
    RunLoop& loop = theRunLoop ? *theRunLoop : performLoop();
    for (const QString& mode : theRunLoopModes)
        loop.addTimer(*timer, mode);
    return timer;
}

void AsyncSocket::startConnectTimeout(double timeout)
{
    if (timeout >= 0.0)
        theConnectTimer = makeTimer(timeout, &AsyncSocket::doConnectTimeout);
}

void AsyncSocket::endConnectTimeout()
{
    theConnectTimer.reset();
}

void AsyncSocket::doConnectTimeout()
{
    endConnectTimeout();
    closeWithError(socketError(AsyncSocketConnectTimeoutError));
}

// --- disconnecting

void AsyncSocket::closeWithError(const Error& err)
{
    theFlags |= kClosingWithError;
    if (has(kDidStartDelegate)) {
        recoverUnreadData();
        if (theDelegate)
            theDelegate->onSocketWillDisconnectWithError(*this, err);
    }
    close();
}

void AsyncSocket::close()
{
    emptyQueues();
    partialReadBuffer.clear();
    cancelDeferred(kDisconnect);
    endConnectTimeout();
    if (theRunLoop)
        for (const QString& mode : theRunLoopModes)
            detachMode(*theRunLoop, mode);

    for (SocketStream* stream : {static_cast<SocketStream*>(theReadStream.get()), static_cast<SocketStream*>(theWriteStream.get())}) {
        if (!stream)
            continue;
        stream->setClient(0, nullptr);
        stream->close();
    }
    theReadStream.reset();
    theWriteStream.reset();

    // Leaving, the sockets' sources leave every mode.
    theSocket4.reset();
    theSocket6.reset();
    theNativeSocket4 = -1;
    theNativeSocket6 = -1;
    theRunLoop = nullptr;

    const bool wasStarted = has(kDidStartDelegate);
    theFlags &= kEnablePreBuffering;
    if (wasStarted && theDelegate)
        theDelegate->onSocketDidDisconnect(*this);
}

void AsyncSocket::disconnect()
{
    close();
}

void AsyncSocket::disconnectAfterReading()
{
    theFlags |= kForbidReadsWrites | kDisconnectAfterReads;
    maybeScheduleDisconnect();
}

void AsyncSocket::disconnectAfterWriting()
{
    theFlags |= kForbidReadsWrites | kDisconnectAfterWrites;
    maybeScheduleDisconnect();
}

void AsyncSocket::disconnectAfterReadingAndWriting()
{
    theFlags |= kForbidReadsWrites | kDisconnectAfterReads | kDisconnectAfterWrites;
    maybeScheduleDisconnect();
}

void AsyncSocket::maybeScheduleDisconnect()
{
    const bool readsDone = theReadQueue.empty() && !theCurrentRead;
    const bool writesDone = theWriteQueue.empty() && !theCurrentWrite;
    bool shouldDisconnect = false;
    if (has(kDisconnectAfterReads))
        shouldDisconnect = readsDone && (!has(kDisconnectAfterWrites) || writesDone);
    else if (has(kDisconnectAfterWrites))
        shouldDisconnect = writesDone;
    if (shouldDisconnect)
        perform(kDisconnect);
}

// --- run loop

RunLoop& AsyncSocket::currentRunLoop()
{
    RunLoop* current = RunLoop::current();
    return current ? *current : RunLoop::main();
}

RunLoop& AsyncSocket::performLoop() const
{
    return theRunLoop ? *theRunLoop : currentRunLoop();
}

void AsyncSocket::perform(Deferred call)
{
    performLoop().perform(this, call, [weak = weak_from_this(), call] {
        const std::shared_ptr<AsyncSocket> self = weak.lock();
        if (!self)
            return;
        switch (call) {
        case kMaybeDequeueRead: self->maybeDequeueRead(); break;
        case kMaybeDequeueWrite: self->maybeDequeueWrite(); break;
        case kMaybeScheduleDisconnect: self->maybeScheduleDisconnect(); break;
        case kDisconnect: self->disconnect(); break;
        }
    }, theRunLoopModes);
}

void AsyncSocket::cancelDeferred()
{
    RunLoop::main().cancelPerforms(this);
    if (theRunLoop && theRunLoop != &RunLoop::main())
        theRunLoop->cancelPerforms(this);
}

void AsyncSocket::cancelDeferred(Deferred call)
{
    RunLoop::main().cancelPerforms(this, call);
    if (theRunLoop && theRunLoop != &RunLoop::main())
        theRunLoop->cancelPerforms(this, call);
}

void AsyncSocket::deferAfterModeChange()
{
    perform(kMaybeDequeueRead);
    perform(kMaybeDequeueWrite);
    perform(kMaybeScheduleDisconnect);
}

void AsyncSocket::attachMode(RunLoop& loop, const QString& mode)
{
    for (RunLoopTimer* timer : {theReadTimer.get(), theWriteTimer.get(), theConnectTimer.get()})
        if (timer)
            loop.addTimer(*timer, mode);
    for (NativeSocket* socket : {theSocket4.get(), theSocket6.get()})
        if (socket)
            loop.addSource(socket->runLoopSource(), mode);
    if (theReadStream)
        theReadStream->scheduleWithRunLoop(loop, mode);
    if (theWriteStream)
        theWriteStream->scheduleWithRunLoop(loop, mode);
}

void AsyncSocket::detachMode(RunLoop& loop, const QString& mode)
{
    for (RunLoopTimer* timer : {theReadTimer.get(), theWriteTimer.get(), theConnectTimer.get()})
        if (timer)
            loop.removeTimer(*timer, mode);
    for (NativeSocket* socket : {theSocket4.get(), theSocket6.get()})
        if (socket)
            loop.removeSource(socket->runLoopSource(), mode);
    if (theReadStream)
        theReadStream->unscheduleFromRunLoop(loop, mode);
    if (theWriteStream)
        theWriteStream->unscheduleFromRunLoop(loop, mode);
}

void AsyncSocket::requireRunLoopThread(const char* operation) const
{
    if (theRunLoop && !theRunLoop->isCurrent())
        throw NSInternalInconsistencyException(std::string(operation) + " must be called from within the current RunLoop!");
}

void AsyncSocket::beginRunLoopChange()
{
    // Every deferred call goes; deferAfterModeChange() issues them again in the new modes.
    cancelDeferred();
    theFlags &= ~(kDequeueReadScheduled | kDequeueWriteScheduled);
}

void AsyncSocket::checkForThreadSafety() const
{
    if (theRunLoop && !theRunLoop->isCurrent())
        throw AsyncSocketException("Attempting to access AsyncSocket instance from incorrect thread.");
}

bool AsyncSocket::setRunLoopModes(const QStringList& runLoopModes)
{
    requireRunLoopThread("setRunLoopModes");
    if (runLoopModes.isEmpty())
        return false;
    if (runLoopModes == theRunLoopModes)
        return true;
    beginRunLoopChange();
    if (theRunLoop)
        for (const QString& mode : theRunLoopModes)
            detachMode(*theRunLoop, mode);
    theRunLoopModes = runLoopModes;
    theRunLoopModes.removeDuplicates();
    if (theRunLoop)
        for (const QString& mode : theRunLoopModes)
            attachMode(*theRunLoop, mode);
    deferAfterModeChange();
    return true;
}

bool AsyncSocket::addRunLoopMode(const QString& runLoopMode)
{
    requireRunLoopThread("addRunLoopMode");
    if (runLoopMode.isEmpty())
        return false;
    if (theRunLoopModes.contains(runLoopMode))
        return true;
    beginRunLoopChange();
    theRunLoopModes.append(runLoopMode);
    if (theRunLoop)
        attachMode(*theRunLoop, runLoopMode);
    deferAfterModeChange();
    return true;
}

bool AsyncSocket::removeRunLoopMode(const QString& runLoopMode)
{
    requireRunLoopThread("removeRunLoopMode");
    if (runLoopMode.isEmpty())
        return false;
    if (!theRunLoopModes.contains(runLoopMode))
        return true;
    if (theRunLoopModes.size() == 1)
        return false;
    beginRunLoopChange();
    theRunLoopModes.removeAll(runLoopMode);
    if (theRunLoop)
        detachMode(*theRunLoop, runLoopMode);
    deferAfterModeChange();
    return true;
}

bool AsyncSocket::moveToRunLoop(RunLoop* runLoop)
{
    requireRunLoopThread("moveToRunLoop");
    if (!runLoop)
        return false;
    if (runLoop == theRunLoop)
        return true;
    beginRunLoopChange();
    if (theRunLoop)
        for (const QString& mode : theRunLoopModes)
            detachMode(*theRunLoop, mode);
    theRunLoop = runLoop;
    for (const QString& mode : theRunLoopModes)
        attachMode(*theRunLoop, mode);
    deferAfterModeChange();
    return true;
}
