#pragma once
// The bytes an AsyncSocket has read from its stream ahead of need, served first to the next
// read. Taking from the front moves an offset instead of the bytes behind it; the storage is
// compacted only when an append would otherwise grow it.
//
// Threads: the socket's (main) thread only.

#include <QByteArray>

#include <cstddef>
#include <cstdint>

class PartialReadBuffer {
public:
    PartialReadBuffer() { bytes_.reserve(256); }

    size_t size() const { return size_t(bytes_.size()) - start_; }
    bool isEmpty() const { return size() == 0; }
    const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(bytes_.constData()) + start_; }

    void append(const uint8_t* bytes, size_t length);
    void prepend(const uint8_t* bytes, size_t length);
    // Copies up to length bytes from the front into destination and removes them; answers
    // the count.
    size_t take(uint8_t* destination, size_t length);
    void clear();
    // The held bytes as one block.
    QByteArray toByteArray() const;

    // Bytes copied into, out of and within every such buffer since the process started:
    // what the benchmark reports as the read path's copying.
    static uint64_t bytesCopied() { return copied_; }

private:
    QByteArray bytes_;
    size_t start_ = 0;
    static inline uint64_t copied_ = 0;
};
