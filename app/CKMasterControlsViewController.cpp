#include "app/CKMasterControlsViewController.h"

#include "app/CKBigButtonCell.h"
#include "app/CKButton.h"
#include "app/CKDrawerSlider.h"
#include "app/ZEPAudioMeter.h"

#include "clipdeck/CKPlaybackController.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/ValueTransformer.h"
#include "platform/ui/ZEPImageNamed.h"

#include <QWheelEvent>

#include <cmath>

namespace {

const QString kDuckingVolumeKey = QStringLiteral("duckingVolume");

CKButton* bigButton(QWidget* parent, const QRect& frame)
{
    auto cell = std::make_unique<CKBigButtonCell>();
    cell->setNormalStateName(QStringLiteral("bigbutton-normal"));
    cell->setPressedStateName(QStringLiteral("bigbutton-press"));
    auto* button = new CKButton(frame, parent, std::move(cell));
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QString percentage(float value)
{
    if (auto transformer = ValueTransformer::valueTransformerForName(QStringLiteral("CKPercentageTransformerNoPrecision")))
        return transformer->transformedValue(value).toString();
    return QStringLiteral("%1%").arg(qRound(value * 100));
}

} // namespace

CKMasterControlsViewController::CKMasterControlsViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CKMasterControlsViewController"));
    resize(kWidth, 179);
    setFocusPolicy(Qt::NoFocus);

    mGainSlider = new CKDrawerSlider(QRect(16, 26, 22, 130), this);
    mGainSlider->setMinValue(0.0);
    mGainSlider->setMaxValue(1.0);
    mGainSlider->setDoubleValue(1.0);
    mGainSlider->setToolTip(tr("Master Volume"));
    mPanSlider = new CKDrawerSlider(QRect(44, 26, 22, 130), this);
    mPanSlider->setMinValue(-1.0);
    mPanSlider->setMaxValue(1.0);
    mPanSlider->setDoubleValue(0.0);
    mPanSlider->setToolTip(tr("Master Pan"));
    mLeftMeter = new ZEPAudioMeter(QRect(78, 36, 10, 100), this);
    mRightMeter = new ZEPAudioMeter(QRect(92, 36, 10, 100), this);
    mPauseAllButton = bigButton(this, QRect(112, 30, 88, 52));
    mDuckAudioButton = bigButton(this, QRect(112, 100, 88, 52));

    connect(mGainSlider, &CKDrawerSlider::sliderMoved, this, [this] { updateSliderGain(); });
    connect(mPanSlider, &CKDrawerSlider::sliderMoved, this, [this] { updatePan(); });
    connect(mPauseAllButton, &QAbstractButton::clicked, this, [this] { pauseAllSounds(); });
    connect(mDuckAudioButton, &QAbstractButton::clicked, this, [this] { duckVolume(); });

    mUpdateProgressTimer.setAction([this] { updateProgressAndLevels(); });

    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(this, CKPlaybackController::StartedNotification, nullptr, [this](const auto&) { playbackStarted(); });
    center.addObserver(this, CKPlaybackController::StoppedNotification, nullptr, [this](const auto&) { playbackStopped(); });

    CKPlaybackController* playback = controller();
    playback->observeKey(QStringLiteral("outputGain"), this, [this](const QVariant&, const QVariant&) {
        if (isLocalVolumeChange)
            return;
        controller()->cancelDucking();
        updateSliders();
    });
    playback->observeKey(QStringLiteral("outputPan"), this, [this](const QVariant&, const QVariant&) {
        if (!isLocalVolumeChange)
            controller()->cancelDucking();
        updateSliders();
    });
    playback->observeKey(QStringLiteral("ducked"), this, [this](const QVariant&, const QVariant&) { updateDuckingButton(); });
    playback->observeKey(QStringLiteral("paused"), this, [this](const QVariant&, const QVariant&) {
        updatePauseAllButton();
        updatePausingState();
    });
    connect(&UserDefaults::standardUserDefaults(), &UserDefaults::valueChanged, this, [this](const QString& key) {
        if (key == kDuckingVolumeKey)
            updateDuckingButton();
    });

    updateSliders();
    updateDuckingButton();
    updatePauseAllButton();
    if (playback->isPlaying())
        playbackStarted();
}

CKMasterControlsViewController::~CKMasterControlsViewController()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

CKPlaybackController* CKMasterControlsViewController::controller() const
{
    return CKPlaybackController::sharedPlaybackController();
}

// Forwarded values -------------------------------------------------------------------------

float CKMasterControlsViewController::outputGain() const { return controller()->outputGain(); }

void CKMasterControlsViewController::setOutputGain(float gain)
{
    isLocalVolumeChange = true;
    controller()->setOutputGain(gain);
    isLocalVolumeChange = false;
}

float CKMasterControlsViewController::outputPan() const { return -controller()->outputPan(); }

void CKMasterControlsViewController::setOutputPan(float pan)
{
    isLocalVolumeChange = true;
    controller()->setOutputPan(-pan);
    isLocalVolumeChange = false;
}

bool CKMasterControlsViewController::paused() const { return controller()->paused(); }

void CKMasterControlsViewController::setPaused(bool paused)
{
    if (paused != controller()->paused())
        controller()->setPaused(paused);
}

bool CKMasterControlsViewController::ducked() const { return controller()->ducked(); }

void CKMasterControlsViewController::setDucked(bool ducked) { controller()->setDucked(ducked); }

// Actions ----------------------------------------------------------------------------------

