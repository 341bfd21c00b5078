#include "app/CKClipdeckWindow.h"

#include "app/CKTabBarView.h"
#include "app/ClipdeckApplication.h"

#include "clipdeck/CKKeyEventDispatch.h"

#include <QCloseEvent>
#include <QMenuBar>
#include <QVBoxLayout>

namespace {

constexpr int kTabBarHeight = 24;
constexpr int kFooterHeight = 36;

QWidget* makeArea(const char* name, const QColor& color, QWidget* parent)
{
    auto* area = new QWidget(parent);
    area->setObjectName(QLatin1String(name));
    area->setFocusPolicy(Qt::NoFocus);
    area->setAutoFillBackground(true);
    QPalette palette = area->palette();
    palette.setColor(QPalette::Window, color);
    area->setPalette(palette);
    return area;
}

bool keyTriggersOn()
{
    const ClipdeckApplication* application = ClipdeckApplication::sharedApplication();
    return application && application->isForwardingEvents();
}

} // namespace

CKClipdeckWindow::CKClipdeckWindow(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("CKClipdeckWindow"));
    setFocusPolicy(Qt::StrongFocus);

    auto* content = new QWidget(this);
    content->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 4, 0, 0);
    layout->setSpacing(0);
    tabBar_ = new CKTabBarView(QRect(0, 0, 860, kTabBarHeight), content);
    tabBar_->setFixedHeight(kTabBarHeight);
    layout->addWidget(tabBar_);
    gridArea_ = makeArea("gridArea", QColor(0xe2, 0xe4, 0xe6), content);
    gridArea_->setMinimumSize(8 * 80, 4 * 64);
    layout->addWidget(gridArea_, 1);
    footerArea_ = makeArea("footerArea", QColor(0xc4, 0xc7, 0xcb), content);
    footerArea_->setFixedHeight(kFooterHeight);
    layout->addWidget(footerArea_);
    setCentralWidget(content);

    QMenu* menu = menuBar()->addMenu(tr("&Clipdeck"));
    aboutAction_ = menu->addAction(tr("About Clipdeck"));
    aboutAction_->setMenuRole(QAction::AboutRole);
    releaseNotesAction_ = menu->addAction(tr("Release Notes"));
    splashScreenAction_ = menu->addAction(tr("Welcome to Clipdeck"));
    moreSoundsAction_ = menu->addAction(tr("Get More Sounds..."));
    menu->addSeparator();
    preferencesAction_ = menu->addAction(tr("Preferences..."));
    preferencesAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferencesAction_->setMenuRole(QAction::PreferencesRole);
    menu->addSeparator();
    quitAction_ = menu->addAction(tr("Quit Clipdeck"));
    quitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q)); // on every desktop, whatever its theme says
    quitAction_->setMenuRole(QAction::QuitRole);

    resize(940, 480);

    // Keys held when the triggers went off will have their releases go elsewhere.
    if (ClipdeckApplication* application = ClipdeckApplication::sharedApplication()) {
        connect(application, &ClipdeckApplication::isForwardingEventsChanged, this, [](bool forwarding) {
            if (!forwarding)
                CKKeyEventDispatch::sharedDispatcher().clearKeyState();
        });
    }
}

void CKClipdeckWindow::setClipdeckName(const QString& name) { setWindowTitle(TitleFormat.arg(name)); }

bool CKClipdeckWindow::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (keyTriggersOn() && CKKeyEventDispatch::sharedDispatcher().handleWindowEvent(event))
            return true;
        break;
    case QEvent::FocusOut:
    case QEvent::WindowDeactivate:
        CKKeyEventDispatch::sharedDispatcher().handleWindowEvent(event); // forgets the keys held
        break;
    default:
        break;
    }
    return QMainWindow::event(event);
}

void CKClipdeckWindow::closeEvent(QCloseEvent* event)
{
    ClipdeckApplication* application = ClipdeckApplication::sharedApplication();
    if (!application || application->isTerminating()) {
        event->accept();
        return;
    }
    event->ignore();
    application->terminate(TerminationRequest::CloseWindow);
}

void CKClipdeckWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    setFocus(Qt::ActiveWindowFocusReason);
}
