#pragma once
// The application's delegate and the hub of the main window, one per program:
//  - start-up (awakeFromNib(): the window, the playback controller; finishLaunching(): the
//    window shows, the remote service follows "RemoteEnabled") and shut-down (the quit
//    confirmation while boards are busy, then the playback output stops);
//  - the list of boards shown as tabs, which board shows, and the tab bar's questions
//    (AppControllerClipdecks.cpp);
//  - every error a user sees (presentError(): a sheet on the main window; while launching,
//    before the window shows, retried every 0.2 s; else an application-modal alert; called
//    on another thread, it hops to the main thread first);
//  - the application menu's about box, release notes and links;
//  - what playback asks of the shell (CKPlaybackHost): the shown board, the modifier
//    toggles, showing errors.
//
// Main thread only, but for presentError().

#include "app/CKClipdeckNameController.h"
#include "app/CKTabBarDelegate.h"
#include "app/ClipdeckApplication.h"

#include "clipdeck/CKPlaybackHost.h"
#include "platform/ui/ZEPAboutBox.h"

#include <QObject>
#include <QPointer>

class CKAlert;
class CKClipdeckWindow;
class CKPlaybackController;
class ZEPPreferencesController;
class ZEPTextViewer;

class AppController : public QObject,
                      public ClipdeckApplicationDelegate,
                      public CKPlaybackHost,
                      public CKTabBarDelegate,
                      public CKClipdeckNameControllerDelegate,
                      public ZEPAboutBoxDelegate {
    Q_OBJECT
public:
    // Boards open at once, at most.
    static constexpr qsizetype kMaximumClipdecks = 64;
    // How often an error waiting for the window is tried again while launching.
    static constexpr double kErrorRetryInterval = 0.2;
    // The default holding the shown board's index.
    static inline const QString SelectedClipdeckIndexKey = QStringLiteral("selectedClipdeckIndex");

    // The program's one controller (made here when none exists yet).
    static AppController* sharedAppController();

    explicit AppController(QObject* parent = nullptr);
    ~AppController() override;

    // ---- Start-up ----

    // Builds the running program: the main window and its tab bar, the playback
    // controller; hooks the menu commands up. Once.
    void awakeFromNib();
    // The last step of launching: launching ends, the window shows, the remote service
    // follows "RemoteEnabled".
    void finishLaunching() override;
    bool isLaunching() const { return isLaunching_; }
    CKClipdeckWindow* mainWindow() const;
    // Makes the playback controller, whose output starts at once; when it cannot play,
    // says so (once).
    void loadPlaybackController();
    // What the user is told when the output does not run, for the reason the output gives.
    static Error outputNotRunningError(const QString& reason);

    // ---- Quitting ----

    // Commits a rename in progress; while any board is busy (importing, or with changes
    // not yet saved) a confirmation sheet decides, else the program ends now. A signal is
    // never asked about.
    TerminateReply applicationShouldTerminate(ClipdeckApplication* sender, TerminationRequest request) override;
    // Stops the playback output.
    void applicationWillTerminate(ClipdeckApplication* sender) override;
    virtual bool isBusyImportingSounds() const;
    // The confirmation: "Cancel" (the default button) keeps the program.
    static CKAlert* quitConfirmationAlert();

    // ---- Documents ----

    // A ".clipdeck" folder is imported as a copy, a ".ckzip" archive unpacked and imported;
    // other files are ignored. Always true.
    bool application(ClipdeckApplication* sender, const QString& openFile) override;

    // ---- Errors ----

    void presentError(const Error& error) override;
    // The boards folder cannot be read: a critical alert (with the support page when the
    // build names one, which then opens), then the program ends. Nothing is saved.
    void reportUnloadableClipdecks(const Error& error);

    // ---- Application menu ----

    void showAboutBox();
    void showReleaseNotes();
    void getMoreSounds();
    // The preferences window, made with its General, Playback, Editor and MIDI panes on first
    // use, brought to the front.
    void showPreferences();
    ZEPPreferencesController* preferencesController() const { return preferencesController_; }
    QString aboutBoxController(ZEPAboutBox* aboutBox, const QString& willDisplayAppName) override;

    // ---- Boards (AppControllerClipdecks.cpp) ----

    qsizetype numberOfClipdecks() const;
    qsizetype selectedClipdeckIndex() const { return selectedClipdeckIndex_; }
    QString selectedClipdeckName() const;
    // Shows the board at index (-1: the last one; the count: the first one), telling the
    // hide and show observers when fireNotifications. Nothing while a name is edited.
    void selectClipdeckAtIndex(qsizetype index, bool fireNotifications = true);
    void nextClipdeck();
    void previousClipdeck();
    // Puts the shown board in the window (its name in the title).
    void updateClipdeckButtons();
    // Tabs again for every board, the stored board selected.
    void resetTabBar();
    // "My Clipdeck", or the first "My Clipdeck <n>" (n = 1, 2, ...) no board has.
    static QString nameForNewClipdeck(const QStringList& existingNames);
    QStringList clipdeckNames() const;
    bool isEditingName() const;
    // Ends a rename in the tab bar, keeping the typed name.
    void stopEditingName();
    // The board commands of the window: 0 renames the shown board (the name sheet).
    void clipdeckControlClicked(int tag);
    CKClipdeckNameController* nameController();
    // The confirmation before a board with sounds is deleted: "Cancel" (the default
    // button) keeps it, "Delete" (AlternateReturn) deletes it.
    static CKAlert* deleteConfirmationAlert(const QString& clipdeckName);
    static QString deleteWarningString();

    // CKTabBarDelegate
    void tabBarSelectionDidChange(CKTabBarView* tabBar) override;
    void tabBarDidBeginEditingNameAtIndex(CKTabBarView* tabBar, qsizetype index) override;
    void tabBarDidEndEditingName(CKTabBarView* tabBar, const QString& name, qsizetype atIndex) override;
    bool tabBarCanAddTab(CKTabBarView* tabBar) override;
    bool tabBarShouldShowCloseButtonAtIndex(CKTabBarView* tabBar, qsizetype index) override;

    // CKClipdeckNameControllerDelegate
    void nameController(CKClipdeckNameController* controller, const QString& didGetNewName) override;

    // ---- CKPlaybackHost ----

    const CKSoundParent* selectedClipdeck() const override;
    bool isTogglingLooping() const override;
    bool isTogglingStopOnLift() const override;
    bool isTogglingRestartOnPress() const override;

private:
    void hookUpMenu();
    // The alert of an error (logged once by presentError()), or its next try.
    void showError(const Error& error);
    void showMainWindow();

    bool awake_ = false;
    bool isLaunching_ = true;
    bool saidOutputDoesNotRun_ = false;
    qsizetype selectedClipdeckIndex_ = 0;
    QPointer<CKClipdeckWindow> mainWindow_;
    QPointer<CKClipdeckNameController> nameController_;
    QPointer<ZEPTextViewer> releaseNotesViewer_;
    ZEPPreferencesController* preferencesController_ = nullptr;
    bool addedRemoteAboutItem_ = false;
    CKPlaybackController* playbackController_ = nullptr;
};
