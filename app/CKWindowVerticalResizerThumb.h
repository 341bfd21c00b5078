#pragma once
// The thumb that resizes the main window vertically (to open and close the drawer). A
// press with one click starts a drag: the delegate is told, and the window's frame and the
// pointer's screen position are kept. Each move asks the delegate which offset to apply to
// the pointer's upward travel and sets the window's frame at once: its top edge stays, its
// height shrinks by the offset. The release asks once more and hands the delegate the
// final offset; the delegate decides limits and snapping. The second press of a double
// click starts nothing, so the moves after it resize nothing.
//
// Offsets are the design's: positive upward (Qt's screen y runs downward, so the pointer's
// travel is negated). Never takes the keyboard focus. Main thread only.

#include <QAbstractButton>
#include <QPointF>
#include <QRect>

class CKWindowVerticalResizerThumb;

class CKWindowVerticalResizerThumbDelegate {
public:
    virtual ~CKWindowVerticalResizerThumbDelegate() = default;
    virtual void didStartDraggingThumb(CKWindowVerticalResizerThumb* thumb) = 0;
    // The offset to apply for the pointer's upward travel dy since the press.
    virtual float thumbShouldResizeToOffset(CKWindowVerticalResizerThumb* thumb, float dy) = 0;
    virtual void thumbDidFinishDraggingToOffset(CKWindowVerticalResizerThumb* thumb, float offset) = 0;
};

class CKWindowVerticalResizerThumb : public QAbstractButton {
    Q_OBJECT
public:
    explicit CKWindowVerticalResizerThumb(const QRect& frame, QWidget* parent = nullptr);

    // Not owned.
    void setDelegate(CKWindowVerticalResizerThumbDelegate* delegate) { delegate_ = delegate; }
    CKWindowVerticalResizerThumbDelegate* delegate() const { return delegate_; }
    bool isDragging() const { return isDragging_; }

    void setImage(const QImage& image);
    QImage image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    float offsetFor(const QMouseEvent& event);

    CKWindowVerticalResizerThumbDelegate* delegate_ = nullptr;
    bool isDragging_ = false;
    QPointF startPoint_;
    QRect startWindowFrame_;
    QImage image_;
};
