// AsyncSocket: the read and write queues, their time-outs, and the TLS upgrade packets.
#include "remote/AsyncSocket.h"

#include "platform/network/SocketStream.h"
#include "platform/runloop/RunLoopTimer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
// The most bytes handed to the write stream at once.
constexpr size_t kWriteChunk = 4096;
} // namespace

// --- queueing

void AsyncSocket::queueRead(std::shared_ptr<AsyncReadPacket> packet)
{
    theReadQueue.push_back(std::move(packet));
    scheduleDequeueRead();
}

void AsyncSocket::readDataWithTimeout(double timeout, long tag)
{
    readDataWithTimeout(timeout, nullptr, 0, 0, tag);
}

void AsyncSocket::readDataWithTimeout(double timeout, std::shared_ptr<QByteArray> buffer, uint32_t offset, long tag)
{
    readDataWithTimeout(timeout, std::move(buffer), offset, 0, tag);
}

void AsyncSocket::readDataWithTimeout(double timeout, std::shared_ptr<QByteArray> buffer, uint32_t offset,
                                      uint32_t maxLength, long tag)
{
    if ((buffer && offset > uint32_t(buffer->size())) || has(kForbidReadsWrites))
        return;
    queueRead(std::make_shared<AsyncReadPacket>(std::move(buffer), offset, maxLength, timeout, 0, QByteArray(), tag));
}

void AsyncSocket::readDataToLength(uint32_t length, double timeout, long tag)
{
    readDataToLength(length, timeout, nullptr, 0, tag);
}

void AsyncSocket::readDataToLength(uint32_t length, double timeout, std::shared_ptr<QByteArray> buffer, uint32_t offset,
                                   long tag)
{
    if (length == 0 || (buffer && offset > uint32_t(buffer->size())) || has(kForbidReadsWrites))
        return;
    queueRead(std::make_shared<AsyncReadPacket>(std::move(buffer), offset, 0, timeout, length, QByteArray(), tag));
}

void AsyncSocket::readDataToData(const QByteArray& data, double timeout, long tag)
{
    readDataToData(data, timeout, nullptr, 0, 0, tag);
}

void AsyncSocket::readDataToData(const QByteArray& data, double timeout, std::shared_ptr<QByteArray> buffer,
                                 uint32_t offset, long tag)
{
    readDataToData(data, timeout, std::move(buffer), offset, 0, tag);
}

void AsyncSocket::readDataToData(const QByteArray& data, double timeout, uint32_t maxLength, long tag)
{
    readDataToData(data, timeout, nullptr, 0, maxLength, tag);
}

void AsyncSocket::readDataToData(const QByteArray& data, double timeout, std::shared_ptr<QByteArray> buffer,
                                 uint32_t offset, uint32_t maxLength, long tag)
{
    if (data.isEmpty() || (buffer && offset > uint32_t(buffer->size())) || (maxLength > 0 && maxLength < uint32_t(data.size()))
        || has(kForbidReadsWrites))
        return;
    // The separator is copied: the caller may change its own afterwards.
    QByteArray term(data.constData(), data.size());
    queueRead(std::make_shared<AsyncReadPacket>(std::move(buffer), offset, maxLength, timeout, 0, std::move(term), tag));
}

void AsyncSocket::writeData(const QByteArray& data, double timeout, long tag)
{
    if (data.isEmpty() || has(kForbidReadsWrites))
        return;
    theWriteQueue.push_back(std::make_shared<AsyncWritePacket>(data, timeout, tag));
    scheduleDequeueWrite();
}

void AsyncSocket::startTLS(const QVariantMap& tlsSettings)
{
    const auto packet = std::make_shared<AsyncSpecialPacket>(tlsSettings);
    theReadQueue.push_back(packet);
    theWriteQueue.push_back(packet);
    scheduleDequeueRead();
    scheduleDequeueWrite();
}

void AsyncSocket::enablePreBuffering()
{
    theFlags |= kEnablePreBuffering;
}

