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
//    toggles, showing errors; and what the boards ask of it (CKClipdeckHost): their
//    positions, the next board's name and folder, pausing the preloading;
//  - preloading the shown board's sounds, one per 0.01 s, and keeping at most 128 sounds
//    of all boards loaded (AppControllerEditors.cpp);
//  - bringing boards in from ".clipdeck" folders and ".ckzip" archives, exporting the shown
//    board to an archive behind a progress sheet, and the menu's Import Sounds
//    (AppControllerArchives.cpp).
//
// Main thread only, but for presentError().

#include "app/CKClipdeckNameController.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKTabBarDelegate.h"
#include "app/CKWindowVerticalResizerThumb.h"
#include "app/ClipdeckApplication.h"

#include "clipdeck/CKClipdeckExportDelegate.h"
#include "clipdeck/CKClipdeckHost.h"
#include "clipdeck/CKProgressSheet.h"
#include "clipdeck/CKZipUnarchiver.h"
#include "clipdeck/CKPlaybackHost.h"
#include "platform/TimeSource.h"
#include "platform/ui/ZEPAboutBox.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class CKAlert;
class CKClipdeck;
class CKClipdeckParent;
class CKButton;
class CKExportController;
class QEventLoop;
class CKMasterOutputViewController;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QToolButton;
class CKClipdeckWindow;
class CKSoundSource;
class CKPlaybackController;
class ZEPPreferencesController;
class ZEPTextViewer;

