#include "Screenshots.h"

#include "app/AppController.h"
#include "app/CKClipdeckView.h"
#include "app/CKClipdeckWindow.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QWindow>

bool processEventsUntil(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

QImage pictureOfWindow(QWidget& window)
{
    window.show();
    window.raise();
    // Wait for the window system to show it.
    processEventsUntil([&window] { return window.windowHandle() && window.windowHandle()->isExposed(); });
    QCoreApplication::processEvents();
    return window.grab().toImage();
}

void waitForShownBoard(const AppController& controller)
{
    const CKClipdeckView* grid = controller.mainWindow()->clipdeckView();
    processEventsUntil([&] { return grid->clipdeck() == controller.shownClipdeck(); });
}
