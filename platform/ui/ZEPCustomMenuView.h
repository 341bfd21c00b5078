#pragma once
// The content of a custom menu window: draws its background through drawBackgroundInRect,
// then the menu's items (titles in the normal text attributes, a check mark before checked
// items, a line for separators, disabled items at half opacity) and a highlight under the
// item beneath the pointer or chosen by the arrow keys. Releasing the mouse on an enabled
// item, or Return on the highlighted one, chooses it. Items are the menu's actions; the
// view does not own the menu. Main thread only.

#include "platform/ui/ZEPTextAttributes.h"

#include <QMenu>
#include <QPointer>
#include <QWidget>

class ZEPCustomMenuView : public QWidget {
    Q_OBJECT
public:
    explicit ZEPCustomMenuView(const QRect& frame, QWidget* parent = nullptr);

    void setNormalTextAttributes(const ZEPTextAttributes& attributes);
    const ZEPTextAttributes& normalTextAttributes() const { return normalTextAttributes_; }

    // The size of the drawn border: its height is kept clear above the first item and below
    // the last one.
    void setBorderHeight(const QSizeF& size);
    QSizeF borderHeight() const { return borderHeight_; }

    void setMenu(QMenu* menu);
    QMenu* menu() const { return menu_; }

    // The size this view needs to show menu, at least minimumWidth wide.
    QSize sizeForMenu(const QMenu* menu, int minimumWidth) const;

    QRectF rectOfItemAtIndex(int index) const;
    // -1 when no item is under point.
    int indexOfItemAtPoint(const QPointF& point) const;
    int highlightedIndex() const { return highlightedIndex_; }
    void setHighlightedIndex(int index);

signals:
    void itemChosen(QAction* item);

protected:
    // Draws the background of rect, in the view's coordinates; a plain dark fill here.
    virtual void drawBackgroundInRect(QPainter& painter, const QRect& rect);

    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    qreal itemHeight(const QAction* item) const;
    bool isChoosable(int index) const;
    void moveHighlight(int step);

    ZEPTextAttributes normalTextAttributes_;
    QSizeF borderHeight_;
    QPointer<QMenu> menu_;
    int highlightedIndex_ = -1;
};
