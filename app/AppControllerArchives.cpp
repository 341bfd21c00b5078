// Boards brought in from folders and archives, the shown board's export to an archive, and
// the menu's Import Sounds.
#include "app/AppController.h"

#include "app/CKClipdeckImportPanel.h"
#include "app/CKClipdeckView.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKExportController.h"
#include "app/CKSheetPresenter.h"
#include "app/CKTabBarView.h"

#include "clipdeck/CKClipdeck.h"
#include "platform/MainThread.h"

#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>

namespace {

bool hasExtension(const QString& path, const QString& extension)
{
    return QFileInfo(path).suffix().compare(extension, Qt::CaseInsensitive) == 0;
}

// What the user is told of a board that could not be brought in: which one, and why.
Error importFailure(const QString& name, const Error& reason)
{
    return Error(reason.domain, reason.code,
                 AppController::tr("The clipdeck \"%1\" could not be imported.").arg(name),
                 reason.localizedFailureReason.isEmpty() ? reason.description() : reason.localizedFailureReason);
}

} // namespace

// Importing ----------------------------------------------------------------------------------

void AppController::importClipdeck()
{
    if (isBusyWithArchives() || !mainWindow_)
        return;
    stopEditingName();
    auto* panel = new CKClipdeckImportPanel(mainWindow_);
    QPointer<AppController> self(this);
    // The presenter turns key triggers off while the panel is up and on again when it closes.
    CKSheetPresenter::shared().beginSheet(panel, mainWindow_, [self, panel](int result) {
        if (self && result == QDialog::Accepted)
            self->importFiles(panel->selectedFiles());
    });
}

void AppController::importFiles(const QStringList& paths)
{
    const qsizetype countBefore = clipdecks_.size();
    QStringList pastLimit;
    for (const QString& path : paths) {
        const bool isFolder = hasExtension(path, CKClipdeck::BundleExtension);
        const bool isArchive = hasExtension(path, CKClipdeck::ArchiveExtension);
        if (!isFolder && !isArchive)
            continue;
        if (clipdecksUnloadable_ || clipdecks_.size() >= kMaximumClipdecks) {
            pastLimit.append(QFileInfo(path).completeBaseName());
            continue;
        }
        if (isArchive) {
            importClipdeckArchive(path);
            continue;
        }
        Error error;
        const std::shared_ptr<CKClipdeck> clipdeck = CKClipdeck::importClipdeckAtPath(path, true, &error);
        if (!clipdeck) {
            // Nothing was made: the path is skipped, with its reason.
            presentError(importFailure(QFileInfo(path).completeBaseName(), error));
            continue;
        }
        insertClipdeck(clipdeck);
    }
    if (clipdecks_.size() != countBefore)
        selectClipdeckAtIndex(clipdecks_.size() - 1);
    reportPastLimit(pastLimit);
}

void AppController::reportPastLimit(const QStringList& names)
{
    if (names.isEmpty())
        return;
    presentError(Error(CKClipdeck::ErrorDomain, 3, tr("Some clipdecks were not opened."),
                       tr("Clipdeck shows at most %1 clipdecks. Not opened: %2.")
                           .arg(kMaximumClipdecks)
                           .arg(names.join(QStringLiteral(", ")))));
}

void AppController::importClipdeckArchive(const QString& path)
{
    if (!zipImporter_) {
        zipImporter_ = std::make_unique<CKZipUnarchiver>();
        zipImporter_->setDelegate(this);
        zipImporter_->setSheetFactory([] { return std::make_unique<CKExportController>(); });
        validateMenuItems();
        if (mainWindow_)
            mainWindow_->tabBar()->updateLayerFrames();
    }
    zipImporter_->setSheetParentWindow(mainWindow_);
    zipImporter_->importFile(path);
}

void AppController::zipUnarchiverDidUnarchiveURL(CKZipUnarchiver* unarchiver, const QUrl& url)
{
    const QString folder = url.toLocalFile();
    if (unarchiver != zipImporter_.get() || !hasExtension(folder, CKClipdeck::BundleExtension)) {
        QDir(folder).removeRecursively();
        return;
    }
    if (clipdecksUnloadable_ || clipdecks_.size() >= kMaximumClipdecks) {
        // Not brought in: its unpacked folder goes, and it is named when the unpacking ends.
        QDir(folder).removeRecursively();
        archivesPastLimit_.append(QFileInfo(folder).completeBaseName());
        return;
    }
    Error error;
    const std::shared_ptr<CKClipdeck> clipdeck = CKClipdeck::importUnpackedArchiveAtPath(folder, &error);
    if (!clipdeck) {
        presentError(importFailure(QFileInfo(folder).completeBaseName(), error));
        return;
    }
    insertClipdeck(clipdeck);
    selectClipdeckAtIndex(clipdecks_.size() - 1);
}

