#pragma once
// The main window's board area: the shown board as a grid of cells (CKClipdeckButtonLayer),
// drawn by this one widget, which routes mouse, wheel and drags to them itself. A press on a
// cell plays, fades, restarts, resumes or pauses its sound; the action button opens the cell
// menu; the slider and the wheel set the volume; a drag moves a sound to another cell (swap),
// copies it (Alt), moves it to another board's tab, or deletes it when released outside every
// window of the program; files dropped on a cell are imported there. Each of the first 32
// cells shows the key that fires it in the current keyboard layout.
//
// The hook for the board list: setClipdeck() shows a board at once; clipdeckDidShow() shows
// it 0.1 s later (whichever board was last asked for by then). The view also follows the
// "CKClipdeckDidShowNotification" (object: the board) for the same delayed show.
//
// Geometry: the design's y-up rectangles (cell frames, hit test) are pure functions; the view
// flips once, where Qt's events come in and where it paints.
//
// Main thread only.

#include "app/CKClipdeckButtonLayoutManager.h"

#include "platform/Error.h"
#include "platform/TimeSource.h"

#include <QPointer>
#include <QWidget>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

class CKClipdeck;
class CKClipdeckButtonLayer;
class CKSoundSource;
class QDrag;
class QMimeData;

class CKClipdeckView : public QWidget {
    Q_OBJECT
public:
    static constexpr std::size_t kNotFound = 2147483647;
    static inline const QString DidShowNotification = QStringLiteral("CKClipdeckDidShowNotification");
    // Moves beyond this many points turn a press into a drag.
    static constexpr double kDragThreshold = 3.0;

    explicit CKClipdeckView(QWidget* parent = nullptr);
    ~CKClipdeckView() override;

    // ---- The board shown ----
    std::shared_ptr<CKClipdeck> clipdeck() const { return clipdeck_; }
    void setClipdeck(const std::shared_ptr<CKClipdeck>& clipdeck);
    // Shows the board 0.1 s from now; a later call before then wins.
    void clipdeckDidShow(const std::shared_ptr<CKClipdeck>& clipdeck);
    // Builds or refreshes the cells; cells past a smaller grid go (their sounds unbound).
    void setNumberOfRows(std::size_t rows, std::size_t columns);
    std::size_t numberOfRows() const { return layoutManager_.numberOfRows(); }
    std::size_t numberOfColumns() const { return layoutManager_.numberOfColumns(); }
    std::size_t numberOfCells() const { return cells_.size(); }
    CKClipdeckButtonLayer* buttonLayerAtIndex(std::size_t index) const;
    std::size_t indexOfButtonLayer(const CKClipdeckButtonLayer* cell) const;
    // Relabels the cells from the key table and the current layout.
    void updateKeyboardCharacters();

    // ---- Geometry (y-up, view coordinates) ----
    std::size_t indexOfCellAtPoint(const QPointF& point) const;
    QPointF yUpPoint(const QPointF& qtPoint) const { return QPointF(qtPoint.x(), height() - qtPoint.y()); }
    QPointF qtPoint(const QPointF& yUpPoint) const { return QPointF(yUpPoint.x(), height() - yUpPoint.y()); }
    // A y-up rectangle of the view on the screen.
    QRect screenRectOfViewRect(const QRectF& rect) const;
    // The centre of a cell in Qt's widget coordinates (for tests and tools).
    QPoint centerOfCell(std::size_t index) const;

    // ---- Called by the cells ----
    void cellNeedsDisplay(CKClipdeckButtonLayer* cell);
    void buttonLayerDidReceiveDoubleClick(CKClipdeckButtonLayer* cell);
    void cancelClick() { didActuallyClick_ = false; }
    bool isTogglingLoopGraphic() const { return isTogglingLoopGraphic_; }
    void setTogglingLoopGraphic(bool toggling);

