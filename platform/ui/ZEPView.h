#pragma once
// The base of the program's custom views, in place of the maker's view class: a widget
// whose own coordinates run the way the drawing code's formulas are written, y growing
// upward from its bottom edge, unless the subclass answers isFlipped() true (then they are
// Qt's, y down from the top).
//
// The one conversion happens here, at the view's edge, so a subclass never flips a formula:
//  - drawRect() gets a painter whose y axis already runs the view's way and the dirty
//    rectangle in view coordinates; drawImageInRect() and drawTextInRect() put pictures and
//    text upright into view rectangles;
//  - locationInView() gives a mouse event's position in view coordinates;
//  - setNeedsDisplayInRect() takes a view rectangle;
//  - convertPointFromQt()/convertRectToQt() and their inverses cross over for anything
//    else (child widgets are placed in Qt's coordinates, as always).
//
// Main thread only.

#include <QWidget>

class QMouseEvent;

class ZEPView : public QWidget {
    Q_OBJECT
public:
    explicit ZEPView(const QRect& frame = QRect(), QWidget* parent = nullptr);

    // False: y grows upward from the bottom edge.
    virtual bool isFlipped() const { return false; }

    // (0, 0, width, height) in view coordinates.
    QRectF bounds() const { return QRectF(0, 0, width(), height()); }

    QPointF convertPointFromQt(const QPointF& point) const;
    QPointF convertPointToQt(const QPointF& point) const;
    QRectF convertRectFromQt(const QRectF& rect) const;
    QRectF convertRectToQt(const QRectF& rect) const;

    // A mouse event's position in view coordinates.
    QPointF locationInView(const QMouseEvent* event) const;

    // Adds view as a child, shown.
    void addSubview(QWidget* view);

    void setNeedsDisplay(bool needsDisplay);
    void setNeedsDisplayInRect(const QRectF& rect);

protected:
    // Draws the part dirtyRect (view coordinates) of the view. The painter's y axis is the
    // view's. The base draws nothing.
    virtual void drawRect(QPainter& painter, const QRectF& dirtyRect);

    // Draws image stretched into rect (view coordinates), upright.
    void drawImageInRect(QPainter& painter, const QImage& image, const QRectF& rect) const;
    // Draws text into rect (view coordinates), upright, with Qt's alignment flags.
    void drawTextInRect(QPainter& painter, const QString& text, const QRectF& rect, int flags) const;

    void paintEvent(QPaintEvent* event) override;

private:
    // Runs draw with the painter turned back to Qt's orientation over rect (view
    // coordinates), handing it that rectangle in Qt coordinates.
    template <typename Draw>
    void drawUpright(QPainter& painter, const QRectF& rect, Draw draw) const;
};