void AppController::zipUnarchiverDidFailToUnarchiveFile(CKZipUnarchiver*, const QString&, const Error& error)
{
    presentError(error);
}

void AppController::zipUnarchiverDidCancel(CKZipUnarchiver* unarchiver) { releaseZipImporter(unarchiver); }

void AppController::zipUnarchiverDidFinish(CKZipUnarchiver* unarchiver) { releaseZipImporter(unarchiver); }

void AppController::releaseZipImporter(CKZipUnarchiver* unarchiver)
{
    if (unarchiver != zipImporter_.get())
        return;
    // The unarchiver is still inside its own call: it goes once that has returned.
    mainthread::post([retired = std::shared_ptr<CKZipUnarchiver>(std::move(zipImporter_))] {});
    reportPastLimit(archivesPastLimit_);
    archivesPastLimit_.clear();
    validateMenuItems();
    if (mainWindow_)
        mainWindow_->tabBar()->updateLayerFrames();
}

// Import Sounds ------------------------------------------------------------------------------

void AppController::importSounds()
{
    const std::shared_ptr<CKClipdeck> shown = shownClipdeck();
    if (!shown || !mainWindow_ || isBusyWithArchives())
        return;
    CKClipdeckView* view = mainWindow_->clipdeckView();
    const std::size_t cell = shown->nextAvailableCellFromIndex(0);
    CKClipdeckButtonLayer* layer = cell == CKSoundParent::kNotFound ? nullptr : view->buttonLayerAtIndex(cell);
    if (!layer) {
        beep(); // every cell is taken
        return;
    }
    view->buttonLayerDidReceiveDoubleClick(layer);
}

// Exporting ----------------------------------------------------------------------------------

bool AppController::isExporting() const { return exportThread_.joinable() || exportController_ != nullptr; }

void AppController::exportCurrentClipdeck()
{
    const std::shared_ptr<CKClipdeck> shown = shownClipdeck();
    if (!shown || !mainWindow_ || isBusyWithArchives())
        return;
    stopEditingName();
    auto* panel = new QFileDialog(mainWindow_, tr("Export Clipdeck"));
    panel->setObjectName(QStringLiteral("exportPanel"));
    panel->setOption(QFileDialog::DontUseNativeDialog);
    panel->setAcceptMode(QFileDialog::AcceptSave);
    panel->setFileMode(QFileDialog::AnyFile);
    panel->setNameFilter(tr("Clipdeck Archives (*.%1)").arg(CKClipdeck::ArchiveExtension));
    panel->setDefaultSuffix(CKClipdeck::ArchiveExtension);
    // A slash in the name would propose a folder.
    panel->selectFile(QString(shown->name()).replace(QLatin1Char('/'), QLatin1Char('-')) + QLatin1Char('.')
                      + CKClipdeck::ArchiveExtension);
    QPointer<AppController> self(this);
    std::weak_ptr<CKClipdeck> board = shown;
    // Key triggers are off while the panel is up and on again when it closes (the presenter).
    CKSheetPresenter::shared().beginSheet(panel, mainWindow_, [self, panel, board](int result) {
        const QStringList chosen = panel->selectedFiles();
        if (!self || result != QDialog::Accepted || chosen.isEmpty())
            return;
        // The shown board may have changed while the panel was up: the one asked about goes.
        const std::shared_ptr<CKClipdeck> live = board.lock();
        if (!live || self->indexOfClipdeck(live.get()) == CKSoundParent::kNotFound)
            return;
        Error error;
        const std::shared_ptr<CKClipdeck> copy = CKClipdeck::copyForExport(*live, &error);
        if (!copy) {
            self->presentError(error);
            return;
        }
        self->exportBoard(copy, live, chosen.first());
    });
}

void AppController::exportCurrentClipdeckToPath(const QString& path)
{
    const std::shared_ptr<CKClipdeck> live = shownClipdeck();
    if (!live || isBusyWithArchives())
        return;
    Error error;
    const std::shared_ptr<CKClipdeck> copy = CKClipdeck::copyForExport(*live, &error);
    if (!copy) {
        presentError(error);
        return;
    }
    exportBoard(copy, live, path);
}

