#pragma once
// The HUD check box: "checkbox-normal" or, when on, "checkbox-active", unscaled, with a
// white title. Main thread only.

#include "platform/ui/ZEPButton.h"

class ZEPHUDCheckbox : public ZEPButton {
    Q_OBJECT
public:
    explicit ZEPHUDCheckbox(const QRect& frame, QWidget* parent = nullptr);

    void setup();
    // Sets the title and keeps it white.
    void setTitle(const QString& title) override;
};
