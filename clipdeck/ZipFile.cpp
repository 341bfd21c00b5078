#include "clipdeck/ZipFile.h"

#include "clipdeck/ZipEntryReader.h"
#include "clipdeck/ZipException.h"

#include <QFile>

#include <algorithm>
#include <optional>
#include <utility>

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

namespace {

QString withPath(const char* text, const QString& path) { return QString::fromUtf8(text).arg(path); }

constexpr uint64_t kFull32 = 0xFFFFFFFFu; // a 32-bit field that says "see the zip64 field"

uint16_t uint16At(const QByteArray& bytes, qsizetype at) { return uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8; }

uint64_t uint64At(const QByteArray& bytes, qsizetype at)
{
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = value << 8 | uint8_t(bytes[at + i]);
    return value;
}

// An archive of no entries is its end record alone, which minizip's search for that record
// misses (it never looks at the file's first byte).
bool isEmptyArchive(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 22 || file.size() > 22 + 0xFFFF)
        return false;
    const QByteArray record = file.readAll();
    return record.startsWith("PK\x05\x06") && uint16At(record, 8) == 0 && uint16At(record, 10) == 0
        && uint16At(record, 20) == record.size() - 22;
}

} // namespace

struct ZipFile::CurrentEntry {
    QString name;
    unz_file_info64 info{};
    uint64_t length = 0;
    uint64_t size = 0;
    std::optional<uint64_t> zip64Offset; // of the local header, when it lies beyond 32 bits
    bool zip64 = false;
};

ZipFile::ZipFile(const QString& fileName, int32_t mode) : fileName_(fileName), mode_(mode)
{
    const QByteArray path = QFile::encodeName(fileName);
    switch (mode) {
    case kModeUnzip:
        unzFile_ = unzOpen64(path.constData());
        break;
    case kModeCreate:
        zipFile_ = zipOpen64(path.constData(), APPEND_STATUS_CREATE);
        break;
    case kModeAppend:
        zipFile_ = zipOpen64(path.constData(), APPEND_STATUS_ADDINZIP);
        break;
    default:
        throw ZipException(QStringLiteral("Unknown mode %1").arg(mode));
    }
    if (!unzFile_ && !zipFile_ && !(mode == kModeUnzip && (emptyArchive_ = isEmptyArchive(fileName))))
        throw ZipException(withPath("Can't open '%1'", fileName));
}

ZipFile::~ZipFile()
{
    try {
        close();
    } catch (const ZipException&) {
        // A destructor has nobody to tell; callers that care close() themselves.
    }
}

// ---- Writing ----

std::unique_ptr<ZipWriteStream> ZipFile::writeFileInZipWithName(const QString& name, int32_t compressionLevel)
{
    return writeFileInZipWithName(name, QDateTime::currentDateTime(), compressionLevel);
}

std::unique_ptr<ZipWriteStream> ZipFile::writeFileInZipWithName(const QString& name, const QDateTime& fileDate,
                                                                int32_t compressionLevel, bool zip64)
{
    if (mode_ == kModeUnzip)
        throw ZipException(QStringLiteral("Operation not permitted with Unzip mode"));

    const QDateTime local = fileDate.toLocalTime();
    zip_fileinfo info{};
    info.tmz_date.tm_sec = uInt(local.time().second());
    info.tmz_date.tm_min = uInt(local.time().minute());
    info.tmz_date.tm_hour = uInt(local.time().hour());
    info.tmz_date.tm_mday = uInt(local.date().day());
    info.tmz_date.tm_mon = uInt(local.date().month() - 1);
    info.tmz_date.tm_year = uInt(local.date().year());

    const QByteArray entryName = name.toUtf8();
    const int error = zipOpenNewFileInZip3_64(zipFile_, entryName.constData(), &info, nullptr, 0, nullptr, 0, nullptr,
                                              compressionLevel != 0 ? Z_DEFLATED : 0, compressionLevel, 0, -MAX_WBITS,
                                              8, Z_DEFAULT_STRATEGY, nullptr, 0, zip64 ? 1 : 0);
    if (error != ZIP_OK)
        throw ZipException(error, withPath("Error in opening '%1' in zipfile", name));
    return std::make_unique<ZipWriteStream>(zipFile_, name);
}

