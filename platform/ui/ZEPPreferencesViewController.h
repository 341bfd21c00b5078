#pragma once
// One pane of the preferences window (ZEPPreferencesController), in place of the maker's
// pane base class. A pane is a widget that builds its controls in code; the window shows
// its title and toolbar picture and tells it when it is about to appear and disappear.
// Main thread only.

#include <QImage>
#include <QWidget>

class ZEPPreferencesViewController : public QWidget {
    Q_OBJECT
public:
    explicit ZEPPreferencesViewController(QWidget* parent = nullptr);

    // The name under the pane's toolbar picture, and the window's title while it shows.
    virtual QString title() const = 0;
    // The name of the toolbar picture among the program's images (ZEPImageNamed).
    virtual QString toolbarImageName() const = 0;
    // The toolbar picture: the image named toolbarImageName() unless overridden.
    virtual QImage toolbarImage() const;
    // What the window remembers the pane by: its class name unless overridden.
    virtual QString identifier() const;

    // Before the pane shows (also each time the window shows with it) and before it hides
    // (another pane chosen, or the window closed).
    virtual void viewWillAppear() {}
    virtual void viewWillDisappear() {}

    // The pane's view: the pane itself.
    QWidget* view() { return this; }
};
