#include "app/CKDrawerSlider.h"

#include "app/CKDrawerSliderCell.h"

#include <QWheelEvent>

CKDrawerSlider::CKDrawerSlider(const QRect& frame, QWidget* parent)
    : ZEPSlider(frame, parent, std::make_unique<CKDrawerSliderCell>())
{
    setFocusPolicy(Qt::NoFocus);
}

double CKDrawerSlider::verticalDeltaOf(const QWheelEvent& event)
{
    // Qt gives a wheel's notch as 120 eighths of a degree.
    return event.angleDelta().y() / 120.0;
}

void CKDrawerSlider::wheelEvent(QWheelEvent* event)
{
    const double delta = verticalDeltaOf(*event);
    if (delta == 0) {
        event->ignore();
        return;
    }
    event->accept();
    setDoubleValue(doubleValue() + delta / 100.0);
    currentScrollEvent_ = event;
    emit sliderMoved(doubleValue());
    currentScrollEvent_ = nullptr;
}
