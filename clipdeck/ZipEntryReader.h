#pragma once
// Reads the data of one archive entry straight from the archive file, stored or deflated
// (through zlib), checking its length and CRC-32 at the end. ZipReadStream uses it for
// zip64 entries (4 GiB or more, or lying 4 GiB or more into the archive): the system's
// minizip reads their 64-bit sizes and offsets wrongly on 64-bit machines and would stop
// short or look in the wrong place.
//
// Failures throw ZipException. One thread at a time.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <memory>

struct EntryData {
    uint64_t dataPosition = 0;   // of the entry's first byte of data, in the archive file
    uint64_t compressedSize = 0;
    uint64_t length = 0;         // uncompressed
    uint16_t method = 0;         // 0 stored, 8 deflated
    uint32_t crc32 = 0;
};

class ZipEntryReader {
public:
    ZipEntryReader(const QString& archivePath, const QString& entryName, const EntryData& entry);
    ~ZipEntryReader();
    ZipEntryReader(const ZipEntryReader&) = delete;
    ZipEntryReader& operator=(const ZipEntryReader&) = delete;

    // Up to capacity bytes of the entry's data; 0 at its end.
    uint32_t read(char* buffer, uint32_t capacity);
    // Checks the length and CRC-32 when the whole entry was read.
    void finish();

private:
    [[noreturn]] void fail(const char* what) const;
    // Refills the compressed input; false when the entry's compressed data is used up.
    bool refill();

    QString entryName_;
    EntryData entry_;
    QFile file_;
    QByteArray input_;
    struct Inflater;
    std::unique_ptr<Inflater> inflater_;
    uint64_t compressedLeft_;
    uint64_t produced_ = 0;
    uint32_t crc_ = 0;
    bool ended_ = false;
};
