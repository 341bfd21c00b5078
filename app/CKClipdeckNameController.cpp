#include "app/CKClipdeckNameController.h"

#include "app/CKSheetPresenter.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CKClipdeckNameController::CKClipdeckNameController(QWidget* parent)
    : QDialog(parent), nameTextField_(new QLineEdit(this))
{
    setObjectName(QStringLiteral("CKClipdeckName"));
    setWindowTitle(tr("Clipdeck Name"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 18, 20, 14);
    layout->setSpacing(10);
    layout->addWidget(new QLabel(tr("Name of the clipdeck:"), this));
    nameTextField_->setObjectName(QStringLiteral("nameTextField"));
    nameTextField_->setMinimumWidth(280);
    layout->addWidget(nameTextField_);
    auto* buttons = new QDialogButtonBox(this);
    okButton_ = buttons->addButton(QDialogButtonBox::Ok);
    cancelButton_ = buttons->addButton(QDialogButtonBox::Cancel);
    okButton_->setDefault(true);
    layout->addWidget(buttons);
    connect(okButton_, &QPushButton::clicked, this, &CKClipdeckNameController::ok);
    connect(cancelButton_, &QPushButton::clicked, this, &CKClipdeckNameController::cancel);
}

void CKClipdeckNameController::presentForWindow(QWidget* window, const QString& name,
                                                CKClipdeckNameControllerDelegate* delegate)
{
    delegate_ = delegate;
    nameTextField_->setText(name);
    nameTextField_->selectAll();
    nameTextField_->setFocus(Qt::OtherFocusReason);
    CKSheetPresenter::shared().beginSheet(
        this, window, [this](int returnCode) { sheetDidEnd(returnCode); }, false);
}

void CKClipdeckNameController::sheetDidEnd(int returnCode)
{
    // Anything but OK (also the sheet going away with its window) leaves the name alone.
    if (returnCode != OKReturn || !delegate_)
        return;
    const QString name = nameTextField_->text().trimmed();
    if (!name.isEmpty())
        delegate_->nameController(this, name);
}
