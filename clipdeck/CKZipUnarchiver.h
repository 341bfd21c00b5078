#pragma once
// Unpacks the board archives (".ckzip") the user opens, one after another, each into a
// temporary folder with a ZEPUnzipper, while a progress sheet shows how far it is, and hands
// each unpacked board folder to its delegate (the application controller), which imports
// it as a new board.
//
// Each archive must hold exactly one folder at its top: that folder is moved into the
// system's temporary folder under the archive's name with the extension "clipdeck" (Party.ckzip
// holding Show.clipdeck gives Party.clipdeck; "Party 2.clipdeck" and so on when that name is
// taken) and handed over with zipUnarchiverDidUnarchiveURL.
//
// An archive that cannot be unpacked (unreadable, truncated, holding a name that would
// leave its folder, holding no single folder) is told with zipUnarchiverDidFailToUnarchiveFile
// and an error for the user; its temporary folder is removed, and the next archive is
// begun. After the last archive the sheet goes and the delegate hears zipUnarchiverDidFinish.
// The sheet's Cancel stops the current archive (its temporary folder is removed), dismisses
// the sheet and tells zipUnarchiverDidCancel; the archives still waiting stay queued, and the
// next importFile() begins the oldest of them. The progress on the sheet is refreshed every
// 0.2 s while an archive is unpacked (a Timer, so tests drive it with a ManualTimeSource).
//
// The delegate may destroy the unarchiver when it hears zipUnarchiverDidFinish or
// zipUnarchiverDidCancel (the last thing the unarchiver does), not from the other messages.
//
// Threads: main thread; the unzipping runs on the unzipper's own thread.

#include "clipdeck/CKProgressSheet.h"
#include "clipdeck/ZEPZipperDelegate.h"
#include "platform/Error.h"
#include "platform/TimeSource.h"

#include <QPointer>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <memory>

class CKZipUnarchiver;
class ZEPUnzipper;

class CKZipUnarchiverDelegate {
public:
    virtual ~CKZipUnarchiverDelegate() = default;
    // url: the unpacked board folder, in the temporary folder.
    virtual void zipUnarchiverDidUnarchiveURL(CKZipUnarchiver* unarchiver, const QUrl& url) = 0;
    virtual void zipUnarchiverDidFailToUnarchiveFile(CKZipUnarchiver* unarchiver, const QString& archivePath,
                                                     const Error& error) = 0;
    virtual void zipUnarchiverDidCancel(CKZipUnarchiver* unarchiver) = 0;
    virtual void zipUnarchiverDidFinish(CKZipUnarchiver* unarchiver) = 0;
};

class CKZipUnarchiver : public ZEPZipperDelegate, public CKExportControllerDelegate {
public:
    static inline const QString ErrorDomain = QStringLiteral("CKZipUnarchiver");
    // Error codes: the archive could not be unpacked; it holds no single board folder.
    static constexpr qint64 kUnarchiveFailedError = 1;
    static constexpr qint64 kNoClipdeckInArchiveError = 2;
    // The image the sheet shows.
    static inline const QString IconName = QStringLiteral("clipdeckarchive");
    static constexpr double kProgressUpdateInterval = 0.2;

    CKZipUnarchiver();
    // Stops an unpacking in progress (telling nobody) and removes its temporary folder.
    ~CKZipUnarchiver() override;
    CKZipUnarchiver(const CKZipUnarchiver&) = delete;
    CKZipUnarchiver& operator=(const CKZipUnarchiver&) = delete;

    // Queues the archive; begins it when nothing is being unpacked.
    void importFile(const QString& archivePath);
    // Begins the oldest waiting archive; nothing when none waits.
    void beginNextUnzip();
    // The sheet's Cancel.
    void exportControllerDidCancel(CKProgressSheet* controller) override;
    // Shows the current progress on the sheet (the timer's action).
    void update();

    QWidget* sheetParentWindow() const { return sheetParentWindow_; }
    void setSheetParentWindow(QWidget* window) { sheetParentWindow_ = window; }
    CKZipUnarchiverDelegate* delegate() const { return delegate_; }
    void setDelegate(CKZipUnarchiverDelegate* delegate) { delegate_ = delegate; }
    // Makes the progress sheet on first need; without one, nothing is shown.
    void setSheetFactory(CKProgressSheet::Factory factory) { sheetFactory_ = std::move(factory); }

    QStringList pendingArchives() const { return pendingQueue_; }
    bool isUnzipping() const { return unzipper_ != nullptr; }
    // The unzip in progress, or null.
    ZEPUnzipper* unzipper() const { return unzipper_.get(); }
    CKProgressSheet* exportController() const { return exportController_.get(); }
    // The temporary folder of the archive being unpacked (empty when none is).
    QString targetFolder() const { return unzipper_ ? targetFolder_ : QString(); }

    // ZEPZipperDelegate
    void zipperDidBegin(ZEPZipper* zipper) override;
    void zipperDidFinish(ZEPZipper* zipper) override;
    void zipperDidCancel(ZEPZipper* zipper) override;
    void zipperDidError(ZEPZipper* zipper) override;

private:
    bool isCurrent(const ZEPZipper* zipper) const;
    // Stops the timer, removes the temporary folder and lets go of the unzipper (after the
    // notice that ended it has returned).
    void endUnzip();
    // Hands over the single folder of the unpacked archive; else an error.
    void handOverUnpackedFolder();
    void failArchive(const Error& reason);
    // After an archive: the next one, or the end.
    void continueWithNextArchive();
    void dismissSheet();

    QStringList pendingQueue_;
    std::unique_ptr<ZEPUnzipper> unzipper_;
    QString currentArchive_;
    QString targetFolder_;
    std::unique_ptr<CKProgressSheet> exportController_;
    CKProgressSheet::Factory sheetFactory_;
    QPointer<QWidget> sheetParentWindow_;
    bool didCancel_ = false;
    Timer progressUpdateTimer_;
    CKZipUnarchiverDelegate* delegate_ = nullptr;
};
