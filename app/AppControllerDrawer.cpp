// The main window's frame: the footer under the board, the master output drawer at the
// bottom with its resizer thumb, and the size rule that ties the window's height to its width.
#include "app/AppController.h"
#include "app/CKButton.h"
#include "app/CKButtonCell.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKFooterPopUpButton.h"
#include "app/CKGraphConfigurationController.h"
#include "app/CKMasterControlsViewController.h"
#include "app/CKMasterOutputViewController.h"
#include "app/CKRemoteConnectController.h"
#include "remote/CKServerController.h"
#include "app/CKSheetPresenter.h"

#include "audio/engine/ZEPAudioDevice.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/ZEPMIDIClient.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/ui/ZEPImageNamed.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QResizeEvent>
#include <QStandardItemModel>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kUidRole = Qt::UserRole;

QLabel* iconLabel(const QString& imageName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setPixmap(QPixmap::fromImage(ZEPImageNamed(imageName)));
    label->setGraphicsEffect(new QGraphicsOpacityEffect(label));
    return label;
}

void setOpacity(QWidget* widget, double opacity)
{
    if (auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect()))
        effect->setOpacity(opacity);
}

QVBoxLayout* windowLayout(CKClipdeckWindow* window)
{
    return qobject_cast<QVBoxLayout*>(window->centralWidget()->layout());
}

} // namespace

// Size rule ----------------------------------------------------------------------------------

QSizeF AppController::ruledWindowSize(const QSizeF& proposed, bool showingDrawer)
{
    const double w = proposed.width();
    const double h = w / 3 + (showingDrawer ? kDrawerHeight : 0) + kFooterAllowance;
    return QSizeF(std::ceil(w), std::ceil(h));
}

QSizeF AppController::windowWillResize(const QSizeF& proposed) const
{
    // Each resize closes the effects pane's plugin editor bubble.
    if (masterOutputViewController_)
        masterOutputViewController_->graphConfigurationVC()->hideAUInfoPanel();
    if (isLaunching_)
        return QSizeF(std::ceil(proposed.width()), std::ceil(proposed.height()));
    return ruledWindowSize(proposed, isShowingMasterOutput_);
}

QSize AppController::minimumWindowSize() const
{
    if (!isShowingMasterOutput_ || !mainWindow_)
        return QSize(kMinimumWindowWidth, int(std::ceil(kMinimumWindowWidth / 3.0)));
    const QSize current = mainWindow_->size();
    return QSize(kMinimumWindowWidth,
                 int(std::ceil(double(kMinimumWindowWidth) * current.height() / std::max(1, current.width()))));
}

void AppController::updateMasterOutputAndSave(bool save)
{
    if (!mainWindow_)
        return;
    const QSize minimum = minimumWindowSize();
    mainWindow_->setMinimumSize(minimum);
    const QSize current = mainWindow_->size();
    if (current.width() < minimum.width() || current.height() < minimum.height())
        mainWindow_->resize(current.expandedTo(minimum)); // Qt keeps the top edge
    if (save) {
        UserDefaults& defaults = UserDefaults::standardUserDefaults();
        defaults.setBool(isShowingMasterOutput_, ShowingMasterOutputKey);
        defaults.synchronize();
    }
}

