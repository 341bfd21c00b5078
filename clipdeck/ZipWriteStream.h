#pragma once
// The data of one new entry of a ZipFile being written. It borrows the archive's handle:
// the ZipFile stays open while the stream is used, and finishedWriting() comes before the
// next entry is opened. Failures throw ZipException.

#include <QByteArray>
#include <QString>

#include <cstdint>

class ZipWriteStream {
public:
    ZipWriteStream(void* zipFile, const QString& fileNameInZip) : zipFile_(zipFile), fileNameInZip_(fileNameInZip) {}

    QString fileNameInZip() const { return fileNameInZip_; }

    // Appends the bytes to the entry. Throws "Error in writing '%@' in the zipfile".
    void writeData(const char* bytes, uint32_t length);
    void writeData(const QByteArray& data);
    // Ends the entry. Throws "Error in closing '%@' in the zipfile" (an entry of 4 GiB or
    // more opened without zip64 fields fails here).
    void finishedWriting();

private:
    void* zipFile_;
    QString fileNameInZip_;
};
