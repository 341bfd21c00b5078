#pragma once
// The cell of the drawer's big square buttons (Pause All, Duck): its bezel is one image
// at its own size at the frame's bottom-left corner, normalStateName or, while
// highlighted, pressedStateName; its title is bold 11-point type, centred, in light grey
// with a soft dark shadow; its image sits 6 points below the centre. Main thread only.

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

private:
    QString normalStateName_;
    QString pressedStateName_;
};
