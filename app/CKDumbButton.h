#pragma once
// A button that never takes the keyboard focus: clicking it leaves the keys where they
// were (the tab bar's add button, whose click must not pull the keys away from the
// board). Main thread only.

#include "platform/ui/ZEPButton.h"

class CKDumbButton : public ZEPButton {
    Q_OBJECT
public:
    explicit CKDumbButton(const QRect& frame = QRect(), QWidget* parent = nullptr);
};
