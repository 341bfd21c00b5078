#pragma once
// What an archive says of one entry (ZipFile::getCurrentFileInZipInfo()). Plain value.
//
// Sizes are 64-bit: entries of 4 GiB or more are described by their zip64 fields.

#include <QDateTime>
#include <QString>

#include <cstdint>

class FileInZipInfo {
public:
    FileInZipInfo() = default;
    FileInZipInfo(const QString& name, uint64_t length, int32_t level, bool crypted, uint64_t size,
                  const QDateTime& date, uint32_t crc32)
        : name_(name), length_(length), level_(level), crypted_(crypted), size_(size), date_(date), crc32_(crc32)
    {
    }

    // The entry's name, decoded as UTF-8, whole whatever its length.
    QString name() const { return name_; }
    // Uncompressed size in bytes.
    uint64_t length() const { return length_; }
    // 0 for a stored entry; for a deflated one -1 (default), 9 (best) or 1 (fast), as its
    // flags tell.
    int32_t level() const { return level_; }
    bool crypted() const { return crypted_; }
    // Compressed size in bytes.
    uint64_t size() const { return size_; }
    // The entry's time, read in the local time zone (zip times carry none).
    QDateTime date() const { return date_; }
    uint32_t crc32() const { return crc32_; }

private:
    QString name_;
    uint64_t length_ = 0;
    int32_t level_ = 0;
    bool crypted_ = false;
    uint64_t size_ = 0;
    QDateTime date_;
    uint32_t crc32_ = 0;
};
