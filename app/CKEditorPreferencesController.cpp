#include "app/CKEditorPreferencesController.h"

#include "app/CKColorWell.h"
#include "app/CKDefaultsBinding.h"
#include "audio/engine/ZEPAudioDevice.h"
#include "clipdeck/CKPlaybackController.h"
#include "editor/CKEditorController.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/ui/AppKitExtensions.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

namespace {

// Each item of the device pop-up keeps its device's uid here.
constexpr int kDeviceUIDRole = Qt::UserRole + 1;

struct WellInfo {
    const char* key;
    const char* label;
};
const WellInfo kWells[] = {
    {"backgroundColor", QT_TRANSLATE_NOOP("CKEditorPreferencesController", "Background")},
    {"trackOneColor", QT_TRANSLATE_NOOP("CKEditorPreferencesController", "Left channel")},
    {"trackTwoColor", QT_TRANSLATE_NOOP("CKEditorPreferencesController", "Right channel")},
    {"trackOneSecondaryColor", QT_TRANSLATE_NOOP("CKEditorPreferencesController", "Left channel shading")},
    {"trackTwoSecondaryColor", QT_TRANSLATE_NOOP("CKEditorPreferencesController", "Right channel shading")},
    {"fadeColor", QT_TRANSLATE_NOOP("CKEditorPreferencesController", "Fades")},
    {"selectionColor", QT_TRANSLATE_NOOP("CKEditorPreferencesController", "Selection")},
};

QDoubleSpinBox* durationField(QWidget* parent, double minimum, double maximum, const QString& key)
{
    auto* field = new QDoubleSpinBox(parent);
    field->setRange(minimum, maximum);
    field->setDecimals(2);
    field->setSingleStep(0.05);
    field->setSuffix(QObject::tr(" s"));
    CKDefaultsBinding::bindValue(field, UserDefaults::standardUserDefaults(), key);
    return field;
}

} // namespace

CKEditorPreferencesController::CKEditorPreferencesController(QWidget* parent)
    : ZEPPreferencesViewController(parent),
      editorOutputButton_(new QComboBox(this)),
      resetButton_(new QPushButton(tr("Reset Colors"), this)),
      minimumScrubDurationField_(durationField(this, 0.25, 0.5, QStringLiteral("MinimumScrubDuration"))),
      scrubDurationField_(durationField(this, 0.5, 1.5, QStringLiteral("ScrubDuration"))),
      fadeDurationField_(durationField(this, 0.0, 30.0, QStringLiteral("DefaultFadeDuration")))
{
    auto* form = new QFormLayout(this);
    form->setContentsMargins(24, 20, 24, 20);
    editorOutputButton_->setMinimumWidth(240);
    form->addRow(tr("Play the editor through:"), editorOutputButton_);
    connect(editorOutputButton_, &QComboBox::activated, this, [this] { updateOutputDevice(); });

    auto* colors = new QGridLayout;
    for (std::size_t i = 0; i < std::size(kWells); ++i) {
        auto* well = new CKColorWell(this);
        wells_.push_back(well);
        connect(well, &CKColorWell::colorChosen, this, &CKEditorPreferencesController::colorUpdated);
        const int row = int(i) % 4;
        const int column = int(i) / 4 * 2;
        colors->addWidget(new QLabel(tr(kWells[i].label), this), row, column);
        colors->addWidget(well, row, column + 1);
    }
    colors->addWidget(resetButton_, 3, 2, 1, 2, Qt::AlignRight);
    form->addRow(tr("Colors:"), colors);
    connect(resetButton_, &QPushButton::clicked, this, &CKEditorPreferencesController::resetColors);

    form->addRow(tr("Shortest scrub:"), minimumScrubDurationField_);
    form->addRow(tr("Scrub length:"), scrubDurationField_);
    form->addRow(tr("Default fade length:"), fadeDurationField_);

    updateColorWellKeys();
    NotificationCenter::defaultCenter().addObserver(this, CKPlaybackController::DevicesChangedNotification, nullptr,
                                                    [this](const Notification&) { deviceListChanged(); });
}

