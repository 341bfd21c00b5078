#include "app/CKRemoteConnectController.h"

#include "clipdeck/CKClipdeckHost.h"
#include "platform/NotificationCenter.h"
#include "platform/ui/ZEPImageNamed.h"
#include "remote/CKServerController.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kDigitPointSize = 38;

QLabel* imageView(const QString& imageName, QWidget* parent)
{
    auto* view = new QLabel(parent);
    view->setPixmap(QPixmap::fromImage(ZEPImageNamed(imageName)));
    view->setAlignment(Qt::AlignCenter);
    return view;
}

} // namespace

CKRemoteConnectController::CKRemoteConnectController(CKServerController* server, QWidget* parent)
    : QDialog(parent),
      server_(server ? server : CKServerController::sharedSyncController()),
      titleField_(new QLabel(tr("Clipdeck Remote"), this)),
      defaultButton_(new QPushButton(tr("Done"), this)),
      tableView_(new QTableWidget(0, 2, this)),
      validImage_(imageView(QStringLiteral("remote-passcode-valid"), this)),
      invalidImage_(imageView(QStringLiteral("remote-passcode-invalid"), this))
{
    setWindowTitle(tr("Clipdeck Remote"));

    const QStringList identifiers = {StatusColumn, NameColumn};
    const QStringList headers = {tr("Status"), tr("Name")};
    for (int column = 0; column < 2; ++column) {
        auto* header = new QTableWidgetItem(headers[column]);
        header->setData(Qt::UserRole, identifiers[column]);
        tableView_->setHorizontalHeaderItem(column, header);
    }
    tableView_->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->verticalHeader()->hide();
    tableView_->horizontalHeader()->setStretchLastSection(true);
    tableView_->setColumnWidth(0, 110);
    tableView_->setMinimumHeight(130);
    connect(tableView_, &QTableWidget::itemSelectionChanged, this, [this] {
        if (!selectingRow_)
            tableViewShouldSelectRow(selectedRow());
    });

    auto* digitRow = new QHBoxLayout;
    digitRow->addStretch();
    // Digits only: a letter never reaches the field.
    auto* digitOnly = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]")), this);
    for (std::size_t i = 0; i < digits_.size(); ++i) {
        QLabel* well = imageView(QStringLiteral("remote-digitwell"), this);
        well->setFixedSize(well->pixmap().size());
        auto* field = new QLineEdit(well);
        field->setMaxLength(1);
        field->setValidator(digitOnly);
        field->setAlignment(Qt::AlignCenter);
        field->setFrame(false);
        field->setAttribute(Qt::WA_MacShowFocusRect, false);
        field->setStyleSheet(QStringLiteral("background: transparent;"));
        field->setGeometry(well->rect().adjusted(4, 4, -4, -4));
        connect(field, &QLineEdit::textEdited, this, [this, field] { controlTextDidChange(field); });
        digits_[i] = field;
        digitWells_[i] = well;
        digitRow->addWidget(well);
    }
    digitRow->addSpacing(8);
    digitRow->addWidget(validImage_);
    digitRow->addWidget(invalidImage_);
    digitRow->addStretch();

    auto* hint = new QLabel(tr("To pair a Remote, select it and enter the passcode it shows."), this);
    hint->setWordWrap(true);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch();
    buttonRow->addWidget(defaultButton_);
    defaultButton_->setDefault(true);
    connect(defaultButton_, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 16);
    layout->addWidget(titleField_);
    layout->addWidget(tableView_);
    layout->addWidget(hint);
    layout->addLayout(digitRow);
    layout->addLayout(buttonRow);

    // What the window does once built.
    QFont titleFont = titleField_->font();
    titleFont.setBold(true);
    titleField_->setFont(titleFont);
    validImage_->hide();
    invalidImage_->hide();
    for (QLineEdit* field : digits_) {
        QFont font = field->font();
        font.setBold(true);
        font.setPointSize(kDigitPointSize);
        field->setFont(font);
    }
    reloadData();
    resetTableSelection();

    NotificationCenter::defaultCenter().addObserver(this, CKServerController::StatusChangeNotification, nullptr,
                                                    [this](const Notification&) { remoteStatusChanged(); });
}

CKRemoteConnectController::~CKRemoteConnectController() { NotificationCenter::defaultCenter().removeObserver(this); }

// Table ------------------------------------------------------------------------------------

