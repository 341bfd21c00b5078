#include "remote/PartialReadBuffer.h"

#include <algorithm>
#include <cstring>

void PartialReadBuffer::append(const uint8_t* bytes, size_t length)
{
    if (length == 0)
        return;
    if (start_ > 0 && size_t(bytes_.size()) + length > size_t(bytes_.capacity())) {
        copied_ += size();
        bytes_.remove(0, qsizetype(start_));
        start_ = 0;
    }
    bytes_.append(reinterpret_cast<const char*>(bytes), qsizetype(length));
    copied_ += length;
}

void PartialReadBuffer::prepend(const uint8_t* bytes, size_t length)
{
    if (length == 0)
        return;
    if (start_ >= length) {
        start_ -= length;
        std::memcpy(bytes_.data() + start_, bytes, length);
    } else {
        copied_ += size();
        bytes_.remove(0, qsizetype(start_));
        start_ = 0;
        bytes_.prepend(reinterpret_cast<const char*>(bytes), qsizetype(length));
    }
    copied_ += length;
}

size_t PartialReadBuffer::take(uint8_t* destination, size_t length)
{
    const size_t count = std::min(length, size());
    std::memcpy(destination, data(), count);
    copied_ += count;
    start_ += count;
    if (start_ == size_t(bytes_.size()))
        clear();
    return count;
}

void PartialReadBuffer::clear()
{
    bytes_.resize(0);
    start_ = 0;
}

QByteArray PartialReadBuffer::toByteArray() const
{
    return QByteArray(reinterpret_cast<const char*>(data()), qsizetype(size()));
}
