#include "app/CKMasterOutputViewController.h"

#include "app/CKGraphConfigurationController.h"
#include "app/CKMasterControlsViewController.h"
#include "app/CKMasterOutputBackgroundView.h"
#include "app/CKNowPlayingViewController.h"

#include "audio/engine/ZEPAudioDevice.h"
#include "clipdeck/CKPlaybackController.h"
#include "platform/ui/ZEPImageNamed.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int kMargin = 5;
constexpr int kChrome = 40;

QLabel* imageView(const QString& name, int x, QWidget* parent)
{
    const QImage image = ZEPImageNamed(name);
    auto* view = new QLabel(parent);
    view->setPixmap(QPixmap::fromImage(image));
    view->setGeometry(x, 0, image.width(), image.height());
    view->setAttribute(Qt::WA_TransparentForMouseEvents);
    return view;
}

} // namespace

CKMasterOutputViewController::CKMasterOutputViewController(QObject* parent) : QObject(parent) {}

CKMasterOutputViewController::~CKMasterOutputViewController()
{
    if (mView && !mView->parent())
        delete mView;
}

CKMasterControlsViewController* CKMasterOutputViewController::masterControlsVC()
{
    if (!mMasterControlsVC)
        mMasterControlsVC = new CKMasterControlsViewController;
    return mMasterControlsVC;
}

CKNowPlayingViewController* CKMasterOutputViewController::nowPlayingVC()
{
    if (!mNowPlayingVC)
        mNowPlayingVC = new CKNowPlayingViewController;
    return mNowPlayingVC;
}

CKGraphConfigurationController* CKMasterOutputViewController::graphConfigurationVC()
{
    if (!mGraphConfigurationVC)
        mGraphConfigurationVC =
            new CKGraphConfigurationController(CKPlaybackController::sharedPlaybackController()->audioGraph(), this);
    return mGraphConfigurationVC;
}

QWidget* CKMasterOutputViewController::paneView(int index)
{
    switch (index) {
    case 0: return masterControlsVC();
    case 1: return nowPlayingVC();
    default: return graphConfigurationVC()->view();
    }
}

QWidget* CKMasterOutputViewController::view()
{
    if (!mView)
        loadView();
    return mView;
}

void CKMasterOutputViewController::loadView()
{
    auto* background = new CKMasterOutputBackgroundView(QRect(0, 0, 0, kDrawerHeight));
    background->setObjectName(QStringLiteral("CKMasterOutputView"));
    background->setLeftImage(ZEPImageNamed(QStringLiteral("drawer-bg-left")));
    background->setCenterImage(ZEPImageNamed(QStringLiteral("drawer-bg")));
    background->setRightImage(ZEPImageNamed(QStringLiteral("drawer-bg-right")));
    background->setFocusPolicy(Qt::NoFocus);

    int x = kMargin;
    mDividerViews[0] = imageView(QStringLiteral("drawer-bolts"), x, background);
    x += mDividerViews[0]->width();
    for (int pane = 0; pane < 3; ++pane) {
        QWidget* view = paneView(pane);
        view->setParent(background);
        view->move(x, 0);
        x += view->width();
        if (pane < 2) {
            mDividerViews[pane + 1] = imageView(QStringLiteral("drawer-boltswithdivider"), x, background);
            x += mDividerViews[pane + 1]->width();
        }
    }
    mDividerViews[3] = imageView(QStringLiteral("drawer-bolts"), x, background);
    const int width = x + mDividerViews[3]->width() + kMargin;
    mView = background;
    background->resize(width, kDrawerHeight);
    background->installEventFilter(this);
    updateFrames();
}

bool CKMasterOutputViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mView && event->type() == QEvent::Resize)
        updateFrames();
    return QObject::eventFilter(watched, event);
}

int CKMasterOutputViewController::sharedPaneWidth(int drawerWidth, int masterWidth)
{
    return int(std::lround((drawerWidth - kChrome - masterWidth) * 0.5));
}

void CKMasterOutputViewController::updateFrames()
{
    if (!mView)
        return;
    const int W = mView->width();
    const int H = mView->height();
    const int D = ZEPImageNamed(QStringLiteral("drawer-boltswithdivider")).width();
    int x = 0;
    const int masterWidth = paneView(0)->width();
    const int shared = sharedPaneWidth(W, masterWidth);
    for (int pane = 0; pane < 3; ++pane) {
        QWidget* view = paneView(pane);
        const int width = pane == 0 ? masterWidth : shared;
        view->setGeometry(x, 0, width, H);
        x += width;
        QLabel* divider = mDividerViews[pane + 1];
        divider->move(x, divider->y());
        if (pane < 2)
            x += D;
    }
}

void CKMasterOutputViewController::setAudioOutputDevice(std::shared_ptr<ZEPAudioDevice> device)
{
    mAudioOutputDevice = std::move(device);
    if (mAudioOutputDevice)
        CKPlaybackController::sharedPlaybackController()->outputAudioPlayer()->setDeviceUID(mAudioOutputDevice->uid());
}

QWidget* CKMasterOutputViewController::_showInWindow()
{
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(tr("Master Output"));
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view());
    window->setGeometry(50, 50, 953, kDrawerHeight);
    window->show();
    window->raise();
    return window;
}
