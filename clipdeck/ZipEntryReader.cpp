#include "clipdeck/ZipEntryReader.h"

#include "clipdeck/ZipException.h"

#include <zlib.h>

#include <algorithm>

namespace {

constexpr qsizetype kInputSize = 64 * 1024;

} // namespace

struct ZipEntryReader::Inflater {
    z_stream stream{};
    bool initialised = false;
    ~Inflater()
    {
        if (initialised)
            inflateEnd(&stream);
    }
};

ZipEntryReader::ZipEntryReader(const QString& archivePath, const QString& entryName, const EntryData& entry)
    : entryName_(entryName), entry_(entry), file_(archivePath), compressedLeft_(entry.compressedSize)
{
    if (entry.method != 0 && entry.method != Z_DEFLATED)
        throw ZipException(QStringLiteral("Error in opening '%1': compression method %2 is not supported")
                               .arg(entryName)
                               .arg(entry.method));
    if (!file_.open(QIODevice::ReadOnly) || entry.dataPosition > uint64_t(file_.size())
        || !file_.seek(qint64(entry.dataPosition)))
        fail("Error in opening '%1' in the zipfile");
    if (entry.method == Z_DEFLATED) {
        inflater_ = std::make_unique<Inflater>();
        if (inflateInit2(&inflater_->stream, -MAX_WBITS) != Z_OK)
            fail("Error in opening '%1' in the zipfile");
        inflater_->initialised = true;
        input_.resize(kInputSize);
    }
}

ZipEntryReader::~ZipEntryReader() = default;

void ZipEntryReader::fail(const char* what) const { throw ZipException(QString::fromUtf8(what).arg(entryName_)); }

bool ZipEntryReader::refill()
{
    if (compressedLeft_ == 0)
        return false;
    const qint64 wanted = qint64(std::min<uint64_t>(compressedLeft_, uint64_t(input_.size())));
    if (file_.read(input_.data(), wanted) != wanted)
        fail("Error in reading '%1' in the zipfile"); // the archive ends early
    compressedLeft_ -= uint64_t(wanted);
    inflater_->stream.next_in = reinterpret_cast<Bytef*>(input_.data());
    inflater_->stream.avail_in = uInt(wanted);
    return true;
}

uint32_t ZipEntryReader::read(char* buffer, uint32_t capacity)
{
    if (ended_ || capacity == 0)
        return 0;
    uint32_t count = 0;
    if (!inflater_) {
        count = uint32_t(std::min<uint64_t>(capacity, compressedLeft_));
        if (count > 0 && file_.read(buffer, count) != qint64(count))
            fail("Error in reading '%1' in the zipfile");
        compressedLeft_ -= count;
        ended_ = compressedLeft_ == 0;
    } else {
        z_stream& stream = inflater_->stream;
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = capacity;
        while (stream.avail_out > 0 && !ended_) {
            if (stream.avail_in == 0 && !refill())
                fail("Error in reading '%1' in the zipfile"); // the deflated data stops short
            const int result = inflate(&stream, Z_NO_FLUSH);
            if (result == Z_STREAM_END)
                ended_ = true;
            else if (result != Z_OK)
                fail("Error in reading '%1' in the zipfile");
        }
        count = capacity - stream.avail_out;
    }
    produced_ += count;
    if (produced_ > entry_.length)
        fail("Error in reading '%1' in the zipfile"); // more data than the entry is long
    crc_ = uint32_t(crc32_z(crc_, reinterpret_cast<const Bytef*>(buffer), count));
    return count;
}

void ZipEntryReader::finish()
{
    if (ended_ && (produced_ != entry_.length || crc_ != entry_.crc32))
        fail("Error in closing '%1' in the zipfile");
}
