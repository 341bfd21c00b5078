#include "app/CKNowPlayingViewController.h"

#include "app/CKDrawerListContainerView.h"
#include "app/CKDrawerScroller.h"
#include "app/CKNinePartImageView.h"
#include "app/CKPlayingSoundView.h"
#include "app/CKShadowLabel.h"

#include "clipdeck/CKSoundSource.h"
#include "platform/NotificationCenter.h"
#include "platform/ui/ZEPTextAttributes.h"

#include <QScrollArea>

#include <algorithm>

CKNowPlayingViewController::CKNowPlayingViewController(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CKNowPlayingViewController"));
    setFocusPolicy(Qt::NoFocus);

    mNowPlayingLabel = new CKShadowLabel(title(), this);
    mNowPlayingLabel->setFont(ZEPSystemFontOfSize(11));
    mNowPlayingLabel->setStyleSheet(QStringLiteral("color: #e6e6e6"));
    mNowPlayingLabel->setShadow(ZEPShadow{QColor(0, 0, 0, 255), QPointF(0, 1), 1.0});
    mBackgroundView = new CKNinePartImageView(QRect(), this);

    mScrollArea = new QScrollArea(mBackgroundView);
    mScrollArea->setFrameShape(QFrame::NoFrame);
    mScrollArea->setWidgetResizable(false);
    mScrollArea->setFocusPolicy(Qt::NoFocus);
    mScrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mScrollArea->setStyleSheet(QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"));
    mScroller = new CKDrawerScroller;
    mScrollArea->setVerticalScrollBar(mScroller);
    mSoundList = new CKDrawerListContainerView(QRect(0, 0, 200, 100));
    mScrollArea->setWidget(mSoundList);

    resize(kWidth, 179);

    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(this, CKSoundSource::BeganPlayingNotification, nullptr, [this](const Notification& note) {
        soundBeganPlaying(static_cast<CKSoundSource*>(const_cast<void*>(note.object)));
    });
    center.addObserver(this, CKSoundSource::FinishedPlayingNotification, nullptr, [this](const Notification& note) {
        soundFinishedPlaying(static_cast<const CKSoundSource*>(note.object));
    });
}

CKNowPlayingViewController::~CKNowPlayingViewController() { NotificationCenter::defaultCenter().removeObserver(this); }

std::vector<CKSoundSource*> CKNowPlayingViewController::playingSounds() const
{
    std::vector<CKSoundSource*> sounds;
    for (const auto& sound : mPlayingSounds)
        sounds.push_back(sound);
    return sounds;
}

void CKNowPlayingViewController::soundBeganPlaying(CKSoundSource* sound)
{
    if (!sound)
        return;
    auto* row = new CKPlayingSoundView(mSoundList->defaultRowFrame());
    row->setSoundSource(sound);
    mSoundList->addRow(row);
    mPlayingSounds.emplace_back(sound);
    // A sound deleted while it plays (its board went) takes its row along.
    connect(sound, &QObject::destroyed, this, [this, row] {
        const int index = mSoundList->indexOfRow(row);
        if (index != CKListContainerView::kNotFound)
            removeEntryAt(index);
    });
}

void CKNowPlayingViewController::soundFinishedPlaying(const CKSoundSource* sound)
{
    const auto found = std::find_if(mPlayingSounds.begin(), mPlayingSounds.end(),
                                    [sound](const QPointer<CKSoundSource>& entry) { return entry.data() == sound; });
    if (found != mPlayingSounds.end())
        removeEntryAt(found - mPlayingSounds.begin());
}

void CKNowPlayingViewController::removeEntryAt(qsizetype index)
{
    if (CKSoundSource* sound = mPlayingSounds[size_t(index)])
        disconnect(sound, &QObject::destroyed, this, nullptr);
    mPlayingSounds.erase(mPlayingSounds.begin() + index);
    mSoundList->removeRowAtIndex(int(index));
}

void CKNowPlayingViewController::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    const QRect background(5, 32, width() - 10, height() - 55);
    mBackgroundView->setGeometry(background);
    mNowPlayingLabel->setGeometry(10, 10, background.width(), 18);
    mScrollArea->setGeometry(4, 4, background.width() - 8, background.height() - 8);
    mSoundList->resize(mScrollArea->viewport()->width(), std::max(mSoundList->height(), 1));
}
