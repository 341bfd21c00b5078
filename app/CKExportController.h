#pragma once
// The progress sheet of a board's export and of the unpacking of board archives: a title, a
// message under it, an icon, a progress bar and a Cancel button, window-modal on the main
// window. It is shown through the shell's sheet presenter, so error sheets asked for while it
// shows wait behind it, and key triggers stay off while it is up. It belongs to whoever made
// it (the presenter never deletes it); deleting it while it shows ends it.
//
// Its contents change through properties (title, message, progress, icon) or all at once
// through an info map with the keys "title", "message", "progress" (a number, 0 to 1) and
// "icon" (an image name). setInfo() may be called from any thread.
//
// Threads: main thread, but for setInfo().

#include "clipdeck/CKProgressSheet.h"

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class QLabel;
class QProgressBar;
class QPushButton;

class CKExportController : public QDialog, public CKProgressSheet {
    Q_OBJECT
    Q_PROPERTY(QString message READ message WRITE setMessage NOTIFY messageChanged)
public:
    static inline const QString TitleKey = QStringLiteral("title");
    static inline const QString MessageKey = QStringLiteral("message");
    static inline const QString ProgressKey = QStringLiteral("progress");
    static inline const QString IconKey = QStringLiteral("icon");

    explicit CKExportController(QWidget* parent = nullptr);
    // Clears title, message and icon.
    ~CKExportController() override;

    // Shows the sheet on window (the presenter's queue decides when; without a window it is
    // application-modal). Nothing when it is begun already.
    void beginSheetModalForWindow(QWidget* window) override;
    // Ends the sheet (or takes it out of the presenter's queue) and hides it.
    void dismiss() override;
    // Begun and not dismissed yet (it may still wait behind another sheet).
    bool isSheetShown() const override { return begun_; }

    // The Cancel button: tells the delegate.
    void cancel();

    // Any thread: applies the keys present, in the order title, message, progress, icon,
    // on the main thread (at once when called there).
    void setInfo(const QVariantMap& info);
    // "title" and "message" when set, "progress" always (a double), "icon" when set.
    QVariantMap info() const;

    QString title() const { return title_; }
    void setTitle(const QString& title) override;
    QString message() const { return message_; }
    void setMessage(const QString& message);
    float progress() const { return progress_; }
    void setProgress(float progress) override;
    QString icon() const { return icon_; }
    void setIcon(const QString& imageName) override;
    CKExportControllerDelegate* delegate() const { return delegate_; }
    void setDelegate(CKExportControllerDelegate* delegate) override { delegate_ = delegate; }

    // The sheet's controls, for tests and pictures.
    QLabel* nameLabel() const { return nameLabel_; }
    QLabel* fileLabel() const { return fileLabel_; }
    QProgressBar* progressBar() const { return progressBar_; }
    QPushButton* cancelButton() const { return cancelButton_; }

signals:
    void messageChanged(const QString& message);

protected:
    // Escape cancels as the button does; the sheet stays until its work ends.
    void reject() override;

private:
    void applyInfo(const QVariantMap& info);

    QProgressBar* progressBar_;
    QLabel* nameLabel_;
    QLabel* fileLabel_;
    QLabel* iconView_;
    QPushButton* cancelButton_;
    QString icon_;
    QString title_;
    QString message_;
    float progress_ = 0.0f;
    CKExportControllerDelegate* delegate_ = nullptr;
    bool begun_ = false;
    // Dismissed while it still waited behind another sheet: it ends as soon as it opens.
    bool endWhenOpened_ = false;
    // Shown or waiting in the presenter's queue.
    bool inPresenter_ = false;
};
