#pragma once
// The drawer's slider (master gain and pan): a ZEPSlider with the drawer's look that also
// answers the scroll wheel. One wheel step (a vertical delta of 1.0) moves the value by
// 0.01, up for a step away from the user, clamped to the range, and
// sends the slider's action (sliderMoved) once per wheel event, even where the clamp left
// the value as it was: the pan's centre detent counts wheel events through it. Never takes
// the keyboard focus. Main thread only.

#include "platform/ui/ZEPSlider.h"

class CKDrawerSlider : public ZEPSlider {
    Q_OBJECT
public:
    explicit CKDrawerSlider(const QRect& frame, QWidget* parent = nullptr);

    // The vertical delta of a wheel event in steps: 1.0 for one notch of a wheel.
    static double verticalDeltaOf(const QWheelEvent& event);
    // The wheel event being handled while the action it sends runs (its delta and time
    // stamp drive the pan's centre detent); nullptr at any other time.
    const QWheelEvent* currentScrollEvent() const { return currentScrollEvent_; }

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    const QWheelEvent* currentScrollEvent_ = nullptr;
};
