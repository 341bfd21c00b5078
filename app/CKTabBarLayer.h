#pragma once
// One tab of the tab bar: a lightweight layer the bar (CKTabBarView) owns and draws, not a
// widget. It shows the board's name between a close button at its left and, on the tab
// that stands for the folded tabs, a drop-down chevron at its right; a red wash while it
// asks to be deleted; and a blinking outline while a sound is held over it, which selects
// it after 30 drag updates.
//
// Geometry is y-up, as the bar's: a frame's y counts from the bar's bottom edge, and the
// buttons' frames from the tab's own bottom-left corner. The layer draws its contents into
// a picture (contents()) that the bar composites at presentationFrame().
//
// frame() is where the tab is; presentationFrame() is where it shows, which follows the
// frame over 0.25 s when the frame was set with animation (a tab sliding into a free slot).
//
// Main thread only.

#include "platform/ui/ZEPAnimation.h"

#include <QImage>
#include <QRectF>
#include <QString>

#include <memory>

class CKTabBarView;

class CKTabBarLayer : public ZEPAnimationDelegate {
public:
    static constexpr double kAnimationDuration = 0.25;
    // Drag updates of a held sound that select the tab, and those on which the outline is off.
    static constexpr unsigned kDragStepsToSelect = 30;

    CKTabBarLayer();
    ~CKTabBarLayer() override;
    CKTabBarLayer(const CKTabBarLayer&) = delete;
    CKTabBarLayer& operator=(const CKTabBarLayer&) = delete;

    CKTabBarView* parentView() const { return parentView_; }
    void setParentView(CKTabBarView* view) { parentView_ = view; }

    QString name() const { return name_; }
    void setName(const QString& name);
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    bool isFirstDeleteClick() const { return firstDeleteClick_; }
    void setFirstDeleteClick(bool firstDeleteClick);
    bool hoveringOverCloseButton() const { return hoveringOverCloseButton_; }
    void setHoveringOverCloseButton(bool hovering);

    bool closeVisible() const { return closeVisible_; }
    void setCloseVisible(bool visible);
    bool dropDownMenuButtonVisible() const { return dropDownMenuButtonVisible_; }
    void setDropDownMenuButtonVisible(bool visible);

    // The board this tab stands for; -1 when it stands for its own position.
    int overrideTabIndex() const { return overrideTabIndex_; }
    void setOverrideTabIndex(int index) { overrideTabIndex_ = index; }

    double zPosition() const { return zPosition_; }
    void setZPosition(double z);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    double contentsScale() const { return contentsScale_; }
    void setContentsScale(double scale);

    // Moves the tab (made integral); animated, it slides there from where it shows.
    void setFrame(const QRectF& frame, bool animated = false);
    QRectF frame() const { return frame_; }
    QRectF presentationFrame() const;
    bool isAnimating() const { return animation_ && animation_->isAnimating(); }

    // The buttons' and the name's frames, in the tab's own y-up coordinates.
    QRectF closeButtonFrame() const { return closeFrame_; }
    QRectF dropDownMenuButtonFrame() const { return chevronFrame_; }
    QRectF textFrame() const { return textFrame_; }
    // The text the tab shows: its name, or "Delete <name>?" while it asks to be deleted.
    QString displayedText() const;

    // Hit tests of a point in the bar: only its x decides.
    bool pointIsInCloseButton(const QPointF& point) const;
    bool pointIsInDropDownMenuButton(const QPointF& point) const;

    // A sound is held over the tab. The same value again while held counts one drag update;
    // the 30th selects the tab in its bar.
    bool isDraggingSoundOnTop() const { return draggingSoundOnTop_; }
    void setDraggingSoundOnTop(bool dragging);
    unsigned draggingStep() const { return draggingStep_; }
    // Whether the drag outline shows now (a held sound, an unselected tab, not a blink).
    bool showsDragOutline() const;

    // The drag messages the bar passes on: entering and each update count as held, the
    // rest end it. The first two answer the move action.
    Qt::DropAction draggingEntered();
    Qt::DropAction draggingUpdated();
    void draggingExited();
    void draggingEnded();
    void concludeDragOperation();

    // The tab drawn at its frame's size and contents scale, upright.
    QImage contents() const;

    // ZEPAnimationDelegate
    void animation(ZEPAnimation* animation, double timerFiredAtTime) override;

private:
    void layoutButtons();
    void layoutText();
    void setNeedsDisplay();
    // Stores value and redraws when it differs; answers whether it did.
    template <typename T>
    bool redrawOnChange(T& field, const T& value);
    void drawInContext(QPainter& painter) const;
    // A y-up rectangle of the tab in the tab picture's (Qt, y down) coordinates.
    QRectF toPicture(const QRectF& rect) const;

    CKTabBarView* parentView_ = nullptr;
    QString name_;
    bool firstDeleteClick_ = false;
    bool selected_ = false;
    bool hoveringOverCloseButton_ = false;
    bool closeVisible_ = true;
    bool draggingSoundOnTop_ = false;
    unsigned draggingStep_ = 0;
    bool dropDownMenuButtonVisible_ = false;
    int overrideTabIndex_ = -1;
    double zPosition_ = 0;
    bool hidden_ = false;
    double contentsScale_ = 1.0;

    QRectF frame_;
    QRectF closeFrame_;
    QRectF chevronFrame_;
    QRectF textFrame_;
    // The slide in progress: from where the tab showed to frame_.
    std::unique_ptr<ZEPAnimation> animation_;
    QRectF animationStart_;
    mutable QImage contents_;
    mutable bool needsDisplay_ = true;
};
