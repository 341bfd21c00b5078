#pragma once
// The pairing sheet: a table of the remotes waiting for their passcode ("Pending") and of
// those paired ("Connected"), in the order listOfAllClientNames() gives them (waiting ones
// first), and four one-digit fields for the passcode that the selected waiting remote shows.
// When the fourth digit is typed the sheet asks the server controller to pair that remote:
// a right code pairs it and selects the next waiting remote; a wrong one beeps (not again
// while the wrong-code mark still shows) and moves the focus back to the first digit.
//
// The sheet follows the server's "NotificationStatusChange" while it is open. The shell
// begins it through CKSheetPresenter, which deletes it once it has ended. Main thread only.

#include <QDialog>

#include <array>

class CKServerController;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

class CKRemoteConnectController : public QDialog {
    Q_OBJECT
public:
    // The table's column identifiers.
    static inline const QString StatusColumn = QStringLiteral("status");
    static inline const QString NameColumn = QStringLiteral("name");

    // server: the program's controller unless given.
    explicit CKRemoteConnectController(CKServerController* server = nullptr, QWidget* parent = nullptr);
    ~CKRemoteConnectController() override;

    QLabel* titleField() const { return titleField_; }
    // Closes the sheet; "Cancel" while a passcode is being typed, else "Done".
    QPushButton* defaultButton() const { return defaultButton_; }
    QTableWidget* tableView() const { return tableView_; }
    QLabel* validImage() const { return validImage_; }
    QLabel* invalidImage() const { return invalidImage_; }
    const std::array<QLineEdit*, 4>& digits() const { return digits_; }
    const std::array<QLabel*, 4>& digitWells() const { return digitWells_; }

    // The table's contents: waiting plus paired remotes (disabling the digits when none
    // waits); "Pending" or "Connected" for the column "status", the name for "name",
    // nothing for another column or a row beyond the list.
    int numberOfRowsInTableView();
    QVariant objectValueForTableColumn(const QString& identifier, int row) const;
    // A row the user selects: empties the digits and enables them for a waiting remote.
    bool tableViewShouldSelectRow(int row);

    // A digit field's text changed by the user.
    void controlTextDidChange(QLineEdit* field);
    // Selects the first waiting remote and readies the digits for it; with none waiting,
    // disables the digits and gives the button the focus.
    void resetTableSelection();
    void setPasscodeDigitsEnabled(bool enabled);
    // Hides both marks and empties the digits.
    void clearPasscodeDigits();
    void remoteStatusChanged();
    // Titles the button "Cancel" and moves the focus to the digit after field (the first
    // after the fourth).
    void advanceDigit(QLineEdit* field);

private:
    void reloadData();
    // The selected row; -1 for none.
    int selectedRow() const;
    void emptyDigits();

    CKServerController* server_;
    QLabel* titleField_;
    QPushButton* defaultButton_;
    QTableWidget* tableView_;
    QLabel* validImage_;
    QLabel* invalidImage_;
    std::array<QLineEdit*, 4> digits_{};
    std::array<QLabel*, 4> digitWells_{};
    // Selections made by the sheet itself are not the user's.
    bool selectingRow_ = false;
};
