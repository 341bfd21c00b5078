#pragma once
// A tab view whose tabs are a segmented control (its tab bar), centred along its top edge,
// over an inner tab view that shows the selected page. The tab bar is made, on first use,
// of the class that tabClass() names, so subclasses choose their own bar. A background
// image, when set, is drawn behind tab bar and pages. The inner tab view fills the
// contents rectangle: the contents margins start as the tab bar's height at the top and
// may be changed to make room for a border. Main thread only.

#include <QImage>
#include <QWidget>

class ZEPCustomSegmentedControl;
class ZEPInnerTabView;

class ZEPCustomTabView : public QWidget {
    Q_OBJECT
public:
    explicit ZEPCustomTabView(const QRect& frame, QWidget* parent = nullptr);

    // The class of the tab bar: ZEPCustomSegmentedControl or a subclass of it that has
    // Q_OBJECT and a Q_INVOKABLE constructor taking the parent widget.
    virtual const QMetaObject* tabClass() const;

    // The tab view type of the inner tab view (the platform's numbering), kept as given.
    void setTabViewType(int type) { tabViewType_ = type; }
    int tabViewType() const { return tabViewType_; }

    ZEPInnerTabView* tabView() const { return tabView_; }
    ZEPCustomSegmentedControl* tabBar();

    void addTabViewItem(QWidget* page, const QString& label);
    int numberOfTabViewItems() const;
    int indexOfSelectedTabViewItem() const;
    void selectTabViewItemAtIndex(int index);

    void setBackgroundImage(const QImage& image, const QRectF& frame);
    QImage backgroundImage() const { return backgroundImage_; }
    QRectF backgroundFrame() const { return backgroundFrame_; }

protected:
    // Calls drawRect, then draws the background image.
    void paintEvent(QPaintEvent* event) override;
    // The subclasses' drawing, before the background image; draws nothing here.
    virtual void drawRect(QPainter& painter, const QRect& dirtyRect);
    // Places the tab bar and the inner tab view for the current size and margins.
    void layoutSubviews();
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:

    ZEPInnerTabView* tabView_;
    ZEPCustomSegmentedControl* tabBar_ = nullptr;
    int tabViewType_ = 0;
    QImage backgroundImage_;
    QRectF backgroundFrame_;
};
