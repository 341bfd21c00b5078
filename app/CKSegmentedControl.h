#pragma once
// A row of push buttons drawn as one capsule, for the main window's toolbar: each segment
// is a momentary button with its own tag, image, tool tip and enabled state. The capsule is
// the footer button's three-part image (its pressed images under the segment held down),
// with a thin line between segments. A release over the segment that was pressed sends its
// tag; a disabled segment is drawn faded and takes no press. It never takes the keyboard
// focus, so a click leaves the board's keys working.
//
// Main thread only.

#include <QImage>
#include <QString>
#include <QWidget>

#include <vector>

class CKSegmentedControl : public QWidget {
    Q_OBJECT
public:
    static constexpr int kSegmentWidth = 28;
    static constexpr int kHeight = 22;

    explicit CKSegmentedControl(QWidget* parent = nullptr);

    // Appends a segment, enabled.
    void addSegment(int tag, const QImage& image, const QString& toolTip);
    int segmentCount() const { return int(segments_.size()); }
    int tagForSegment(int segment) const;
    // The segment with tag; -1 when none has it.
    int segmentForTag(int tag) const;
    void setSegmentEnabled(int tag, bool enabled);
    bool isSegmentEnabled(int tag) const;
    QString toolTipForSegment(int segment) const;

    QRect rectForSegment(int segment) const;
    // The segment under a point; -1 beside them all.
    int segmentAtPoint(const QPoint& point) const;
    QSize sizeHint() const override;

signals:
    // A segment was clicked: pressed and released over it while enabled.
    void segmentClicked(int tag);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    struct Segment {
        int tag;
        QImage image;
        QString toolTip;
        bool enabled = true;
    };

    std::vector<Segment> segments_;
    // The segment held down, and whether the pointer is still over it.
    int pressedSegment_ = -1;
    bool pressedInside_ = false;
};
