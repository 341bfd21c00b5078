#include "clipdeck/CKZipUnarchiver.h"

#include "clipdeck/ZEPUnzipper.h"
#include "platform/FoundationExtensions.h"
#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QString tr(const char* text) { return QCoreApplication::translate("CKZipUnarchiver", text); }

// folder/name, or the first of "folder/<base> 2.<extension>", "... 3..." that is free.
QString freshDestination(const QString& folder, const QString& baseName, const QString& extension)
{
    QString path = QDir(folder).filePath(baseName + "." + extension);
    for (int number = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++number)
        path = QDir(folder).filePath(QStringLiteral("%1 %2.%3").arg(baseName).arg(number).arg(extension));
    return path;
}

} // namespace

CKZipUnarchiver::CKZipUnarchiver() { progressUpdateTimer_.setAction([this] { update(); }); }

CKZipUnarchiver::~CKZipUnarchiver()
{
    if (unzipper_) {
        unzipper_->setDelegate(nullptr);
        unzipper_.reset();
        QDir(targetFolder_).removeRecursively();
    }
}

bool CKZipUnarchiver::isCurrent(const ZEPZipper* zipper) const
{
    return zipper && zipper == static_cast<const ZEPZipper*>(unzipper_.get());
}

void CKZipUnarchiver::importFile(const QString& archivePath)
{
    zepPush(pendingQueue_, archivePath);
    if (!unzipper_)
        beginNextUnzip();
}

void CKZipUnarchiver::beginNextUnzip()
{
    const std::optional<QString> archive = zepPop(pendingQueue_);
    if (!archive)
        return;
    if (!exportController_ && sheetFactory_)
        exportController_ = sheetFactory_();
    if (exportController_) {
        exportController_->setIcon(IconName);
        exportController_->setDelegate(this);
        exportController_->setTitle(tr("Unarchiving \"%1\"...").arg(QFileInfo(*archive).fileName()));
        exportController_->setProgress(0);
    }
    didCancel_ = false;
    if (exportController_ && !exportController_->isSheetShown())
        exportController_->beginSheetModalForWindow(sheetParentWindow_);

    currentArchive_ = *archive;
    targetFolder_ = QDir(QDir::tempPath()).filePath(stringWithNewUUID() + ".clipdeck");
    unzipper_ = std::make_unique<ZEPUnzipper>(QUrl::fromLocalFile(*archive));
    unzipper_->setDelegate(this);
    unzipper_->setOutputURL(QUrl::fromLocalFile(targetFolder_));
    // An archive that cannot be opened ends here, in zipperDidError, which may already have
    // begun the next archive: nothing follows this call.
    unzipper_->start();
}

void CKZipUnarchiver::exportControllerDidCancel(CKProgressSheet*)
{
    didCancel_ = true;
    // The cancel is told (zipperDidCancel) before cancel() returns; the delegate may let go
    // of this unarchiver then.
    if (unzipper_)
        unzipper_->cancel();
}

void CKZipUnarchiver::update()
{
    if (exportController_)
        exportController_->setProgress(unzipper_ ? unzipper_->progress() : 0.0f);
}

// ---- The unzipper's notices ----

void CKZipUnarchiver::zipperDidBegin(ZEPZipper* zipper)
{
    if (isCurrent(zipper))
        progressUpdateTimer_.start(kProgressUpdateInterval, true);
}

void CKZipUnarchiver::zipperDidFinish(ZEPZipper* zipper)
{
    if (!isCurrent(zipper))
        return;
    update();
    handOverUnpackedFolder();
}

void CKZipUnarchiver::zipperDidCancel(ZEPZipper* zipper)
{
    if (!isCurrent(zipper))
        return;
    endUnzip();
    dismissSheet();
    if (delegate_)
        delegate_->zipUnarchiverDidCancel(this);
}

void CKZipUnarchiver::zipperDidError(ZEPZipper* zipper)
{
    if (!isCurrent(zipper))
        return;
    failArchive(zipper->error());
}

// ---- Steps ----

void CKZipUnarchiver::handOverUnpackedFolder()
{
    const QFileInfoList items =
        QDir(targetFolder_).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    if (items.size() != 1 || !items.first().isDir() || items.first().isSymLink()) {
        failArchive(Error(ErrorDomain, kNoClipdeckInArchiveError, tr("The archive holds no clipdeck.")));
        return;
    }
    const QString destination =
        freshDestination(QDir::tempPath(), QFileInfo(currentArchive_).completeBaseName(), QStringLiteral("clipdeck"));
    if (!QDir().rename(items.first().filePath(), destination)) {
        failArchive(Error(ErrorDomain, kUnarchiveFailedError,
                          tr("The clipdeck could not be moved to %1.").arg(QDir::tempPath())));
        return;
    }
    endUnzip();
    if (delegate_)
        delegate_->zipUnarchiverDidUnarchiveURL(this, QUrl::fromLocalFile(destination));
    continueWithNextArchive();
}

void CKZipUnarchiver::failArchive(const Error& reason)
{
    const QString archive = currentArchive_;
    endUnzip();
    Error error(ErrorDomain, reason.domain == ErrorDomain ? reason.code : kUnarchiveFailedError,
                tr("Could not unarchive \"%1\"").arg(QFileInfo(archive).fileName()), reason.description());
    if (delegate_)
        delegate_->zipUnarchiverDidFailToUnarchiveFile(this, archive, error);
    continueWithNextArchive();
}

void CKZipUnarchiver::endUnzip()
{
    progressUpdateTimer_.stop();
    QDir(targetFolder_).removeRecursively();
    // The unzipper is inside its own notice now: it goes once that has returned.
    unzipper_->setDelegate(nullptr);
    mainthread::post([retired = std::shared_ptr<ZEPUnzipper>(std::move(unzipper_))] {});
}

void CKZipUnarchiver::continueWithNextArchive()
{
    if (didCancel_) {
        // Cancelled while the archive was finishing: the cancel still holds.
        dismissSheet();
        if (delegate_)
            delegate_->zipUnarchiverDidCancel(this);
    } else if (pendingQueue_.isEmpty()) {
        dismissSheet();
        if (delegate_)
            delegate_->zipUnarchiverDidFinish(this);
    } else {
        beginNextUnzip();
    }
}

void CKZipUnarchiver::dismissSheet()
{
    if (exportController_)
        exportController_->dismiss();
}
