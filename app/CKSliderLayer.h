#pragma once
// The thin vertical volume slider at a cell's right edge: a rail and a knob, minimum at the
// bottom. Geometry is y-up inside the slider's own bounds; the frame is in the cell's
// coordinates. The cell draws it (paint()).
//
// Main thread.

#include <QRectF>
#include <QSizeF>

#include <functional>

class QPainter;

class CKSliderLayer {
public:
    // Sent with the slider when setDoubleValue() changes the value.
    using Action = std::function<void(CKSliderLayer*)>;

    double minValue() const { return minValue_; }
    void setMinValue(double value) { minValue_ = value; }
    double maxValue() const { return maxValue_; }
    void setMaxValue(double value) { maxValue_ = value; }
    double doubleValue() const { return doubleValue_; }
    // Clamped to [min, max]; a changed value is stored and the action is sent.
    void setDoubleValue(double value);
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    // 1.0 enabled, 0.5 not.
    double opacity() const { return enabled_ ? 1.0 : 0.5; }
    void setAction(Action action) { action_ = std::move(action); }

    QRectF frame() const { return frame_; }
    // Also sizes the knob: width round(3W/5) (3 when below 5), height twice that.
    void setFrame(const QRectF& frame);
    QSizeF sliderSize() const { return sliderSize_; }

    QRectF rectOfSliderRailInBounds(const QRectF& bounds) const;
    QRectF rectOfSliderKnobInBounds(const QRectF& bounds) const;
    // The knob in the coordinates of the slider's superlayer (the cell).
    QRectF frameOfSliderHandle() const;
    bool pointIsOnSliderHandle(const QPointF& point) const { return frameOfSliderHandle().contains(point); }

    // Draws the rail and knob, the painter's y going down, in the cell whose height is given.
    void paint(QPainter& painter, double cellHeight) const;

private:
    double minValue_ = 0.0;
    double maxValue_ = 1.0;
    double doubleValue_ = 0.5;
    bool enabled_ = true;
    QRectF frame_;
    QSizeF sliderSize_;
    Action action_;
};