int CKRemoteConnectController::numberOfRowsInTableView()
{
    const qsizetype pending = server_->listOfPendingClientNames().size();
    if (pending == 0)
        setPasscodeDigitsEnabled(false);
    return int(pending + server_->listOfActiveClientNames().size());
}

QVariant CKRemoteConnectController::objectValueForTableColumn(const QString& identifier, int row) const
{
    const QStringList names = server_->listOfAllClientNames();
    if (row < 0 || row >= names.size())
        return {};
    if (identifier == StatusColumn)
        return row < server_->listOfPendingClientNames().size() ? tr("Pending") : tr("Connected");
    if (identifier == NameColumn)
        return names.at(row);
    return {};
}

bool CKRemoteConnectController::tableViewShouldSelectRow(int row)
{
    emptyDigits();
    setPasscodeDigitsEnabled(row >= 0 && row < server_->listOfPendingClientNames().size());
    return true;
}

void CKRemoteConnectController::reloadData()
{
    selectingRow_ = true;
    const int rows = numberOfRowsInTableView();
    tableView_->clearSelection();
    tableView_->setRowCount(rows);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < 2; ++column) {
            const QString identifier = tableView_->horizontalHeaderItem(column)->data(Qt::UserRole).toString();
            tableView_->setItem(row, column, new QTableWidgetItem(objectValueForTableColumn(identifier, row).toString()));
        }
    selectingRow_ = false;
}

int CKRemoteConnectController::selectedRow() const
{
    const QList<QTableWidgetSelectionRange> ranges = tableView_->selectedRanges();
    return ranges.isEmpty() ? -1 : ranges.first().topRow();
}

void CKRemoteConnectController::resetTableSelection()
{
    if (!server_->listOfPendingClientNames().isEmpty()) {
        selectingRow_ = true;
        tableView_->clearSelection();
        tableView_->selectRow(0);
        selectingRow_ = false;
        setPasscodeDigitsEnabled(true);
        emptyDigits();
    } else {
        setPasscodeDigitsEnabled(false);
        defaultButton_->setFocus(Qt::OtherFocusReason);
    }
}

void CKRemoteConnectController::remoteStatusChanged()
{
    reloadData();
    resetTableSelection();
}

// Digits -----------------------------------------------------------------------------------

void CKRemoteConnectController::setPasscodeDigitsEnabled(bool enabled)
{
    for (std::size_t i = 0; i < digits_.size(); ++i) {
        digits_[i]->setEnabled(enabled);
        digitWells_[i]->setEnabled(enabled);
    }
    if (enabled)
        digits_[0]->setFocus(Qt::OtherFocusReason);
}

void CKRemoteConnectController::clearPasscodeDigits()
{
    validImage_->hide();
    invalidImage_->hide();
    emptyDigits();
}

void CKRemoteConnectController::emptyDigits()
{
    for (QLineEdit* field : digits_)
        field->clear();
}

void CKRemoteConnectController::advanceDigit(QLineEdit* field)
{
    defaultButton_->setText(tr("Cancel"));
    const auto at = std::find(digits_.begin(), digits_.end(), field);
    if (at == digits_.end())
        return;
    QLineEdit* next = std::next(at) == digits_.end() ? digits_.front() : *std::next(at);
    next->setFocus(Qt::OtherFocusReason);
    // A digit typed into a field that holds one replaces it.
    next->selectAll();
}

void CKRemoteConnectController::controlTextDidChange(QLineEdit* field)
{
    const QString text = field->text();
    if (text.isEmpty()) {
        if (std::all_of(digits_.begin(), digits_.end(), [](const QLineEdit* digit) { return digit->text().isEmpty(); }))
            defaultButton_->setText(tr("Done"));
        return;
    }
    if (!text.front().isDigit())
        return;
    if (std::any_of(digits_.begin(), digits_.end(), [](const QLineEdit* digit) { return digit->text().isEmpty(); })) {
        advanceDigit(field);
        return;
    }
    QString passcode;
    for (const QLineEdit* digit : digits_)
        passcode += digit->text();
    const QStringList names = server_->listOfAllClientNames();
    const int row = selectedRow();
    if (row < 0 || row >= names.size())
        return;
    if (server_->clientName(names.at(row), QVariant(passcode.toLongLong()))) {
        invalidImage_->hide();
        validImage_->show();
        defaultButton_->setText(tr("Done"));
        emptyDigits();
        reloadData();
        resetTableSelection();
    } else {
        if (invalidImage_->isHidden())
            CKClipdeckHost::current().beep();
        validImage_->hide();
        invalidImage_->show();
        advanceDigit(field);
    }
}