CKEditorPreferencesController::~CKEditorPreferencesController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void CKEditorPreferencesController::updateOutputPopUpButton()
{
    const QString stored = UserDefaults::standardUserDefaults().stringForKey(CKEditorController::OutputDeviceKey);
    editorOutputButton_->clear();
    editorOutputButton_->setPlaceholderText(QString());
    editorOutputButton_->addItem(tr("Default Output Device"), kDefaultDeviceTag);
    editorOutputButton_->insertSeparator(1);
    int selected = stored.isEmpty() ? 0 : -1;
    const auto devices = ZEPAudioDevice::outputAudioDevices();
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const QString uid = devices[i]->uid();
        editorOutputButton_->addItem(devices[i]->name(), int(i));
        editorOutputButton_->setItemData(editorOutputButton_->count() - 1, uid, kDeviceUIDRole);
        if (!stored.isEmpty() && uid == stored)
            selected = editorOutputButton_->count() - 1;
    }
    if (selected < 0) // the stored device is not connected: show its name, select nothing
        editorOutputButton_->setPlaceholderText(tr("%1 (not connected)").arg(stored.section(QLatin1Char(':'), 1)));
    editorOutputButton_->setCurrentIndex(selected);
}

void CKEditorPreferencesController::updateOutputDevice()
{
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    const QString key = CKEditorController::OutputDeviceKey;
    bool changed = false;
    if (editorOutputButton_->currentData().toInt() == kDefaultDeviceTag) {
        if (defaults.objectForKey(key).isValid()) {
            defaults.removeObjectForKey(key);
            changed = true;
        }
    } else {
        const QString uid = editorOutputButton_->currentData(kDeviceUIDRole).toString();
        if (!uid.isEmpty() && uid != defaults.stringForKey(key)) {
            defaults.setObject(uid, key);
            changed = true;
        }
    }
    defaults.synchronize();
    if (changed)
        NotificationCenter::defaultCenter().post(CKEditorController::OutputDeviceChangedNotification);
}

void CKEditorPreferencesController::deviceListChanged()
{
    // Only the user's pick stores a device: a list that changes keeps the stored choice.
    updateOutputPopUpButton();
}

CKColorWell* CKEditorPreferencesController::colorWellForKey(const QString& key) const
{
    for (CKColorWell* well : wells_)
        if (well->key() == key)
            return well;
    return nullptr;
}

void CKEditorPreferencesController::updateColorWellKeys()
{
    for (std::size_t i = 0; i < wells_.size(); ++i)
        wells_[i]->setKey(QString::fromLatin1(kWells[i].key));
}

void CKEditorPreferencesController::viewWillAppear()
{
    updateOutputPopUpButton();
    updateColorWellKeys();
    CKEditorController* editor = CKEditorController::sharedEditorController();
    setEditorSettings(editor->editorSettings()); // writes the default colours when none are stored
    if (!boundToEditorController_) {
        boundToEditorController_ = true;
        editor->observeKey(CKEditorController::EditorSettingsKey, this,
                           [this](const QVariant&, const QVariant& now) { setEditorSettings(now.toMap()); });
    }
}

void CKEditorPreferencesController::viewWillDisappear()
{
    CKEditorController::sharedEditorController()->setEditorSettings(editorSettings_);
}

void CKEditorPreferencesController::setEditorSettings(const QVariantMap& settings)
{
    if (settings != editorSettings_)
        editorSettings_ = settings;
    for (CKColorWell* well : wells_)
        well->setColor(colorForKey(editorSettings_, well->key()));
}

void CKEditorPreferencesController::colorUpdated(CKColorWell* well)
{
    if (well)
        setColorForKey(editorSettings_, well->color(), well->key());
    CKEditorController::sharedEditorController()->setEditorSettings(editorSettings_);
    NotificationCenter::defaultCenter().post(ColorsChangedNotification);
}

void CKEditorPreferencesController::resetColors()
{
    CKEditorController* editor = CKEditorController::sharedEditorController();
    editor->resetEditorColors();
    setEditorSettings(editor->editorSettings());
    colorUpdated(nullptr);
}
