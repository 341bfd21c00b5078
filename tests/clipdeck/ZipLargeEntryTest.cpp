// An entry of 4 GiB or more through the zipper and the unzipper: zip64 fields, 64-bit sizes
// and counters. The file is sparse and mostly zeros, so neither it, nor the archive
// (deflated), nor the file unpacked (written with holes) takes 4 GiB of disk.
#include "ArchiveTestSupport.h"
#include "clipdeck/ZEPUnzipper.h"
#include "clipdeck/ZEPZipper.h"
#include "clipdeck/ZipFile.h"

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <minizip/zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace clipdeck::test;

namespace {

constexpr qint64 kLength = (qint64(4) << 30) + 4097; // past the 32-bit fields

void writeAt(QFile& file, qint64 at, const QByteArray& bytes)
{
    ASSERT_TRUE(file.seek(at));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray readAt(const QString& path, qint64 at, qint64 length)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(at))
        return QByteArray();
    return file.read(length);
}

bool isSparse(const QString& path)
{
    struct stat status {};
    return stat(QFile::encodeName(path).constData(), &status) == 0
        && qint64(status.st_blocks) * 512 < qint64(64) << 20;
}

// minizip's file functions over stdio, but a write of nothing but zeros moves on without
// writing, so an archive of a huge entry of zeros is a sparse file.
struct SparseFile {
    FILE* file = nullptr;
    off_t end = 0;
};

zlib_filefunc64_def sparseFileFunctions()
{
    zlib_filefunc64_def functions{};
    functions.zopen64_file = [](voidpf, const void* name, int mode) -> voidpf {
        const char* how = (mode & ZLIB_FILEFUNC_MODE_CREATE) ? "wb"
                          : (mode & ZLIB_FILEFUNC_MODE_EXISTING) ? "r+b"
                                                                 : "rb";
        FILE* file = std::fopen(static_cast<const char*>(name), how);
        return file ? new SparseFile{file} : nullptr;
    };
    functions.zread_file = [](voidpf, voidpf stream, void* buffer, uLong size) -> uLong {
        return uLong(std::fread(buffer, 1, size, static_cast<SparseFile*>(stream)->file));
    };
    functions.zwrite_file = [](voidpf, voidpf stream, const void* buffer, uLong size) -> uLong {
        auto* sparse = static_cast<SparseFile*>(stream);
        const auto* bytes = static_cast<const char*>(buffer);
        const bool zeros = size > 0 && bytes[0] == 0 && std::memcmp(bytes, bytes + 1, size - 1) == 0;
        const uLong written = zeros ? (fseeko(sparse->file, off_t(size), SEEK_CUR) == 0 ? size : 0)
                                    : uLong(std::fwrite(buffer, 1, size, sparse->file));
        sparse->end = std::max(sparse->end, ftello(sparse->file));
        return written;
    };
    functions.ztell64_file = [](voidpf, voidpf stream) -> ZPOS64_T {
        return ZPOS64_T(ftello(static_cast<SparseFile*>(stream)->file));
    };
    functions.zseek64_file = [](voidpf, voidpf stream, ZPOS64_T offset, int origin) -> long {
        const int whence = origin == ZLIB_FILEFUNC_SEEK_SET ? SEEK_SET
                           : origin == ZLIB_FILEFUNC_SEEK_END ? SEEK_END
                                                              : SEEK_CUR;
        return fseeko(static_cast<SparseFile*>(stream)->file, off_t(offset), whence);
    };
    functions.zclose_file = [](voidpf, voidpf stream) -> int {
        auto* sparse = static_cast<SparseFile*>(stream);
        std::fflush(sparse->file);
        struct stat status {};
        if (fstat(fileno(sparse->file), &status) == 0 && status.st_size < sparse->end)
            (void)!ftruncate(fileno(sparse->file), sparse->end); // a hole at the end
        const int result = std::fclose(sparse->file);
        delete sparse;
        return result;
    };
    functions.zerror_file = [](voidpf, voidpf stream) -> int { return std::ferror(static_cast<SparseFile*>(stream)->file); };
    return functions;
}

template <typename Zipper>
void runToTheEnd(Zipper& zipper, RecordingZipperDelegate& delegate)
{
    zipper.setDelegate(&delegate);
    zipper.setProcessingBytesSize(1 << 20);
    zipper.start();
    ASSERT_TRUE(waitUntil([&] { return delegate.ended(); }, 600000));
    ASSERT_EQ(delegate.last(), "finish") << zipper.error().description().toStdString();
    EXPECT_EQ(zipper.bytesProcessed(), uint64_t(kLength) + 18);
    EXPECT_EQ(zipper.bytesRemaining(), 0u);
    EXPECT_EQ(zipper.progress(), 1.0f);
}

} // namespace

