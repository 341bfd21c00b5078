#pragma once
// Zips one file of a ZEPZipper's folder into its archive, on the zipper's queue: opens the
// archive (appending once it exists), writes the file as the entry "<folder name>/<relative
// path>" chunk by chunk, counts the bytes with the zipper, and closes the archive again.
// A cancel is noticed between chunks: the entry begun is still finished and the archive
// closed. A failure goes to the zipper (operationDidFail), which ends the work.

#include "platform/OperationQueue.h"

#include <QString>
#include <QUrl>

#include <cstdint>

class ZEPZipper;

class ZEPZipOperation : public Operation {
public:
    // inputURL: the folder; relativePath: the file below it; outputURL: the archive.
    ZEPZipOperation(const QUrl& inputURL, const QString& relativePath, const QUrl& outputURL,
                    uint32_t processingBytesSize, ZEPZipper* parentZipper, int32_t compressionLevel);

    void main() override;

protected:
    ZEPZipper* parentZipper_;
    QUrl inputURL_;
    QString relativePath_;
    QUrl outputURL_;
    uint32_t processingBytesSize_;
    int32_t compressionLevel_;
};
