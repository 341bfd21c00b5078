#include "app/CKQwertyKeyLayer.h"

#include "platform/ui/ZEPYUpGeometry.h"

#include <QPainter>

#include <cmath>

CKQwertyKeyLayer::CKQwertyKeyLayer(QObject* parent) : QObject(parent) {}

CKQwertyKeyLayer::~CKQwertyKeyLayer() { removeKeyListeners(); }

void CKQwertyKeyLayer::setCharacterValue(const QString& character, quint16 keyCode)
{
    removeKeyListeners();
    characterValue_ = character.left(1);
    keyCode_ = keyCode;
    addKeyListeners();
}

void CKQwertyKeyLayer::addKeyListeners()
{
    CKKeyEventDispatch& dispatcher = CKKeyEventDispatch::sharedDispatcher();
    keyDownTrigger_ = dispatcher.addListener(this, [this] { keyDown(); }, characterValue_, keyCode_,
                                             CKKeyEventListener::kKeyDown);
    keyUpTrigger_ = dispatcher.addListener(this, [this] { keyUp(); }, characterValue_, keyCode_,
                                           CKKeyEventListener::kKeyUp);
}

void CKQwertyKeyLayer::removeKeyListeners()
{
    CKKeyEventDispatch& dispatcher = CKKeyEventDispatch::sharedDispatcher();
    if (keyDownTrigger_)
        dispatcher.removeListener(keyDownTrigger_, characterValue_, keyCode_, CKKeyEventListener::kKeyDown);
    if (keyUpTrigger_)
        dispatcher.removeListener(keyUpTrigger_, characterValue_, keyCode_, CKKeyEventListener::kKeyUp);
    keyDownTrigger_.reset();
    keyUpTrigger_.reset();
}

QRectF CKQwertyKeyLayer::characterFrame() const
{
    const double lowered = std::round(frame_.height() * 0.0625);
    return QRectF(0, -lowered, frame_.width(), frame_.height() - lowered);
}

double CKQwertyKeyLayer::characterFontSize() const
{
    const double lowered = std::round(frame_.height() * 0.0625);
    return std::round((frame_.height() - lowered) * 9 * 0.0625);
}

void CKQwertyKeyLayer::paint(QPainter& painter, double cellHeight) const
{
    if (frame_.isEmpty())
        return;
    painter.save();
    painter.setOpacity(painter.opacity() * opacity());
    const QRectF cap = ZEPFlipRect(frame_, cellHeight);
    QLinearGradient face(cap.topLeft(), cap.bottomLeft());
    face.setColorAt(0, pressed_ ? QColor(170, 170, 170) : QColor(252, 252, 252));
    face.setColorAt(1, pressed_ ? QColor(205, 205, 205) : QColor(215, 215, 215));
    painter.setPen(QPen(QColor(120, 120, 120), 0.8));
    painter.setBrush(face);
    painter.drawRoundedRect(cap.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    if (!characterValue_.isEmpty() && characterFontSize() > 0) {
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(int(characterFontSize()));
        painter.setFont(font);
        const QRectF text = ZEPFlipRect(characterFrame().translated(frame_.topLeft()), cellHeight);
        painter.setPen(QColor(255, 255, 255, 190));
        painter.drawText(text.translated(0, 1), Qt::AlignCenter, characterValue_);
        painter.setPen(QColor::fromRgbF(0.152, 0.152, 0.152));
        painter.drawText(text, Qt::AlignCenter, characterValue_);
    }
    painter.restore();
}

void CKQwertyKeyLayer::clearKey()
{
    removeKeyListeners();
    characterValue_.clear();
    keyCode_ = 0;
    pressed_ = false;
}
