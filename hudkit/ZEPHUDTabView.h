#pragma once
// The HUD tab view: a HUD segmented control as tab bar over a box outlined by the eight
// "tabbox-" parts, whose top edge runs through the middle of the bar. On its first draw
// the tab view configures itself: it grows to hold the bar, the pages and the border
// around them, and builds the box picture, which its base class draws behind the pages.
// Main thread only.

#include "platform/ui/ZEPCustomTabView.h"

class ZEPHUDTabView : public ZEPCustomTabView {
    Q_OBJECT
public:
    explicit ZEPHUDTabView(const QRect& frame, QWidget* parent = nullptr);

    const QMetaObject* tabClass() const override;

    virtual void configure();
    // The box picture; null until configured.
    QImage boxImage() const { return _boxImage; }

protected:
    // Configures on the first draw; draws nothing itself.
    void drawRect(QPainter& painter, const QRect& dirtyRect) override;

private:
    QImage _boxImage;
};
