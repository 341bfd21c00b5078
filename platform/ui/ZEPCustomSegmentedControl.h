#pragma once
// A row of segments drawn from images, one of them selected: the tab bar of the custom tab
// view. Segments share the width equally. Each segment is a three-part image (the left cap
// only on the first segment, the right cap only on the last), from the active images when
// selected and the inactive ones otherwise; the separator image is drawn, centred, on each
// boundary; labels are centred. A press selects the segment under it. Main thread only.

#include "platform/ui/ZEPTextAttributes.h"

#include <QImage>
#include <QStringList>
#include <QWidget>

class ZEPCustomSegmentedControl : public QWidget {
    Q_OBJECT
public:
    Q_INVOKABLE explicit ZEPCustomSegmentedControl(QWidget* parent = nullptr);

    void setInactiveTabLeftImage(const QImage& leftImage, const QImage& centerImage,
                                 const QImage& rightImage);
    void setActiveTabLeftImage(const QImage& leftImage, const QImage& centerImage,
                               const QImage& rightImage);
    void setSegmentSeperatorImage(const QImage& image);
    void setAttributesForLabels(const ZEPTextAttributes& attributes);
    const ZEPTextAttributes& attributesForLabels() const { return labelAttributes_; }

    int segmentCount() const { return labels_.size(); }
    void setSegmentCount(int count);
    void setLabel(const QString& label, int segment);
    QString labelForSegment(int segment) const;

    // -1 when no segment is selected.
    int selectedSegment() const { return selectedSegment_; }
    void setSelectedSegment(int segment);

    QRectF rectForSegment(int segment) const;
    QSize sizeHint() const override;

signals:
    // The user pressed a segment other than the selected one.
    void segmentClicked(int segment);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    struct TabImages {
        QImage left, center, right;
    };

    TabImages inactive_;
    TabImages active_;
    QImage separator_;
    ZEPTextAttributes labelAttributes_;
    QStringList labels_;
    int selectedSegment_ = -1;
};
