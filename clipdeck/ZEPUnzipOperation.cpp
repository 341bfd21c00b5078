#include "clipdeck/ZEPUnzipOperation.h"

#include "clipdeck/ZEPUnzipper.h"
#include "clipdeck/ZipException.h"
#include "clipdeck/ZipFile.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemError(const char* what, const QString& path)
{
    return QStringLiteral("%1 '%2': %3").arg(QString::fromUtf8(what), path, QString::fromLocal8Bit(strerror(errno)));
}

bool isAllZero(const char* bytes, size_t length)
{
    return length == 0 || (bytes[0] == 0 && std::memcmp(bytes, bytes + 1, length - 1) == 0);
}

// The file an entry is unpacked into. Chunks of zeros are skipped over, leaving holes. The
// file is removed again unless finish() keeps it.
class OutputFile {
public:
    ~OutputFile() { discard(); }

    void create(const QString& path)
    {
        fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw ZipException(systemError("Can't create", path));
        path_ = path;
    }

    // Nothing when no file was created (an entry read but not written).
    void write(const char* bytes, size_t length)
    {
        if (fd_ < 0)
            return;
        if (!isAllZero(bytes, length)) {
            for (size_t done = 0; done < length;) {
                const ssize_t count = ::pwrite(fd_, bytes + done, length - done, offset_ + off_t(done));
                if (count < 0 && errno == EINTR)
                    continue;
                if (count <= 0)
                    throw ZipException(systemError("Can't write", path_));
                done += size_t(count);
            }
        }
        offset_ += off_t(length);
    }

    // Gives the file its whole length (a hole at its end included) and keeps it.
    void finish()
    {
        if (fd_ < 0)
            return;
        const bool sized = ::ftruncate(fd_, offset_) == 0;
        const bool closed = ::close(fd_) == 0;
        fd_ = -1;
        if (!sized || !closed)
            throw ZipException(systemError("Can't write", path_));
        path_.clear();
    }

    void discard()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        if (!path_.isEmpty())
            QFile::remove(path_);
        path_.clear();
    }

private:
    int fd_ = -1;
    QString path_;
    off_t offset_ = 0;
};

} // namespace

void ZEPUnzipOperation::main()
{
    if (isCancelled())
        return;
    const QString relative = ZEPUnzipper::safeRelativePath(relativePath_);
    const QString outputPath = outputURL_.toLocalFile() + "/" + relative;
    const QUrl outputURL = QUrl::fromLocalFile(outputPath);
    OutputFile output;
    try {
        // Checked before the queue was filled; checked again as the name is used.
        if (relative.isEmpty())
            throw ZipException(QStringLiteral("'%1' would be written outside the folder").arg(relativePath_));
        ZipFile archive(inputURL_.toLocalFile(), ZipFile::kModeUnzip);
        if (!archive.locateFileInZip(relativePath_))
            throw ZipException(QStringLiteral("Can't find '%1' in '%2'").arg(relativePath_, archive.fileName()));
        const std::unique_ptr<ZipReadStream> stream = archive.readCurrentFileInZip();
        if (!ZEPUnzipper::isResourceForkPath(relative)) {
            if (!relativePath_.endsWith('/'))
                output.create(outputPath);
            else if (!QDir().mkpath(outputPath))
                throw ZipException(QStringLiteral("Can't create the folder '%1'").arg(outputPath));
        }
        parentZipper_->notifyProcessingDidBegin(outputURL);

        QByteArray buffer(qsizetype(processingBytesSize_), '\0');
        bool whole = false;
        while (!isCancelled()) {
            const uint32_t count = stream->readDataWithBuffer(buffer);
            if (count == 0) {
                whole = true;
                break;
            }
            output.write(buffer.constData(), count);
            parentZipper_->incrementBytesProcessed(count);
        }
        stream->finishedReading(); // checks the CRC when the entry was read whole
        if (whole)
            output.finish();
        parentZipper_->incrementFilesProcessed();
        parentZipper_->notifyProcessingDidEnd(outputURL);
    } catch (const ZipException& exception) {
        output.discard();
        parentZipper_->incrementFilesProcessed();
        parentZipper_->operationDidFail(outputURL, exception);
    }
}
