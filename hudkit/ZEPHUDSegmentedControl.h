#pragma once
// The HUD segmented control, the tab bar of the HUD tab view: "tab-…-normal" segments,
// the selected one from "tab-…-active", "tab-divider" between them, white 11-point labels.
// Main thread only.

#include "platform/ui/ZEPCustomSegmentedControl.h"

class ZEPHUDSegmentedControl : public ZEPCustomSegmentedControl {
    Q_OBJECT
public:
    Q_INVOKABLE explicit ZEPHUDSegmentedControl(QWidget* parent = nullptr);

    void setup();
};
