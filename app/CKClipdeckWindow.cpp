#include "app/CKClipdeckWindow.h"

#include "app/CKButton.h"
#include "app/CKClipdeckView.h"
#include "app/CKSegmentedControl.h"
#include "app/CKTabBarView.h"
#include "app/ClipdeckApplication.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKKeyEventDispatch.h"
#include "clipdeck/CKPlaybackController.h"

#include "platform/keys/ModifierFlags.h"
#include "platform/ui/ZEPImageNamed.h"
#include "platform/ui/ZEPTextAttributes.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenuBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kTabBarHeight = 24;
constexpr int kFooterHeight = 36;
constexpr int kClipdeckMenuButtonWidth = 150;

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
    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 8, 0);
    top->setSpacing(8);
    tabBar_ = new CKTabBarView(QRect(0, 0, 860, kTabBarHeight), content);
    tabBar_->setFixedHeight(kTabBarHeight);
    top->addWidget(tabBar_, 1);
    top->addWidget(makeToolbar(content), 0, Qt::AlignTop);
    layout->addLayout(top);
    gridArea_ = makeArea("gridArea", QColor(0xe2, 0xe4, 0xe6), content);
    gridArea_->setMinimumSize(8 * 80, 4 * 64);
    layout->addWidget(gridArea_, 1);
    auto* gridLayout = new QVBoxLayout(gridArea_);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    clipdeckView_ = new CKClipdeckView(gridArea_);
    gridLayout->addWidget(clipdeckView_);
    footerArea_ = makeArea("footerArea", QColor(0xc4, 0xc7, 0xcb), content);
    footerArea_->setFixedHeight(kFooterHeight);
    layout->addWidget(footerArea_);
    drawerArea_ = new QWidget(content);
    drawerArea_->setObjectName(QStringLiteral("drawerArea"));
    drawerArea_->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(drawerArea_);
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

    QMenu* boards = menuBar()->addMenu(tr("&Board"));
    boards->setObjectName(QStringLiteral("boardMenu"));
    newClipdeckAction_ = boards->addAction(tr("New Clipdeck"));
    renameClipdeckAction_ = boards->addAction(tr("Rename Clipdeck..."));
    deleteClipdeckAction_ = boards->addAction(tr("Delete Clipdeck"));
    boards->addSeparator();
    nextClipdeckAction_ = boards->addAction(tr("Next Clipdeck"));
    previousClipdeckAction_ = boards->addAction(tr("Previous Clipdeck"));
    boards->addSeparator();
    importClipdeckAction_ = boards->addAction(tr("Import Clipdeck..."));
    exportClipdeckAction_ = boards->addAction(tr("Export Clipdeck..."));
    importSoundsAction_ = boards->addAction(tr("Import Sounds..."));

    resize(940, 480);

    // Keys held when the triggers went off will have their releases go elsewhere.
    if (ClipdeckApplication* application = ClipdeckApplication::sharedApplication()) {
        connect(application, &ClipdeckApplication::isForwardingEventsChanged, this, [](bool forwarding) {
            if (!forwarding)
                CKKeyEventDispatch::sharedDispatcher().clearKeyState();
        });
    }
}

