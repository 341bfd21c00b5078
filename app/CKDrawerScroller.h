#pragma once
// The vertical scroll bar of the drawer's lists: always 13 wide, without arrows, its slot
// and knob drawn from the vertical three-part images "drawer-tableviewscrollbg-…" and
// "drawer-tableviewscrollthumb-…" ("-topcap", "-tile", "-bottomcap"). The knob is dragged;
// the slot around it does not page (its page parts are empty). Never takes the keyboard
// focus. Main thread only.

#include <QRectF>
#include <QScrollBar>

class CKDrawerScroller : public QScrollBar {
    Q_OBJECT
public:
    static constexpr int kWidth = 13;

    enum class Part { DecrementPage, KnobSlot, Knob, IncrementPage, DecrementLine, IncrementLine };

    explicit CKDrawerScroller(QWidget* parent = nullptr);

    // Places the scroller at frame's position and height; its width stays 13.
    void setFrame(const QRect& frame);

    // Where a part lies, in the scroller's coordinates: empty for the page and line parts,
    // the knob 2 points in from the left edge.
    QRectF rectForPart(Part part) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    static constexpr double kMinimumKnobLength = 18;

    double knobLength() const;
    // The knob's top for a value, and the value whose knob top lies nearest y.
    double knobTopForValue(int value) const;
    int valueForKnobTop(double top) const;

    bool dragging_ = false;
    double grabOffset_ = 0;
};
