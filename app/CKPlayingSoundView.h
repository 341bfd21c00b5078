#pragma once
// One row of the drawer's now-playing list: a play/pause button, the sound's name (dimmed to
// half alpha while the sound does not play), a wiring image and a remove button. The play/
// pause button toggles the sound's pause; the remove button stops the sound, or with Alt
// held every sound (fading out unless paused, as Escape does).
//
// The row watches its sound's "paused" and "isPlaying" keys; it does not own the sound.
// Main thread only.

#include <QPointer>
#include <QWidget>

#include "clipdeck/CKSoundSource.h"
class QLabel;
class QToolButton;

class CKPlayingSoundView : public QWidget {
    Q_OBJECT
public:
    explicit CKPlayingSoundView(const QRect& frame, QWidget* parent = nullptr);
    ~CKPlayingSoundView() override;

    void setSoundSource(CKSoundSource* sound);
    CKSoundSource* soundSource() const { return soundSource_; }
    void setWiringType(const QString& name);
    QString wiringType() const { return wiringType_; }
    // Shows the play image while paused, the pause image otherwise.
    void setPaused(bool paused);

    QToolButton* playPauseButton() const { return playPauseButton_; }
    QToolButton* removeButton() const { return removeButton_; }
    QLabel* soundNameLabel() const { return soundNameLabel_; }

    // Actions of the two buttons; modifiers are those of the click.
    void stopSound(Qt::KeyboardModifiers modifiers);
    void playPauseSound();

protected:
    // The name takes the row's width as the list resizes it; the buttons keep to the ends.
    void resizeEvent(QResizeEvent* event) override;

private:
    void layOutChildren();

    void updatePlaying();
    void setButtonImages(const QString& normal, const QString& pressed);

    QToolButton* playPauseButton_;
    QToolButton* removeButton_;
    QLabel* soundNameLabel_;
    QLabel* wireImageView_;
    QString wiringType_;
    QPointer<CKSoundSource> soundSource_;
    QList<QMetaObject::Connection> observations_;
};
