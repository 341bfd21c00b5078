#include "app/CKClipdeckButtonLayer.h"

#include "app/CKClipdeckButtonLayoutManager.h"
#include "app/CKClipdeckView.h"
#include "app/CKVolumeIndicatorWindow.h"

#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundCachedFileSource.h"
#include "clipdeck/CKSoundSource.h"

#include "platform/UserDefaults.h"
#include "platform/ui/ZEPYUpGeometry.h"

#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

const QString kTriggersLockedKey = QStringLiteral("triggersLocked");

} // namespace

CKClipdeckButtonLayer::CKClipdeckButtonLayer(std::size_t index, std::size_t cellsPerRow, CKClipdeckView* parentView)
    : QObject(nullptr), parentView_(parentView), rowIndex_(uint32_t(index / std::max<std::size_t>(cellsPerRow, 1))),
      columnIndex_(uint32_t(index - std::max<std::size_t>(cellsPerRow, 1) * rowIndex_)),
      name_(QStringLiteral("key-row-%1-col-%2").arg(rowIndex_).arg(columnIndex_)), keyLayer_(this),
      hideIndicatorTimer_(new QTimer(this))
{
    durationFormatter_.setAllowsOneZero(true);
    durationFormatter_.setAlwaysShowMinutes(true);
    sliderLayer_.setAction([this](CKSliderLayer* slider) { updatePlaybackVolume(slider); });
    keyLayer_.setIsDisabled(true);
    hideIndicatorTimer_->setSingleShot(true);
    connect(hideIndicatorTimer_, &QTimer::timeout, this, &CKClipdeckButtonLayer::hideVolumeIndicator);
    defaultsObservation_ = connect(&UserDefaults::standardUserDefaults(), &UserDefaults::valueChanged, this,
                                   [this](const QString& key) {
                                       if (key != kTriggersLockedKey)
                                           return;
                                       updateSliderVisibility();
                                       updateClockAndActionButtonVisibility();
                                       needsDisplay();
                                   });
    updateClockAndActionButtonVisibility();
}

CKClipdeckButtonLayer::~CKClipdeckButtonLayer()
{
    stopObservingSound();
    if (soundSource_ && soundSource_->cellLayer() == this)
        soundSource_->setCellLayer(nullptr);
}

bool CKClipdeckButtonLayer::triggersLocked() { return UserDefaults::standardUserDefaults().boolForKey(kTriggersLockedKey); }

bool CKClipdeckButtonLayer::soundIsImporting(const CKSoundSource* sound)
{
    const auto* cached = dynamic_cast<const CKSoundCachedFileSource*>(sound);
    return cached && cached->isImporting();
}

bool CKClipdeckButtonLayer::soundIsPlayingAnywhere(const CKSoundSource* sound)
{
    return sound->isPlaying() || CKPlaybackController::sharedPlaybackController()->soundIsPlaying(sound);
}

void CKClipdeckButtonLayer::needsDisplay()
{
    if (parentView_)
        parentView_->cellNeedsDisplay(this);
}

// ---- Binding ----

void CKClipdeckButtonLayer::observeSound(CKSoundSource* sound)
{
    soundObservations_ << connect(sound, &ObservableObject::valueChanged, this,
                                  [this, sound](const QString& key, const QVariant&, const QVariant&) {
                                      if (sound != soundSource_.get())
                                          return;
                                      if (key == QLatin1String("backgroundColor") || key == QLatin1String("name")) {
                                          invalidateCache();
                                      } else if (key == QLatin1String("importing") || key == QLatin1String("isPlaying")) {
                                          updateProgressBarColor();
                                          updateOverlayLayer();
                                      } else if (key == QLatin1String("playbackVolume")) {
                                          updateSliderVisibility();
                                          updateIndicatorWindowByUpdatingSize(false);
                                      } else if (key == QLatin1String("error") || key == QLatin1String("editorLoaded")) {
                                          updateOverlayLayer();
                                      }
                                      needsDisplay();
                                  });
}

void CKClipdeckButtonLayer::stopObservingSound()
{
    for (const QMetaObject::Connection& connection : std::as_const(soundObservations_))
        disconnect(connection);
    soundObservations_.clear();
}

void CKClipdeckButtonLayer::setSoundSource(CKSoundSource* sound)
{
    // The sound tells its cell of a new name: a refresh.
    if (sound && sound == soundSource_.get()) {
        invalidateCache();
        needsDisplay();
        return;
    }
    bindSoundSource(sound ? sound->shared_from_this() : nullptr);
}

