// The main window with its footer and the master output drawer: open while sounds play,
// closed, and the drawer alone in a window of its own.
#include "Screenshots.h"

#include "app/AppController.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKMasterControlsViewController.h"
#include "app/CKMasterOutputViewController.h"
#include "app/CKNowPlayingViewController.h"
#include "app/ZEPAudioMeter.h"

#include "clipdeck/CKSoundSource.h"
#include "platform/NotificationCenter.h"

#include <memory>
#include <vector>

namespace {

// Sounds the now-playing list shows, and levels on the meters as if they played.
class PlayingSounds {
public:
    explicit PlayingSounds(CKMasterOutputViewController* drawer)
    {
        for (const char* name : {"Thunder Roll", "Door Slam", "Crowd Murmur (loop)", "Phone Ring"}) {
            sounds_.push_back(std::make_unique<CKSoundSource>());
            sounds_.back()->setName(QString::fromUtf8(name));
            NotificationCenter::defaultCenter().post(CKSoundSource::BeganPlayingNotification, sounds_.back().get());
        }
        CKMasterControlsViewController* controls = drawer->masterControlsVC();
        controls->leftMeter()->setFloatValue(0.62f);
        controls->leftMeter()->setPeakValue(0.78f);
        controls->rightMeter()->setFloatValue(0.55f);
        controls->rightMeter()->setPeakValue(0.71f);
    }
    ~PlayingSounds()
    {
        for (const auto& sound : sounds_)
            NotificationCenter::defaultCenter().post(CKSoundSource::FinishedPlayingNotification, sound.get());
    }

private:
    std::vector<std::unique_ptr<CKSoundSource>> sounds_;
};

// The width of the pictured window, and its height with the drawer open by the window's rule.
constexpr int kWindowWidth = 1100;
int openWindowHeight() { return int(AppController::ruledWindowSize(QSizeF(kWindowWidth, 0), true).height()); }

// The program's window as it starts, not yet shown and never launched.
std::unique_ptr<AppController> sampleController()
{
    auto controller = std::make_unique<AppController>();
    controller->awakeFromNib();
    controller->mainWindow()->resize(kWindowWidth, openWindowHeight());
    waitForShownBoard(*controller);
    return controller;
}

} // namespace

QImage drawerOpenScreenshot()
{
    auto controller = sampleController();
    PlayingSounds playing(controller->masterOutputViewController());
    return pictureOfWindow(*controller->mainWindow());
}

QImage drawerClosedScreenshot()
{
    auto controller = sampleController();
    CKClipdeckWindow* window = controller->mainWindow();
    pictureOfWindow(*window); // laid out with the drawer first
    // Measured from the size asked for, once the window system has applied it: on a busy
    // machine the shown window can still have another height here.
    const int openHeight = openWindowHeight();
    processEventsUntil([&] { return window->width() == kWindowWidth && window->height() == openHeight; });
    const int closedHeight = openHeight - int(AppController::kDrawerHeight);
    // Closed as the thumb closes it, without storing the state.
    controller->setAutoresizingMasksToDrawerMode();
    controller->_setShowingMasterOutput(false);
    controller->resizeWindowVerticallyByOffset(-AppController::kDrawerHeight);
    controller->setAutoresizingMasksToResizeMode();
    // A window system that has not yet answered the size the window was shown with (a busy
    // machine without a window manager) can answer it after this one, and the window takes
    // that older size: asked again until a picture has the closed height.
    QImage picture;
    processEventsUntil([&] {
        picture = pictureOfWindow(*window);
        if (picture.height() == closedHeight)
            return true;
        window->resize(kWindowWidth, closedHeight);
        return false;
    });
    return picture;
}

QImage drawerAloneScreenshot()
{
    CKMasterOutputViewController drawer;
    drawer.view(); // the panes listen from here on
    PlayingSounds playing(&drawer);
    QWidget* window = drawer._showInWindow();
    QImage picture = pictureOfWindow(*window);
    window->close();
    return picture;
}
