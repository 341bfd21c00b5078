#pragma once
// The master output drawer: a 179-high strip on the drawer background holding the master
// controls, now-playing and effects panes side by side between bolts and dividers. The
// master controls keep their width; the other two share what is left (the drawer's width
// less 40 and the master controls' width) half and half.
//
// Main thread only.

#include <QObject>
#include <QPointer>

#include <memory>

class CKGraphConfigurationController;
class CKMasterControlsViewController;
class CKMasterOutputBackgroundView;
class CKNowPlayingViewController;
class QLabel;
class QWidget;
class ZEPAudioDevice;

class CKMasterOutputViewController : public QObject {
    Q_OBJECT
public:
    static constexpr int kDrawerHeight = 179;

    explicit CKMasterOutputViewController(QObject* parent = nullptr);
    ~CKMasterOutputViewController() override;

    // The drawer (built on first call); its owner takes it (Qt parent).
    QWidget* view();
    CKMasterControlsViewController* masterControlsVC();
    CKNowPlayingViewController* nowPlayingVC();
    CKGraphConfigurationController* graphConfigurationVC();

    // Keeps the device and moves the output player to it.
    void setAudioOutputDevice(std::shared_ptr<ZEPAudioDevice> device);
    std::shared_ptr<ZEPAudioDevice> audioOutputDevice() const { return mAudioOutputDevice; }

    // Places panes and dividers for the view's width (run on every resize).
    void updateFrames();
    // The widths the two shared panes get in a drawer of width with a master pane of
    // masterWidth.
    static int sharedPaneWidth(int drawerWidth, int masterWidth);
    // The drawer alone, in a window of its own (for pictures and trials).
    QWidget* _showInWindow();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void loadView();
    QWidget* paneView(int index);

    QPointer<QWidget> mView;
    CKMasterControlsViewController* mMasterControlsVC = nullptr;
    CKNowPlayingViewController* mNowPlayingVC = nullptr;
    CKGraphConfigurationController* mGraphConfigurationVC = nullptr;
    QLabel* mDividerViews[4] = {};
    std::shared_ptr<ZEPAudioDevice> mAudioOutputDevice;
};
