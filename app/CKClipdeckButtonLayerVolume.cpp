// The cell's volume: its slider, the wheel, glides of a fader, and the percent bubble.
#include "app/CKClipdeckButtonLayer.h"

#include "app/CKClipdeckView.h"
#include "app/CKVolumeIndicatorWindow.h"

#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundSource.h"

#include "platform/UserDefaults.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

void CKClipdeckButtonLayer::updateSliderVisibility()
{
    // The sound's own volume: the slider never shows a value the sound does not play at.
    if (soundSource_)
        sliderLayer_.setAction({});
    if (soundSource_) {
        sliderLayer_.setDoubleValue(soundSource_->playbackVolume());
        sliderLayer_.setAction([this](CKSliderLayer* slider) { updatePlaybackVolume(slider); });
    }
    sliderLayer_.setEnabled(!triggersLocked() && !isFading_);
    needsDisplay();
}

void CKClipdeckButtonLayer::updatePlaybackVolume(CKSliderLayer* slider)
{
    if (soundSource_)
        soundSource_->setPlaybackVolume(float(slider->doubleValue()));
    updateIndicatorWindowByUpdatingSize(false);
}

void CKClipdeckButtonLayer::scrollWheel(double deltaY)
{
    if (!soundSource_ || soundSource_->fader() || triggersLocked())
        return;
    sliderLayer_.setDoubleValue(sliderLayer_.doubleValue() + deltaY / 100.0);
    shouldShowVolumeIndicator_ = true;
    updateIndicatorWindowByUpdatingSize(false);
    hideVolumeIndicatorAfterTimeInterval(0.5);
}

double CKClipdeckButtonLayer::doubleValueForSliderAtPoint(const QPointF& point) const
{
    const double offset = point.y() - frame_.y();
    if (offset < 0)
        return sliderLayer_.minValue();
    if (offset > frame_.height())
        return sliderLayer_.maxValue();
    return offset / frame_.height() + sliderLayer_.minValue();
}

void CKClipdeckButtonLayer::sliderDidStartDragging(const QPointF& point)
{
    if (!sliderLayer_.enabled() || !soundSource_)
        return;
    shouldShowVolumeIndicator_ = true;
    const QPointF inCell = point - frame_.topLeft();
    if (!sliderLayer_.pointIsOnSliderHandle(inCell) && soundSource_->isPlaying()) {
        setVolume(float(doubleValueForSliderAtPoint(point)), true);
        return;
    }
    const double value = doubleValueForSliderAtPoint(point);
    setVolume(float(value), false);
    sliderLayer_.setDoubleValue(value);
}

void CKClipdeckButtonLayer::sliderDraggedToPoint(const QPointF& point)
{
    if (!sliderLayer_.enabled() || !soundSource_)
        return;
    const double value = doubleValueForSliderAtPoint(point);
    if (soundSource_->fader())
        setVolume(float(value), false);
    sliderLayer_.setDoubleValue(value);
    updateIndicatorWindowByUpdatingSize(false);
}

void CKClipdeckButtonLayer::sliderDidFinishDragging() { hideVolumeIndicatorAfterTimeInterval(0.5); }

void CKClipdeckButtonLayer::setVolume(float volume, bool animate)
{
    CKSoundSource* sound = soundSource_.get();
    if (!sound)
        return;
    float start = sound->playbackVolume();
    if (CKEditorFaderAnimation* running = sound->fader()) {
        running->stopAnimation();
        start = running->currentVolume();
        sound->setFader(nullptr);
    }
    if (animate) {
        CKPlaybackController* controller = CKPlaybackController::sharedPlaybackController();
        auto fader = std::make_unique<CKEditorFaderAnimation>(sound, controller->audioMixer(), 0.5);
        fader->setAction([sound](double value) { sound->setPlaybackVolumeNumber(value); });
        fader->setDelegate(this);
        fader->setStartVolume(start);
        fader->setEndVolume(volume);
        CKEditorFaderAnimation* started = fader.get();
        sound->setFader(std::move(fader));
        started->startAnimation();
    } else {
        sound->setPlaybackVolume(volume);
    }
    updateIndicatorWindowByUpdatingSize(false);
}

