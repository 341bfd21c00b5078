// The main window's toolbar: the pop-up of boards and the segments of navigation and of
// board commands. What they may do at a moment is validateUserInterfaceItem()'s answer.
#include "app/AppController.h"

#include "app/CKButton.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKMenuPopUp.h"
#include "app/CKSegmentedControl.h"

#include "clipdeck/CKClipdeck.h"

#include <QAction>
#include <QMenu>

void AppController::hookUpToolbar()
{
    connect(mainWindow_->clipdeckControl(), &CKSegmentedControl::segmentClicked, this,
            &AppController::clipdeckControlClicked);
    connect(mainWindow_->navigationControl(), &CKSegmentedControl::segmentClicked, this,
            &AppController::segmentedToolbarClicked);
    connect(mainWindow_->clipdeckMenuButton(), &QAbstractButton::clicked, this, &AppController::showClipdeckMenu);
}

void AppController::segmentedToolbarClicked(int tag)
{
    switch (tag) {
    case CKClipdeckWindow::kNextClipdeckTag:
        nextClipdeck();
        break;
    case CKClipdeckWindow::kPreviousClipdeckTag:
        previousClipdeck();
        break;
    default:
        break;
    }
}

void AppController::selectClipdeckFromToolbarMenu(int tag)
{
    // Only a board of the list: the wrap-around of next and previous is not a choice.
    if (tag < 0 || tag >= numberOfClipdecks())
        return;
    // The user chose a board: a rename in progress ends rather than holding the old board.
    stopEditingName();
    // Shown as any selection shows a board: the grid, the drawer and the remote follow the
    // notifications, and the board is the one shown at the next start.
    selectClipdeckAtIndex(tag);
}

QMenu* AppController::clipdeckMenu()
{
    auto* menu = new QMenu(mainWindow_);
    menu->setObjectName(QStringLiteral("clipdeckMenu"));
    for (qsizetype index = 0; index < clipdecks_.size(); ++index) {
        QAction* item = menu->addAction(clipdecks_[index]->name());
        item->setData(int(index));
        item->setCheckable(true);
        item->setChecked(index == selectedClipdeckIndex_);
        connect(item, &QAction::triggered, this, [this, tag = int(index)] { selectClipdeckFromToolbarMenu(tag); });
    }
    return menu;
}

void AppController::showClipdeckMenu()
{
    if (!mainWindow_ || !validateUserInterfaceItem(ClipdeckCommand::Choose))
        return;
    QMenu* menu = clipdeckMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    CKButton* button = mainWindow_->clipdeckMenuButton();
    CKPopUpMenu(menu, button, button->rect());
}