void CKClipdeckButtonLayer::bindSoundSource(const std::shared_ptr<CKSoundSource>& sound)
{
    if (soundSource_ && soundSource_ != sound) {
        stopObservingSound();
        if (soundSource_->cellLayer() == this)
            soundSource_->setCellLayer(nullptr);
        // Only the key goes: MIDI plays the sounds of boards that are not shown.
        soundSource_->removeTriggers();
    }
    const bool sameSound = soundSource_ == sound;
    soundSource_ = sound;
    if (sound) {
        sound->setCellLayer(this);
        if (!sameSound)
            observeSound(sound.get());
    }
    keyLayer_.setIsDisabled(!sound);
    isStopped_ = true;
    isPaused_ = false;
    if (sound) {
        isStopped_ = !soundIsPlayingAnywhere(sound.get());
        isPaused_ = sound->isPaused();
    }
    setSelected(false);
    if (sound) {
        sound->setTriggerKey(keyLayer_.characterValue(), keyLayer_.keyCode());
        sound->resetMIDIListeners();
    }
    updateProgressBarColor();
    percentFinished_ = 0;
    progressBarWidth_ = 0;
    updateSliderVisibility();
    invalidateCache();
    updateClockLayer();
    updateOverlayLayer();
    needsDisplay();
}

void CKClipdeckButtonLayer::setKeyCharacter(const QString& character, quint16 keyCode)
{
    if (character == keyLayer_.characterValue() && keyCode == keyLayer_.keyCode() && keyLayer_.hasListeners())
        return;
    keyLayer_.setCharacterValue(character, keyCode);
    needsDisplay();
}

// ---- Playback state ----

void CKClipdeckButtonLayer::soundDidPlay(CKSoundSource*)
{
    isStopped_ = false;
    isPaused_ = false;
    sliderLayer_.setEnabled(!triggersLocked());
    updateOverlayLayer();
    updateProgressBarColor();
    updateClockLayer();
    needsDisplay();
}

void CKClipdeckButtonLayer::soundDidPause(CKSoundSource*)
{
    isStopped_ = false;
    isPaused_ = true;
    updateOverlayLayer();
    updateProgressBarColor();
    updateClockLayer();
    needsDisplay();
}

void CKClipdeckButtonLayer::soundWillFade(CKSoundSource*)
{
    isStopped_ = true;
    isPaused_ = false;
    isFading_ = true;
    sliderLayer_.setEnabled(false);
    overlayContents_ = overlayImage();
    needsDisplay();
}

void CKClipdeckButtonLayer::soundDidStop(CKSoundSource*)
{
    if (QThread::currentThread() != thread()) {
        // Through a guarded pointer: a cell gone by then hears nothing.
        QMetaObject::invokeMethod(this, &CKClipdeckButtonLayer::soundDidStopOnMainThread, Qt::QueuedConnection);
        return;
    }
    soundDidStopOnMainThread();
}

void CKClipdeckButtonLayer::soundDidStopOnMainThread()
{
    sliderLayer_.setEnabled(!triggersLocked());
    isStopped_ = true;
    isPaused_ = false;
    isFading_ = false;
    progressBarWidth_ = 0;
    overlayContents_ = overlayImage();
    percentFinished_ = 0;
    updateProgressBarColor();
    hideVolumeIndicatorAfterTimeInterval(0.5);
    updateClockLayer();
    needsDisplay();
}

void CKClipdeckButtonLayer::setPercentFinished(float percent)
{
    if (std::isnan(percent))
        percent = 0;
    percent = std::clamp(percent, 0.0f, 1.0f);
    const double width = frame_.width();
    const double oldPixels = std::floor(double(percentFinished_) * width);
    percentFinished_ = percent;
    const double newPixels = std::floor(double(percent) * width);
    bool changed = false;
    if (newPixels != oldPixels) {
        progressBarWidth_ = std::min(newPixels, width);
        changed = true;
    }
    if (clockText() != clockString_) {
        updateClockLayer();
        changed = true;
    }
    if (changed)
        needsDisplay();
}

void CKClipdeckButtonLayer::updateProgressBarColor()
{
    const bool importing = soundIsImporting(soundSource_.get());
    if (isStopped_ && !importing)
        return;
    if (isPaused_)
        progressBarColor_ = QColor::fromRgbF(0.637, 0.637, 0.637, 0.5);
    else if (importing)
        progressBarColor_ = QColor::fromRgbF(0.8, 0.5, 0.3, 0.7);
    else
        progressBarColor_ = QColor::fromRgbF(0.0, 0.445, 1.0, 0.5);
    needsDisplay();
}

// ---- What the cell shows ----

QString CKClipdeckButtonLayer::gradientKey() const
{
    if (isDragHovering_)
        return GradientDragHoveringKey;
    if (soundSource_ && !soundSource_->isEditorLoaded())
        return GradientNormalKey;
    if (selected_)
        return GradientPressedKey;
    return soundSource_ ? GradientNormalKey : GradientEmptyKey;
}