// --- dequeueing

void AsyncSocket::scheduleDequeueRead()
{
    if (has(kDequeueReadScheduled))
        return;
    theFlags |= kDequeueReadScheduled;
    perform(kMaybeDequeueRead);
}

void AsyncSocket::scheduleDequeueWrite()
{
    if (has(kDequeueWriteScheduled))
        return;
    theFlags |= kDequeueWriteScheduled;
    perform(kMaybeDequeueWrite);
}

void AsyncSocket::maybeDequeueRead()
{
    theFlags &= ~kDequeueReadScheduled;
    if (theCurrentRead || !theReadStream)
        return;
    if (!theReadQueue.empty()) {
        theCurrentRead = std::move(theReadQueue.front());
        theReadQueue.pop_front();
        if (theCurrentRead->isSpecial()) {
            theFlags |= kStartingReadTLS;
            maybeStartTLS();
            return;
        }
        const auto& packet = static_cast<const AsyncReadPacket&>(*theCurrentRead);
        if (packet.timeout >= 0.0)
            theReadTimer = makeTimer(packet.timeout, &AsyncSocket::doReadTimeout);
        doBytesAvailable();
    } else if (has(kDisconnectAfterReads)) {
        if (!has(kDisconnectAfterWrites) || (theWriteQueue.empty() && !theCurrentWrite))
            disconnect();
    }
}

void AsyncSocket::maybeDequeueWrite()
{
    theFlags &= ~kDequeueWriteScheduled;
    if (theCurrentWrite || !theWriteStream)
        return;
    if (!theWriteQueue.empty()) {
        theCurrentWrite = std::move(theWriteQueue.front());
        theWriteQueue.pop_front();
        if (theCurrentWrite->isSpecial()) {
            theFlags |= kStartingWriteTLS;
            maybeStartTLS();
            return;
        }
        const auto& packet = static_cast<const AsyncWritePacket&>(*theCurrentWrite);
        if (packet.timeout >= 0.0)
            theWriteTimer = makeTimer(packet.timeout, &AsyncSocket::doWriteTimeout);
        doSendBytes();
    } else if (has(kDisconnectAfterWrites)) {
        if (!has(kDisconnectAfterReads) || (theReadQueue.empty() && !theCurrentRead))
            disconnect();
    }
}

// --- reading

bool AsyncSocket::hasBytesAvailable() const
{
    return has(kSocketHasBytesAvailable) || !partialReadBuffer.isEmpty()
        || (theReadStream && theReadStream->hasBytesAvailable());
}

ssize_t AsyncSocket::readIntoBuffer(uint8_t* buffer, size_t length)
{
    if (!partialReadBuffer.isEmpty())
        return ssize_t(partialReadBuffer.take(buffer, length));
    theFlags &= ~kSocketHasBytesAvailable;
    return theReadStream->read(buffer, length);
}

