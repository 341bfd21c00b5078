#include "app/CKPlaybackWindow.h"

CKPlaybackWindow::CKPlaybackWindow(QWidget* parent) : QWidget(parent, Qt::Tool)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
}

void CKPlaybackWindow::setFloatingWindow(bool floating)
{
    if (floating == isFloatingWindow())
        return;
    const bool shown = isVisible();
    // Changing a window's flags hides it; show it again where it was.
    setWindowFlag(Qt::WindowStaysOnTopHint, floating);
    if (shown)
        show();
}

bool CKPlaybackWindow::isFloatingWindow() const { return windowFlags().testFlag(Qt::WindowStaysOnTopHint); }