QStringList CKClipdeckButtonLayer::labelColorKeys()
{
    return {QStringLiteral("red"),  QStringLiteral("orange"), QStringLiteral("yellow"), QStringLiteral("green"),
            QStringLiteral("blue"), QStringLiteral("purple"), QStringLiteral("gray")};
}

QColor CKClipdeckButtonLayer::colorWithKey(const QString& key)
{
    static const QHash<QString, QColor> colors = {
        {QStringLiteral("red"), QColor::fromRgbF(1.0, 0.4, 0.4)},
        {QStringLiteral("orange"), QColor::fromRgbF(1.0, 0.75, 0.35)},
        {QStringLiteral("yellow"), QColor::fromRgbF(1.0, 1.0, 0.35)},
        {QStringLiteral("green"), QColor::fromRgbF(0.4, 1.0, 0.4)},
        {QStringLiteral("blue"), QColor::fromRgbF(0.6, 0.6, 1.0)},
        {QStringLiteral("purple"), QColor::fromRgbF(0.85, 0.6, 0.85)},
        {QStringLiteral("gray"), QColor::fromRgbF(0.65, 0.65, 0.65)},
    };
    return colors.value(key);
}

QColor CKClipdeckButtonLayer::backgroundColor() const
{
    const QColor color = soundSource_ ? colorWithKey(soundSource_->backgroundColor()) : QColor();
    return color.isValid() ? color : fallbackColor();
}

double CKClipdeckButtonLayer::opacity() const
{
    return soundSource_ && !soundSource_->isEditorLoaded() ? 0.5 : 1.0;
}

QString CKClipdeckButtonLayer::overlayImage() const
{
    const CKSoundSource* sound = soundSource_.get();
    if (!sound || (!sound->isEditorLoaded() && !sound->error()))
        return {};
    if (sound->error())
        return OverlayAlert;
    if (isPaused_)
        return OverlayPause;
    if (sound->restartOnPress())
        return OverlayRestart;
    if (sound->isPlaying())
        return OverlayStop;
    if (!CKPlaybackController::sharedPlaybackController()->canBeginPlayingAnotherSound())
        return {};
    const bool toggling = parentView_ && parentView_->isTogglingLoopGraphic();
    return sound->loops() != toggling ? OverlayRestart : OverlayPlay;
}

void CKClipdeckButtonLayer::updateOverlayLayer()
{
    const QString image = overlayImage();
    if (image == overlayContents_)
        return;
    overlayContents_ = image;
    needsDisplay();
}

QString CKClipdeckButtonLayer::clockText() const
{
    const CKSoundSource* sound = soundSource_.get();
    // Never loads the feed: a sound still loading has no duration yet.
    const double duration = sound && sound->isEditorLoaded() ? const_cast<CKSoundSource*>(sound)->duration() : 0.0;
    return durationFormatter_.stringForSeconds((1.0 - double(percentFinished_)) * duration);
}

QString CKClipdeckButtonLayer::displayedText() const
{
    if (!hintText_.isEmpty())
        return hintText_;
    return soundSource_ ? soundSource_->name() : QString();
}

void CKClipdeckButtonLayer::updateClockLayer()
{
    if (clockShown_)
        clockString_ = clockText();
    updateClockAndActionButtonVisibility();
}

void CKClipdeckButtonLayer::updateClockAndActionButtonVisibility()
{
    const bool idle = isStopped_ && !isPaused_ && !isFading_;
    if (soundSource_) {
        const bool showClock = !idle || triggersLocked();
        clockShown_ = showClock;
        actionButtonShown_ = !showClock;
        if (showClock)
            clockString_ = clockText();
    } else {
        clockShown_ = false;
        actionButtonShown_ = false;
    }
}

// ---- Geometry ----

double CKClipdeckButtonLayer::intercellSpacingInBounds(const QRectF& bounds)
{
    return std::max(3.0, std::round(bounds.width() / 50.0));
}

QSizeF CKClipdeckButtonLayer::availableSizeInBounds(const QRectF& bounds)
{
    const double s = intercellSpacingInBounds(bounds);
    return QSizeF(bounds.width() - 4 * s, bounds.height() - 2 * s);
}

QRectF CKClipdeckButtonLayer::rectOfTextInBounds(const QRectF& bounds)
{
    const double s = intercellSpacingInBounds(bounds);
    const QSizeF a = availableSizeInBounds(bounds);
    return QRectF(s, s, 2 * a.width() / 3 - s, a.height());
}

QRectF CKClipdeckButtonLayer::rectOfKeyInBounds(const QRectF& bounds)
{
    const double s = intercellSpacingInBounds(bounds);
    const QSizeF a = availableSizeInBounds(bounds);
    return QRectF(2 * a.width() / 3 - s / 2, 2 * s + 2 * (a.height() - s) / 5, 3 * a.width() / 10 - s,
                  3 * (a.height() - s) / 5);
}

