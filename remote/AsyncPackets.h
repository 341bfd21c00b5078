#pragma once
// The packets of an AsyncSocket's read and write queues. A read packet knows how many bytes
// to ask the stream for next and where its separator lies; the socket does the reading.
//
// Threads: the socket's (main) thread only.

#include <QByteArray>
#include <QVariantMap>

#include <cstddef>
#include <cstdint>
#include <memory>

// What both queues hold: read or write packets, and the special packet that asks for a TLS
// upgrade between two reads and two writes.
struct AsyncPacket {
    virtual ~AsyncPacket() = default;
    virtual bool isSpecial() const { return false; }
};

struct AsyncSpecialPacket final : AsyncPacket {
    explicit AsyncSpecialPacket(QVariantMap settings) : tlsSettings(std::move(settings)) {}
    bool isSpecial() const override { return true; }
    QVariantMap tlsSettings;
};

// One read: of what is available (no separator, no length), to a length, or to and
// including a separator (term).
class AsyncReadPacket final : public AsyncPacket {
public:
    // Bytes asked for at once by a read of what is available and by a pre-buffered separator read.
    static constexpr size_t kChunk = 256;

    // buffer null: the packet makes its own. term empty: not a separator read.
    AsyncReadPacket(std::shared_ptr<QByteArray> buffer, uint32_t startOffset, uint32_t maxLength, double timeout,
                    uint32_t readLength, QByteArray term, long tag);

    bool isTermRead() const { return !term.isEmpty(); }

    // Counts to ask the stream for (each throws NSInternalInconsistencyException when it does
    // not apply to the packet's kind).
    size_t readLengthForNonTerm() const;
    size_t prebufferReadLengthForTerm() const;
    // Without read-ahead: never reads past the separator.
    size_t readLengthForTerm() const;
    // Served from read-ahead bytes (preBuffer, length > 0): how many of them to take, and
    // whether the separator ends within them.
    size_t readLengthForTermWithPreBuffer(const uint8_t* preBuffer, size_t length, bool* found) const;
    // After a pre-buffered read of numBytes: the bytes read past the separator (0 when it
    // ends the data), or -1 when it has not come yet.
    long searchForTermAfterPreBuffering(size_t numBytes) const;

    // The first byte of this read's bytes in the buffer.
    uint8_t* readStart() { return reinterpret_cast<uint8_t*>(buffer->data()) + startOffset; }

    std::shared_ptr<QByteArray> buffer;
    uint32_t startOffset;
    uint32_t bytesDone = 0;
    uint32_t maxLength;
    double timeout;
    uint32_t readLength;
    QByteArray term;
    bool bufferOwner;
    uint32_t originalBufferLength;
    long tag;

private:
    // Cuts count by the maximum and by the room of an unchanged caller's buffer.
    size_t cut(size_t count) const;
};

struct AsyncWritePacket final : AsyncPacket {
    AsyncWritePacket(QByteArray data, double timeout, long tag) : buffer(std::move(data)), timeout(timeout), tag(tag) {}
    // Shared with the caller, not copied: the caller leaves it alone while it is queued.
    QByteArray buffer;
    uint32_t bytesDone = 0;
    double timeout;
    long tag;
};
