#include "app/CKAlert.h"

#include <QAbstractButton>
#include <QPushButton>

CKAlert::CKAlert(QWidget* parent) : QMessageBox(parent)
{
    setIcon(QMessageBox::Warning);
    setTextFormat(Qt::PlainText);
}

CKAlert* CKAlert::alertWithMessage(const QString& message, const QString& defaultButton,
                                   const QString& alternateButton, const QString& otherButton,
                                   const QString& informativeText)
{
    auto* alert = new CKAlert;
    alert->setText(message);
    alert->setInformativeText(informativeText);
    alert->addButtonWithTitle(defaultButton.isEmpty() ? tr("OK") : defaultButton, DefaultReturn);
    if (!alternateButton.isEmpty())
        alert->addButtonWithTitle(alternateButton, AlternateReturn);
    if (!otherButton.isEmpty())
        alert->addButtonWithTitle(otherButton, OtherReturn);
    return alert;
}

CKAlert* CKAlert::alertWithError(const Error& error)
{
    auto* alert = new CKAlert;
    alert->setText(error.description());
    alert->setInformativeText(!error.localizedFailureReason.isEmpty() ? error.localizedFailureReason
                                                                      : error.localizedRecoverySuggestion);
    const QStringList options =
        error.localizedRecoveryOptions.isEmpty() ? QStringList{tr("OK")} : error.localizedRecoveryOptions;
    for (qsizetype i = 0; i < options.size(); ++i)
        alert->addButtonWithTitle(options.at(i), FirstButtonReturn + int(i));
    return alert;
}

void CKAlert::setAlertStyle(Style style)
{
    switch (style) {
    case Style::Warning:
        setIcon(QMessageBox::Warning);
        break;
    case Style::Informational:
        setIcon(QMessageBox::Information);
        break;
    case Style::Critical:
        setIcon(QMessageBox::Critical);
        break;
    }
}

QAbstractButton* CKAlert::addButtonWithTitle(const QString& title, int returnCode)
{
    const bool first = buttons_.empty();
    const bool cancels = title == tr("Cancel");
    QPushButton* button = addButton(title, cancels ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    buttons_.emplace_back(button, returnCode);
    if (first)
        setDefaultButton(button);
    // Escape presses the "Cancel" button, else the last one.
    QAbstractButton* escape = nullptr;
    for (const auto& [candidate, code] : buttons_) {
        if (candidate->text() == tr("Cancel"))
            escape = candidate;
    }
    setEscapeButton(escape ? escape : buttons_.back().first);
    return button;
}

int CKAlert::returnCode() const
{
    QAbstractButton* clicked = clickedButton();
    if (!clicked)
        clicked = escapeButton();
    for (const auto& [button, code] : buttons_) {
        if (button == clicked)
            return code;
    }
    return buttons_.empty() ? DefaultReturn : buttons_.back().second;
}

QAbstractButton* CKAlert::buttonWithReturnCode(int returnCode) const
{
    for (const auto& [button, code] : buttons_) {
        if (code == returnCode)
            return button;
    }
    return nullptr;
}

void CKAlert::pressButtonWithReturnCode(int returnCode)
{
    if (QAbstractButton* button = buttonWithReturnCode(returnCode))
        button->click();
}
