#include "Screenshots.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QWindow>

QImage pictureOfWindow(QWidget& window)
{
    window.show();
    window.raise();
    // Wait for the window system to show it (a state, not a time: the deadline only stops
    // a program whose display never answers).
    QDeadlineTimer deadline(10000);
    while (!(window.windowHandle() && window.windowHandle()->isExposed()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    return window.grab().toImage();
}