    void editSoundAtIndex(std::size_t index);
    bool isHidingEmptyNotice() const { return isHidingEmptyNotice_; }
    bool isShowingEmptyNotice() const;
    bool isShowingDrawer() const { return showingDrawer_; }
    void setShowingDrawer(bool showing) { showingDrawer_ = showing; }

    // ---- Drags and drops ----
    // Imports what the data carries into cell index; true when an import started.
    bool importFilesOnPasteboard(const QMimeData& data, std::size_t index, bool optionHeld);
    // Animated swap of two cells, then the board's swap.
    void swapCellAtIndex(std::size_t a, std::size_t b);
    bool isSwapping() const { return disableMouseEvents_; }
    // The end of a drag of a sound this view started: dropped nowhere (not by Escape)
    // outside every window of the program, the sound leaves its board.
    void finishSoundDrag(const std::shared_ptr<CKSoundSource>& sound, Qt::DropAction result, bool escaped,
                         bool releasedOutsideWindows);
    static constexpr double kSwapDuration = 0.35;
    // Drag state, for tests.
    std::size_t internalDragIndex() const { return internalDragIndex_; }
    // The window system's drag loop that a sound dragged out of a cell runs in: it answers
    // the action of the drop (Qt::IgnoreAction when nothing took it). QDrag::exec unless
    // replaced; the tests replace it with a loop that sends the drag events themselves, as
    // the offscreen platform has no drag loop. An empty loop puts QDrag::exec back.
    using DragLoop = std::function<Qt::DropAction(QDrag& drag)>;
    static void setDragLoop(DragLoop loop);

signals:
    // An error the user must see (a failed copy or move of a dropped sound).
    void errorToPresent(const Error& error);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void layoutCells();
    void observeClipdeck();
    void stopObservingClipdeck();
    void clipdeckChangedSound(std::size_t index, const std::shared_ptr<CKSoundSource>& sound);
    void hover(const QPointF& point);
    void leftPress(QMouseEvent* event);
    void leftRelease(QMouseEvent* event);
    void leftDrag(QMouseEvent* event);
    void startSoundDrag(std::size_t index);
    void setHoverIndex(std::size_t index);
    void flushButtonLayerDragStates();
    void performLogicalSwap(std::size_t a, std::size_t b);
    void updateEmptyClipdeckNotice();
    bool pauseModifierHeld(Qt::KeyboardModifiers modifiers) const;

    std::shared_ptr<CKClipdeck> clipdeck_;
    std::weak_ptr<CKClipdeck> pendingClipdeck_;
    Timer showTimer_;
    CKClipdeckButtonLayoutManager layoutManager_;
    std::vector<std::unique_ptr<CKClipdeckButtonLayer>> cells_;

    std::size_t internalDragIndex_ = kNotFound;
    // The board of the press: a release, drag or swap acts on it even after a tab switch.
    std::weak_ptr<CKClipdeck> pressClipdeck_;
    std::shared_ptr<CKSoundSource> pressSound_;
    QPointF dragStartLocation_;
    std::size_t internalHoverIndex_ = kNotFound;
    bool internalDragLeftSourceContainer_ = false;
    bool didActuallyClick_ = false;
    bool isClickingPopupMenu_ = false;
    bool wasHoveringOverPopupButton_ = false;
    bool isDraggingSlider_ = false;
    bool disableMouseEvents_ = false;
    bool isTogglingLoopGraphic_ = false;
    bool isHidingEmptyNotice_ = false;
    bool showingDrawer_ = false;
    bool isImporting_ = false;
    // Import batches started by drops that have not ended; the cache queue resumes at 0.
    int runningImports_ = 0;
    std::size_t lastHoverIndex_ = kNotFound;
    std::size_t externalDragSelectionIndex_ = kNotFound;
    // The running swap: its board and cells, and its animation.
    struct Swap {
        std::weak_ptr<CKClipdeck> board;
        std::size_t a = 0, b = 0;
        QRectF frameA, frameB;
        double start = 0;
        Timer timer;
    };
    std::unique_ptr<Swap> swap_;
};
