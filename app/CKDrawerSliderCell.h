#pragma once
// The look of the drawer's vertical sliders (master gain and pan): a dark groove,
// "drawer-slider-vertical-bg", and a ridged thumb, "drawer-slider-vertical-thumb", drawn
// on whole pixels. Main thread only.

#include "platform/ui/ZEPSliderCell.h"

class CKDrawerSliderCell : public ZEPSliderCell {
public:
    CKDrawerSliderCell();

    // The plain cell's knob position with the knob image's size, on whole pixels.
    QRectF knobRectFlipped(bool flipped) const override;
};
