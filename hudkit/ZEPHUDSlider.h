#pragma once
// The HUD slider: a thin bar from the "sliderline-" parts, and a knob: "slider-pointy"
// over "slider-snappoint" ticks when the slider has tick marks, "slider-ball" otherwise.
// The images are chosen once, for the frame and tick marks the slider is made with.
// Main thread only.

#include "platform/ui/ZEPSlider.h"

class ZEPHUDSlider : public ZEPSlider {
    Q_OBJECT
public:
    explicit ZEPHUDSlider(const QRect& frame, int numberOfTickMarks = 0, QWidget* parent = nullptr);

    void setupHUDSlider();
};
