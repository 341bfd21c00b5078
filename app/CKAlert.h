#pragma once
// An alert, in place of the platform's alert panels: a message, an informative text and up
// to three buttons, shown as a sheet through CKSheetPresenter. Its return code names the
// button that ended it, in the two numberings the program uses:
//  - built with default, alternate and other buttons: DefaultReturn (1), AlternateReturn
//    (0), OtherReturn (-1);
//  - built from an error: FirstButtonReturn (1000) for the first recovery option (or
//    "OK"), 1001 for the second, and so on.
// Escape (or closing the window) ends it with the code of its cancelling button: the one
// titled "Cancel" when it has one, else its last button.
// Main thread only.

#include "platform/Error.h"

#include <QMessageBox>

#include <vector>

class CKAlert : public QMessageBox {
    Q_OBJECT
public:
    static constexpr int DefaultReturn = 1;
    static constexpr int AlternateReturn = 0;
    static constexpr int OtherReturn = -1;
    static constexpr int FirstButtonReturn = 1000;

    enum class Style { Warning, Informational, Critical };

    // Empty titles leave a button out; the default button is "OK" when its title is empty.
    static CKAlert* alertWithMessage(const QString& message, const QString& defaultButton,
                                     const QString& alternateButton, const QString& otherButton,
                                     const QString& informativeText);
    // The error's description is the message; its failure reason, when it has one, else its
    // recovery suggestion, the informative text; its recovery options the buttons ("OK"
    // without options).
    static CKAlert* alertWithError(const Error& error);

    explicit CKAlert(QWidget* parent = nullptr);

    void setAlertStyle(Style style);
    // Adds a button answering returnCode; the first one added is the default button.
    QAbstractButton* addButtonWithTitle(const QString& title, int returnCode);

    // The code of the button that ended the alert (its cancelling button's until then).
    int returnCode() const;
    QAbstractButton* buttonWithReturnCode(int returnCode) const;
    // Presses that button (tests, and the quit path answering for the user).
    void pressButtonWithReturnCode(int returnCode);

private:
    std::vector<std::pair<QAbstractButton*, int>> buttons_;
};
