#include "hudkit/ZEPHUDSlider.h"

#include "hudkit/ZEPHUDImage.h"
#include "platform/ui/PartImages.h"

ZEPHUDSlider::ZEPHUDSlider(const QRect& frame, int numberOfTickMarks, QWidget* parent)
    : ZEPSlider(frame, parent)
{
    setNumberOfTickMarks(numberOfTickMarks);
    setupHUDSlider();
}

void ZEPHUDSlider::setupHUDSlider()
{
    const QImage leftCap = ZEPHUDImageNamed(QStringLiteral("sliderline-leftcap"));
    const QImage rightCap = ZEPHUDImageNamed(QStringLiteral("sliderline-rightcap"));
    const QImage tile = ZEPHUDImageNamed(QStringLiteral("sliderline-tile"));

    // A wide slider gets a bar as high as the cap; any other shape, a bar as wide as the
    // cap, laid out vertically only when the slider is really higher than wide.
    const QSizeF cap = ZEPImageSize(leftCap);
    const QRectF barRect = width() > height() ? QRectF(0, 0, width(), cap.height())
                                              : QRectF(0, 0, cap.width(), height());
    const QImage bar = ThreePartImage(barRect, leftCap, tile, rightCap, height() > width(),
                                      QPainter::CompositionMode_SourceOver, 1.0, false);

    QImage knob;
    if (numberOfTickMarks() > 0) {
        knob = ZEPHUDImageNamed(QStringLiteral("slider-pointy"));
        setTickImage(ZEPHUDImageNamed(QStringLiteral("slider-snappoint")));
    } else {
        knob = ZEPHUDImageNamed(QStringLiteral("slider-ball"));
    }
    setBarImage(bar);
    setKnobImage(knob);
}
