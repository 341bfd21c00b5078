#pragma once
// Sheets, in place of the platform's document-modal sheets: every dialog that asks the user
// something over the main window (errors, confirmations, the name sheet) is shown through
// this one presenter. A sheet opens window-modal on its window (QDialog::open()); without a
// visible window it opens application-modal. Neither blocks: the caller hears the answer
// in didEnd, with the return code of the button that ended the sheet (CKAlert's codes, or
// the dialog's result for other dialogs).
//
// One sheet shows at a time; a sheet asked for while another shows waits behind it and
// opens when that one has ended (after its didEnd, so a sheet that didEnd begins opens
// first). While any sheet shows, key triggers are off (ClipdeckApplication's
// isForwardingEvents), without a gap between sheets that follow one another.
//
// Tests answer sheets through currentSheet(). Main thread only.

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <deque>
#include <functional>

class CKSheetPresenter : public QObject {
    Q_OBJECT
public:
    using DidEnd = std::function<void(int returnCode)>;

    // The program's presenter.
    static CKSheetPresenter& shared();

    // Shows sheet on window (or queues it). With deleteWhenDone the presenter deletes the
    // sheet once it has ended.
    void beginSheet(QDialog* sheet, QWidget* window, DidEnd didEnd, bool deleteWhenDone = true);

    // The sheet showing; null when none.
    QDialog* currentSheet() const { return current_.sheet; }
    bool isShowingSheet() const { return currentSheet() != nullptr; }
    // Sheets waiting behind the one showing.
    qsizetype numberOfWaitingSheets() const { return qsizetype(waiting_.size()); }

signals:
    void sheetDidBegin(QDialog* sheet);
    void sheetDidEnd(QDialog* sheet, int returnCode);

private:
    struct Entry {
        QPointer<QDialog> sheet;
        QPointer<QWidget> window;
        DidEnd didEnd;
        bool deleteWhenDone = true;
    };

    void openNext();
    // deleted: the sheet is being deleted (it may no longer be used).
    void sheetFinished(QDialog* sheet, int result, bool deleted);

    Entry current_;
    // The showing sheet, also once it is being deleted (current_ no longer knows it then).
    QDialog* currentSheet_ = nullptr;
    std::deque<Entry> waiting_;
};
