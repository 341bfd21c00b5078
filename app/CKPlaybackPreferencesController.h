#pragma once
// The Playback pane: the ducking volume (a percentage field over the user default
// "duckingVolume") and how long ducking takes, the playback log's switch ("loggingEnabled")
// and its folder ("loggingPath", a folder's file URL with its trailing slash). The folder is
// chosen in a folder dialog shown as a sheet on the preferences window, where new folders
// may be made.
//
// Main thread only.

#include "platform/ui/ZEPPreferencesViewController.h"

#include <QFileDialog>
#include <QPointer>

class QCheckBox;
class QDoubleSpinBox;

class QLabel;
class QLineEdit;
class QPushButton;

class CKPlaybackPreferencesController : public ZEPPreferencesViewController {
    Q_OBJECT
public:
    explicit CKPlaybackPreferencesController(QWidget* parent = nullptr);

    // Registers the transformers the pane shows values through ("CKPercentageTransformerNoPrecision",
    // "CKStringToURLTransformer"), once.
    static void initialize();

    QString title() const override { return tr("Playback"); }
    QString toolbarImageName() const override { return QStringLiteral("prefs_toolbar_play"); }

    QLineEdit* duckingVolumeField() const { return duckingVolumeField_; }
    QLabel* loggingPathControl() const { return loggingPathControl_; }

    // Opens the folder chooser on the stored folder; a folder chosen there is stored.
    void chooseLoggingFolder();
    // The chooser while it is open, else null.
    QFileDialog* loggingFolderPanel() const { return panel_; }
    // Stores folder (a local path) as the log's folder.
    static void setLoggingFolder(const QString& folder);

private:
    void showLoggingPath();

    QLineEdit* duckingVolumeField_;
    QDoubleSpinBox* duckingDurationField_;
    QCheckBox* loggingEnabledBox_;
    QLabel* loggingPathControl_;
    QPushButton* chooseButton_;
    QPointer<QFileDialog> panel_;
};
