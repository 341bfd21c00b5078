#pragma once
// One zip archive on disk, opened in one of three modes, over minizip: read its entries
// (unzip), write a new archive (create), or add entries to an existing one (append). It
// hands out a stream for one entry at a time: ZipWriteStream to write a new entry,
// ZipReadStream to read the current one.
//
// Every failure throws ZipException (ZipException.h); only the end of the entry list and of
// an entry's data are told by return values. Entries of 4 GiB or more and archives of more
// than 65535 entries are read through minizip's zip64 support; a writer asks for zip64
// fields per entry (the zip64 argument below) when the entry may reach 4 GiB.
//
// Lifecycle: the archive is open from construction to close() or destruction, and closed
// exactly once. A write stream is finished before the next entry is opened and before the
// archive closes; a read stream is finished before the current entry moves. Streams borrow
// the archive's handle: the ZipFile outlives them.
//
// Threads: one thread at a time per object; separate objects (even on the same file in
// unzip mode) may be used on separate threads.

#include "clipdeck/FileInZipInfo.h"
#include "clipdeck/ZipReadStream.h"
#include "clipdeck/ZipWriteStream.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

class ZipFile {
public:
    static constexpr int32_t kModeUnzip = 0;
    static constexpr int32_t kModeCreate = 1;
    static constexpr int32_t kModeAppend = 2;

    // Opens the archive at fileName in mode (an archive of no entries too). Throws "Unknown mode %d" for another mode and
    // "Can't open '%@'" when minizip cannot open it.
    ZipFile(const QString& fileName, int32_t mode);
    // Closes the archive when close() has not, ignoring a failure to close.
    ~ZipFile();
    ZipFile(const ZipFile&) = delete;
    ZipFile& operator=(const ZipFile&) = delete;

    QString fileName() const { return fileName_; }
    int32_t mode() const { return mode_; }

    // ---- Writing (create and append modes; unzip mode throws) ----

    // A stream for a new entry called name (UTF-8), dated now (or fileDate, in local time).
    // compressionLevel 0 stores, -1 or 1..9 deflate at that level. zip64 gives the entry
    // zip64 fields, which an entry needs to reach 4 GiB (without them minizip refuses such
    // an entry when it is finished). Entries are never encrypted: the system's minizip
    // cannot read encrypted entries back.
    std::unique_ptr<ZipWriteStream> writeFileInZipWithName(const QString& name, int32_t compressionLevel);
    std::unique_ptr<ZipWriteStream> writeFileInZipWithName(const QString& name, const QDateTime& fileDate,
                                                           int32_t compressionLevel, bool zip64 = false);

    // ---- Reading (unzip mode; the others throw) ----

    uint64_t numFilesInZip();
    // Every entry, in the archive's order; leaves the last one current.
    QList<FileInZipInfo> listFileInZipInfos();
    void goToFirstFileInZip();
    // False after the last entry.
    bool goToNextFileInZip();
    // Makes the entry whose name is exactly name (case and all, however long) the current
    // one; false when there is none.
    bool locateFileInZip(const QString& name);
    FileInZipInfo getCurrentFileInZipInfo();
    std::unique_ptr<ZipReadStream> readCurrentFileInZip();

    // Closes the archive (writing its central directory in the writing modes). A second
    // call does nothing. Throws "Error in closing '%@'" when minizip fails; the handle is
    // given up all the same.
    void close();

private:
    struct CurrentEntry;
    void requireUnzipMode() const;
    // What the central directory says of the current entry: its name read with a buffer as
    // long as the name, and the 64-bit values of its zip64 field read by us. Throws with
    // failure.
    CurrentEntry currentEntry(const char* failure);
    // The position of the current entry's data in the archive file.
    uint64_t dataPosition(const CurrentEntry& entry);

    QString fileName_;
    int32_t mode_;
    void* zipFile_ = nullptr; // minizip writer (create, append)
    void* unzFile_ = nullptr; // minizip reader (unzip)
    // An archive of no entries, which minizip cannot open: read without a handle.
    bool emptyArchive_ = false;
};
