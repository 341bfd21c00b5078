#pragma once
// The cell of the drawer's big square buttons (Pause All, Duck): its bezel is one image
// at its own size at the frame's bottom-left corner, normalStateName or, while
// highlighted, pressedStateName; its title is bold 11-point type, centred on a line along
// the bottom, in light grey with a soft dark shadow; its image is centred in the space above
// that line and sits 6 points below that space's centre, so the two never meet.
// Main thread only.

#include "app/CKButtonCell.h"

class CKBigButtonCell : public CKButtonCell {
public:
    CKBigButtonCell();

    void setNormalStateName(const QString& name) { normalStateName_ = name; }
    QString normalStateName() const { return normalStateName_; }
    void setPressedStateName(const QString& name) { pressedStateName_ = name; }
    QString pressedStateName() const { return pressedStateName_; }

    void drawBezelWithFrame(QPainter& painter, const QRectF& frame) override;
    // The given attributes are replaced by the cell's own bold face.
    void drawTitle(QPainter& painter, const QString& title, const QRectF& frame, ZEPTextAttributes attributes,
                   int alignment) override;
    void drawImage(QPainter& painter, const QImage& image, const QRectF& frame) override;
    // The title's line: kTitleHeight high, kTitleBottomMargin above the bottom edge.
    QRectF titleRectForBounds(const QRectF& bounds) const override;
    // The space above the title's line, less kTitleGap.
    QRectF imageRectForBounds(const QRectF& bounds) const override;

    static constexpr qreal kTitleHeight = 16;
    static constexpr qreal kTitleBottomMargin = 6;
    static constexpr qreal kTitleGap = 4;

private:
    QString normalStateName_;
    QString pressedStateName_;
};