QRectF CKClipdeckButtonLayer::rectOfDropDownMenuInBounds(const QRectF& bounds)
{
    const double s = intercellSpacingInBounds(bounds);
    const QSizeF a = availableSizeInBounds(bounds);
    QRectF rect(2 * a.width() / 3 + 2 * s, s, 2 * a.width() / 9 - s, 2 * (a.height() - s) / 5);
    if (rect.width() > rect.height()) {
        rect.moveLeft(rect.x() + (rect.width() - rect.height()) / 2);
        rect.setWidth(rect.height());
    } else if (rect.height() > rect.width()) {
        rect.moveTop(rect.y() + (rect.height() - rect.width()) / 2);
        rect.setHeight(rect.width());
    }
    return rect;
}

QRectF CKClipdeckButtonLayer::rectOfSliderInBounds(const QRectF& bounds)
{
    const double s = intercellSpacingInBounds(bounds);
    const QSizeF a = availableSizeInBounds(bounds);
    return QRectF(4 * s + 8 * a.width() / 9, s, a.width() / 9, a.height());
}

void CKClipdeckButtonLayer::setFrame(const QRectF& frame)
{
    if (frame == frame_)
        return;
    frame_ = frame;
    const QRectF b = bounds();
    textFrame_ = CKIntegralRect(rectOfTextInBounds(b));
    keyLayer_.setFrame(CKIntegralRect(rectOfKeyInBounds(b)));
    dropDownMenuFrame_ = CKIntegralRect(rectOfDropDownMenuInBounds(b));
    sliderLayer_.setFrame(CKIntegralRect(rectOfSliderInBounds(b)));
    progressBarWidth_ = std::min(std::floor(double(percentFinished_) * b.width()), b.width());
    updateClockLayer();
    updateSliderVisibility();
    updateIndicatorWindowByUpdatingSize(true);
    invalidateCache();
}

double CKClipdeckButtonLayer::nameFontSize() const { return frame_.height() / 34.0 * 6.5; }

double CKClipdeckButtonLayer::clockFontSize() const { return frame_.height() / 34.0 * 0.8 * 9.0; }

QRectF CKClipdeckButtonLayer::clockFrame() const
{
    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(1, int(std::lround(clockFontSize()))));
    const QSizeF text = QFontMetricsF(font).size(Qt::TextSingleLine, clockString_);
    const double x = frame_.width() - (text.width() + 2.0) - (sliderIsShowing() ? 16.0 : 0.0);
    return CKIntegralRect(QRectF(x, 2.0, text.width(), text.height()));
}

bool CKClipdeckButtonLayer::pointIsOnPopupButton(const QPointF& point) const
{
    return actionButtonShown_ && dropDownMenuFrame_.contains(point);
}

bool CKClipdeckButtonLayer::pointIsOnSlider(const QPointF& point) const
{
    return sliderIsShowing() && sliderLayer_.frame().contains(point);
}

// ---- Mouse ----

void CKClipdeckButtonLayer::setSelected(bool selected)
{
    if (selected_ == selected)
        return;
    selected_ = selected;
    needsDisplay();
}

void CKClipdeckButtonLayer::setWaitingForSecondClick(bool waiting)
{
    isWaitingForSecondClick_ = waiting;
    if (!waiting)
        hintText_.clear();
    needsDisplay();
}

void CKClipdeckButtonLayer::mouseDown() { setSelected(true); }

void CKClipdeckButtonLayer::mouseUp()
{
    if (!soundSource_) {
        if (!isWaitingForSecondClick_) {
            isWaitingForSecondClick_ = true;
            hintText_ = tr("Click again to add a sound");
        } else {
            hintText_.clear();
            if (parentView_)
                parentView_->buttonLayerDidReceiveDoubleClick(this);
        }
    }
    stopSelection();
    updateOverlayLayer();
    needsDisplay();
}

void CKClipdeckButtonLayer::stopSelection()
{
    setSelected(false);
    cancelPotentialDrag();
}

void CKClipdeckButtonLayer::startPotentialDrag()
{
    isDragHovering_ = true;
    needsDisplay();
}

void CKClipdeckButtonLayer::cancelPotentialDrag()
{
    if (!isDragHovering_)
        return;
    isDragHovering_ = false;
    needsDisplay();
}

void CKClipdeckButtonLayer::mouseEntered()
{
    updateOverlayLayer();
    overlayVisible_ = true;
    needsDisplay();
}

void CKClipdeckButtonLayer::mouseExited()
{
    if (!(isPaused_ && soundSource_ && soundSource_->error()))
        overlayVisible_ = false;
    if (isWaitingForSecondClick_)
        setWaitingForSecondClick(false);
    needsDisplay();
}
