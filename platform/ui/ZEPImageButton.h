#pragma once
// A momentary button whose picture is one image drawn behind its title: the base of the
// HUD button. Main thread only.

#include "platform/ui/ZEPButton.h"

class ZEPImageButton : public ZEPButton {
    Q_OBJECT
public:
    explicit ZEPImageButton(const QRect& frame, QWidget* parent = nullptr);
};
