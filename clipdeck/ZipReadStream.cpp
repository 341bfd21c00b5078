#include "clipdeck/ZipReadStream.h"

#include "clipdeck/ZipEntryReader.h"
#include "clipdeck/ZipException.h"

#include <minizip/unzip.h>

namespace {

QString withName(const char* text, const QString& name) { return QString::fromUtf8(text).arg(name); }

} // namespace

ZipReadStream::ZipReadStream(void* unzFile, const QString& fileNameInZip)
    : unzFile_(unzFile), fileNameInZip_(fileNameInZip)
{
}

ZipReadStream::ZipReadStream(std::unique_ptr<ZipEntryReader> reader, const QString& fileNameInZip)
    : reader_(std::move(reader)), fileNameInZip_(fileNameInZip)
{
}

ZipReadStream::~ZipReadStream() = default;

uint32_t ZipReadStream::readDataWithBuffer(char* buffer, uint32_t capacity)
{
    if (reader_)
        return reader_->read(buffer, capacity);
    const int count = unzReadCurrentFile(unzFile_, buffer, capacity);
    if (count < 0)
        throw ZipException(count, withName("Error in reading '%1' in the zipfile", fileNameInZip_));
    return uint32_t(count);
}

uint32_t ZipReadStream::readDataWithBuffer(QByteArray& buffer)
{
    return readDataWithBuffer(buffer.data(), uint32_t(buffer.size()));
}

void ZipReadStream::finishedReading()
{
    if (reader_) {
        reader_->finish();
        return;
    }
    const int error = unzCloseCurrentFile(unzFile_);
    if (error != UNZ_OK)
        throw ZipException(error, withName("Error in closing '%1' in the zipfile", fileNameInZip_));
}
