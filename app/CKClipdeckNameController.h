#pragma once
// The sheet that asks for a board's name: a field showing the current name, all selected,
// with OK and Cancel. OK with a name (not blank) hands the name, trimmed, to the delegate;
// Cancel, Escape or a blank name change nothing. Shown through CKSheetPresenter, so key
// triggers are off while it is up. The application keeps one for its life.
//
// The board it asks about is the delegate's business: the sheet only carries it
// (clipdeck(), null when the name is for a new board).
//
// Main thread only.

#include <QDialog>

#include <memory>

class CKClipdeck;
class CKClipdeckNameController;
class QLineEdit;
class QPushButton;

class CKClipdeckNameControllerDelegate {
public:
    virtual ~CKClipdeckNameControllerDelegate() = default;
    virtual void nameController(CKClipdeckNameController* controller, const QString& didGetNewName) = 0;
};

class CKClipdeckNameController : public QDialog {
    Q_OBJECT
public:
    static constexpr int OKReturn = 1;
    static constexpr int CancelReturn = 0;

    explicit CKClipdeckNameController(QWidget* parent = nullptr);

    std::shared_ptr<CKClipdeck> clipdeck() const { return clipdeck_; }
    void setClipdeck(std::shared_ptr<CKClipdeck> clipdeck) { clipdeck_ = std::move(clipdeck); }
    CKClipdeckNameControllerDelegate* delegate() const { return delegate_; }

    // Shows the sheet on window with name in the field.
    void presentForWindow(QWidget* window, const QString& name, CKClipdeckNameControllerDelegate* delegate);

    QLineEdit* nameTextField() const { return nameTextField_; }
    QPushButton* okButton() const { return okButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }

    void ok() { done(OKReturn); }
    void cancel() { done(CancelReturn); }

private:
    void sheetDidEnd(int returnCode);

    QLineEdit* nameTextField_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    std::shared_ptr<CKClipdeck> clipdeck_;
    CKClipdeckNameControllerDelegate* delegate_ = nullptr;
};
