#include "clipdeck/ZEPUnzipper.h"

#include "clipdeck/ZEPUnzipOperation.h"
#include "clipdeck/ZipException.h"
#include "clipdeck/ZipFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

ZEPUnzipper::ZEPUnzipper(const QUrl& archiveURL) : ZEPZipper(archiveURL) {}

ZEPUnzipper::~ZEPUnzipper() { shutDown(); }

QString ZEPUnzipper::safeRelativePath(const QString& entryName)
{
    if (entryName.startsWith('/') || entryName.contains(QChar(0)) || entryName.contains(QChar::ReplacementCharacter))
        return {};
    QStringList parts;
    for (const QString& part : entryName.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..") {
            if (parts.isEmpty())
                return {};
            parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return parts.join('/');
}

bool ZEPUnzipper::isResourceForkPath(const QString& relativePath)
{
    return relativePath == ResourceForkFolder || relativePath.startsWith(ResourceForkFolder + "/");
}

void ZEPUnzipper::getReady()
{
    const QFileInfo archive(inputURL().toLocalFile());
    if (outputURL().isEmpty() && archive.suffix() == "zip")
        setOutputURL(QUrl::fromLocalFile(archive.dir().filePath(archive.completeBaseName())));
    const QString output = outputURL().toLocalFile();
    if (output.isEmpty())
        throw ZipException(QStringLiteral("No folder to unzip '%1' into").arg(archive.filePath()));

    mZipArchive = std::make_unique<ZipFile>(archive.filePath(), ZipFile::kModeUnzip);
    entries_ = mZipArchive->listFileInZipInfos();

    // Every name is checked before anything is written.
    QSet<QString> folders;
    for (const FileInZipInfo& entry : entries_) {
        const QString path = safeRelativePath(entry.name());
        if (path.isEmpty())
            throw ZipException(QStringLiteral("The archive '%1' holds an entry that would be written outside its "
                                              "folder: '%2'")
                                   .arg(archive.fileName(), entry.name()));
        addBytesRemaining(entry.length());
        const QString folder = entry.name().endsWith('/') ? path : path.section('/', 0, -2);
        if (!folder.isEmpty() && !isResourceForkPath(folder))
            folders.insert(folder);
    }
    QDir().mkpath(output);
    for (const QString& folder : folders)
        QDir(output).mkpath(folder);

    ZEPZipper::getReady();
}

void ZEPUnzipper::loadQueue()
{
    const QString output = outputURL().toLocalFile();
    for (const FileInZipInfo& entry : entries_) {
        int32_t level = entry.level();
        const QUrl url = QUrl::fromLocalFile(output + "/" + safeRelativePath(entry.name()));
        if (ZEPZipperDelegate* delegate = this->delegate();
            delegate && !delegate->zipperShouldIncludeFile(this, url, &level)) {
            removeBytesRemaining(entry.length());
            continue;
        }
        addOperation(std::make_shared<ZEPUnzipOperation>(inputURL(), entry.name(), outputURL(), processingBytesSize(),
                                                         this, level));
    }
}