// A user's resize is answered by one queued resize to the rule when the width changed; our
// own resize to the rule then finds nothing to change, so it never loops. The rule is taken
// when the queued resize runs: the drawer may have opened or closed in between.
bool AppController::eventFilter(QObject* watched, QEvent* event)
{
    // The remote picture opens the pairing sheet too: with no remote its count is hidden,
    // and the picture is all there is to click.
    if (event->type() == QEvent::MouseButtonRelease && watched == remoteStatusImage_) {
        showRemoteStatus();
        return true;
    }
    if (event->type() == QEvent::Resize && watched == mainWindow_ && !applyingWindowRule_ &&
        !(resizerThumb_ && resizerThumb_->isDragging())) {
        const auto* resize = static_cast<QResizeEvent*>(event);
        if (resize->oldSize().isValid() && resize->oldSize().width() != resize->size().width()) {
            if (windowWillResize(QSizeF(resize->size())).toSize() != resize->size()) {
                QPointer<CKClipdeckWindow> window = mainWindow_;
                QTimer::singleShot(0, this, [this, window] {
                    if (!window)
                        return;
                    const QSize ruled = windowWillResize(QSizeF(window->size())).toSize();
                    if (ruled == window->size())
                        return;
                    applyingWindowRule_ = true;
                    window->resize(ruled);
                    applyingWindowRule_ = false;
                });
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

// The drawer ---------------------------------------------------------------------------------

void AppController::_setShowingMasterOutput(bool showing)
{
    isShowingMasterOutput_ = showing;
    if (masterOutputViewController_)
        masterOutputViewController_->graphConfigurationVC()->hideAUInfoPanel();
}

void AppController::setAutoresizingMasksToDrawerMode()
{
    if (!mainWindow_)
        return;
    QVBoxLayout* layout = windowLayout(mainWindow_);
    QWidget* grid = mainWindow_->gridArea();
    QWidget* drawer = mainWindow_->drawerArea();
    grid->setFixedHeight(grid->height());
    layout->setStretchFactor(grid, 0);
    drawer->setMinimumHeight(0);
    drawer->setMaximumHeight(QWIDGETSIZE_MAX);
    layout->setStretchFactor(drawer, 1);
}

void AppController::setAutoresizingMasksToResizeMode()
{
    if (!mainWindow_)
        return;
    QVBoxLayout* layout = windowLayout(mainWindow_);
    QWidget* grid = mainWindow_->gridArea();
    QWidget* drawer = mainWindow_->drawerArea();
    grid->setMinimumHeight(0);
    grid->setMaximumHeight(QWIDGETSIZE_MAX);
    grid->setMinimumWidth(0);
    layout->setStretchFactor(grid, 1);
    layout->setStretchFactor(drawer, 0);
    drawer->setFixedHeight(isShowingMasterOutput_ ? int(kDrawerHeight) : 0);
}

void AppController::resizeWindowVerticallyByOffset(float offset)
{
    if (!mainWindow_)
        return;
    QRect frame = mainWindow_->geometry();
    frame.setHeight(frame.height() + int(std::ceil(offset)));
    applyingWindowRule_ = true;
    mainWindow_->setGeometry(frame);
    applyingWindowRule_ = false;
}

float AppController::clampedThumbOffset(bool showing, float offset)
{
    return showing ? std::clamp(offset, 0.0f, kDrawerHeight) : std::clamp(offset, -kDrawerHeight, 0.0f);
}

AppController::ThumbFinish AppController::thumbFinish(bool showing, float offset)
{
    if (showing) {
        if (offset > kDrawerSnap || offset == 0)
            return {false, offset - kDrawerHeight};
        return {true, offset};
    }
    if (offset < -kDrawerSnap || offset == 0)
        return {true, kDrawerHeight - std::fabs(offset)};
    return {false, offset};
}

void AppController::didStartDraggingThumb(CKWindowVerticalResizerThumb*)
{
    // The drag may take the window down to the drawer's closed height; the minimum for the
    // state it ends in follows when it ends.
    if (mainWindow_)
        mainWindow_->setMinimumSize(kMinimumWindowWidth, int(std::ceil(kMinimumWindowWidth / 3.0)));
    setAutoresizingMasksToDrawerMode();
}

float AppController::thumbShouldResizeToOffset(CKWindowVerticalResizerThumb*, float dy)
{
    return clampedThumbOffset(isShowingMasterOutput_, dy);
}

void AppController::thumbDidFinishDraggingToOffset(CKWindowVerticalResizerThumb*, float offset)
{
    const ThumbFinish finish = thumbFinish(isShowingMasterOutput_, offset);
    _setShowingMasterOutput(finish.showing);
    resizeWindowVerticallyByOffset(finish.resizeBy);
    setAutoresizingMasksToResizeMode();
    updateMasterOutput();
}

// Output device ------------------------------------------------------------------------------

void AppController::updateOutputDevicePopUpButton()
{
    if (!outputDevicePopUpButton_)
        return;
    CKPlaybackController* playback = CKPlaybackController::sharedPlaybackController();
    QString chosen;
    if (const auto device = playback->outputAudioDevice())
        chosen = device->uid();
    if (chosen.isEmpty()) {
        const QString stored = UserDefaults::standardUserDefaults().stringForKey(CKPlaybackController::OutputDeviceKey);
        if (const auto device = ZEPAudioDevice::audioDeviceWithDeviceUID(stored))
            chosen = device->uid();
    }
    if (chosen.isEmpty()) {
        if (const auto device = ZEPAudioDevice::defaultOutputDevice())
            chosen = device->uid();
    }

    const QSignalBlocker quiet(outputDevicePopUpButton_);
    outputDevicePopUpButton_->clear();
    outputDevicePopUpButton_->setToolTip(tr("Output devices"));
    for (const auto& device : ZEPAudioDevice::outputAudioDevices()) {
        const QString uid = device->uid();
        if (uid.isEmpty())
            continue;
        outputDevicePopUpButton_->addItem(device->name(), uid);
    }
    if (outputDevicePopUpButton_->count() == 0) {
        outputDevicePopUpButton_->addItem(tr("No Output Device"));
        if (auto* model = qobject_cast<QStandardItemModel*>(outputDevicePopUpButton_->model()))
            model->item(0)->setEnabled(false);
        return;
    }
    const int index = outputDevicePopUpButton_->findData(chosen, kUidRole);
    outputDevicePopUpButton_->setCurrentIndex(std::max(index, 0));
}

void AppController::updateOutputDevice()
{
    if (!outputDevicePopUpButton_)
        return;
    const QString uid = outputDevicePopUpButton_->currentData(kUidRole).toString();
    if (uid.isEmpty())
        return;
    auto device = ZEPAudioDevice::audioDeviceWithDeviceUID(uid);
    if (!device)
        return;
    CKPlaybackController* playback = CKPlaybackController::sharedPlaybackController();
    playback->setOutputAudioDevice(device);
    playback->updateOutputDevice(); // stores the uid under "PlaybackOutputDevice"
    if (masterOutputViewController_)
        masterOutputViewController_->setAudioOutputDevice(device);
}

void AppController::deviceListChanged()
{
    CKPlaybackController* playback = CKPlaybackController::sharedPlaybackController();
    const auto device = playback->outputAudioDevice();
    if (device && device->uid().isEmpty() && masterOutputViewController_) {
        CKMasterControlsViewController* controls = masterOutputViewController_->masterControlsVC();
        if (!controls->paused())
            controls->pauseAllSounds();
    }
    updateOutputDevicePopUpButton();
}

// Status texts -------------------------------------------------------------------------------

QString AppController::midiStatusToolTip(unsigned devices)
{
    if (devices == 0)
        return tr("No MIDI devices connected");
    if (devices == 1)
        return tr("1 MIDI device connected");
    return tr("%1 MIDI devices connected").arg(devices);
}

QString AppController::remoteStatusTitle(qsizetype connected, qsizetype pending)
{
    QString title;
    if (connected > 0)
        title += tr("%1 Connected").arg(connected);
    if (connected > 0 && pending > 0)
        title += QStringLiteral(", ");
    if (pending > 0)
        title += tr("%1 Pending").arg(pending);
    return title;
}

QString AppController::triggersLockedToolTip(bool locked) { return locked ? tr("Unlock Triggers") : tr("Lock Triggers"); }

QString AppController::singleSoundModeToolTip(bool on)
{
    return on ? tr("Disable Single Sound Mode") : tr("Enable Single Sound Mode");
}

void AppController::updateMIDIClients()
{
    if (!MIDIDevicesLabel_)
        return;
    const unsigned devices = ZEPMIDIClient::sharedMIDIClient()->numberOfDevices();
    const QString tip = midiStatusToolTip(devices);
    MIDIDevicesLabel_->setText(devices == 0 ? QString() : QString::number(devices));
    MIDIDevicesLabel_->setVisible(devices > 0);
    MIDIDevicesLabel_->setToolTip(tip);
    MIDIDevicesImage_->setToolTip(tip);
    setOpacity(MIDIDevicesImage_, devices > 0 ? 1.0 : 0.5);
}

void AppController::updateRemoteStatus()
{
    if (!remoteStatusLabel_)
        return;
    const CKServerController* server = CKServerController::sharedSyncController();
    const qsizetype connected = server->listOfActiveClientNames().size();
    const qsizetype pending = server->listOfPendingClientNames().size();
    remoteStatusLabel_->setText(remoteStatusTitle(connected, pending));
    const QString tip = tr("Click to show Remote status");
    remoteStatusLabel_->setToolTip(tip);
    remoteStatusImage_->setToolTip(tip);
    const bool none = connected == 0 && pending == 0;
    setOpacity(remoteStatusImage_, none ? 0.5 : 1.0);
    remoteStatusLabel_->setVisible(!none);
}

void AppController::showRemoteStatus()
{
    if (!mainWindow_)
        return;
    CKSheetPresenter::shared().beginSheet(new CKRemoteConnectController, mainWindow_, {});
}

void AppController::updateTriggersLockedTooltip()
{
    if (lockTriggersCheckbox_)
        lockTriggersCheckbox_->setToolTip(
            triggersLockedToolTip(UserDefaults::standardUserDefaults().boolForKey(TriggersLockedKey)));
}

void AppController::updateSingleSoundModeTooltip()
{
    if (singleSoundModeCheckbox_)
        singleSoundModeCheckbox_->setToolTip(
            singleSoundModeToolTip(UserDefaults::standardUserDefaults().boolForKey(SingleSoundModeKey)));
}

// Set-up -------------------------------------------------------------------------------------

namespace {

QCheckBox* defaultsCheckBox(const QString& title, const QString& key, QWidget* parent)
{
    auto* box = new QCheckBox(title, parent);
    box->setFocusPolicy(Qt::NoFocus);
    box->setChecked(UserDefaults::standardUserDefaults().boolForKey(key));
    QObject::connect(box, &QCheckBox::toggled, box, [key](bool on) {
        UserDefaults::standardUserDefaults().setBool(on, key);
    });
    QObject::connect(&UserDefaults::standardUserDefaults(), &UserDefaults::valueChanged, box, [box, key](const QString& changed) {
        if (changed == key) {
            const QSignalBlocker quiet(box);
            box->setChecked(UserDefaults::standardUserDefaults().boolForKey(key));
        }
    });
    return box;
}

} // namespace

void AppController::setUpFooterAndDrawer()
{
    QWidget* footer = mainWindow_->footerArea();
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(8, 2, 4, 2);
    row->setSpacing(8);

    outputDevicePopUpButton_ = new CKFooterPopUpButton(footer);
    outputDevicePopUpButton_->setObjectName(QStringLiteral("outputDevicePopUpButton"));
    outputDevicePopUpButton_->setMinimumWidth(180);
    connect(outputDevicePopUpButton_, &QComboBox::activated, this, [this] { updateOutputDevice(); });
    row->addWidget(outputDevicePopUpButton_);

    MIDIDevicesImage_ = iconLabel(QStringLiteral("footer-midi"), footer);
    MIDIDevicesLabel_ = new QLabel(footer);
    row->addWidget(MIDIDevicesImage_);
    row->addWidget(MIDIDevicesLabel_);
    remoteStatusImage_ = iconLabel(QStringLiteral("footer-remote"), footer);
    remoteStatusImage_->installEventFilter(this);
    remoteStatusLabel_ = new QToolButton(footer);
    remoteStatusLabel_->setAutoRaise(true);
    remoteStatusLabel_->setFocusPolicy(Qt::NoFocus);
    connect(remoteStatusLabel_, &QToolButton::clicked, this, [this] { showRemoteStatus(); });
    row->addWidget(remoteStatusImage_);
    row->addWidget(remoteStatusLabel_);
    row->addStretch(1);

    stopAllButton_ = new CKButton(QRect(0, 0, 80, 22), footer);
    stopAllButton_->setObjectName(QStringLiteral("stopAllButton"));
    stopAllButton_->setFixedSize(80, 22);
    stopAllButton_->cell()->setFooterButtonLook();
    stopAllButton_->setTitle(tr("Stop All"));
    stopAllButton_->setFocusPolicy(Qt::NoFocus);
    connect(stopAllButton_, &QAbstractButton::clicked, this,
            [] { CKPlaybackController::sharedPlaybackController()->stopAllSounds(false); });
    row->addWidget(stopAllButton_);

    lockTriggersCheckbox_ = defaultsCheckBox(tr("Lock"), TriggersLockedKey, footer);
    singleSoundModeCheckbox_ = defaultsCheckBox(tr("Single"), SingleSoundModeKey, footer);
    row->addWidget(lockTriggersCheckbox_);
    row->addWidget(singleSoundModeCheckbox_);

    resizerThumb_ = new CKWindowVerticalResizerThumb(QRect(0, 0, 20, 20), footer);
    resizerThumb_->setObjectName(QStringLiteral("resizerThumb"));
    resizerThumb_->setImage(ZEPImageNamed(QStringLiteral("footer-thumb")));
    resizerThumb_->setFixedSize(20, 20);
    resizerThumb_->setDelegate(this);
    row->addWidget(resizerThumb_);

    // The drawer.
    masterOutputViewController_ = new CKMasterOutputViewController(this);
    QWidget* drawerArea = mainWindow_->drawerArea();
    auto* drawerLayout = new QVBoxLayout(drawerArea);
    drawerLayout->setContentsMargins(0, 0, 0, 0);
    QWidget* drawer = masterOutputViewController_->view();
    drawer->setMinimumWidth(0);
    drawerLayout->addWidget(drawer, 0, Qt::AlignTop);
    drawer->setFixedHeight(int(kDrawerHeight));

    // Observers.
    connect(&UserDefaults::standardUserDefaults(), &UserDefaults::valueChanged, this, [this](const QString& key) {
        if (key == TriggersLockedKey)
            updateTriggersLockedTooltip();
        else if (key == SingleSoundModeKey)
            updateSingleSoundModeTooltip();
    });
    ZEPMIDIClient::sharedMIDIClient()->observeKey(QStringLiteral("numberOfDevices"), this,
                                                  [this](const QVariant&, const QVariant&) {
                                                      // Counted on the MIDI polling thread.
                                                      QMetaObject::invokeMethod(this, [this] { updateMIDIClients(); },
                                                                                Qt::QueuedConnection);
                                                  });
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(this, CKServerController::StatusChangeNotification, nullptr,
                       [this](const Notification&) { updateRemoteStatus(); });
    center.addObserver(this, CKPlaybackController::DevicesChangedNotification, nullptr,
                       [this](const Notification&) { deviceListChanged(); });
    mainWindow_->installEventFilter(this);

    updateOutputDevicePopUpButton();
    updateMIDIClients();
    updateRemoteStatus();
    updateTriggersLockedTooltip();
    updateSingleSoundModeTooltip();

    // The drawer's stored state (absent: shown); a hidden one shrinks the window at once.
    const QVariant stored = UserDefaults::standardUserDefaults().objectForKey(ShowingMasterOutputKey);
    const bool showing = !stored.isValid() || stored.toBool();
    mainWindow_->resize(ruledWindowSize(QSizeF(mainWindow_->width(), 0), true).toSize());
    _setShowingMasterOutput(showing);
    if (!showing)
        resizeWindowVerticallyByOffset(-kDrawerHeight);
    setAutoresizingMasksToResizeMode();
}