void AsyncSocket::doBytesAvailable()
{
    if (!theCurrentRead || !theReadStream || theCurrentRead->isSpecial())
        return;
    // Held for the pass: a delegate may end the read from inside a message.
    const std::shared_ptr<AsyncReadPacket> packet = std::static_pointer_cast<AsyncReadPacket>(theCurrentRead);
    const size_t termLength = size_t(packet->term.size());
    bool done = false;
    bool error = false;
    bool maxedOut = false;
    size_t totalBytesRead = 0;

    while (!done && !error && !maxedOut && hasBytesAvailable()) {
        bool didPreBuffer = false;
        bool servedFromPreBuffer = false;
        bool foundInPreBuffer = false;
        size_t bytesToRead;
        if (packet->isTermRead()) {
            if (!partialReadBuffer.isEmpty()) {
                bytesToRead = packet->readLengthForTermWithPreBuffer(partialReadBuffer.data(), partialReadBuffer.size(),
                                                                     &foundInPreBuffer);
                servedFromPreBuffer = true;
            } else if (has(kEnablePreBuffering)) {
                bytesToRead = packet->prebufferReadLengthForTerm();
                didPreBuffer = true;
            } else {
                bytesToRead = packet->readLengthForTerm();
            }
        } else {
            bytesToRead = packet->readLengthForNonTerm();
        }

        // Grow the buffer by the shortfall only.
        const size_t needed = size_t(packet->startOffset) + packet->bytesDone + bytesToRead;
        if (size_t(packet->buffer->size()) < needed)
            packet->buffer->resize(qsizetype(needed));

        const ssize_t bytesRead = readIntoBuffer(packet->readStart() + packet->bytesDone, bytesToRead);
        if (bytesRead < 0) {
            error = true;
            break;
        }
        packet->bytesDone += uint32_t(bytesRead);
        totalBytesRead += size_t(bytesRead);

        if (packet->readLength > 0) {
            done = packet->bytesDone == packet->readLength;
        } else if (packet->isTermRead()) {
            if (didPreBuffer) {
                const long overflow = packet->searchForTermAfterPreBuffering(size_t(bytesRead));
                if (overflow >= 0) {
                    done = true;
                    // What follows the separator waits for the next read.
                    const uint8_t* behind = packet->readStart() + packet->bytesDone - size_t(overflow);
                    partialReadBuffer.append(behind, size_t(overflow));
                    packet->bytesDone -= uint32_t(overflow);
                    totalBytesRead -= size_t(overflow);
                }
            } else if (servedFromPreBuffer) {
                done = foundInPreBuffer;
            } else {
                done = packet->bytesDone >= termLength
                    && std::memcmp(packet->readStart() + packet->bytesDone - termLength, packet->term.constData(), termLength) == 0;
            }
            if (!done && packet->maxLength > 0 && packet->bytesDone >= packet->maxLength)
                maxedOut = true;
        } else if (packet->maxLength > 0 && packet->bytesDone >= packet->maxLength) {
            done = true;
        }
    }

    // A read of what is available takes everything that was there.
    if (!packet->isTermRead() && packet->readLength == 0 && packet->bytesDone > 0)
        done = true;

    if (done) {
        completeCurrentRead();
        if (!error)
            scheduleDequeueRead();
    } else if (totalBytesRead > 0 && theDelegate) {
        theDelegate->onSocketDidReadPartialDataOfLength(*this, totalBytesRead, packet->tag);
    }

    if (error)
        closeWithError(errorFromCFStreamError(theReadStream ? theReadStream->error() : StreamError{}));
    else if (maxedOut && !done)
        closeWithError(socketError(AsyncSocketReadMaxedOutError));
}

void AsyncSocket::completeCurrentRead()
{
    if (!theCurrentRead)
        throw NSInternalInconsistencyException("Trying to complete current read when there is no current read.");
    const std::shared_ptr<AsyncReadPacket> packet = std::static_pointer_cast<AsyncReadPacket>(theCurrentRead);
    QByteArray& buffer = *packet->buffer;
    QByteArray view;
    if (packet->bufferOwner) {
        // Handed over as it is: no copy.
        buffer.truncate(qsizetype(packet->bytesDone));
    } else {
        if (uint32_t(buffer.size()) > packet->originalBufferLength)
            buffer.resize(qsizetype(std::max(packet->startOffset + packet->bytesDone, packet->originalBufferLength)));
        view = QByteArray::fromRawData(buffer.constData() + packet->startOffset, qsizetype(packet->bytesDone));
    }
    if (theDelegate)
        theDelegate->onSocketDidReadData(*this, packet->bufferOwner ? buffer : view, packet->tag);
    if (theCurrentRead == packet)
        endCurrentRead();
}

void AsyncSocket::endCurrentRead()
{
    if (!theCurrentRead)
        throw NSInternalInconsistencyException("Trying to end current read when there is no current read.");
    theReadTimer.reset();
    theCurrentRead.reset();
}

