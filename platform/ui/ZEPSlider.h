#pragma once
// A slider drawn from images: a bar, a knob and, with tick marks, a tick image at each
// mark. Its look, value and layout are its cell's (ZEPSliderCell, or a subclass given at
// creation); the slider answers the mouse. Values are doubles between minValue and
// maxValue.
// Main thread only.

#include "platform/ui/ZEPSliderCell.h"

#include <QImage>
#include <QWidget>

#include <memory>

class ZEPSlider : public QWidget {
    Q_OBJECT
public:
    // A slider with the given cell (a plain ZEPSliderCell when null).
    explicit ZEPSlider(const QRect& frame, QWidget* parent = nullptr, std::unique_ptr<ZEPSliderCell> cell = nullptr);
    ~ZEPSlider() override;

    ZEPSliderCell* cell() const { return cell_.get(); }

    double minValue() const { return cell_->minValue(); }
    double maxValue() const { return cell_->maxValue(); }
    void setMinValue(double value);
    void setMaxValue(double value);
    double doubleValue() const { return cell_->doubleValue(); }
    // Clamped to [minValue, maxValue]; announces a change with valueChanged.
    void setDoubleValue(double value);

    int numberOfTickMarks() const { return cell_->numberOfTickMarks(); }
    void setNumberOfTickMarks(int count);

    bool isVertical() const { return cell_->isVertical(); }

    void setBarImage(const QImage& image);
    QImage barImage() const { return cell_->barImage(); }
    void setKnobImage(const QImage& image);
    QImage knobImage() const { return cell_->knobImage(); }
    void setTickImage(const QImage& image);
    QImage tickImage() const { return cell_->tickImage(); }

    // Where the bar and the knob are drawn, in the slider's (Qt) coordinates; hit-testing
    // follows the knob.
    QRectF barRect() const { return cell_->barRectFlipped(true); }
    QRectF knobRect() const { return cell_->knobRectFlipped(true); }

signals:
    void valueChanged(double value);
    // The user moved the knob (the design's action): sent for each change by the mouse.
    void sliderMoved(double value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void moveKnobTo(const QPointF& centre);

    std::unique_ptr<ZEPSliderCell> cell_;
    bool tracking_ = false;
    QPointF grabOffset_;
};
