#pragma once
// The sound editor sheet's controller, one per program. What the rest of the program asks of
// it so far: the editor's colour settings and its output device.
//
// Colours live in the user default "editorSettings", a dictionary of colours by key
// ("backgroundColor", "trackOneColor", ... stored with setColorForKey()). setEditorSettings()
// announces the key "editorSettings" (ObservableObject), which is how open editor views learn
// of new colours; resetEditorColors() writes the default colours without announcing them.
//
// The editor plays through the device whose uid the user default
// "kCKEditorOutputDeviceDefaultsKey" holds (absent: the default output device); whoever
// changes that key posts "CKEditorOutputDeviceChanged" (no object).
//
// The sheet itself is not built yet: asking for the editor on a sound announces the request
// (editRequested) and nothing opens, so isShowing() stays false and presses on the grid go
// on working.
//
// Main thread only.

#include "platform/ObservableObject.h"

#include <QVariantMap>

#include <memory>

class CKSoundSource;
class UserDefaults;
class ZEPAudioDevice;

class CKEditorController : public ObservableObject {
    Q_OBJECT
    Q_PROPERTY(QVariantMap editorSettings READ editorSettings WRITE setEditorSettings)
public:
    static inline const QString EditorSettingsKey = QStringLiteral("editorSettings");
    static inline const QString OutputDeviceKey = QStringLiteral("kCKEditorOutputDeviceDefaultsKey");
    static inline const QString OutputDeviceChangedNotification = QStringLiteral("CKEditorOutputDeviceChanged");

    // Made on first use, on the standard user defaults; never freed.
    static CKEditorController* sharedEditorController();

    explicit CKEditorController(UserDefaults& defaults, QObject* parent = nullptr);

    // The stored colours; when none are stored, the default colours are written first.
    QVariantMap editorSettings();
    // Stores settings and writes the defaults out; observers of "editorSettings" hear of it.
    void setEditorSettings(const QVariantMap& settings);
    // Stores the default colours and writes the defaults out, telling no observer.
    void resetEditorColors();
    // The default colours.
    static QVariantMap defaultEditorColors();

    // The device named by "kCKEditorOutputDeviceDefaultsKey"; null when the key is absent or
    // no connected device has that uid.
    static std::shared_ptr<ZEPAudioDevice> editorOutputDevice();

    // The editor sheet is up (the grid ignores presses then).
    bool isShowing() const { return isShowing_; }
    // Asks for the editor on the sound; a null sound (an empty cell) asks for nothing.
    void editSoundSource(const std::shared_ptr<CKSoundSource>& sound, void* layer = nullptr);

signals:
    void editRequested(std::shared_ptr<CKSoundSource> sound);

private:
    UserDefaults& defaults_;
    bool isShowing_ = false;
};
