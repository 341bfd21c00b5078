#include "app/CKRemotePreferencesController.h"

#include "app/CKAlert.h"
#include "app/CKSheetPresenter.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "remote/CKServerController.h"

#include <QCheckBox>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CKRemotePreferencesController::CKRemotePreferencesController(CKServerController* server, QWidget* parent)
    : ZEPPreferencesViewController(parent),
      server_(server ? server : CKServerController::sharedSyncController()),
      enabledCheckbox_(new QCheckBox(tr("Enable Clipdeck Remote"), this)),
      deauthorizeButton_(new QPushButton(tr("Deauthorize All Remotes…"), this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->addWidget(enabledCheckbox_);
    auto* explanation = new QLabel(
        tr("Clipdeck Remote controls Clipdeck from a tablet on the same network. Remotes pair with a passcode "
           "shown on the tablet; a paired Remote connects again without one."),
        this);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);
    layout->addSpacing(8);
    layout->addWidget(deauthorizeButton_, 0, Qt::AlignLeft);
    layout->addStretch();

    connect(enabledCheckbox_, &QCheckBox::clicked, this, [this] { toggleEnable(); });
    connect(deauthorizeButton_, &QPushButton::clicked, this, [this] { deauthorizeAllRemotes(); });
    NotificationCenter::defaultCenter().addObserver(this, CKServerController::StatusChangeNotification, nullptr,
                                                    [this](const Notification&) { updateCheckbox(); });
    updateCheckbox();
}

CKRemotePreferencesController::~CKRemotePreferencesController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void CKRemotePreferencesController::updateCheckbox() { enabledCheckbox_->setChecked(server_->isEnabled()); }

void CKRemotePreferencesController::toggleEnable()
{
    const bool enabled = enabledCheckbox_->isChecked();
    server_->setRemoteEnabled(enabled);
    UserDefaults::standardUserDefaults().setBool(enabled, RemoteEnabledKey);
}

void CKRemotePreferencesController::deauthorizeAllRemotes()
{
    auto* alert = new CKAlert;
    alert->setAlertStyle(CKAlert::Style::Warning);
    alert->setText(tr("Deauthorize all Remotes?"));
    alert->setInformativeText(tr("All Remote pairings will be lost. Connected Remotes will be disconnected."));
    QAbstractButton* deauthorize = alert->addButtonWithTitle(tr("Deauthorize"), CKAlert::FirstButtonReturn);
    deauthorize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    // Return answers "Cancel": forgetting every pairing takes a deliberate choice.
    auto* cancel = qobject_cast<QPushButton*>(alert->addButtonWithTitle(tr("Cancel"), CKAlert::FirstButtonReturn + 1));
    alert->setDefaultButton(cancel);
    CKSheetPresenter::shared().beginSheet(alert, window(), [this](int returnCode) { alertDidEnd(returnCode); });
}

void CKRemotePreferencesController::alertDidEnd(int returnCode)
{
    if (returnCode == CKAlert::FirstButtonReturn)
        server_->deauthorizeAllRemotes();
}
