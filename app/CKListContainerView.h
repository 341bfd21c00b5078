#pragma once
// A view that stacks row views from top to bottom, each as wide as the container and as
// high as the row itself, optionally followed by a placeholder, the empty row: the
// drawer's list of playing sounds and the effects pane's list of effects.
//
// The rows are the container's subviews, in order: row i is subview i. The empty row is a
// subview only while it is shown: when there are no rows, or, with
// alwaysDisplaysEmptyRowAtBottom, below the rows. The container owns its rows and its
// empty row view; a removed row is hidden at once and deleted on the next pass of the
// event loop (so a row may ask for its own removal from one of its handlers).
//
// Layout is lazy: readjustEverything schedules one layout pass on a later pass of the main
// event loop, however often it is asked before then. Inside a QScrollArea (not widget-
// resizable) the pass also makes the container as high as its rows and as wide as the
// viewport.
//
// Main thread only.

#include <QPointer>
#include <QRectF>
#include <QWidget>

#include <vector>

class CKListContainerView;

struct CKEdgeInsets {
    float left = 0;
    float right = 0;
    float top = 0;
    float bottom = 0;
};

class CKListContainerViewDelegate {
public:
    virtual ~CKListContainerViewDelegate() = default;
    // The height of the rows changed (after a layout pass, or as rows were shifted).
    virtual void listContainerView(CKListContainerView* view, float didChangeHeightFrom, float to)
    {
        (void)view, (void)didChangeHeightFrom, (void)to;
    }
};

class QScrollArea;

class CKListContainerView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kNotFound = -1;
    static constexpr int kDefaultRowHeight = 21;

    explicit CKListContainerView(const QRect& frame, QWidget* parent = nullptr);
    ~CKListContainerView() override;

    // The placeholder row (the container takes it); shown or hidden as the rows require.
    void setEmptyRowView(QWidget* view);
    QWidget* emptyRowView() const { return emptyRowView_; }
    // Not owned.
    void setDelegate(CKListContainerViewDelegate* delegate) { delegate_ = delegate; }
    CKListContainerViewDelegate* delegate() const { return delegate_; }
    void setBackgroundInsets(const CKEdgeInsets& insets);
    CKEdgeInsets backgroundInsets() const { return backgroundInsets_; }

    // The rows, leaving out the empty row.
    int numberOfRows() const;
    // (0, 0, the container's width, 21).
    QRect defaultRowFrame() const;
    // The subview at index, or nullptr when index is not below the subview count.
    QWidget* rowAtIndex(int index) const;
    // view's index among the subviews, or kNotFound.
    int indexOfRow(QWidget* view) const;
    // The frame of the subview at index; the null rectangle for kNotFound or an index out
    // of range.
    QRect rectOfRowAtIndex(int index) const;

    // Appends a row (before an empty row shown below the rows). The container takes it.
    void addRow(QWidget* view);
    // Inserts a row at index among the subviews; an index past the end (or negative)
    // appends.
    void addRow(QWidget* view, int atIndex);
    // Removes row index; an index that is not a row's does nothing.
    void removeRowAtIndex(int index);
    void removeAllRows();

    bool emptyRowIsVisible() const;
    bool alwaysDisplaysEmptyRowAtBottom() const { return alwaysDisplaysEmptyRowAtBottom_; }
    // Only switches the empty row off: true leaves the flag as it is.
    void setAlwaysDisplaysEmptyRowAtBottom(bool flag);
    // Sets the flag (without a layout pass): the effects pane calls it after reloading its
    // rows.
    void ohNoGCCSeemsToHaveComeDownWithACaseOfStupid() { alwaysDisplaysEmptyRowAtBottom_ = true; }

    // The widest subview's width and the sum of the subviews' heights.
    QSizeF contentSize() const;
    // The nearest scroll area, or its viewport, holding the container (nullptr: none).
    QScrollArea* parentScrollView() const;
    QWidget* parentClipView() const;

    // Schedules a layout pass.
    void readjustEverything();
    // The sum of the subviews' heights after the last layout pass.
    double laidOutHeight() const { return oldHeight_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool isSubview(const QWidget* view) const;
    void resetFrameOfView(QWidget* view, int index);
    void actuallyReadjustEverything();
    void resetEmptyRow();
    void adjustViewsAfterIndex(int index, int height);
    void takeOut(QWidget* view);

    std::vector<QPointer<QWidget>> subviews_;
    QPointer<QWidget> emptyRowView_;
    CKListContainerViewDelegate* delegate_ = nullptr;
    CKEdgeInsets backgroundInsets_;
    double oldHeight_ = 0;
    bool alwaysDisplaysEmptyRowAtBottom_ = false;
    bool needsReadjust_ = false;
};
