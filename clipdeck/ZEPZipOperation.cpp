#include "clipdeck/ZEPZipOperation.h"

#include "clipdeck/ZEPZipper.h"
#include "clipdeck/ZipException.h"
#include "clipdeck/ZipFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

// Entries this long need the zip64 fields (the 32-bit size fields hold less).
constexpr qint64 kZip64EntrySize = 0xFFFFFFFFLL;

} // namespace

ZEPZipOperation::ZEPZipOperation(const QUrl& inputURL, const QString& relativePath, const QUrl& outputURL,
                                 uint32_t processingBytesSize, ZEPZipper* parentZipper, int32_t compressionLevel)
    : parentZipper_(parentZipper), inputURL_(inputURL), relativePath_(relativePath), outputURL_(outputURL),
      processingBytesSize_(std::max<uint32_t>(processingBytesSize, 1)), compressionLevel_(compressionLevel)
{
}

void ZEPZipOperation::main()
{
    if (isCancelled())
        return;
    const QString folder = inputURL_.toLocalFile();
    const QString filePath = folder + "/" + relativePath_;
    const QUrl fileURL = QUrl::fromLocalFile(filePath);
    parentZipper_->notifyProcessingDidBegin(fileURL);
    try {
        const QString archivePath = outputURL_.toLocalFile();
        ZipFile archive(archivePath, QFileInfo::exists(archivePath) ? ZipFile::kModeAppend : ZipFile::kModeCreate);
        QFile file(filePath);
        if (!file.open(QIODevice::ReadOnly))
            throw ZipException(QStringLiteral("Can't read '%1': %2").arg(filePath, file.errorString()));
        const QString entryName = QFileInfo(folder).fileName() + "/" + relativePath_;
        const std::unique_ptr<ZipWriteStream> stream = archive.writeFileInZipWithName(
            entryName, QDateTime::currentDateTime(), compressionLevel_, file.size() >= kZip64EntrySize);
        QByteArray buffer(qsizetype(processingBytesSize_), '\0');
        while (!isCancelled()) {
            const qint64 count = file.read(buffer.data(), buffer.size());
            if (count < 0)
                throw ZipException(QStringLiteral("Can't read '%1': %2").arg(filePath, file.errorString()));
            if (count == 0)
                break;
            stream->writeData(buffer.constData(), uint32_t(count));
            parentZipper_->incrementBytesProcessed(uint64_t(count));
        }
        stream->finishedWriting();
        archive.close();
        parentZipper_->incrementFilesProcessed();
        parentZipper_->notifyProcessingDidEnd(fileURL);
    } catch (const ZipException& exception) {
        parentZipper_->operationDidFail(fileURL, exception);
    }
}