template <class Packet>
void AsyncSocket::doTimeout(std::shared_ptr<AsyncPacket>& current, std::unique_ptr<RunLoopTimer>& timer,
                            double (AsyncSocketDelegate::*shouldTimeout)(AsyncSocket&, long, double, size_t),
                            void (AsyncSocket::*again)(), AsyncSocketError code)
{
    timer.reset();
    if (!current || current->isSpecial())
        return;
    const std::shared_ptr<Packet> packet = std::static_pointer_cast<Packet>(current);
    const double extension = theDelegate ? (theDelegate->*shouldTimeout)(*this, packet->tag, packet->timeout, packet->bytesDone) : 0.0;
    if (extension <= 0.0) {
        closeWithError(socketError(code));
    } else if (current == packet) {
        // The next time-out reports the whole time allowed so far.
        packet->timeout += extension;
        timer = makeTimer(extension, again);
    }
}

void AsyncSocket::doReadTimeout()
{
    doTimeout<AsyncReadPacket>(theCurrentRead, theReadTimer, &AsyncSocketDelegate::onSocketShouldTimeoutReadWithTag,
                               &AsyncSocket::doReadTimeout, AsyncSocketReadTimeoutError);
}

// --- writing

bool AsyncSocket::canAcceptBytes() const
{
    return has(kSocketCanAcceptBytes) || (theWriteStream && theWriteStream->canAcceptBytes());
}

void AsyncSocket::doSendBytes()
{
    if (!theCurrentWrite || !theWriteStream || theCurrentWrite->isSpecial())
        return;
    const std::shared_ptr<AsyncWritePacket> packet = std::static_pointer_cast<AsyncWritePacket>(theCurrentWrite);
    const auto* bytes = reinterpret_cast<const uint8_t*>(packet->buffer.constData());
    const size_t length = size_t(packet->buffer.size());
    bool done = false;
    bool error = false;
    size_t totalBytesWritten = 0;
    while (!done && !error && canAcceptBytes()) {
        const size_t count = std::min(length - packet->bytesDone, kWriteChunk);
        const ssize_t written = theWriteStream->write(bytes + packet->bytesDone, count);
        theFlags &= ~kSocketCanAcceptBytes;
        if (written < 0) {
            error = true;
        } else {
            packet->bytesDone += uint32_t(written);
            totalBytesWritten += size_t(written);
            done = packet->bytesDone == length;
        }
    }
    if (done) {
        completeCurrentWrite();
        scheduleDequeueWrite();
    } else if (error) {
        closeWithError(errorFromCFStreamError(theWriteStream->error()));
    } else if (totalBytesWritten > 0 && theDelegate) {
        theDelegate->onSocketDidWritePartialDataOfLength(*this, totalBytesWritten, packet->tag);
    }
}

void AsyncSocket::completeCurrentWrite()
{
    if (!theCurrentWrite)
        throw NSInternalInconsistencyException("Trying to complete current write when there is no current write.");
    const std::shared_ptr<AsyncPacket> packet = theCurrentWrite;
    if (theDelegate)
        theDelegate->onSocketDidWriteDataWithTag(*this, static_cast<const AsyncWritePacket&>(*packet).tag);
    if (theCurrentWrite == packet)
        endCurrentWrite();
}

void AsyncSocket::endCurrentWrite()
{
    if (!theCurrentWrite)
        throw NSInternalInconsistencyException("Trying to end current write when there is no current write.");
    theWriteTimer.reset();
    theCurrentWrite.reset();
}

void AsyncSocket::doWriteTimeout()
{
    doTimeout<AsyncWritePacket>(theCurrentWrite, theWriteTimer, &AsyncSocketDelegate::onSocketShouldTimeoutWriteWithTag,
                                &AsyncSocket::doWriteTimeout, AsyncSocketWriteTimeoutError);
}

// --- TLS