void CKMasterControlsViewController::updateSliderGain()
{
    setOutputGain(float(mGainSlider->doubleValue()));
    // The hand on the slider takes over: the ducking ends where it is, without a fade back.
    controller()->cancelDucking();
    updateDuckingButton();
}

float CKMasterControlsViewController::snappedPan(float p, const QWheelEvent* wheel)
{
    if (!(p > -kPanDeadZone && p < kPanDeadZone))
        return p;
    if (wheel) {
        const double now = TimeSource::currentTime();
        const auto delta = float(CKDrawerSlider::verticalDeltaOf(*wheel));
        const bool gapTooLong = mLastScrollPanTimeStamp > 0 && now - mLastScrollPanTimeStamp > kScrollStepGap;
        if (gapTooLong) {
            mScrollWheelEventCount = 0;
        } else if (delta * mScrollWheelDirection < 0) {
            mScrollWheelEventCount = 0;
            mScrollWheelDirection = 0;
        } else {
            ++mScrollWheelEventCount;
            mScrollWheelDirection = delta;
        }
        mLastScrollPanTimeStamp = now;
        if (mScrollWheelEventCount >= kScrollStepsToLeaveCentre) {
            mScrollWheelEventCount = 0;
            return delta > 0 ? kPanDeadZone : -kPanDeadZone;
        }
    }
    return 0;
}

void CKMasterControlsViewController::updatePan()
{
    const float p = snappedPan(float(mPanSlider->doubleValue()), mPanSlider->currentScrollEvent());
    const QSignalBlocker quiet(mPanSlider);
    mPanSlider->setDoubleValue(p);
    setOutputPan(p);
}

void CKMasterControlsViewController::duckVolume() { setDucked(!ducked()); }

void CKMasterControlsViewController::pauseAllSounds()
{
    setPaused(!controller()->paused());
    updatePauseAllButton();
    updatePausingState();
}

// Levels -----------------------------------------------------------------------------------

void CKMasterControlsViewController::playbackStarted()
{
    mPlaybackRunning = true;
    controller()->outputAudioPlayer()->setLevelsEnabled(true);
    if (!paused())
        startProgressUpdates();
    updatePauseAllButton();
}

void CKMasterControlsViewController::playbackStopped()
{
    zeroMeters();
    stopProgressUpdates();
    mPlaybackRunning = false;
    updatePauseAllButton();
}

void CKMasterControlsViewController::startProgressUpdates()
{
    if (!mUpdateProgressTimer.isActive())
        mUpdateProgressTimer.start(kLevelInterval, true);
}

void CKMasterControlsViewController::stopProgressUpdates() { mUpdateProgressTimer.stop(); }

void CKMasterControlsViewController::zeroMeters()
{
    for (ZEPAudioMeter* meter : {mLeftMeter, mRightMeter}) {
        meter->setFloatValue(0);
        meter->setPeakValue(0);
    }
}

void CKMasterControlsViewController::updateProgressAndLevels()
{
    CKPlaybackController* playback = controller();
    if (!playback->isPlaying())
        return;
    if (playback->paused()) {
        zeroMeters();
        return;
    }
    const ZEPAudioPlayer* player = playback->outputAudioPlayer();
    mLeftMeter->setFloatValue(player->leftLevel());
    mLeftMeter->setPeakValue(player->leftPeakLevel());
    mRightMeter->setFloatValue(player->rightLevel());
    mRightMeter->setPeakValue(player->rightPeakLevel());
}

void CKMasterControlsViewController::updatePausingState()
{
    if (paused()) {
        stopProgressUpdates();
        zeroMeters();
    } else if (mPlaybackRunning) {
        startProgressUpdates();
    }
}

// Showing the state ------------------------------------------------------------------------

void CKMasterControlsViewController::updateSliders()
{
    const QSignalBlocker quietGain(mGainSlider);
    const QSignalBlocker quietPan(mPanSlider);
    mGainSlider->setDoubleValue(outputGain());
    mPanSlider->setDoubleValue(outputPan());
}

void CKMasterControlsViewController::updateDuckingButton()
{
    const bool isDucked = ducked();
    if (isDucked) {
        mDuckAudioButton->setTitle(tr("Un-Duck"));
    } else {
        QString title = tr("Duck");
        const QVariant volume = UserDefaults::standardUserDefaults().objectForKey(kDuckingVolumeKey);
        if (volume.isValid())
            title = QStringLiteral("%1 (%2)").arg(title, percentage(volume.toFloat()));
        mDuckAudioButton->setTitle(title);
    }
    const QString shown = mDuckAudioButton->property("imageName").toString();
    QString next = shown;
    if (shown.isEmpty())
        next = isDucked ? QStringLiteral("bigbutton-icon-normal") : QStringLiteral("bigbutton-icon-duck");
    else if (isDucked && shown == QLatin1String("bigbutton-icon-duck"))
        next = QStringLiteral("bigbutton-icon-normal");
    else if (!isDucked && shown == QLatin1String("bigbutton-icon-normal"))
        next = QStringLiteral("bigbutton-icon-duck");
    if (next != shown) {
        mDuckAudioButton->setImage(ZEPImageNamed(next));
        mDuckAudioButton->setProperty("imageName", next);
    }
}

void CKMasterControlsViewController::updatePauseAllButton()
{
    const bool isPaused = paused();
    mPauseAllButton->setTitle(isPaused ? tr("Resume All") : tr("Pause All"));
    const QString name = isPaused ? QStringLiteral("bigbutton-icon-play") : QStringLiteral("bigbutton-icon-pause");
    mPauseAllButton->setImage(ZEPImageNamed(name));
    mPauseAllButton->setProperty("imageName", name);
}
