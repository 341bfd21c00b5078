#pragma once
// The Editor pane: the editor's output device, its colours and its scrub and fade durations.
//
// Output device: the pop-up lists "Default Output Device" (tag kDefaultDeviceTag), then every
// output device (tagged by its place in the list). It shows the device whose uid the user
// default "kCKEditorOutputDeviceDefaultsKey" holds (none: the default item; a device not
// connected: no item, its name as placeholder). Only the user's pick writes the key: the
// default item removes it, a device stores its uid unless that uid is stored already; either
// change posts "CKEditorOutputDeviceChanged" (no object) once. When the device list changes
// ("kAudioHardwarePropertyDevices") the pop-up is rebuilt and shows the stored choice again,
// writing nothing.
//
// Colours: seven wells over the editor controller's "editorSettings"; a chosen colour is
// handed to the controller (which stores it) and "CKEditorColorsChanged" is posted. The
// durations are spin boxes over "MinimumScrubDuration" (0.25 to 0.5 s), "ScrubDuration"
// (0.5 to 1.5 s) and "DefaultFadeDuration" (0 to 30 s).
//
// Main thread only.

#include "platform/ui/ZEPPreferencesViewController.h"

#include <QVariantMap>

#include <vector>

class CKColorWell;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;

class CKEditorPreferencesController : public ZEPPreferencesViewController {
    Q_OBJECT
public:
    static constexpr int kDefaultDeviceTag = 0x7fffffff;
    static inline const QString ColorsChangedNotification = QStringLiteral("CKEditorColorsChanged");

    explicit CKEditorPreferencesController(QWidget* parent = nullptr);
    ~CKEditorPreferencesController() override;

    QString title() const override { return tr("Editor"); }
    QString toolbarImageName() const override { return QStringLiteral("prefs_toolbar_editor"); }
    void viewWillAppear() override;
    void viewWillDisappear() override;

    QComboBox* editorOutputButton() const { return editorOutputButton_; }
    // Rebuilds the device pop-up and selects the stored choice.
    void updateOutputPopUpButton();
    // The user's pick in the device pop-up: stores it (see above).
    void updateOutputDevice();
    void deviceListChanged();

    // The wells, in the order background, track one, track two, track one secondary, track
    // two secondary, fade, selection; and the well of a colour key (null when none).
    const std::vector<CKColorWell*>& colorWells() const { return wells_; }
    CKColorWell* colorWellForKey(const QString& key) const;
    void updateColorWellKeys();
    // Hands the pane's colours to the editor controller and posts "CKEditorColorsChanged".
    void colorUpdated(CKColorWell* well);
    // The editor's default colours, stored and posted as above.
    void resetColors();
    QVariantMap editorSettings() const { return editorSettings_; }
    // Keeps settings (when they differ from the pane's) and shows them in the wells.
    void setEditorSettings(const QVariantMap& settings);

    QDoubleSpinBox* minimumScrubDurationField() const { return minimumScrubDurationField_; }
    QDoubleSpinBox* scrubDurationField() const { return scrubDurationField_; }
    QDoubleSpinBox* fadeDurationField() const { return fadeDurationField_; }

private:
    QComboBox* editorOutputButton_;
    std::vector<CKColorWell*> wells_;
    QPushButton* resetButton_;
    QDoubleSpinBox* minimumScrubDurationField_;
    QDoubleSpinBox* scrubDurationField_;
    QDoubleSpinBox* fadeDurationField_;
    QVariantMap editorSettings_;
    bool boundToEditorController_ = false;
};
