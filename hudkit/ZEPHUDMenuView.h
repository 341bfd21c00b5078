#pragma once
// The HUD menu: a dark rounded background from the nine "popupmenu-" parts, built once
// for the frame the view is made with, and white small item titles. Main thread only.

#include "platform/ui/ZEPCustomMenuView.h"

#include <QImage>

class ZEPHUDMenuView : public ZEPCustomMenuView {
    Q_OBJECT
public:
    explicit ZEPHUDMenuView(const QRect& frame, QWidget* parent = nullptr);

    QImage backgroundImage() const { return _image; }

protected:
    // Copies the part rect of the background picture into rect.
    void drawBackgroundInRect(QPainter& painter, const QRect& rect) override;

private:
    QImage _image;
};
