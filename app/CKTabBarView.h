#pragma once
// The strip above the board grid: one tab per board, in board order. A click selects, the
// add button adds, a tab's close button closes, a double click renames (in a line edit over
// the tab), a drag reorders; tabs that do not fit fold into a menu behind a chevron on the
// last tab shown, which then stands for the selected board when that one is folded away. A
// sound dragged from the grid onto a tab goes to that tab's board. A press beside the tabs
// moves the window, as a title bar would.
//
// The bar owns no board: it asks and tells its delegate (CKTabBarDelegate). Tabs are
// CKTabBarLayer objects the bar draws itself; the bar is one painted widget with two
// children, the add button and, while renaming, the name field.
//
// Geometry is y-up from the bar's bottom edge (ZEPView): tab i occupies
// (margin + i x tab width, 0, tab width, 20). Positions count every tab; the first
// visibleTabs() show.
//
// Main thread only.

#include "app/CKTabBarDelegate.h"

#include "platform/TimeSource.h"
#include "platform/ui/ZEPView.h"

#include <QPointer>
#include <QVariantMap>

#include <memory>
#include <vector>

class CKDumbButton;
class CKTabBarLayer;
class QLineEdit;
class QMenu;

class CKTabBarView : public ZEPView {
    Q_OBJECT
public:
    // No position: no tab, no press, no rename.
    static constexpr qsizetype kNotFound = 0x7fffffff;
    static constexpr qreal kTabHeight = 20;
    static constexpr qreal kMinimumTabWidth = 150;
    static constexpr qreal kMaximumTabWidth = 200;
    // How often a sound held still over a tab counts as a drag update.
    static constexpr double kDragUpdateInterval = 0.05;
    static inline const QString NameKey = QStringLiteral("kCKTabBarNameKey");

    explicit CKTabBarView(const QRect& frame = QRect(), QWidget* parent = nullptr);
    ~CKTabBarView() override;

    CKTabBarDelegate* delegate() const { return delegate_; }
    void setDelegate(CKTabBarDelegate* delegate);
    qreal margin() const { return margin_; }
    void setMargin(qreal margin) { margin_ = margin; }
    bool internalResizeLock() const { return internalResizeLock_; }
    void setInternalResizeLock(bool lock) { internalResizeLock_ = lock; }

    // ---- Tabs ----

    void addTabWithName(const QString& name);
    void removeTabAtIndex(qsizetype index);
    void removeAllTabs();
    void setName(const QString& name, qsizetype atIndex);
    // The tab's own name (a tab standing for a folded board shows that board's).
    QString nameAtIndex(qsizetype index) const;
    qsizetype numberOfTabs() const { return qsizetype(tabs_.size()); }
    CKTabBarLayer* tabAtIndex(qsizetype index) const;
    qsizetype indexOfTab(const CKTabBarLayer* tab) const;

    // ---- Selection ----

    qsizetype selectedIndex() const { return selectedIndex_; }
    void selectTab(CKTabBarLayer* tab);
    // Selects the board the tab at position stands for.
    void selectTabAtIndex(qsizetype position);
    // Selects a position as it is, telling the delegate when the selection changes.
    void selectTabAtIndexNoOverride(qsizetype position);
    // The board a position stands for.
    qsizetype overridenIndexForIndex(qsizetype position) const;

    // ---- Geometry ----

    qsizetype visibleTabs() const { return numberOfTabs() - numberOfHiddenTabs_; }
    qsizetype numberOfHiddenTabs() const { return numberOfHiddenTabs_; }
    qreal tabWidth() const;
    qreal availableWidth() const;
    QRectF rectOfTabAtIndex(qsizetype index) const;
    // The position under a point (its x only); -1 beside every tab.
    qsizetype indexAtPoint(const QPointF& point) const;
    bool tabExistsAtPoint(const QPointF& point) const;

    // Lays the tabs out on the next pass of the event loop (true), or cancels that (false).
    void setLayersNeedUpdate(bool needsUpdate);
    bool layersNeedUpdate() const { return layersNeedUpdate_; }
    void updateLayerFrames();
    // Enables the add button when the delegate lets a tab be added.
    void updateNewButton();
    CKDumbButton* addButton() const { return addButton_; }

    // ---- Overflow menu ----

    // A new menu of the folded tabs (and the last one shown), the selected one checked;
    // choosing an item selects its position. The caller owns it.
    QMenu* popupMenu();

    // ---- Renaming ----

    bool isEditing() const { return editingIndex_ != kNotFound; }
    qsizetype editingIndex() const { return editingIndex_; }
    // Opens the name field over a position (as a double click does).
    void beginEditingNameAtIndex(qsizetype position);
    // Closes the name field: keeping the typed name (a name left empty keeps the old one)
    // or, cancelled, the old name. Return, a click elsewhere in the bar or the keyboard
    // focus moving elsewhere in the window end it keeping the typed name, Escape cancels; a
    // sheet or window coming up over the bar leaves it open.
    void endEditingName(bool keepTypedName = true);
    // The name field; null until the first rename.
    QLineEdit* textField() const { return textField_; }

signals:
    // After every layout (tests and the window follow the bar's state).
    void layoutDidChange();

protected:
    bool isFlipped() const override { return false; }
    void drawRect(QPainter& painter, const QRectF& dirtyRect) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Tab {
        QVariantMap info; // NameKey: the tab's own name
        std::unique_ptr<CKTabBarLayer> layer;
    };

    void layoutAddButton();
    void placeTextField();
    void moveTabAtIndex(qsizetype from, qsizetype to);
    void selectTabFromMenu(qsizetype position);
    void updateBackingScale();
    // The tab under a drag's position, or null.
    CKTabBarLayer* tabUnderDrag(const QPointF& qtPosition) const;
    void setDragHoveringTab(CKTabBarLayer* tab);
    void dragUpdateTick();
    Qt::DropAction dropActionForModifiers(Qt::KeyboardModifiers modifiers) const;
    // Moves the window with the pointer (the press missed every tab).
    void dragWindow(const QPointF& globalPosition);

    CKTabBarDelegate* delegate_ = nullptr;
    std::vector<Tab> tabs_;
    qreal margin_ = 8;
    qreal oldTabWidth_ = 0;
    qsizetype selectedIndex_ = 0;
    QPointF dragOrigin_;
    QPointF dragOriginGlobal_;
    QPoint windowOriginAtPress_;
    bool windowMoveStarted_ = false;
    CKDumbButton* addButton_ = nullptr;
    QLineEdit* textField_ = nullptr;
    QString nameBeforeEditing_;
    qsizetype editingIndex_ = kNotFound;
    bool dragDidStart_ = false;
    qsizetype dragIndex_ = kNotFound;
    qsizetype dragStartIndex_ = kNotFound;
    CKTabBarLayer* dragLayer_ = nullptr;
    QRectF dragLayerOriginalFrame_;
    bool internalResizeLock_ = false;
    qsizetype numberOfHiddenTabs_ = 0;
    bool layersNeedUpdate_ = false;
    bool isClickingCloseButton_ = false;
    bool pressed_ = false;
    // The press was the second of a double click: its release renames.
    bool pressedTwice_ = false;
    CKTabBarLayer* dragHoveringTab_ = nullptr;
    Qt::DropAction dragHoveringAction_ = Qt::MoveAction;
    Timer dragUpdateTimer_;
};