class AppController : public QObject,
                      public ClipdeckApplicationDelegate,
                      public CKPlaybackHost,
                      public CKClipdeckHost,
                      public CKTabBarDelegate,
                      public CKClipdeckNameControllerDelegate,
                      public ZEPAboutBoxDelegate,
                      public CKWindowVerticalResizerThumbDelegate,
                      public CKClipdeckWindowDelegate,
                      public CKClipdeckExportDelegate,
                      public CKExportControllerDelegate,
                      public CKZipUnarchiverDelegate {
    Q_OBJECT
public:
    // Boards open at once, at most.
    static constexpr qsizetype kMaximumClipdecks = 64;
    // How often an error waiting for the window is tried again while launching.
    static constexpr double kErrorRetryInterval = 0.2;
    // The default holding the shown board's index.
    static inline const QString SelectedClipdeckIndexKey = QStringLiteral("selectedClipdeckIndex");
    // Posted around a change of the shown board (object: the board left, then the board shown).
    static inline const QString ClipdeckDidHideNotification = QStringLiteral("CKClipdeckDidHideNotification");
    static inline const QString ClipdeckDidShowNotification = QStringLiteral("CKClipdeckDidShowNotification");
    // Sounds of all boards whose feed stays loaded, at most.
    static constexpr qsizetype kMaximumLoadedEditors = 128;
    // The pause between two preloaded sounds.
    static constexpr double kEditorLoadInterval = 0.01;
    // Tabs are built again this long after a tab moved.
    static constexpr double kResetTabBarAfterMoveDelay = 0.5;

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
    // Ends a rename, cancels a running export, writes every board with changes not yet
    // saved, and stops the playback output.
    void applicationWillTerminate(ClipdeckApplication* sender) override;
    // Any board imports sounds (changes not yet saved are written at the end, not asked about).
    virtual bool isBusyImportingSounds() const;
    // At the end of the program: a running board export is cancelled and waited for (the
    // main thread's events keep running meanwhile: the export renders there).
    void cancelRunningExport();
    // The confirmation: "Cancel" (the default button) keeps the program.
    static CKAlert* quitConfirmationAlert();

    // ---- Documents ----

    // A ".clipdeck" folder is imported as a copy, a ".ckzip" archive unpacked and imported;
    // other files are ignored. Always true.
    bool application(ClipdeckApplication* sender, const QString& openFile) override;
    // The files of a command line (or of a second start), at once (importFiles()).
    void openFiles(const QStringList& paths);

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
    //
    // The list is the boards of the boards folder, in folder order: a board's position is
    // its tab and the number of its folder "N.clipdeck". At most 64; never empty once
    // launched. Every change of the list moves the folders with it: when a folder cannot
    // move, what was moved goes back, the list stays and the error is shown.

    const QList<std::shared_ptr<CKClipdeck>>& clipdecks() const { return clipdecks_; }
    qsizetype numberOfClipdecks() const { return clipdecks_.size(); }
    // CKClipdeckHost
    std::size_t indexOfClipdeck(const CKClipdeck* clipdeck) const override;
    std::shared_ptr<CKClipdeck> clipdeckAtIndex(std::size_t index) const override;
    QString nameForNewClipdeck() const override;
    QString pathForNewClipdeck() const override;
    void beep() override;
    // The board shown; null before the list is loaded.
    std::shared_ptr<CKClipdeck> shownClipdeck() const;
    qsizetype selectedClipdeckIndex() const { return selectedClipdeckIndex_; }
    QString selectedClipdeckName() const;
    // Shows the board at index (-1: the last one; the count: the first one): when the board
    // shown changes, hide is posted for the board left, then show for the new one. Nothing
    // while a name is edited. Preloading restarts for the shown board in any case.
    void selectClipdeckAtIndex(qsizetype index);
    // CKClipdeckWindowDelegate (Tab and Shift+Tab in the window).
    void nextClipdeck() override;
    void previousClipdeck() override;
    // Puts the shown board in the window (its name in the title and on the toolbar's
    // pop-up button).
    void updateClipdeckButtons();
    // The commands on boards, as the Board menu and the toolbar offer them.
    enum class ClipdeckCommand { New, Rename, Delete, Next, Previous, Choose };
    // Whether a command applies now: adding below the limit, renaming and choosing while a
    // board shows, deleting while the shown board does not import, next and previous away
    // from the ends. Every menu item and toolbar control asks this one place.
    bool validateUserInterfaceItem(ClipdeckCommand command) const;
    // Enables the Board menu's items and the toolbar's controls as they apply.
    void validateMenuItems();
    // Tabs again for every board, the stored board selected.
    void resetTabBar();
    // "My Clipdeck", or the first "My Clipdeck <n>" (n = 1, 2, ...) no board has.
    static QString nameForNewClipdeck(const QStringList& existingNames);
    QStringList clipdeckNames() const;
    bool clipdeckExistsWithName(const QString& name) const;
    // A new empty board at the end (saved a second later); null at the limit.
    std::shared_ptr<CKClipdeck> addNewClipdeck();
    // A new board at the end, shown (the window's command and the tab bar's add button).
    void createNewClipdeck();
    // Appends a board not in the list yet, with its tab.
    void insertClipdeck(const std::shared_ptr<CKClipdeck>& clipdeck);
    // Deletes the shown board (asking first when it holds sounds).
    void deleteCurrentClipdeck();
    // Asks first when the board at index holds sounds, then deletes it.
    void confirmDeleteClipdeckAtIndex(qsizetype index);
    // Deletes the board at index and its folder (to the Trash), renumbering the folders
    // behind it; the board shown stays shown. False, nothing changed and the error shown,
    // when a folder behind it cannot be renumbered; false with a beep while an export or an
    // unpacking runs.
    bool deleteClipdeckAtIndex(qsizetype index);
    // Moves the board at from to to, its folder and those between following. False,
    // nothing changed and the error shown, when a folder cannot move; false with a beep
    // while a board between imports, or an export or an unpacking runs.
    bool moveClipdeckAtIndex(qsizetype fromIndex, qsizetype toIndex);
    // Brings boards in at the end of the list (AppControllerArchives.cpp): a ".clipdeck"
    // folder as a copy (one that fails shows its error and is skipped), a ".ckzip" archive
    // unpacked behind a progress sheet, then moved in; other paths are skipped. The paths
    // past the 64-board limit are named in one message. The last board brought in shows.
    void importFiles(const QStringList& paths);
    bool isEditingName() const override;
    // Ends a rename in the tab bar, keeping the typed name.
    void stopEditingName();
    // The board commands of the window: 0 renames the shown board (the name sheet), 1
    // deletes it, -1 adds a board.
    void clipdeckControlClicked(int tag);
    // The toolbar's navigation (AppControllerToolbar.cpp): 1 shows the next board, -1 the
    // previous one, other tags nothing.
    void segmentedToolbarClicked(int tag);
    // The toolbar's pop-up of boards chose the board at index tag: a rename in progress
    // ends, keeping its name, and that board shows as any selection shows it. An index
    // beyond the list does nothing.
    void selectClipdeckFromToolbarMenu(int tag);
    // A new menu of the boards, in tab order, the shown one checked; an item's data is its
    // board's index and choosing it calls selectClipdeckFromToolbarMenu(). The caller owns it.
    QMenu* clipdeckMenu();
    // Pops the menu of boards up under the toolbar's button.
    void showClipdeckMenu();
    CKClipdeckNameController* nameController();
    // The confirmation before a board with sounds is deleted: "Cancel" (the default
    // button) keeps it, "Delete" (AlternateReturn) deletes it.
    static CKAlert* deleteConfirmationAlert(const QString& clipdeckName);
    static QString deleteWarningString();
    // Board changes voted by a remote are not applied here: false, nothing changes.
    bool addModel(const std::shared_ptr<CKClipdeck>& model, qsizetype toIndex);
    bool rearrange(qsizetype fromIndex, qsizetype toIndex);
    bool deleteModel(qsizetype index);

    // CKTabBarDelegate
    void tabBarSelectionDidChange(CKTabBarView* tabBar) override;
    void tabBarDidMoveTabAtIndex(CKTabBarView* tabBar, qsizetype fromIndex, qsizetype toIndex) override;
    void tabBarDidBeginEditingNameAtIndex(CKTabBarView* tabBar, qsizetype index) override;
    void tabBarDidEndEditingName(CKTabBarView* tabBar, const QString& name, qsizetype atIndex) override;
    void tabBarDidClickNewButton(CKTabBarView* tabBar) override;
    bool tabBarCanAddTab(CKTabBarView* tabBar) override;
    bool tabBarShouldShowCloseButtonAtIndex(CKTabBarView* tabBar, qsizetype index) override;
    void tabBarDidClickCloseButtonAtIndex(CKTabBarView* tabBar, qsizetype index) override;
    bool tabBarDidReceiveDroppedSound(CKTabBarView* tabBar, const CKSoundPasteboardItem& sound, qsizetype atIndex,
                                      Qt::DropAction action) override;

    // CKClipdeckNameControllerDelegate
    void nameController(CKClipdeckNameController* controller, const QString& didGetNewName) override;

    // ---- Import and export (AppControllerArchives.cpp) ----
    //
    // While an export or an unpacking runs, the board commands, Import, Export and Import
    // Sounds are disabled, and the list of boards is neither added to by the user nor
    // reordered or deleted from (the export reads the shown board's folder by its number).

    static inline const QString ArchiveIconName = QStringLiteral("clipdeckarchive");
    // The menu's Import: a panel picking ".clipdeck" folders and ".ckzip" archives, several
    // at once; the chosen paths go to importFiles().
    void importClipdeck();
    // The menu's Import Sounds: the sound panel of the shown board's first free cell.
    void importSounds();
    // The menu's Export: a save panel proposing "<name>.ckzip"; on OK the shown board's
    // pending save is written, a copy is loaded from its folder and exported.
    void exportCurrentClipdeck();
    // The export of the shown board to path, without the panel.
    void exportCurrentClipdeckToPath(const QString& path);
    // Queues an archive for unpacking (the unarchiver is made on first use).
    void importClipdeckArchive(const QString& path);
    bool isExporting() const;
    bool isUnarchiving() const { return zipImporter_ != nullptr; }
    // An export or an unpacking runs: the list of boards holds still.
    bool isBusyWithArchives() const { return isExporting() || isUnarchiving(); }
    CKExportController* exportController() const { return exportController_.get(); }
    CKZipUnarchiver* zipImporter() const { return zipImporter_.get(); }
    // The board being exported (a copy), or null.
    std::shared_ptr<CKClipdeck> exportingClipdeck() const { return exportingClipdeck_; }

    // CKClipdeckExportDelegate (the export's thread: each hops to the main thread).
    void clipdeckStartedExportingSounds(CKClipdeck* clipdeck) override;
    void clipdeckStartedExportingFile(CKClipdeck* clipdeck, const QString& name, std::size_t index) override;
    void clipdeckExportProgressUpdated(CKClipdeck* clipdeck, float progress) override;
    void clipdeckFinishedExporting(CKClipdeck* clipdeck) override;
    void clipdeckExportDidCancel(CKClipdeck* clipdeck) override;
    void clipdeckDidFailToExport(CKClipdeck* clipdeck, const Error& error) override;
    // CKExportControllerDelegate: the export sheet's Cancel.
    void exportControllerDidCancel(CKProgressSheet* controller) override;
    // CKZipUnarchiverDelegate
    void zipUnarchiverDidUnarchiveURL(CKZipUnarchiver* unarchiver, const QUrl& url) override;
    void zipUnarchiverDidFailToUnarchiveFile(CKZipUnarchiver* unarchiver, const QString& archivePath,
                                             const Error& error) override;
    void zipUnarchiverDidCancel(CKZipUnarchiver* unarchiver) override;
    void zipUnarchiverDidFinish(CKZipUnarchiver* unarchiver) override;

    // ---- Preloading (AppControllerEditors.cpp) ----
    //
    // The shown board's sounds load their feeds one per kEditorLoadInterval on the main
    // thread. A sound that failed to load, imports, waits for its import or is loading
    // already is left out: it is tried again only when the board is shown again or a
    // sound is added.

    // Queues the shown board's sounds that need loading.
    void setupEditorLoading();
    void loadEditorsOfClipdeck(CKClipdeck* clipdeck);
    void loadNextEditor();
    bool isLoadingEditors() const { return isLoadingEditors_; }
    // CKClipdeckHost: off while an import runs; on again queues the shown board.
    void setLoadingEditors(bool loading) override;
    // Beyond kMaximumLoadedEditors loaded sounds, unloads idle sounds of hidden boards,
    // the longest unplayed (and unshown) first.
    void flushCache();
    // Sounds whose feed is loaded, of every board; sounds of every board but the shown one.
    QList<std::shared_ptr<CKSoundSource>> loadedSounds() const;
    QList<std::shared_ptr<CKSoundSource>> backgroundSounds() const;
    qsizetype numberOfQueuedEditors() const { return unloadedEditors_.size(); }

    // ---- The window's footer and drawer (AppControllerDrawer.cpp) ----
    //
    // The footer under the board: output device menu, MIDI and remote status, Stop All, the
    // lock-triggers and single-sound check boxes, and the thumb that opens and closes the
    // 179-high master output drawer at the window's bottom. The window's height follows its
    // width: the board area is a third of the width high.

    static constexpr float kDrawerHeight = 179;
    static constexpr float kDrawerSnap = 89.5f;
    static constexpr int kMinimumWindowWidth = 926;
    static constexpr float kFooterAllowance = 44;
    static inline const QString ShowingMasterOutputKey = QStringLiteral("isShowingMasterOutput");
    static inline const QString TriggersLockedKey = QStringLiteral("triggersLocked");
    static inline const QString SingleSoundModeKey = QStringLiteral("singleSoundMode");

    // The size a resize to proposed becomes: while launching the height stays; otherwise
    // width / 3 + the drawer (when shown) + 44; both rounded up.
    QSizeF windowWillResize(const QSizeF& proposed) const;
    static QSizeF ruledWindowSize(const QSizeF& proposed, bool showingDrawer);
    // The window's minimum size for the drawer's state; grows a smaller window to it
    // (top edge kept); with save, stores the drawer's state.
    void updateMasterOutputAndSave(bool save);
    void updateMasterOutput() { updateMasterOutputAndSave(true); }
    QSize minimumWindowSize() const;
    bool isShowingMasterOutput() const { return isShowingMasterOutput_; }
    void _setShowingMasterOutput(bool showing);
    // Drawer mode (while the thumb drags): the board keeps its height, the drawer takes the
    // change. Resize mode: the board takes it.
    void setAutoresizingMasksToDrawerMode();
    void setAutoresizingMasksToResizeMode();
    // Grows the window by offset (rounded up; shrinks for a negative one), its top edge kept.
    void resizeWindowVerticallyByOffset(float offset);
    // Where the drawer ends up and by how much the window changes for a thumb drag that
    // ended at offset (positive upward).
    struct ThumbFinish {
        bool showing;
        float resizeBy;
    };
    static ThumbFinish thumbFinish(bool showing, float offset);
    static float clampedThumbOffset(bool showing, float offset);

    // CKWindowVerticalResizerThumbDelegate
    void didStartDraggingThumb(CKWindowVerticalResizerThumb* thumb) override;
    float thumbShouldResizeToOffset(CKWindowVerticalResizerThumb* thumb, float dy) override;
    void thumbDidFinishDraggingToOffset(CKWindowVerticalResizerThumb* thumb, float offset) override;

    // The output menu: one item per output device (its uid as data), the stored or playing
    // device selected; without devices one disabled item. Changes nothing itself.
    void updateOutputDevicePopUpButton();
    // The user picked the menu's item: the output moves there and "PlaybackOutputDevice"
    // keeps its uid.
    void updateOutputDevice();
    // The device list changed: when the playing device went, everything pauses; the menu is
    // made again.
    void deviceListChanged();
    void updateMIDIClients();
    void updateRemoteStatus();
    void showRemoteStatus();
    void updateTriggersLockedTooltip();
    void updateSingleSoundModeTooltip();

    static QString midiStatusToolTip(unsigned devices);
    static QString remoteStatusTitle(qsizetype connected, qsizetype pending);
    static QString triggersLockedToolTip(bool locked);
    static QString singleSoundModeToolTip(bool on);

    CKMasterOutputViewController* masterOutputViewController() const { return masterOutputViewController_; }
    QComboBox* outputDevicePopUpButton() const { return outputDevicePopUpButton_; }
    QLabel* MIDIDevicesLabel() const { return MIDIDevicesLabel_; }
    QLabel* MIDIDevicesImage() const { return MIDIDevicesImage_; }
    QToolButton* remoteStatusLabel() const { return remoteStatusLabel_; }
    QLabel* remoteStatusImage() const { return remoteStatusImage_; }
    QCheckBox* lockTriggersCheckbox() const { return lockTriggersCheckbox_; }
    QCheckBox* singleSoundModeCheckbox() const { return singleSoundModeCheckbox_; }
    CKButton* stopAllButton() const { return stopAllButton_; }
    CKWindowVerticalResizerThumb* resizerThumb() const { return resizerThumb_; }

    // ---- CKPlaybackHost ----

    const CKSoundParent* selectedClipdeck() const override;
    bool isTogglingLooping() const override;
    bool isTogglingStopOnLift() const override;
    bool isTogglingRestartOnPress() const override;

protected:
    // The sound plays (or holds a place in the playback controller's list).
    virtual bool isSoundPlaying(const CKSoundSource& sound) const;

private:
    void hookUpMenu();
    // The export of copy (loaded from live's folder) to path: the sheet, then the thread.
    void exportBoard(const std::shared_ptr<CKClipdeck>& copy, const std::shared_ptr<CKClipdeck>& live,
                     const QString& path);
    // Runs fn on the main thread, while this controller lives (the export thread's hop).
    void onMainThread(std::function<void(AppController&)> fn);
    // Main thread, once the export thread has ended: joins it, then shows what came of it.
    void exportThreadDidEnd();
    void releaseZipImporter(CKZipUnarchiver* unarchiver);
    // The message naming boards not brought in because 64 exist.
    void reportPastLimit(const QStringList& names);
    void hookUpToolbar();
    // The boards of the boards folder (an unreadable folder ends the program).
    void loadClipdecks();
    void observeClipdeck(CKClipdeck* clipdeck);
    void postShowNotification(const QString& name, CKClipdeck* clipdeck);
    // Moves folder numbers as steps (from, to), in order; when one fails, undoes those done
    // and answers the error. A step whose folder does not exist (a board not saved yet) is
    // skipped.
    bool renumberFolders(const QList<std::pair<QString, QString>>& moves, Error* error);
    // Every board's number becomes its position.
    void updateClipdeckIndexes();
    // Makes the board at index the shown one, posting hide and show when it changes.
    void showClipdeck(qsizetype index);
    void dropQueuedEditorsOf(const CKClipdeck* clipdeck);
    void scheduleLoadNextEditor();
    // The footer's controls and the drawer, and their observers (during awakeFromNib()).
    void setUpFooterAndDrawer();
    bool eventFilter(QObject* watched, QEvent* event) override;
    // The alert of an error (logged once by presentError()), or its next try.
    void showError(const Error& error);
    void showMainWindow();

    bool awake_ = false;
    bool isLaunching_ = true;
    bool saidOutputDoesNotRun_ = false;
    qsizetype selectedClipdeckIndex_ = 0;
    // The list as the remote sees it (set up with the host).
    std::unique_ptr<CKClipdeckParent> remoteClipdeckParent_;
    QPointer<CKClipdeckWindow> mainWindow_;
    QPointer<CKClipdeckNameController> nameController_;
    QPointer<ZEPTextViewer> releaseNotesViewer_;
    ZEPPreferencesController* preferencesController_ = nullptr;
    bool addedRemoteAboutItem_ = false;
    CKPlaybackController* playbackController_ = nullptr;

    QList<std::shared_ptr<CKClipdeck>> clipdecks_;
    bool clipdecksUnloadable_ = false;
    // The board last announced as shown (the grid and the drawer follow the notifications).
    CKClipdeck* announcedClipdeck_ = nullptr;
    bool isResettingTabBar_ = false;
    QList<std::shared_ptr<CKSoundSource>> unloadedEditors_;
    bool isLoadingEditors_ = true;
    Timer loadEditorTimer_;
    Timer resetTabBarTimer_;
    // Footer and drawer.
    CKMasterOutputViewController* masterOutputViewController_ = nullptr;
    bool isShowingMasterOutput_ = true;
    bool applyingWindowRule_ = false;
    QComboBox* outputDevicePopUpButton_ = nullptr;
    QLabel* MIDIDevicesLabel_ = nullptr;
    QLabel* MIDIDevicesImage_ = nullptr;
    QToolButton* remoteStatusLabel_ = nullptr;
    QLabel* remoteStatusImage_ = nullptr;
    QCheckBox* lockTriggersCheckbox_ = nullptr;
    QCheckBox* singleSoundModeCheckbox_ = nullptr;
    CKButton* stopAllButton_ = nullptr;
    CKWindowVerticalResizerThumb* resizerThumb_ = nullptr;
    // Import and export.
    std::unique_ptr<CKExportController> exportController_;
    std::shared_ptr<CKClipdeck> exportingClipdeck_;
    std::weak_ptr<CKClipdeck> exportedLiveClipdeck_;
    std::thread exportThread_;
    // Written by the export thread before it ends; read after the join.
    std::atomic<bool> exportThreadEnded_{false};
    bool exportSucceeded_ = false;
    Error exportError_;
    // For the export thread's hops: made on the main thread before the thread starts.
    QPointer<AppController> exportGuard_;
    QEventLoop* exportEndLoop_ = nullptr;
    std::unique_ptr<CKZipUnarchiver> zipImporter_;
    // Archives unpacked while 64 boards existed (named when the unpacking ends).
    QStringList archivesPastLimit_;
};
