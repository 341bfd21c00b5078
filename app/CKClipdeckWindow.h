#pragma once
// The main window: "Clipdeck - <board name>", the tab bar at its top, the board grid under
// it and the footer with the drawer at its bottom. It keeps the keyboard for itself: key
// events reach the key trigger dispatcher (CKKeyEventDispatch) through the window, and only
// while key triggers are on (ClipdeckApplication's isForwardingEvents), so typing in the
// tab's name field or in a sheet never fires a sound.
//
// Closing it (its close button, Alt+F4, the session closing windows) quits through the
// program's quit path; the window closes only when the program ends.
//
// Main thread only.

#include <QMainWindow>

class CKTabBarView;
class QAction;

class CKClipdeckWindow : public QMainWindow {
    Q_OBJECT
public:
    static inline const QString TitleFormat = QStringLiteral("Clipdeck - %1");

    explicit CKClipdeckWindow(QWidget* parent = nullptr);

    CKTabBarView* tabBar() const { return tabBar_; }
    // Where the board grid goes (empty for now) and the footer with its drawer.
    QWidget* gridArea() const { return gridArea_; }
    QWidget* footerArea() const { return footerArea_; }

    // The title for a board's name.
    void setClipdeckName(const QString& name);

    // The program's menu commands (the delegate wires them).
    QAction* aboutAction() const { return aboutAction_; }
    QAction* releaseNotesAction() const { return releaseNotesAction_; }
    QAction* splashScreenAction() const { return splashScreenAction_; }
    QAction* moreSoundsAction() const { return moreSoundsAction_; }
    QAction* preferencesAction() const { return preferencesAction_; }
    QAction* quitAction() const { return quitAction_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    CKTabBarView* tabBar_;
    QWidget* gridArea_;
    QWidget* footerArea_;
    QAction* aboutAction_;
    QAction* releaseNotesAction_;
    QAction* splashScreenAction_;
    QAction* moreSoundsAction_;
    QAction* preferencesAction_;
    QAction* quitAction_;
};
