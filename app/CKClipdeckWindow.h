#pragma once
// The main window: "Clipdeck - <board name>", the tab bar at its top with the toolbar's
// board controls to its right (the pop-up of boards, previous/next, new/rename/delete), the
// board grid under it and the footer with the drawer at its bottom. The board shown changes through the
// notifications "CKClipdeckDidHideNotification" (the board left) then
// "CKClipdeckDidShowNotification" (the board now shown), posted by the application's
// controller; the grid and the drawer follow them. It keeps the keyboard for itself: key
// events reach the key trigger dispatcher (CKKeyEventDispatch) through the window, and only
// while key triggers are on (ClipdeckApplication's isForwardingEvents), so typing in the
// tab's name field or in a sheet never fires a sound.
//
// Closing it (its close button, Alt+F4, the session closing windows) quits through the
// program's quit path; the window closes only when the program ends.
//
// Main thread only.

#include <QMainWindow>

class CKButton;
class CKClipdeckView;
class CKSegmentedControl;
class CKTabBarView;
class QAction;
class QKeyEvent;

// What the window's keys ask of the program: the next or previous board (Tab, Shift+Tab),
// unless a board's name is being edited.
class CKClipdeckWindowDelegate {
public:
    virtual ~CKClipdeckWindowDelegate() = default;
    virtual void nextClipdeck() = 0;
    virtual void previousClipdeck() = 0;
    virtual bool isEditingName() const = 0;
};

class CKClipdeckWindow : public QMainWindow {
    Q_OBJECT
public:
    static inline const QString TitleFormat = QStringLiteral("Clipdeck - %1");
    // The tags of the toolbar's segments: board commands (new, rename, delete) and
    // navigation (previous, next).
    static constexpr int kNewClipdeckTag = -1;
    static constexpr int kRenameClipdeckTag = 0;
    static constexpr int kDeleteClipdeckTag = 1;
    static constexpr int kPreviousClipdeckTag = -1;
    static constexpr int kNextClipdeckTag = 1;

    explicit CKClipdeckWindow(QWidget* parent = nullptr);

    CKTabBarView* tabBar() const { return tabBar_; }
    // Where the board grid goes (holding the grid view) and the footer with its drawer.
    QWidget* gridArea() const { return gridArea_; }
    CKClipdeckView* clipdeckView() const { return clipdeckView_; }
    void setKeyDelegate(CKClipdeckWindowDelegate* delegate) { keyDelegate_ = delegate; }

    // The window's own keys, after the key triggers declined the event: Tab and Shift+Tab
    // switch boards, Escape fades every sound out, the arrows move master gain and pan by
    // 0.04 (repeating), a key held with the pause modifier pauses or resumes the sound of
    // its cell; a modifier change shows the looping toggle on the hovered cell. Answers
    // whether it used the event.
    bool handleWindowKey(QKeyEvent* event);
    QWidget* footerArea() const { return footerArea_; }
    // The master output drawer's place under the footer.
    QWidget* drawerArea() const { return drawerArea_; }

    // The title for a board's name.
    void setClipdeckName(const QString& name);

    // The program's menu commands (the delegate wires them).
    QAction* aboutAction() const { return aboutAction_; }
    QAction* releaseNotesAction() const { return releaseNotesAction_; }
    QAction* splashScreenAction() const { return splashScreenAction_; }
    QAction* moreSoundsAction() const { return moreSoundsAction_; }
    QAction* preferencesAction() const { return preferencesAction_; }
    QAction* quitAction() const { return quitAction_; }
    // The board commands (the delegate wires them and keeps them enabled as they apply).
    QAction* newClipdeckAction() const { return newClipdeckAction_; }
    QAction* renameClipdeckAction() const { return renameClipdeckAction_; }
    QAction* deleteClipdeckAction() const { return deleteClipdeckAction_; }
    QAction* nextClipdeckAction() const { return nextClipdeckAction_; }
    QAction* previousClipdeckAction() const { return previousClipdeckAction_; }
    QAction* importClipdeckAction() const { return importClipdeckAction_; }
    QAction* exportClipdeckAction() const { return exportClipdeckAction_; }
    QAction* importSoundsAction() const { return importSoundsAction_; }
    // The toolbar's controls (the delegate wires them and keeps them enabled as they
    // apply): the pop-up button listing the boards, titled with the shown one; the
    // segments of board commands and of navigation, by the tags above.
    CKButton* clipdeckMenuButton() const { return clipdeckMenuButton_; }
    CKSegmentedControl* clipdeckControl() const { return clipdeckControl_; }
    CKSegmentedControl* navigationControl() const { return navigationControl_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The toolbar's controls in a row (right of the tab bar).
    QWidget* makeToolbar(QWidget* parent);

    CKTabBarView* tabBar_;
    QWidget* gridArea_;
    QWidget* footerArea_;
    QWidget* drawerArea_;
    CKClipdeckView* clipdeckView_;
    CKClipdeckWindowDelegate* keyDelegate_ = nullptr;
    QAction* aboutAction_;
    QAction* releaseNotesAction_;
    QAction* splashScreenAction_;
    QAction* moreSoundsAction_;
    QAction* preferencesAction_;
    QAction* quitAction_;
    QAction* newClipdeckAction_;
    QAction* renameClipdeckAction_;
    QAction* deleteClipdeckAction_;
    QAction* nextClipdeckAction_;
    QAction* previousClipdeckAction_;
    QAction* importClipdeckAction_;
    QAction* exportClipdeckAction_;
    QAction* importSoundsAction_;
    CKButton* clipdeckMenuButton_;
    CKSegmentedControl* clipdeckControl_;
    CKSegmentedControl* navigationControl_;
};
