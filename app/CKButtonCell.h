#pragma once
// How a skinned button of the main window draws: its bezel from named images, its title
// in a colour and with a shadow, and its image. Two bezel modes:
//   - three parts, when leftName, middleName and rightName are all set: the caps at their
//     own size at the ends, the middle stretched between them; while highlighted each
//     name takes pressedSuffix (there is no disabled look in this mode);
//   - one image, fullName, stretched over the frame; while highlighted it takes
//     pressedSuffix, otherwise while disabled disabledSuffix (so a highlighted disabled
//     button draws pressed).
// A name without an image logs "Error: No image!" once per bezel drawn and the parts that
// exist are still drawn. Images are looked up by name among the program's images.
//
// The design's bezel geometry is y-up inside the frame: a part at y = 0 sits on the
// frame's bottom edge.
//
// The button (CKButton) owns its cell and keeps the cell's highlighted and enabled state
// in step with its own before each draw. Main thread only.

#include "platform/ui/ZEPTextAttributes.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <optional>

class CKButtonCell {
public:
    CKButtonCell() = default;
    virtual ~CKButtonCell() = default;
    CKButtonCell(const CKButtonCell&) = delete;
    CKButtonCell& operator=(const CKButtonCell&) = delete;

    void setLeftName(const QString& name) { leftName_ = name; }
    QString leftName() const { return leftName_; }
    void setMiddleName(const QString& name) { middleName_ = name; }
    QString middleName() const { return middleName_; }
    void setRightName(const QString& name) { rightName_ = name; }
    QString rightName() const { return rightName_; }
    void setFullName(const QString& name) { fullName_ = name; }
    QString fullName() const { return fullName_; }
    void setPressedSuffix(const QString& suffix) { pressedSuffix_ = suffix; }
    QString pressedSuffix() const { return pressedSuffix_; }
    void setDisabledSuffix(const QString& suffix) { disabledSuffix_ = suffix; }
    QString disabledSuffix() const { return disabledSuffix_; }
    // An invalid colour: the title keeps its own colour.
    void setTextColor(const QColor& color) { textColor_ = color; }
    QColor textColor() const { return textColor_; }
    void setTextShadow(const std::optional<ZEPShadow>& shadow) { textShadow_ = shadow; }
    // The look of the main window's plain buttons (Stop All, the toolbar's pop-up): the
    // footer button's capsule, its pressed images while held, a dark grey title.
    void setFooterButtonLook();
    std::optional<ZEPShadow> textShadow() const { return textShadow_; }

    void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
    bool isHighlighted() const { return highlighted_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool isEnabled() const { return enabled_; }

    // frame: the button's bounds, in Qt coordinates of the button.
    virtual void drawBezelWithFrame(QPainter& painter, const QRectF& frame);
    // Draws title over the frame with the cell's colour and shadow added to attributes.
    virtual void drawTitle(QPainter& painter, const QString& title, const QRectF& frame,
                           ZEPTextAttributes attributes, int alignment);
    // Draws image centred in the frame, moved 3 points down.
    virtual void drawImage(QPainter& painter, const QImage& image, const QRectF& frame);
    // Where the button's title and image go inside its bounds: the whole bounds for both,
    // unless a cell keeps them apart.
    virtual QRectF titleRectForBounds(const QRectF& bounds) const { return bounds; }
    virtual QRectF imageRectForBounds(const QRectF& bounds) const { return bounds; }

protected:
    // Draws image whole into rect, a rectangle of the design's y-up frame geometry.
    static void drawInFrame(QPainter& painter, const QImage& image, const QRectF& rect, const QRectF& frame);

private:
    void drawThreeParts(QPainter& painter, const QRectF& frame);

    QString leftName_;
    QString middleName_;
    QString rightName_;
    QString fullName_;
    QString pressedSuffix_;
    QString disabledSuffix_;
    QColor textColor_;
    std::optional<ZEPShadow> textShadow_;
    bool highlighted_ = false;
    bool enabled_ = true;
};
