#pragma once
// What a ZEPSlider shows and how it is laid out, in place of the maker's slider cell: the
// value and its range, a bar, a knob and a tick image, the bar and knob rectangles and the
// drawing of each part. A slider owns one cell; a slider of another look (the drawer's, the
// editor's) gives its slider a cell of its own, overriding knobRectFlipped() or the
// drawing calls, while the slider keeps the mouse handling.
//
// Layout: the slider is vertical when its view is higher than it is wide, with its minimum
// at the bottom. The bar is drawn at its own size, centred; the knob and the ticks are
// centred on the bar's line, all on whole pixels.
//
// flipped: true asks for Qt's coordinates of the view (y down from the top), false for
// y-up coordinates (y up from the bottom edge, as the drawing code's formulas are written);
// the slider itself asks flipped.
//
// Main thread only.

#include <QImage>
#include <QPainter>
#include <QPointF>
#include <QRectF>

class QWidget;

class ZEPSliderCell {
public:
    ZEPSliderCell() = default;
    virtual ~ZEPSliderCell() = default;
    ZEPSliderCell(const ZEPSliderCell&) = delete;
    ZEPSliderCell& operator=(const ZEPSliderCell&) = delete;

    // The view the cell is drawn in; its size gives the cell's frame. Set by the slider.
    void setControlView(QWidget* view) { controlView_ = view; }
    QWidget* controlView() const { return controlView_; }
    // The frame (Qt coordinates of the control view).
    QRectF cellFrame() const;

    double minValue() const { return minValue_; }
    double maxValue() const { return maxValue_; }
    void setMinValue(double value);
    void setMaxValue(double value);
    double doubleValue() const { return value_; }
    // Clamped to [minValue, maxValue]; answers whether the value changed.
    bool setDoubleValue(double value);
    // Where the value lies in its range, from 0 to 1.
    double fraction() const;

    int numberOfTickMarks() const { return numberOfTickMarks_; }
    void setNumberOfTickMarks(int count);

    bool isVertical() const;

    void setBarImage(const QImage& image) { barImage_ = image; }
    QImage barImage() const { return barImage_; }
    void setKnobImage(const QImage& image) { knobImage_ = image; }
    QImage knobImage() const { return knobImage_; }
    void setTickImage(const QImage& image) { tickImage_ = image; }
    QImage tickImage() const { return tickImage_; }

    // The knob's length along the slider's direction.
    double knobThickness() const;
    QRectF barRectFlipped(bool flipped) const;
    virtual QRectF knobRectFlipped(bool flipped) const;

    // Draws bar, ticks and knob into the cell's frame; the painter draws in Qt coordinates
    // of the control view.
    void drawWithFrame(QPainter& painter);
    virtual void drawBarInside(QPainter& painter, const QRectF& barRect);
    virtual void drawTickMarks(QPainter& painter);
    virtual void drawKnob(QPainter& painter, const QRectF& knobRect);

    // The knob centre (Qt coordinates) for a fraction of the range, and the value whose knob
    // centre lies nearest a point.
    QPointF knobCentreForFraction(double fraction) const;
    double valueForKnobCentre(const QPointF& centre) const;

protected:
    QSizeF knobSize() const;
    // A rectangle of Qt coordinates in the coordinates asked for.
    QRectF inCoordinates(const QRectF& qtRect, bool flipped) const;

private:
    QWidget* controlView_ = nullptr;
    double minValue_ = 0;
    double maxValue_ = 1;
    double value_ = 0;
    int numberOfTickMarks_ = 0;
    QImage barImage_;
    QImage knobImage_;
    QImage tickImage_;
};
