#pragma once
// The data of the current entry of a ZipFile opened for unzipping. It borrows the archive's
// handle: the ZipFile stays open and on this entry while the stream is used, and
// finishedReading() comes before the current entry moves. Failures throw ZipException.
//
// Entries are read through minizip; zip64 entries, whose 64-bit fields the system's
// minizip misreads, through a reader of our own (ZipEntryReader.h).

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class ZipEntryReader;

class ZipReadStream {
public:
    // An entry minizip has opened as the current one.
    ZipReadStream(void* unzFile, const QString& fileNameInZip);
    // An entry read by reader.
    ZipReadStream(std::unique_ptr<ZipEntryReader> reader, const QString& fileNameInZip);
    ~ZipReadStream();

    QString fileNameInZip() const { return fileNameInZip_; }

    // Reads the next bytes of the entry into buffer, up to its size; answers how many, 0 at
    // the end of the entry. Throws "Error in reading '%@' in the zipfile" (a damaged or
    // truncated archive).
    uint32_t readDataWithBuffer(char* buffer, uint32_t capacity);
    uint32_t readDataWithBuffer(QByteArray& buffer);
    // Ends reading; when the whole entry was read its CRC-32 is checked. Throws "Error in
    // closing '%@' in the zipfile" on a mismatch.
    void finishedReading();

private:
    void* unzFile_ = nullptr;
    std::unique_ptr<ZipEntryReader> reader_;
    QString fileNameInZip_;
};
