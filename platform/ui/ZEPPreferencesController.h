#pragma once
// The preferences window, in place of the maker's: a toolbar with one button per pane
// (its picture over its title) above the chosen pane. Choosing a button tells the shown
// pane viewWillDisappear() and the chosen one viewWillAppear(), shows it, titles the window
// after it and fits the window to it. The window remembers the last pane chosen under the
// default "ZEPPreferencesLastPane" and opens on it next time. Closing the window hides it
// (the panes stay) and tells the shown pane it disappears.
// Main thread only.

#include <QObject>
#include <QPointer>

#include <vector>

class QActionGroup;
class QToolBar;
class QVBoxLayout;
class QWidget;
class UserDefaults;
class ZEPPreferencesViewController;

class ZEPPreferencesController : public QObject {
    Q_OBJECT
public:
    static inline const QString LastPaneKey = QStringLiteral("ZEPPreferencesLastPane");

    // A window not yet shown, remembering its pane in defaults (the standard ones when null).
    explicit ZEPPreferencesController(UserDefaults* defaults = nullptr, QObject* parent = nullptr);
    ~ZEPPreferencesController() override;

    // Adds a pane at the end of the toolbar; the window takes it over.
    void addController(ZEPPreferencesViewController* controller);
    const std::vector<ZEPPreferencesViewController*>& controllers() const { return controllers_; }

    // Shows the window and brings it to the front, on the remembered pane the first time
    // (else the first pane).
    void showWindow();
    QWidget* window() const;
    QToolBar* toolbar() const { return toolbar_; }

    ZEPPreferencesViewController* selectedController() const { return selected_; }
    void selectController(ZEPPreferencesViewController* controller);
    // False when no pane has that identifier.
    bool selectControllerWithIdentifier(const QString& identifier);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showPane(ZEPPreferencesViewController* controller);

    UserDefaults* defaults_;
    QPointer<QWidget> window_;
    QToolBar* toolbar_ = nullptr;
    QActionGroup* actions_ = nullptr;
    QVBoxLayout* paneArea_ = nullptr;
    std::vector<ZEPPreferencesViewController*> controllers_;
    ZEPPreferencesViewController* selected_ = nullptr;
    bool shownOnce_ = false;
};