void AsyncSocket::maybeStartTLS()
{
    if (!has(kStartingReadTLS) || !has(kStartingWriteTLS))
        return;
    const auto& packet = static_cast<const AsyncSpecialPacket&>(*theCurrentRead);
    // Our streams offer no TLS and refuse the settings: the connection cannot go on.
    if (!theReadStream->setSSLSettings(packet.tlsSettings) || !theWriteStream->setSSLSettings(packet.tlsSettings))
        closeWithError(socketError(AsyncSocketCFSocketError));
}

void AsyncSocket::onTLSHandshakeSuccessful()
{
    if (!has(kStartingReadTLS) || !has(kStartingWriteTLS))
        return;
    theFlags &= ~(kStartingReadTLS | kStartingWriteTLS);
    if (theDelegate)
        theDelegate->onSocketDidSecure(*this);
    if (theCurrentRead)
        endCurrentRead();
    if (theCurrentWrite)
        endCurrentWrite();
    scheduleDequeueRead();
    scheduleDequeueWrite();
}

// --- emptying, recovering, progress

void AsyncSocket::emptyQueues()
{
    if (theCurrentRead)
        endCurrentRead();
    if (theCurrentWrite)
        endCurrentWrite();
    theReadQueue.clear();
    theWriteQueue.clear();
    cancelDeferred(kMaybeDequeueRead);
    cancelDeferred(kMaybeDequeueWrite);
    theFlags &= ~(kDequeueReadScheduled | kDequeueWriteScheduled);
}

void AsyncSocket::recoverUnreadData()
{
    if (theCurrentRead && !theCurrentRead->isSpecial()) {
        auto& packet = static_cast<AsyncReadPacket&>(*theCurrentRead);
        if (packet.bytesDone > 0)
            partialReadBuffer.prepend(packet.readStart(), packet.bytesDone);
    }
    emptyQueues();
}

QByteArray AsyncSocket::unreadData()
{
    if (!has(kClosingWithError) || !theReadStream)
        return {};
    uint8_t chunk[AsyncReadPacket::kChunk];
    while (theReadStream->hasBytesAvailable()) {
        const ssize_t count = theReadStream->read(chunk, sizeof chunk);
        if (count <= 0)
            break;
        partialReadBuffer.append(chunk, size_t(count));
    }
    return partialReadBuffer.toByteArray();
}

namespace {
// Hands out a packet's progress (each out-pointer optional) and answers the fraction done;
// with no packet, zeros and NaN.
float reportProgress(long tag, uint32_t done, uint32_t total, float fraction, long* tagOut, uint32_t* doneOut,
                     uint32_t* totalOut)
{
    if (tagOut)
        *tagOut = tag;
    if (doneOut)
        *doneOut = done;
    if (totalOut)
        *totalOut = total;
    return fraction;
}
const float kNoProgress = std::numeric_limits<float>::quiet_NaN();
} // namespace

float AsyncSocket::progressOfReadReturningTag(long* tag, uint32_t* done, uint32_t* total) const
{
    if (!theCurrentRead || theCurrentRead->isSpecial())
        return reportProgress(0, 0, 0, kNoProgress, tag, done, total);
    const auto& packet = static_cast<const AsyncReadPacket&>(*theCurrentRead);
    const float fraction = packet.readLength > 0 ? float(packet.bytesDone) / float(packet.readLength) : 1.0f;
    return reportProgress(packet.tag, packet.bytesDone, packet.readLength, fraction, tag, done, total);
}

float AsyncSocket::progressOfWriteReturningTag(long* tag, uint32_t* done, uint32_t* total) const
{
    if (!theCurrentWrite || theCurrentWrite->isSpecial())
        return reportProgress(0, 0, 0, kNoProgress, tag, done, total);
    const auto& packet = static_cast<const AsyncWritePacket&>(*theCurrentWrite);
    const auto length = uint32_t(packet.buffer.size());
    return reportProgress(packet.tag, packet.bytesDone, length, float(packet.bytesDone) / float(length), tag, done, total);
}