TEST(ZipLargeEntry, aFileOf4GiBOrMoreZipsAndUnzipsWhole)
{
    TempFolder temp;
    const QString source = temp.file("Export/huge.wav");
    QDir().mkpath(temp.file("Export"));
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(kLength));
        writeAt(file, 0, "HEAD");
        writeAt(file, qint64(0xFFFFFFFFLL) - 2, "EDGE"); // across the 32-bit boundary
        writeAt(file, kLength - 4, "TAIL");
    }
    writeFiles(temp.file("Export"), {{"z.txt", "after the huge one"}}); // appended after a zip64 entry

    RecordingZipperDelegate zipping;
    ZEPZipper zipper(QUrl::fromLocalFile(temp.file("Export")));
    zipper.setOutputURL(QUrl::fromLocalFile(temp.file("Export.ckzip")));
    zipper.setCompressionLevel(1);
    runToTheEnd(zipper, zipping);

    {
        ZipFile archive(temp.file("Export.ckzip"), ZipFile::kModeUnzip);
        const QList<FileInZipInfo> infos = archive.listFileInZipInfos();
        ASSERT_EQ(infos.size(), 2);
        EXPECT_EQ(infos[0].name(), "Export/huge.wav");
        EXPECT_EQ(infos[0].length(), uint64_t(kLength));
        EXPECT_LT(infos[0].size(), uint64_t(64) << 20);
    }

    RecordingZipperDelegate unzipping;
    ZEPUnzipper unzipper(QUrl::fromLocalFile(temp.file("Export.ckzip")));
    unzipper.setOutputURL(QUrl::fromLocalFile(temp.file("out")));
    runToTheEnd(unzipper, unzipping); // the CRC of all of it is checked on the way

    const QString unpacked = temp.file("out/Export/huge.wav");
    EXPECT_EQ(QFileInfo(unpacked).size(), kLength);
    EXPECT_EQ(readAt(unpacked, 0, 4), "HEAD");
    EXPECT_EQ(readAt(unpacked, qint64(0xFFFFFFFFLL) - 2, 4), "EDGE");
    EXPECT_EQ(readAt(unpacked, kLength - 4, 4), "TAIL");
    EXPECT_TRUE(isSparse(unpacked)); // holes, not 4 GiB of zeros
    EXPECT_EQ(readFile(temp.file("out/Export/z.txt")), "after the huge one");
}

TEST(ZipLargeEntry, entriesLyingBeyond4GiBInAnArchiveReadBackAndTheArchiveGrows)
{
    TempFolder temp;
    const QString path = temp.file("Big.ckzip");
    // The archive: a stored entry of 4 GiB and more (so the next one begins beyond 4 GiB),
    // written by minizip into a sparse file.
    {
        zlib_filefunc64_def functions = sparseFileFunctions();
        zipFile writer = zipOpen2_64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE, nullptr, &functions);
        ASSERT_NE(writer, nullptr);
        zip_fileinfo info{};
        ASSERT_EQ(zipOpenNewFileInZip3_64(writer, "Show/huge.wav", &info, nullptr, 0, nullptr, 0, nullptr, 0, 0, 0,
                                          -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 1),
                  ZIP_OK);
        QByteArray chunk(1 << 20, '\0');
        for (qint64 at = 0; at < kLength; at += chunk.size()) {
            chunk.fill('\0');
            if (at == 0)
                chunk.replace(0, 4, "HEAD");
            if (at + chunk.size() >= kLength)
                chunk.resize(kLength - at), chunk.replace(chunk.size() - 4, 4, "TAIL");
            ASSERT_EQ(zipWriteInFileInZip(writer, chunk.constData(), unsigned(chunk.size())), ZIP_OK);
        }
        ASSERT_EQ(zipCloseFileInZip(writer), ZIP_OK);
        ASSERT_EQ(zipOpenNewFileInZip3_64(writer, "Show/after.txt", &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                          6, 0, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(writer, "after", 5), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(writer), ZIP_OK);
        ASSERT_EQ(zipClose(writer, nullptr), ZIP_OK);
    }
    ASSERT_TRUE(isSparse(path));
    {
        ZipFile archive(path, ZipFile::kModeAppend); // the zipper adds each file so
        auto stream = archive.writeFileInZipWithName("Show/appended.txt", 6);
        stream->writeData(QByteArray("appended"));
        stream->finishedWriting();
        archive.close();
    }
    {
        ZipFile archive(path, ZipFile::kModeUnzip);
        const QList<FileInZipInfo> infos = archive.listFileInZipInfos();
        ASSERT_EQ(infos.size(), 3);
        EXPECT_EQ(infos[0].length(), uint64_t(kLength));
        EXPECT_EQ(infos[0].size(), uint64_t(kLength));
        EXPECT_EQ(infos[1].name(), "Show/after.txt");
        EXPECT_EQ(infos[2].name(), "Show/appended.txt");
    }

    RecordingZipperDelegate delegate;
    ZEPUnzipper unzipper(QUrl::fromLocalFile(path));
    unzipper.setOutputURL(QUrl::fromLocalFile(temp.file("out")));
    unzipper.setDelegate(&delegate);
    unzipper.setProcessingBytesSize(1 << 20);
    unzipper.start();
    ASSERT_TRUE(waitUntil([&] { return delegate.ended(); }, 600000));
    ASSERT_EQ(delegate.last(), "finish") << unzipper.error().description().toStdString();
    EXPECT_EQ(unzipper.bytesProcessed(), uint64_t(kLength) + 5 + 8);
    const QString huge = temp.file("out/Show/huge.wav");
    EXPECT_EQ(QFileInfo(huge).size(), kLength);
    EXPECT_EQ(readAt(huge, 0, 4), "HEAD");
    EXPECT_EQ(readAt(huge, kLength - 4, 4), "TAIL");
    EXPECT_TRUE(isSparse(huge));
    EXPECT_EQ(readFile(temp.file("out/Show/after.txt")), "after");
    EXPECT_EQ(readFile(temp.file("out/Show/appended.txt")), "appended");
}