QWidget* CKClipdeckWindow::makeToolbar(QWidget* parent)
{
    auto* toolbar = new QWidget(parent);
    toolbar->setObjectName(QStringLiteral("toolbar"));
    toolbar->setFocusPolicy(Qt::NoFocus);
    auto* row = new QHBoxLayout(toolbar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);

    clipdeckMenuButton_ = new CKButton(QRect(0, 0, kClipdeckMenuButtonWidth, CKSegmentedControl::kHeight), toolbar);
    clipdeckMenuButton_->setObjectName(QStringLiteral("clipdeckMenuButton"));
    clipdeckMenuButton_->setFixedSize(kClipdeckMenuButtonWidth, CKSegmentedControl::kHeight);
    clipdeckMenuButton_->cell()->setFooterButtonLook();
    clipdeckMenuButton_->setToolTip(tr("Show a clipdeck"));
    row->addWidget(clipdeckMenuButton_);

    navigationControl_ = new CKSegmentedControl(toolbar);
    navigationControl_->setObjectName(QStringLiteral("navigationControl"));
    navigationControl_->addSegment(kPreviousClipdeckTag, ZEPImageNamed(QStringLiteral("toolbar-previous")),
                                   tr("Previous Clipdeck"));
    navigationControl_->addSegment(kNextClipdeckTag, ZEPImageNamed(QStringLiteral("toolbar-next")),
                                   tr("Next Clipdeck"));
    row->addWidget(navigationControl_);

    clipdeckControl_ = new CKSegmentedControl(toolbar);
    clipdeckControl_->setObjectName(QStringLiteral("clipdeckControl"));
    clipdeckControl_->addSegment(kNewClipdeckTag, ZEPImageNamed(QStringLiteral("toolbar-add")), tr("New Clipdeck"));
    clipdeckControl_->addSegment(kRenameClipdeckTag, ZEPImageNamed(QStringLiteral("toolbar-rename")),
                                 tr("Rename Clipdeck"));
    clipdeckControl_->addSegment(kDeleteClipdeckTag, ZEPImageNamed(QStringLiteral("toolbar-delete")),
                                 tr("Delete Clipdeck"));
    row->addWidget(clipdeckControl_);
    return toolbar;
}

void CKClipdeckWindow::setClipdeckName(const QString& name)
{
    setWindowTitle(TitleFormat.arg(name));
    // As the button draws its title; a long name ends in an ellipsis.
    const QFontMetrics metrics(ZEPSmallTextAttributes(Qt::black).font);
    clipdeckMenuButton_->setTitle(metrics.elidedText(name, Qt::ElideRight, kClipdeckMenuButtonWidth - 16));
}

bool CKClipdeckWindow::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (keyTriggersOn() && CKKeyEventDispatch::sharedDispatcher().handleWindowEvent(event))
            return true;
        if (handleWindowKey(static_cast<QKeyEvent*>(event)))
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

bool CKClipdeckWindow::handleWindowKey(QKeyEvent* event)
{
    const ClipdeckApplication* application = ClipdeckApplication::sharedApplication();
    const uint32_t flags = keys::modifierFlags(event->modifiers());
    // A modifier change: the looping toggle shows on the hovered cell.
    switch (event->key()) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        if (application)
            clipdeckView_->setTogglingLoopGraphic((flags & application->toggleLoopingKeyMask()) != 0);
        return false;
    default:
        break;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    CKPlaybackController* controller = CKPlaybackController::sharedPlaybackController();
    const bool repeat = event->isAutoRepeat();
    switch (event->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!repeat && keyDelegate_ && !keyDelegate_->isEditingName()) {
            if (event->key() == Qt::Key_Backtab || (event->modifiers() & Qt::ShiftModifier))
                keyDelegate_->previousClipdeck();
            else
                keyDelegate_->nextClipdeck();
        }
        return true;
    case Qt::Key_Escape:
        if (!repeat)
            controller->stopAllSounds(false);
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const float step = event->key() == Qt::Key_Left ? -0.04f : 0.04f;
        controller->setOutputPan(std::clamp(controller->outputPan() + step, -1.0f, 1.0f));
        return true;
    }
    case Qt::Key_Down:
    case Qt::Key_Up: {
        const float step = event->key() == Qt::Key_Down ? -0.04f : 0.04f;
        controller->setOutputGain(std::clamp(controller->outputGain() + step, 0.0f, 1.0f));
        return true;
    }
    default:
        break;
    }
    // The pause modifier: the key's cell is found by its position, whatever the layout.
    if (repeat || !application || (flags & application->pauseSoundKeyMask()) == 0)
        return false;
    const uint16_t keyCode = CKKeyEventDispatch::keyCodeForEvent(event);
    const auto& table = CKKeyEventDispatch::kGridKeyCodes;
    const auto entry = std::find(table.begin(), table.end(), keyCode);
    const std::shared_ptr<CKClipdeck> board = clipdeckView_->clipdeck();
    if (entry == table.end() || !board)
        return false;
    if (const std::shared_ptr<CKSoundSource> sound = board->soundAtIndex(std::size_t(entry - table.begin())))
        controller->pauseSound(sound.get());
    return true;
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
