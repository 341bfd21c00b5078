#pragma once
// A frameless pop-up window that shows a menu through its content view (a
// ZEPCustomMenuView). setupContents() makes the content view; subclasses override it to
// make their own. popUpMenu sizes the window to the menu, shows it and closes it when an
// item is chosen, when Escape is pressed or when the user clicks elsewhere. The window
// deletes itself once closed. Main thread only.

#include "platform/ui/ZEPCustomMenuView.h"

#include <QPointer>
#include <QWidget>

class QAction;
class QMenu;

class ZEPCustomMenuWindow : public QWidget {
    Q_OBJECT
public:
    Q_INVOKABLE explicit ZEPCustomMenuWindow(const QRect& frame);

    ZEPCustomMenuView* contentView() const { return contentView_; }

    // Shows menu with its top left corner at topLeft (global coordinates), at least
    // minimumWidth wide, with the item at highlightedIndex highlighted.
    void popUpMenu(QMenu* menu, const QPoint& topLeft, int minimumWidth, int highlightedIndex);

signals:
    void itemChosen(QAction* item);

protected:
    // Makes the content view for the window's current frame and sets it with
    // setContentView; called again when the window is resized to fit a menu.
    virtual void setupContents();
    // Takes view as the content view, filling the window; a previous one is deleted.
    void setContentView(ZEPCustomMenuView* view);

    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointer<ZEPCustomMenuView> contentView_;
};
