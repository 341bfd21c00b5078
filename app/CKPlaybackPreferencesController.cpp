#include "app/CKPlaybackPreferencesController.h"

#include "app/CKDefaultsBinding.h"
#include "app/CKPercentageTransformer.h"
#include "app/CKSheetPresenter.h"
#include "app/CKStringToURLTransformer.h"
#include "clipdeck/CKLoggingController.h"
#include "platform/UserDefaults.h"

#include <QCheckBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>

namespace {

const QString kDuckingVolumeKey = QStringLiteral("duckingVolume");
const QString kDuckingDurationKey = QStringLiteral("duckingDuration");

// The stored log folder as a local path, read as the log reads it (the registered default
// may hold its URL unencoded); empty when the default names no local folder.
QString storedLoggingFolder()
{
    const QUrl url(UserDefaults::standardUserDefaults().stringForKey(CKLoggingController::PathKey));
    return url.isLocalFile() ? QDir::cleanPath(url.toLocalFile()) : QString();
}

} // namespace

void CKPlaybackPreferencesController::initialize()
{
    static const bool registered = [] {
        CKPercentageTransformer::initialize();
        ValueTransformer::setValueTransformer(std::make_shared<CKStringToURLTransformer>(),
                                              CKStringToURLTransformer::Name);
        return true;
    }();
    (void)registered;
}

CKPlaybackPreferencesController::CKPlaybackPreferencesController(QWidget* parent)
    : ZEPPreferencesViewController(parent),
      duckingVolumeField_(new QLineEdit(this)),
      duckingDurationField_(new QDoubleSpinBox(this)),
      loggingEnabledBox_(new QCheckBox(tr("Write a log of the sounds played"), this)),
      loggingPathControl_(new QLabel(this)),
      chooseButton_(new QPushButton(tr("Choose..."), this))
{
    initialize();
    UserDefaults& defaults = UserDefaults::standardUserDefaults();

    auto* form = new QFormLayout(this);
    form->setContentsMargins(24, 20, 24, 20);
    duckingVolumeField_->setMaximumWidth(80);
    CKDefaultsBinding::bindText(duckingVolumeField_, defaults, kDuckingVolumeKey, CKPercentageTransformer::NoPrecisionName);
    form->addRow(tr("Ducking volume:"), duckingVolumeField_);
    duckingDurationField_->setRange(0.0, 10.0);
    duckingDurationField_->setSingleStep(0.1);
    duckingDurationField_->setSuffix(tr(" s"));
    CKDefaultsBinding::bindValue(duckingDurationField_, defaults, kDuckingDurationKey);
    form->addRow(tr("Ducking takes:"), duckingDurationField_);

    CKDefaultsBinding::bindChecked(loggingEnabledBox_, defaults, CKLoggingController::EnabledKey);
    form->addRow(QString(), loggingEnabledBox_);
    auto* pathRow = new QHBoxLayout;
    loggingPathControl_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    loggingPathControl_->setMinimumWidth(260);
    pathRow->addWidget(loggingPathControl_, 1);
    pathRow->addWidget(chooseButton_);
    form->addRow(tr("Log folder:"), pathRow);
    connect(chooseButton_, &QPushButton::clicked, this, &CKPlaybackPreferencesController::chooseLoggingFolder);
    showLoggingPath();
    connect(&defaults, &UserDefaults::valueChanged, this, [this](const QString& key) {
        if (key == CKLoggingController::PathKey)
            showLoggingPath();
    });
}

void CKPlaybackPreferencesController::showLoggingPath()
{
    const QString folder = storedLoggingFolder();
    loggingPathControl_->setText(folder.isEmpty() ? tr("(none)") : QDir::toNativeSeparators(folder));
    loggingPathControl_->setToolTip(folder);
}

void CKPlaybackPreferencesController::chooseLoggingFolder()
{
    if (panel_)
        return;
    auto* panel = new QFileDialog(window(), tr("Choose the log folder"), storedLoggingFolder());
    panel->setFileMode(QFileDialog::Directory);
    // Our own dialog, so it can make new folders and shows as a sheet on this window.
    panel->setOptions(QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel_ = panel;
    CKSheetPresenter::shared().beginSheet(panel, window(), [panel](int result) {
        if (result != QDialog::Accepted)
            return;
        const QStringList chosen = panel->selectedFiles();
        if (!chosen.isEmpty())
            setLoggingFolder(chosen.first());
    });
}

void CKPlaybackPreferencesController::setLoggingFolder(const QString& folder)
{
    // A folder URL ends with a slash, so the names of its files resolve inside it.
    QString path = QDir::cleanPath(folder);
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    defaults.setObject(url, CKLoggingController::PathKey);
    defaults.synchronize();
}
