#pragma once
// The Remote pane: a check box that shows whether the remote service runs and switches it
// (storing the choice under the user default "RemoteEnabled"), and a button that, once the
// user confirms, forgets every paired remote. The check box follows the server controller
// (each "NotificationStatusChange"), not the default: switched on, it stays unchecked until
// the service is published, and unchecks again when publishing fails.
//
// Main thread only.

#include "platform/ui/ZEPPreferencesViewController.h"

class CKAlert;
class CKServerController;
class QCheckBox;
class QPushButton;

class CKRemotePreferencesController : public ZEPPreferencesViewController {
    Q_OBJECT
public:
    static inline const QString RemoteEnabledKey = QStringLiteral("RemoteEnabled");

    // server: the program's controller unless given.
    explicit CKRemotePreferencesController(CKServerController* server = nullptr, QWidget* parent = nullptr);
    ~CKRemotePreferencesController() override;

    QString title() const override { return tr("Remote"); }
    QString toolbarImageName() const override { return QStringLiteral("prefs_toolbar_remote"); }
    void viewWillAppear() override { updateCheckbox(); }

    QCheckBox* enabledCheckbox() const { return enabledCheckbox_; }
    QPushButton* deauthorizeButton() const { return deauthorizeButton_; }

    void updateCheckbox();
    // The check box's action: switches the service to its state and stores that state.
    void toggleEnable();
    // Asks, in a sheet on the pane's window, whether to forget every paired remote.
    void deauthorizeAllRemotes();
    // The end of that sheet: the first button (1000) forgets them, any other does nothing.
    void alertDidEnd(int returnCode);

private:
    CKServerController* server_;
    QCheckBox* enabledCheckbox_;
    QPushButton* deauthorizeButton_;
};