void CKClipdeckButtonLayer::animationDidEnd(CKEditorFaderAnimation* fader)
{
    CKSoundSource* sound = fader->soundSource();
    // Only the glide that ended goes: a newer one may run already.
    if (sound && sound->fader() == fader)
        sound->setFader(nullptr);
    hideVolumeIndicatorAfterTimeInterval(0.5);
}

void CKClipdeckButtonLayer::hideVolumeIndicatorAfterTimeInterval(double seconds)
{
    hideIndicatorTimer_->start(int(seconds * 1000));
}

void CKClipdeckButtonLayer::cancelHideVolumeIndicator() { hideIndicatorTimer_->stop(); }

void CKClipdeckButtonLayer::hideVolumeIndicator()
{
    if (soundSource_ && soundSource_->fader())
        return;
    shouldShowVolumeIndicator_ = false;
    updateIndicatorWindowByUpdatingSize(false);
}

CKVolumeIndicatorWindow* CKClipdeckButtonLayer::indicatorWindow() const { return indicatorWindow_.get(); }

namespace {

double maxScreenX()
{
    QRect all;
    for (const QScreen* screen : QGuiApplication::screens())
        all = all.united(screen->geometry());
    return all.isEmpty() ? 1e9 : double(all.x() + all.width());
}

} // namespace

void CKClipdeckButtonLayer::updateIndicatorWindowByUpdatingSize(bool updateSize)
{
    if (!shouldShowVolumeIndicator_ && indicatorWindow_) {
        fadeOutVolumeIndicatorWindow();
        return;
    }
    if (!soundSource_ || !shouldShowVolumeIndicator_ || !parentView_)
        return;
    if (indicatorWindow_ && (indicatorWindow_->isFadingOut() || soundSource_->fader()))
        indicatorWindow_->showFully();

    // The knob, its top 85 %, in screen coordinates (y down).
    QRectF knob = sliderLayer_.frameOfSliderHandle().translated(frame_.topLeft());
    knob.setY(knob.y() + 0.15 * knob.height());
    knob.setHeight(0.85 * sliderLayer_.frameOfSliderHandle().height());
    const QRect onScreen = parentView_->screenRectOfViewRect(knob);

    const int width = CKVolumeIndicatorWindow::kWidth, height = CKVolumeIndicatorWindow::kHeight;
    const double midY = onScreen.y() + onScreen.height() / 2.0;
    int y = int(std::lround(midY - height / 2.0));
    int x = onScreen.x() + onScreen.width() + 3;
    bool flipped = false;
    if (maxScreenX() < x + width) {
        x = onScreen.x() - 4 - width;
        flipped = true;
    }
    if (!indicatorWindow_) {
        indicatorWindow_ = std::make_unique<CKVolumeIndicatorWindow>(parentView_->window());
        indicatorWindow_->setGeometry(x, y, width, height);
        indicatorWindow_->setFlippedHorizontally(flipped);
        indicatorWindow_->fadeIn();
    }
    indicatorWindow_->setFlippedHorizontally(flipped);
    indicatorWindow_->setPercentage(sliderLayer_.doubleValue());
    if (updateSize)
        indicatorWindow_->setGeometry(x, y, width, height);
    else
        indicatorWindow_->move(x, y);
}

void CKClipdeckButtonLayer::fadeOutVolumeIndicatorWindow()
{
    if (!indicatorWindow_ || indicatorWindow_->isFadingOut())
        return;
    indicatorWindow_->fadeOut([this, window = indicatorWindow_.get()] {
        // Only the bubble that faded goes.
        if (indicatorWindow_.get() == window)
            indicatorWindow_.reset();
    });
}
