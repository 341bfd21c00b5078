#pragma once
// The drawer's now-playing pane: a titled well holding one row (CKPlayingSoundView) per
// playing sound, in the order they started. A row comes with the sound's "began playing"
// notification and goes with its "finished playing" one, or when the sound itself goes
// (deleted with its board while it played).
//
// Main thread only.

#include <QPointer>
#include <QWidget>

#include <vector>

class CKDrawerListContainerView;
class CKDrawerScroller;
class CKNinePartImageView;
class CKShadowLabel;
#include "clipdeck/CKSoundSource.h"
class QScrollArea;

class CKNowPlayingViewController : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 320;

    explicit CKNowPlayingViewController(QWidget* parent = nullptr);
    ~CKNowPlayingViewController() override;

    QString title() const { return tr("Now Playing"); }
    CKDrawerListContainerView* soundList() const { return mSoundList; }
    // The sounds of the rows, row by row.
    std::vector<CKSoundSource*> playingSounds() const;

    void soundBeganPlaying(CKSoundSource* sound);
    void soundFinishedPlaying(const CKSoundSource* sound);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void removeEntryAt(qsizetype index);

    CKNinePartImageView* mBackgroundView;
    CKShadowLabel* mNowPlayingLabel;
    QScrollArea* mScrollArea;
    CKDrawerScroller* mScroller;
    CKDrawerListContainerView* mSoundList;
    std::vector<QPointer<CKSoundSource>> mPlayingSounds;
};
