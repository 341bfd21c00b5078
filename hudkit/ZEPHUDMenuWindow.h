#pragma once
// The menu window of the HUD pop-up button; its content is a HUD menu view. Main thread
// only.

#include "platform/ui/ZEPCustomMenuWindow.h"

class ZEPHUDMenuWindow : public ZEPCustomMenuWindow {
    Q_OBJECT
public:
    Q_INVOKABLE explicit ZEPHUDMenuWindow(const QRect& frame);

protected:
    void setupContents() override;
};
