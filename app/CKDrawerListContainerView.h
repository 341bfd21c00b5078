#pragma once
// The drawer's list container: draws nothing of its own, so the pane's nine-part
// background shows through. Main thread only.

#include "app/CKListContainerView.h"

class CKDrawerListContainerView : public CKListContainerView {
    Q_OBJECT
public:
    using CKListContainerView::CKListContainerView;

protected:
    void paintEvent(QPaintEvent*) override {}
};