// ---- Reading ----

void ZipFile::requireUnzipMode() const
{
    if (mode_ != kModeUnzip)
        throw ZipException(QStringLiteral("Operation not permitted without Unzip mode"));
}

uint64_t ZipFile::numFilesInZip()
{
    requireUnzipMode();
    if (emptyArchive_)
        return 0;
    unz_global_info64 info{};
    const int error = unzGetGlobalInfo64(unzFile_, &info);
    if (error != UNZ_OK)
        throw ZipException(error, withPath("Error in getting global info in '%1'", fileName_));
    return info.number_entry;
}

QList<FileInZipInfo> ZipFile::listFileInZipInfos()
{
    const uint64_t count = numFilesInZip();
    QList<FileInZipInfo> infos;
    if (count < 1)
        return infos;
    goToFirstFileInZip();
    for (uint64_t i = 0; i < count; ++i) {
        infos.append(getCurrentFileInZipInfo());
        if (i + 1 < count && !goToNextFileInZip())
            break; // the directory holds fewer entries than the archive's end record says
    }
    return infos;
}

void ZipFile::goToFirstFileInZip()
{
    requireUnzipMode();
    const int error = unzGoToFirstFile(unzFile_);
    if (error != UNZ_OK)
        throw ZipException(error, withPath("Error in going to first file in zip in '%1'", fileName_));
}

bool ZipFile::goToNextFileInZip()
{
    requireUnzipMode();
    if (emptyArchive_)
        return false;
    const int error = unzGoToNextFile(unzFile_);
    if (error == UNZ_END_OF_LIST_OF_FILE)
        return false;
    if (error != UNZ_OK)
        throw ZipException(error, withPath("Error in going to next file in zip in '%1'", fileName_));
    return true;
}

bool ZipFile::locateFileInZip(const QString& name)
{
    // minizip's own search compares at most 256 bytes of each stored name, so a longer name
    // would never be found: walk the entries and compare whole names.
    requireUnzipMode();
    if (numFilesInZip() == 0)
        return false;
    const QByteArray wanted = name.toUtf8();
    unz64_file_pos start{};
    const bool hadCurrent = unzGetFilePos64(unzFile_, &start) == UNZ_OK;
    goToFirstFileInZip();
    do {
        unz_file_info64 info{};
        const int error = unzGetCurrentFileInfo64(unzFile_, &info, nullptr, 0, nullptr, 0, nullptr, 0);
        if (error != UNZ_OK)
            throw ZipException(error, withPath("Error in going to next file in zip in '%1'", fileName_));
        if (info.size_filename == uLong(wanted.size())
            && currentEntry("Error in going to next file in zip in '%1'").name.toUtf8() == wanted)
            return true;
    } while (goToNextFileInZip());
    if (hadCurrent)
        unzGoToFilePos64(unzFile_, &start);
    return false;
}

ZipFile::CurrentEntry ZipFile::currentEntry(const char* failure)
{
    CurrentEntry entry;
    int error = unzGetCurrentFileInfo64(unzFile_, &entry.info, nullptr, 0, nullptr, 0, nullptr, 0);
    if (error == UNZ_OK) {
        QByteArray name(qsizetype(entry.info.size_filename) + 1, '\0');
        QByteArray extra(qsizetype(entry.info.size_file_extra), '\0');
        error = unzGetCurrentFileInfo64(unzFile_, &entry.info, name.data(), uLong(name.size()),
                                        extra.isEmpty() ? nullptr : extra.data(), uLong(extra.size()), nullptr, 0);
        if (error == UNZ_OK) {
            name.truncate(qsizetype(entry.info.size_filename));
            entry.name = QString::fromUtf8(name);
            entry.length = entry.info.uncompressed_size;
            entry.size = entry.info.compressed_size;
            // The zip64 field holds, in this order, the values whose 32-bit fields are full.
            const bool lengthFull = entry.length >= kFull32, sizeFull = entry.size >= kFull32;
            for (qsizetype at = 0; at + 4 <= extra.size();) {
                const qsizetype end = std::min<qsizetype>(at + 4 + uint16At(extra, at + 2), extra.size());
                if (uint16At(extra, at) == 0x0001) {
                    qsizetype field = at + 4;
                    if (lengthFull && field + 8 <= end)
                        entry.length = uint64At(extra, std::exchange(field, field + 8));
                    if (sizeFull && field + 8 <= end)
                        entry.size = uint64At(extra, std::exchange(field, field + 8));
                    if (field + 8 <= end)
                        entry.zip64Offset = uint64At(extra, field);
                    break;
                }
                at = end;
            }
            entry.zip64 = lengthFull || sizeFull || entry.zip64Offset;
            return entry;
        }
    }
    throw ZipException(error, withPath(failure, fileName_));
}

