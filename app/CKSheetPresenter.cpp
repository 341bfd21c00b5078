#include "app/CKSheetPresenter.h"

#include "app/CKAlert.h"
#include "app/ClipdeckApplication.h"

CKSheetPresenter& CKSheetPresenter::shared()
{
    static CKSheetPresenter presenter;
    return presenter;
}

void CKSheetPresenter::beginSheet(QDialog* sheet, QWidget* window, DidEnd didEnd, bool deleteWhenDone)
{
    if (!sheet)
        return;
    waiting_.push_back(Entry{sheet, window, std::move(didEnd), deleteWhenDone});
    openNext();
}

void CKSheetPresenter::openNext()
{
    while (!current_.sheet && !waiting_.empty()) {
        Entry entry = std::move(waiting_.front());
        waiting_.pop_front();
        if (!entry.sheet)
            continue; // deleted while it waited
        if (!entry.sheet->isWindow() || entry.sheet->parentWidget() != entry.window)
            entry.sheet->setParent(entry.window, entry.sheet->windowFlags() | Qt::Dialog);
        current_ = entry;
        if (ClipdeckApplication* application = ClipdeckApplication::sharedApplication())
            application->setIsForwardingEvents(false);
        QDialog* sheet = entry.sheet;
        currentSheet_ = sheet;
        connect(sheet, &QDialog::finished, this, [this, sheet](int result) { sheetFinished(sheet, result, false); });
        // A sheet deleted while it shows ends as cancelled, so key triggers come back.
        connect(sheet, &QObject::destroyed, this, [this, sheet] { sheetFinished(sheet, QDialog::Rejected, true); });
        if (entry.window && entry.window->isVisible()) {
            sheet->open(); // window-modal
        } else {
            sheet->setWindowModality(Qt::ApplicationModal);
            sheet->setResult(0);
            sheet->show();
        }
        sheet->raise();
        sheet->activateWindow();
        emit sheetDidBegin(sheet);
    }
}

void CKSheetPresenter::sheetFinished(QDialog* sheet, int result, bool deleted)
{
    if (currentSheet_ != sheet)
        return;
    const bool alive = !deleted;
    if (alive)
        disconnect(sheet, nullptr, this, nullptr);
    Entry ended = std::move(current_);
    current_ = Entry{};
    currentSheet_ = nullptr;
    const CKAlert* alert = alive ? qobject_cast<const CKAlert*>(sheet) : nullptr;
    const int returnCode = alert ? alert->returnCode() : result;
    if (ended.didEnd)
        ended.didEnd(returnCode);
    if (alive)
        emit sheetDidEnd(sheet, returnCode);
    openNext();
    // This sheet's hold on key triggers goes last, so sheets that follow leave no gap.
    if (ClipdeckApplication* application = ClipdeckApplication::sharedApplication())
        application->setIsForwardingEvents(true);
    if (alive && ended.deleteWhenDone)
        sheet->deleteLater();
}