void AppController::exportBoard(const std::shared_ptr<CKClipdeck>& copy, const std::shared_ptr<CKClipdeck>& live,
                                const QString& path)
{
    exportingClipdeck_ = copy;
    exportedLiveClipdeck_ = live;
    exportController_ = std::make_unique<CKExportController>();
    exportController_->setDelegate(this);
    exportController_->setIcon(ArchiveIconName);
    exportController_->setTitle(tr("Preparing %1 for export...").arg(copy->name()));
    exportController_->beginSheetModalForWindow(mainWindow_);
    validateMenuItems();
    if (mainWindow_)
        mainWindow_->tabBar()->updateLayerFrames();

    copy->setExportDelegate(this);
    exportGuard_ = this;
    exportThreadEnded_ = false;
    exportSucceeded_ = false;
    exportError_ = Error();
    exportThread_ = std::thread([this, copy, path, guard = QPointer<AppController>(this)] {
        Error error;
        const bool exported = copy->exportToPath(path, &error);
        exportSucceeded_ = exported;
        exportError_ = error;
        exportThreadEnded_ = true;
        mainthread::post([guard] {
            if (guard)
                guard->exportThreadDidEnd();
        });
    });
}

void AppController::exportThreadDidEnd()
{
    if (!exportThread_.joinable())
        return;
    exportThread_.join();
    if (exportEndLoop_)
        exportEndLoop_->quit();
    // Joined: the copy and the sheet may go now.
    const std::shared_ptr<CKClipdeck> copy = std::move(exportingClipdeck_);
    copy->setExportDelegate(nullptr);
    if (exportController_) {
        exportController_->dismiss();
        exportController_.reset();
    }
    if (exportSucceeded_) {
        if (const std::shared_ptr<CKClipdeck> live = exportedLiveClipdeck_.lock(); live && !live->isDeleted())
            live->adoptExportResults(*copy);
    } else if (exportError_) {
        // Told once, whether the export's report or its answer carried it.
        presentError(exportError_);
    }
    exportedLiveClipdeck_.reset();
    exportError_ = Error();
    validateMenuItems();
    if (mainWindow_)
        mainWindow_->tabBar()->updateLayerFrames();
}

void AppController::cancelRunningExport()
{
    if (!exportThread_.joinable())
        return;
    if (exportingClipdeck_)
        exportingClipdeck_->cancelExport();
    // The export renders on this thread and hands its end here: events run until it has.
    if (!exportThreadEnded_.load()) {
        QEventLoop loop;
        exportEndLoop_ = &loop;
        if (!exportThreadEnded_.load())
            loop.exec();
        exportEndLoop_ = nullptr;
    }
    exportThreadDidEnd();
}

void AppController::exportControllerDidCancel(CKProgressSheet* controller)
{
    if (controller == exportController_.get() && exportingClipdeck_)
        exportingClipdeck_->cancelExport();
}

void AppController::onMainThread(std::function<void(AppController&)> fn)
{
    mainthread::post([guard = exportGuard_, fn = std::move(fn)] {
        if (guard)
            fn(*guard);
    });
}

// The export's reports (its thread) ------------------------------------------------------------

void AppController::clipdeckStartedExportingSounds(CKClipdeck*)
{
    onMainThread([](AppController& self) {
        if (self.exportController_ && self.exportingClipdeck_)
            self.exportController_->setInfo(
                {{CKExportController::TitleKey, tr("Exporting %1...").arg(self.exportingClipdeck_->name())}});
    });
}

void AppController::clipdeckStartedExportingFile(CKClipdeck* clipdeck, const QString& name, std::size_t index)
{
    const float progress = clipdeck->exportProgress();
    onMainThread([name, index, progress](AppController& self) {
        if (!self.exportController_ || !self.exportingClipdeck_)
            return;
        self.exportController_->setInfo(
            {{CKExportController::ProgressKey, double(progress)},
             {CKExportController::MessageKey,
              QStringLiteral("(%1/%2) %3").arg(index + 1).arg(self.exportingClipdeck_->numberOfSounds()).arg(name)}});
    });
}

void AppController::clipdeckExportProgressUpdated(CKClipdeck*, float progress)
{
    onMainThread([progress](AppController& self) {
        if (self.exportController_)
            self.exportController_->setInfo({{CKExportController::ProgressKey, double(progress)}});
    });
}

void AppController::clipdeckFinishedExporting(CKClipdeck*)
{
    onMainThread([](AppController& self) {
        if (self.exportController_)
            self.exportController_->dismiss();
    });
}

void AppController::clipdeckExportDidCancel(CKClipdeck* clipdeck) { clipdeckFinishedExporting(clipdeck); }

void AppController::clipdeckDidFailToExport(CKClipdeck* clipdeck, const Error&)
{
    // The error is the export's answer too: it is shown once the thread has ended.
    clipdeckFinishedExporting(clipdeck);
}
