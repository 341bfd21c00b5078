#pragma once
// The small key cap of a cell: the character of the computer key that fires the cell's
// sound, drawn pressed while that key is held. It listens for the key beside the sound,
// through the key dispatcher (which calls it on the main loop).
//
// Main thread.

#include "clipdeck/CKKeyEventDispatch.h"

#include <QObject>
#include <QRectF>
#include <QString>

class QPainter;

class CKQwertyKeyLayer : public QObject {
    Q_OBJECT
public:
    explicit CKQwertyKeyLayer(QObject* parent = nullptr);
    ~CKQwertyKeyLayer() override;

    QString characterValue() const { return characterValue_; }
    quint16 keyCode() const { return keyCode_; }
    // Keeps the first character only; the old registrations go, new ones are made (an
    // empty character registers too: the dispatcher decides what matches).
    void setCharacterValue(const QString& character, quint16 keyCode);

    // No key at all: no character, no registration.
    void clearKey();

    bool isPressed() const { return pressed_; }
    void keyDown() { pressed_ = true; }
    void keyUp() { pressed_ = false; }
    bool isDisabled() const { return isDisabled_; }
    void setIsDisabled(bool disabled) { isDisabled_ = disabled; }
    // 1.0, or 0.3 for the cap of an empty cell.
    double opacity() const { return isDisabled_ ? 0.3 : 1.0; }

    // y-up, in the cell.
    QRectF frame() const { return frame_; }
    void setFrame(const QRectF& frame) { frame_ = frame; }
    // The character's box inside the cap (lowered and shortened by round(height / 16)) and
    // its font size.
    QRectF characterFrame() const;
    double characterFontSize() const;

    void paint(QPainter& painter, double cellHeight) const;

    bool hasListeners() const { return keyDownTrigger_ != nullptr; }

private:
    void addKeyListeners();
    void removeKeyListeners();

    QString characterValue_;
    quint16 keyCode_ = 0;
    bool pressed_ = false;
    bool isDisabled_ = false;
    QRectF frame_;
    CKKeyEventDispatch::ListenerPtr keyDownTrigger_;
    CKKeyEventDispatch::ListenerPtr keyUpTrigger_;
};
