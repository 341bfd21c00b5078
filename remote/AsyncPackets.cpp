#include "remote/AsyncPackets.h"

#include "remote/AsyncSocketException.h"

#include <algorithm>
#include <cstring>

AsyncReadPacket::AsyncReadPacket(std::shared_ptr<QByteArray> callerBuffer, uint32_t start, uint32_t max, double timeoutSeconds,
                                 uint32_t length, QByteArray separator, long packetTag)
    : buffer(std::move(callerBuffer)), startOffset(start), maxLength(max), timeout(timeoutSeconds), readLength(length),
      term(std::move(separator)), bufferOwner(!buffer), originalBufferLength(0), tag(packetTag)
{
    if (bufferOwner) {
        buffer = std::make_shared<QByteArray>();
        startOffset = 0;
    } else {
        originalBufferLength = uint32_t(buffer->size());
    }
}

size_t AsyncReadPacket::cut(size_t count) const
{
    if (maxLength > 0)
        count = std::min(count, size_t(maxLength > bytesDone ? maxLength - bytesDone : 0));
    if (!bufferOwner && uint32_t(buffer->size()) == originalBufferLength) {
        const size_t used = size_t(startOffset) + bytesDone;
        const size_t room = size_t(buffer->size()) > used ? size_t(buffer->size()) - used : 0;
        if (room > 0)
            count = std::min(count, room);
    }
    return count;
}

size_t AsyncReadPacket::readLengthForNonTerm() const
{
    if (isTermRead())
        throw NSInternalInconsistencyException("This method does not apply to term reads");
    if (readLength > 0)
        return readLength - bytesDone;
    return cut(kChunk);
}

size_t AsyncReadPacket::prebufferReadLengthForTerm() const
{
    if (!isTermRead())
        throw NSInternalInconsistencyException("This method does not apply to non-term reads");
    return cut(kChunk);
}

size_t AsyncReadPacket::readLengthForTerm() const
{
    if (!isTermRead())
        throw NSInternalInconsistencyException("This method does not apply to non-term reads");
    const size_t L = size_t(term.size());
    size_t result = L;
    if (bytesDone > 0 && L > 1) {
        // Does a tail of what was read begin the separator? Then only the rest is needed.
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(buffer->constData()) + startOffset;
        size_t j = std::min(size_t(bytesDone), L - 1);
        for (size_t i = bytesDone - j; i < bytesDone; ++i, --j) {
            if (std::memcmp(bytes + i, term.constData(), j) == 0) {
                result = L - j;
                break;
            }
        }
    }
    return cut(result);
}

size_t AsyncReadPacket::readLengthForTermWithPreBuffer(const uint8_t* preBuffer, size_t length, bool* found) const
{
    if (!isTermRead())
        throw NSInternalInconsistencyException("This method does not apply to non-term reads");
    if (length == 0)
        throw NSInternalInconsistencyException("Invoked with empty pre buffer!");
    *found = false;
    const long L = long(term.size());
    const long P = long(length);
    if (long(bytesDone) + P < L)
        return size_t(P);
    // The read-ahead bytes this read may still take.
    const long M = maxLength > 0 ? std::min(P, long(maxLength) - long(bytesDone)) : P;
    const long b = std::min(long(bytesDone), L - 1);
    const uint8_t* done = reinterpret_cast<const uint8_t*>(buffer->constData()) + startOffset + bytesDone;
    const auto* separator = reinterpret_cast<const uint8_t*>(term.constData());
    // Candidate starts s, relative to the read-ahead bytes: a negative s begins the separator
    // in bytes this read already holds.
    for (long s = -b; s <= M - L; ++s) {
        bool match;
        if (s < 0) {
            match = std::memcmp(done + s, separator, size_t(-s)) == 0
                && std::memcmp(preBuffer, separator - s, size_t(L + s)) == 0;
        } else {
            match = std::memcmp(preBuffer + s, separator, size_t(L)) == 0;
        }
        if (match) {
            *found = true;
            return size_t(s + L);
        }
    }
    // Not found: take what the maximum allows (all of them when there is none).
    return size_t(std::max(M, 0L));
}

long AsyncReadPacket::searchForTermAfterPreBuffering(size_t numBytes) const
{
    if (numBytes > bytesDone)
        throw NSInternalInconsistencyException("Invoked with invalid numBytes!");
    const size_t L = size_t(term.size());
    const size_t previous = bytesDone - numBytes;
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(buffer->constData()) + startOffset;
    for (size_t i = previous >= L ? previous - L + 1 : 0; i + L <= bytesDone; ++i)
        if (std::memcmp(bytes + i, term.constData(), L) == 0)
            return long(bytesDone - (i + L));
    return -1;
}
