#include "editor/CKEditorController.h"

#include "audio/engine/ZEPAudioDevice.h"
#include "platform/UserDefaults.h"
#include "platform/ui/AppKitExtensions.h"

#include <QColor>

CKEditorController* CKEditorController::sharedEditorController()
{
    static CKEditorController* const shared = new CKEditorController(UserDefaults::standardUserDefaults());
    return shared;
}

CKEditorController::CKEditorController(UserDefaults& defaults, QObject* parent)
    : ObservableObject(parent), defaults_(defaults)
{
}

QVariantMap CKEditorController::editorSettings()
{
    if (!defaults_.objectForKey(EditorSettingsKey).isValid())
        resetEditorColors();
    return defaults_.dictionaryForKey(EditorSettingsKey);
}

void CKEditorController::setEditorSettings(const QVariantMap& settings)
{
    const QVariantMap old = defaults_.dictionaryForKey(EditorSettingsKey);
    defaults_.setObject(settings, EditorSettingsKey);
    defaults_.synchronize();
    didChangeValueForKey(EditorSettingsKey, old, settings);
}

QVariantMap CKEditorController::defaultEditorColors()
{
    const auto rgb = [](double r, double g, double b) { return QColor::fromRgbF(float(r), float(g), float(b), 1.0f); };
    const QColor background = rgb(214 / 255.0, 217 / 255.0, 196 / 255.0);
    const QColor fade = rgb(0.261543, 0.294118, 0.235907);
    QVariantMap colors;
    setColorForKey(colors, background, QStringLiteral("backgroundColor"));
    setColorForKey(colors, background, QStringLiteral("waveformBackgroundColor"));
    setColorForKey(colors, rgb(0.530728, 0.542986, 0.479391), QStringLiteral("trackOneColor"));
    setColorForKey(colors, rgb(197 / 255.0, 199 / 255.0, 180 / 255.0), QStringLiteral("trackOneSecondaryColor"));
    setColorForKey(colors, rgb(0.473426, 0.49807, 0.54078), QStringLiteral("trackTwoColor"));
    setColorForKey(colors, rgb(0.699931, 0.728222, 0.780941), QStringLiteral("trackTwoSecondaryColor"));
    setColorForKey(colors, fade, QStringLiteral("endFadeColor"));
    setColorForKey(colors, fade, QStringLiteral("fadeColor"));
    setColorForKey(colors, QColor(Qt::yellow), QStringLiteral("selectionColor"));
    return colors;
}

void CKEditorController::resetEditorColors()
{
    defaults_.setObject(defaultEditorColors(), EditorSettingsKey);
    defaults_.synchronize();
}

std::shared_ptr<ZEPAudioDevice> CKEditorController::editorOutputDevice()
{
    const QString uid = UserDefaults::standardUserDefaults().stringForKey(OutputDeviceKey);
    if (uid.isEmpty())
        return nullptr;
    return ZEPAudioDevice::audioDeviceWithDeviceUID(uid);
}

void CKEditorController::editSoundSource(const std::shared_ptr<CKSoundSource>& sound, void*)
{
    if (sound)
        emit editRequested(sound);
}
