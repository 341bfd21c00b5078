#include "clipdeck/ZipWriteStream.h"

#include "clipdeck/ZipException.h"

#include <minizip/zip.h>

namespace {

QString withName(const char* text, const QString& name) { return QString::fromUtf8(text).arg(name); }

} // namespace

void ZipWriteStream::writeData(const char* bytes, uint32_t length)
{
    const int error = zipWriteInFileInZip(zipFile_, bytes, length);
    if (error < 0)
        throw ZipException(error, withName("Error in writing '%1' in the zipfile", fileNameInZip_));
}

void ZipWriteStream::writeData(const QByteArray& data) { writeData(data.constData(), uint32_t(data.size())); }

void ZipWriteStream::finishedWriting()
{
    const int error = zipCloseFileInZip(zipFile_);
    if (error != ZIP_OK)
        throw ZipException(error, withName("Error in closing '%1' in the zipfile", fileNameInZip_));
}
