// A board folder brought in as a new board: from a ".clipdeck" folder the user picks (copied)
// or from an unpacked archive (moved).
#include "clipdeck/CKClipdeck.h"

#include "clipdeck/CKClipdeckHost.h"
#include "clipdeck/CKSoundCachedFileSource.h"
#include "clipdeck/RAOperationQueue.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

namespace {

// Copies the folder with everything below it to target (which must not exist); on failure
// nothing of target is left.
bool copyFolder(const QString& from, const QString& to)
{
    const QDir source(from);
    bool copied = QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (copied && it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString target = to + "/" + source.relativeFilePath(path);
        if (info.isSymLink())
            continue;
        copied = info.isDir() ? QDir().mkpath(target) : QFile::copy(path, target);
    }
    if (!copied)
        QDir(to).removeRecursively();
    return copied;
}

Error importError(const QString& destination)
{
    return Error(CKClipdeck::CocoaErrorDomain, CKClipdeck::kImportFailedError, QStringLiteral("Could not import clipdeck"),
                 QStringLiteral("The clipdeck could not be copied into %1.").arg(QFileInfo(destination).absolutePath()));
}

// The board number a folder "N.clipdeck" stands for.
std::optional<std::size_t> numberOfFolder(const QString& folder)
{
    const QFileInfo info(folder);
    bool ok = false;
    const qulonglong number = info.completeBaseName().toULongLong(&ok);
    if (!ok || info.suffix() != CKClipdeck::BundleExtension)
        return std::nullopt;
    return std::size_t(number);
}

} // namespace

std::shared_ptr<CKClipdeck> CKClipdeck::importClipdeckAtPath(const QString& path, bool makeCopy, Error* error)
{
    const QString source = QDir::cleanPath(path);
    const QString destination = CKClipdeckHost::current().pathForNewClipdeck();
    const std::optional<std::size_t> number = numberOfFolder(destination);
    if (number && *number >= kMaximumClipdecks)
        return nullptr;
    const auto fail = [&](const QString& reason) {
        qWarning("Failed to import clipdeck from `%s` to `%s` - %s", qPrintable(source), qPrintable(destination),
                 qPrintable(reason));
        setError(error, importError(destination));
        return nullptr;
    };
    if (!number || QFileInfo::exists(destination))
        return fail(QStringLiteral("the destination is taken"));
    if (!QFileInfo(source).isDir() || !QFileInfo::exists(source + "/" + ContentsFileName))
        return fail(QStringLiteral("no clipdeck document"));

    // A move is a rename where it can be; across file systems the folder is copied, and the
    // source goes only once the board has loaded.
    bool renamed = false;
    if (!makeCopy)
        renamed = QDir().rename(source, destination);
    if (!renamed && !copyFolder(source, destination))
        return fail(QStringLiteral("the folder could not be copied"));

    Error loadError;
    std::shared_ptr<CKClipdeck> clipdeck = initByLoadingIndex(*number, &loadError);
    if (!clipdeck) {
        // No half-made board stays; a moved folder goes back.
        if (!(renamed && QDir().rename(destination, source)))
            QDir(destination).removeRecursively();
        if (!loadError)
            return fail(QStringLiteral("the clipdeck could not be loaded"));
        qWarning("Failed to import clipdeck from `%s`: %s", qPrintable(source), qPrintable(loadError.localizedFailureReason));
        setError(error, loadError);
        return nullptr;
    }
    if (!makeCopy && !renamed)
        QDir(source).removeRecursively();

    clipdeck->updateUUIDs();
    const QString folderName = QFileInfo(source).completeBaseName();
    if (!folderName.contains(clipdeck->uuid()))
        clipdeck->setName(folderName);
    // Written at once: the cache files carry the new uuids now, and a document that still
    // named the old ones would lose the sounds.
    clipdeck->saveToPath(destination);
    clipdeck->setNeedsSave();
    CKSoundCachedFileSource::cacheOperationQueue().setSuspended(false);
    return clipdeck;
}

std::shared_ptr<CKClipdeck> CKClipdeck::importUnpackedArchiveAtPath(const QString& path, Error* error)
{
    std::shared_ptr<CKClipdeck> clipdeck = importClipdeckAtPath(path, false, error);
    if (QFileInfo::exists(path))
        QDir(path).removeRecursively();
    return clipdeck;
}
