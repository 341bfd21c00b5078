#pragma once
// The HUD push button: a pill drawn from "button-leftcap", "button-tile" and
// "button-rightcap" behind a white title. The picture is built once, for the button's size
// when it is made. The application subclasses it. Main thread only.

#include "platform/ui/ZEPImageButton.h"

class ZEPHUDButton : public ZEPImageButton {
    Q_OBJECT
public:
    explicit ZEPHUDButton(const QRect& frame, QWidget* parent = nullptr);

    void setupHUDButton();
    // Loads the three parts and sets their picture over the bounds as the button's image.
    void setupImage();

private:
    QImage _leftImage;
    QImage _rightImage;
    QImage _centerImage;
    QImage _cached;
};
