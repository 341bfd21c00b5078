#pragma once
// Unpacks a zip archive into a folder: one ZEPUnzipOperation per entry on the zipper's queue
// (ZEPZipper.h tells the use, the notices, the threads and the outcome).
//
// Safety: no entry is written outside the output folder. Before anything is unpacked every
// entry's name is checked (safeRelativePath()); a name that is absolute, climbs out of the
// folder with "..", holds a NUL or is not UTF-8 fails the whole archive at start(). Files
// are created without following a symbolic link in their place.
//
// What is unpacked: each entry to the output folder plus its (cleaned) name; an entry whose
// name ends in "/" makes just that folder; entries in the resource-fork folder "__MACOSX"
// that other archivers add are read (so their data is checked and counted) but not written.
// Runs of zeros are left as holes in the files written, so a large entry of zeros takes
// little room.
//
// Failures: a damaged or truncated entry (a read error, a CRC mismatch), an entry that
// cannot be written or an entry that vanished end the work (zipperDidError); the entry's
// partial file is removed, files finished before it stay. A cancelled entry's partial
// file is removed too.

#include "clipdeck/FileInZipInfo.h"
#include "clipdeck/ZEPZipper.h"

#include <QList>

#include <memory>

class ZipFile;

class ZEPUnzipper : public ZEPZipper {
public:
    // The folder the resource-fork entries of other archivers live in.
    static inline const QString ResourceForkFolder = QStringLiteral("__MACOSX");

    // An unzipper of the archive at archiveURL. When no output is given and the archive's
    // extension is "zip", the archive's path without it is the folder unpacked into.
    explicit ZEPUnzipper(const QUrl& archiveURL);
    ~ZEPUnzipper() override;

    // The path below the output folder that an entry's name stands for, with "." and empty
    // components dropped and ".." taken back; empty when the name is unsafe: absolute,
    // leaving the folder, naming the folder itself, holding a NUL or not UTF-8 (decoded
    // with a replacement character).
    static QString safeRelativePath(const QString& entryName);
    static bool isResourceForkPath(const QString& relativePath);

protected:
    void getReady() override;
    void loadQueue() override;
    // Operations remove their own partial files; finished ones stay.
    void discardUnfinishedOutput() override {}

private:
    std::unique_ptr<ZipFile> mZipArchive;
    QList<FileInZipInfo> entries_;
};