FileInZipInfo ZipFile::getCurrentFileInZipInfo()
{
    requireUnzipMode();
    const CurrentEntry entry = currentEntry("Error in getting current file info in '%1'");
    const unz_file_info64& info = entry.info;

    int32_t level = 0;
    if (info.compression_method != 0) {
        switch ((info.flag & 0x6) >> 1) {
        case 0: level = -1; break;
        case 1: level = 9; break;
        default: level = 1; break;
        }
    }
    const QDate day(int(info.tmu_date.tm_year), int(info.tmu_date.tm_mon) + 1, int(info.tmu_date.tm_mday));
    const QTime time(int(info.tmu_date.tm_hour), int(info.tmu_date.tm_min), int(info.tmu_date.tm_sec));
    return FileInZipInfo(entry.name, entry.length, level, (info.flag & 1) != 0, entry.size, QDateTime(day, time),
                         uint32_t(info.crc));
}

std::unique_ptr<ZipReadStream> ZipFile::readCurrentFileInZip()
{
    requireUnzipMode();
    const CurrentEntry entry = currentEntry("Error in getting current file info in '%1'");
    if (!entry.zip64) {
        const int error = unzOpenCurrentFile(unzFile_);
        if (error != UNZ_OK)
            throw ZipException(error, withPath("Error in opening current file in '%1'", fileName_));
        return std::make_unique<ZipReadStream>(unzFile_, entry.name);
    }
    if (entry.info.flag & 1)
        throw ZipException(withPath("Error in opening current file in '%1'", fileName_)); // encrypted
    EntryData data;
    data.dataPosition = dataPosition(entry);
    data.compressedSize = entry.size;
    data.length = entry.length;
    data.method = uint16_t(entry.info.compression_method);
    data.crc32 = uint32_t(entry.info.crc);
    return std::make_unique<ZipReadStream>(std::make_unique<ZipEntryReader>(fileName_, entry.name, data), entry.name);
}

uint64_t ZipFile::dataPosition(const CurrentEntry& entry)
{
    const char* failure = "Error in opening current file in '%1'";
    if (!entry.zip64Offset) {
        // minizip finds the data of an entry whose header lies within 32 bits.
        int error = unzOpenCurrentFile(unzFile_);
        const uint64_t position = error == UNZ_OK ? unzGetCurrentFileZStreamPos64(unzFile_) : 0;
        if (error == UNZ_OK)
            error = unzCloseCurrentFile(unzFile_);
        if (error != UNZ_OK)
            throw ZipException(error, withPath(failure, fileName_));
        return position;
    }
    // The local header: its signature, then the lengths of its name and extra field.
    QFile file(fileName_);
    QByteArray header;
    if (file.open(QIODevice::ReadOnly) && *entry.zip64Offset < uint64_t(file.size())
        && file.seek(qint64(*entry.zip64Offset)))
        header = file.read(30);
    if (header.size() != 30 || !header.startsWith("PK\x03\x04"))
        throw ZipException(UNZ_BADZIPFILE, withPath(failure, fileName_));
    return *entry.zip64Offset + 30 + uint16At(header, 26) + uint16At(header, 28);
}

void ZipFile::close()
{
    int error = 0;
    if (zipFile_) {
        error = zipClose(zipFile_, nullptr);
        zipFile_ = nullptr;
    } else if (unzFile_) {
        error = unzClose(unzFile_);
        unzFile_ = nullptr;
    } else {
        return;
    }
    if (error != 0)
        throw ZipException(error, withPath("Error in closing '%1'", fileName_));
}
