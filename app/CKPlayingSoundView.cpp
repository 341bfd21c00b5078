#include "app/CKPlayingSoundView.h"

#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundSource.h"
#include "platform/ui/ZEPImageNamed.h"
#include "platform/ui/ZEPTextAttributes.h"

#include <QApplication>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

namespace {

QToolButton* imageButton(QWidget* parent, const QRect& frame)
{
    auto* button = new QToolButton(parent);
    button->setGeometry(frame);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize(frame.size());
    button->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    return button;
}

QIcon iconOf(const QString& normal, const QString& pressed)
{
    QIcon icon(QPixmap::fromImage(ZEPImageNamed(normal)));
    icon.addPixmap(QPixmap::fromImage(ZEPImageNamed(pressed)), QIcon::Active, QIcon::On);
    return icon;
}

} // namespace

CKPlayingSoundView::CKPlayingSoundView(const QRect& frame, QWidget* parent) : QWidget(parent)
{
    setGeometry(frame);
    setFocusPolicy(Qt::NoFocus);
    const int h = frame.height();
    playPauseButton_ = imageButton(this, QRect(4, (h - 17) / 2, 17, 17));
    soundNameLabel_ = new QLabel(this);
    soundNameLabel_->setFont(ZEPSystemFontOfSize(11));
    QPalette palette = soundNameLabel_->palette();
    palette.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6)); // on the drawer's dark well
    soundNameLabel_->setPalette(palette);
    wireImageView_ = new QLabel(this);
    removeButton_ = imageButton(this, QRect(frame.width() - 21, (h - 17) / 2, 17, 17));
    layOutChildren();
    removeButton_->setIcon(iconOf(QStringLiteral("hud-button-remove"), QStringLiteral("hud-button-remove-press")));
    removeButton_->setToolTip(tr("Stop (Alt: stop all)"));
    setPaused(false);

    connect(playPauseButton_, &QToolButton::clicked, this, [this] { playPauseSound(); });
    connect(removeButton_, &QToolButton::clicked, this, [this] { stopSound(QApplication::keyboardModifiers()); });
}

CKPlayingSoundView::~CKPlayingSoundView() = default;

void CKPlayingSoundView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layOutChildren();
}

void CKPlayingSoundView::layOutChildren()
{
    const int w = width();
    const int h = height();
    soundNameLabel_->setGeometry(26, 0, std::max(0, w - 26 - 44), h);
    wireImageView_->setGeometry(w - 42, (h - 17) / 2, 17, 17);
    removeButton_->setGeometry(w - 21, (h - 17) / 2, 17, 17);
}

void CKPlayingSoundView::setSoundSource(CKSoundSource* sound)
{
    for (const auto& connection : observations_)
        disconnect(connection);
    observations_.clear();
    soundSource_ = sound;
    if (!sound)
        return;
    observations_ << sound->observeKey(QStringLiteral("paused"), this, [this](const QVariant&, const QVariant&) {
        if (soundSource_)
            setPaused(soundSource_->isPaused());
    });
    observations_ << sound->observeKey(QStringLiteral("isPlaying"), this,
                                       [this](const QVariant&, const QVariant&) { updatePlaying(); });
    soundNameLabel_->setText(sound->name());
    setPaused(sound->isPaused());
    updatePlaying();
}

void CKPlayingSoundView::updatePlaying()
{
    const bool playing = soundSource_ && soundSource_->isPlaying();
    QPalette palette = soundNameLabel_->palette();
    QColor color = palette.color(QPalette::WindowText);
    color.setAlphaF(playing ? 1.0f : 0.5f);
    palette.setColor(QPalette::WindowText, color);
    soundNameLabel_->setPalette(palette);
}

void CKPlayingSoundView::setWiringType(const QString& name)
{
    wiringType_ = name;
    wireImageView_->setPixmap(QPixmap::fromImage(ZEPImageNamed(name)));
}

void CKPlayingSoundView::setPaused(bool paused)
{
    if (paused)
        playPauseButton_->setIcon(iconOf(QStringLiteral("hud-button-play"), QStringLiteral("hud-button-play-press")));
    else
        playPauseButton_->setIcon(iconOf(QStringLiteral("hud-button-pause"), QStringLiteral("hud-button-pause-press")));
    playPauseButton_->setProperty("paused", paused);
}

void CKPlayingSoundView::stopSound(Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::AltModifier)
        CKPlaybackController::sharedPlaybackController()->stopAllSounds(false);
    else if (soundSource_)
        soundSource_->stop();
}

void CKPlayingSoundView::playPauseSound()
{
    if (soundSource_)
        CKPlaybackController::sharedPlaybackController()->pauseSound(soundSource_);
}
