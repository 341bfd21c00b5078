#pragma once
// A slider drawn from images: a bar, a knob and, with tick marks, a tick image at each
// mark. It is vertical when it is higher than it is wide; a vertical slider has its
// minimum at the bottom. The bar is drawn at its own size, centred; the knob and the
// ticks are centred on the bar's line, all on whole pixels. Values are doubles between
// minValue and maxValue.
// Main thread only.

#include <QImage>
#include <QWidget>

class ZEPSlider : public QWidget {
    Q_OBJECT
public:
    explicit ZEPSlider(const QRect& frame, QWidget* parent = nullptr);

    double minValue() const { return minValue_; }
    double maxValue() const { return maxValue_; }
    void setMinValue(double value);
    void setMaxValue(double value);
    double doubleValue() const { return value_; }
    // Clamped to [minValue, maxValue]; announces a change with valueChanged.
    void setDoubleValue(double value);

    int numberOfTickMarks() const { return numberOfTickMarks_; }
    void setNumberOfTickMarks(int count);

    bool isVertical() const { return height() > width(); }

    void setBarImage(const QImage& image);
    QImage barImage() const { return barImage_; }
    void setKnobImage(const QImage& image);
    QImage knobImage() const { return knobImage_; }
    void setTickImage(const QImage& image);
    QImage tickImage() const { return tickImage_; }

    // Where the bar and the knob are drawn, in the slider's coordinates. Subclasses may
    // place the knob differently; hit-testing follows.
    QRectF barRect() const;
    virtual QRectF knobRect() const;

signals:
    void valueChanged(double value);
    // The user moved the knob (the design's action): sent for each change by the mouse.
    void sliderMoved(double value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

    // The knob centre for a value fraction in [0, 1], along the slider's length.
    QPointF knobCentreForFraction(double fraction) const;

private:
    QSizeF knobSize() const;
    double fraction() const;
    double valueForKnobCentre(const QPointF& centre) const;
    void moveKnobTo(const QPointF& centre);

    double minValue_ = 0;
    double maxValue_ = 1;
    double value_ = 0;
    int numberOfTickMarks_ = 0;
    QImage barImage_;
    QImage knobImage_;
    QImage tickImage_;
    bool tracking_ = false;
    QPointF grabOffset_;
};
