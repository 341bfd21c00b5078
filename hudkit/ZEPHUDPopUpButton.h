#pragma once
// The HUD pop-up button: a pill from the "popupmenu-" caps and tile (the
// "popupmenu-disabled-" ones while disabled), built once for the size it is made with,
// a white small title, and a HUD menu window for its menu. Main thread only.

#include "platform/ui/ZEPPopUpButton.h"

class ZEPHUDPopUpButton : public ZEPPopUpButton {
    Q_OBJECT
public:
    explicit ZEPHUDPopUpButton(const QRect& frame, QWidget* parent = nullptr);

    void setup();

protected:
    // Names ZEPHUDMenuWindow.
    void setupMenuWindow() override;

private:
    QImage _cachedEnabledImage;
    QImage _cachedDisabledImage;
};
