#include "platform/ui/ZEPPreferencesController.h"

#include "platform/UserDefaults.h"
#include "platform/ui/ZEPPreferencesViewController.h"

#include <QAction>
#include <QActionGroup>
#include <QEvent>
#include <QFrame>
#include <QIcon>
#include <QPixmap>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

ZEPPreferencesController::ZEPPreferencesController(UserDefaults* defaults, QObject* parent)
    : QObject(parent), defaults_(defaults ? defaults : &UserDefaults::standardUserDefaults())
{
    window_ = new QWidget(nullptr, Qt::Window);
    window_->setObjectName(QStringLiteral("ZEPPreferencesWindow"));
    auto* layout = new QVBoxLayout(window_);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The window is as large as the shown pane, no more: it changes size with the pane.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    toolbar_ = new QToolBar(window_);
    toolbar_->setMovable(false);
    toolbar_->setFloatable(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setIconSize(QSize(32, 32));
    layout->addWidget(toolbar_);
    actions_ = new QActionGroup(this);
    actions_->setExclusive(true);

    auto* line = new QFrame(window_);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    layout->addWidget(line);

    paneArea_ = new QVBoxLayout;
    paneArea_->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(paneArea_);

    window_->installEventFilter(this);
}

ZEPPreferencesController::~ZEPPreferencesController()
{
    if (window_) {
        window_->removeEventFilter(this);
        delete window_;
    }
}

QWidget* ZEPPreferencesController::window() const { return window_; }

void ZEPPreferencesController::addController(ZEPPreferencesViewController* controller)
{
    if (!controller)
        return;
    controller->setParent(window_);
    controller->hide();
    controllers_.push_back(controller);
    QAction* action = toolbar_->addAction(QIcon(QPixmap::fromImage(controller->toolbarImage())), controller->title());
    action->setCheckable(true);
    action->setObjectName(controller->identifier());
    actions_->addAction(action);
    connect(action, &QAction::triggered, this, [this, controller] { selectController(controller); });
}

void ZEPPreferencesController::showWindow()
{
    if (!shownOnce_ && !controllers_.empty()) {
        shownOnce_ = true;
        if (!selected_ && !selectControllerWithIdentifier(defaults_->stringForKey(LastPaneKey)))
            selectController(controllers_.front());
    }
    if (!window_->isVisible()) {
        if (selected_)
            selected_->viewWillAppear();
        window_->show();
    }
    window_->raise();
    window_->activateWindow();
}

void ZEPPreferencesController::selectController(ZEPPreferencesViewController* controller)
{
    if (!controller || controller == selected_ ||
        std::find(controllers_.begin(), controllers_.end(), controller) == controllers_.end())
        return;
    const bool visible = window_->isVisible();
    if (selected_) {
        if (visible)
            selected_->viewWillDisappear();
        paneArea_->removeWidget(selected_);
        selected_->hide();
    }
    selected_ = controller;
    if (visible)
        controller->viewWillAppear();
    showPane(controller);
}

bool ZEPPreferencesController::selectControllerWithIdentifier(const QString& identifier)
{
    for (ZEPPreferencesViewController* controller : controllers_) {
        if (controller->identifier() == identifier) {
            selectController(controller);
            return true;
        }
    }
    return false;
}

void ZEPPreferencesController::showPane(ZEPPreferencesViewController* controller)
{
    paneArea_->addWidget(controller);
    controller->show();
    window_->setWindowTitle(controller->title());
    for (QAction* action : actions_->actions()) {
        if (action->objectName() == controller->identifier())
            action->setChecked(true);
    }
    defaults_->setObject(controller->identifier(), LastPaneKey);
}

bool ZEPPreferencesController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && event->type() == QEvent::Hide && selected_)
        selected_->viewWillDisappear();
    return QObject::eventFilter(watched, event);
}
