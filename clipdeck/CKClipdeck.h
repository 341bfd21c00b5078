#pragma once
// One board ("clipdeck"): a grid of numberOfRows() x numberOfColumns() cells (4 x 8 for a new
// board), each empty or holding one sound, kept in a folder of its own. The class loads every
// board at launch, saves a board one second after its last change, keeps the cells and their
// sounds consistent, tells observers and the remote mirror of each change, trashes stray
// cache files, and moves, deletes and renumbers board folders.
//
// Folders (the boards folder is StandardPaths::applicationSupportFolder()):
//   <boards>/N.clipdeck/Contents.xml   the board document, N the board's position
//   <boards>/N.clipdeck/Cache/         per sound its audio "<uuid>-<file name>" and the side
//                                      files "<that>.settings" and "<that>.samples"
//   <boards>/Export/                   scratch space of an export
// "Contents.xml" is written atomically (a temporary file renamed over it, so a crash mid-save
// leaves the previous document):
//   <clipdeck uuid="..." formatVersion="2" name="...">      name only when not empty
//     <rows>4</rows><columns>8</columns>
//     <sounds prerendered="false"> <sound ... index="5"/> ... </sounds>   occupied cells, in order
//   </clipdeck>
// A document that does not parse, or lacks a positive row or column count, is a failed load:
// the board is not loaded, its folder is moved aside untouched (under a name that does not
// end in ".clipdeck") and the failure is reported.
//
// Cells: sounds() holds rows x columns entries in row-major order, null for an empty cell.
// removeAllSounds() empties it to zero entries; the next addSound() fills it up again.
//
// Notifications (posted on the main thread, object the board): "CKClipdeckSoundAddedNotification"
// and "kCKClipdeckSoundRemovedNotification" with the user info "index" (qulonglong) and
// "sound" (std::shared_ptr<CKSoundSource>); "CKClipdeckWillDeleteNotification" before the
// folder goes to the Trash. Observed keys (ObservableObject): "name", "uuid", "importing".
// Changes of name, uuid and cells are also announced to the remote mirror (CKClipdeckSync).
//
// Saving: setNeedsSave() (re)arms a one-second timer (platform/TimeSource.h) on the main
// thread; each further change within the second pushes the save back, so changes made
// together are written once. Writes of the board's own document happen on the main thread.
// The will-terminate notification writes a pending save at once.
//
// A copy (loadCopyOfIndex()) is a board read from a live folder for an export: it validates
// and migrates nothing there, never saves into it, and its sounds listen for no key, MIDI
// or system-exclusive trigger; saveToPath() writes it into another folder.
//
// Export (CKClipdeckExport.cpp): a copy is written as one archive ".ckzip" holding its folder
// ("N.clipdeck/..."), stored uncompressed: "Contents.xml" (with prerendered="true" and, per
// sound whose AAC copy was made, prerenderedPath="Prerendered/<file>"), "Cache/" with each
// sound's audio and settings file (no ".samples"), and "Prerendered/" with an AAC copy
// (44.1 kHz, stereo, 256 kbit/s) of each sound with its edits applied. The work happens in
// the boards folder's "Export" (one export at a time), the archive is written beside the
// target under a temporary name and then renamed; an existing target goes to the Trash only
// once the new archive is complete. Import (CKClipdeckImport.cpp) turns a board folder into a
// new board.
//
// Threads: main thread, except setNeedsSave() (any thread; hops to the main thread),
// saveToPath() of another folder and exportToPath() (the export's thread, for a copy).
//
// Ownership: boards are held by std::shared_ptr (the shell's list, an importer, an export).
// A board owns its sounds (shared with the playback controller while they play); each sound
// refers back to its board without owning it: the board sets that reference when a sound
// comes in and clears it when the sound leaves, when the board is deleted and when it goes.

#include "clipdeck/CKClipdeckExportDelegate.h"
#include "clipdeck/CKSoundParent.h"

#include "platform/Error.h"
#include "platform/ObservableObject.h"
#include "platform/TimeSource.h"
#include "platform/XMLElement.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <vector>

class CKSoundSource;
class CKSoundCachedFileSource;
class ZEPAudioFileEditor;
class ZEPZipper;

Q_DECLARE_METATYPE(std::shared_ptr<CKSoundSource>)

// Raised by loadAllClipdecks() when the boards folder cannot be made or listed; name
// "CKUnableToLoadClipdecks", reason "Error: <description>", the error attached.
class CKUnableToLoadClipdecksException : public std::runtime_error {
public:
    explicit CKUnableToLoadClipdecksException(Error error)
        : std::runtime_error(("Error: " + error.description()).toStdString()), mError(std::move(error))
    {
    }
    static const char* name() { return "CKUnableToLoadClipdecks"; }
    const Error& error() const { return mError; }

private:
    Error mError;
};

class CKClipdeck : public ObservableObject, public CKSoundParent, public std::enable_shared_from_this<CKClipdeck> {
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(QString uuid READ uuid WRITE setUuid)
    Q_PROPERTY(bool importing READ isImporting)

public:
    static constexpr std::size_t kDefaultRows = 4;
    static constexpr std::size_t kDefaultColumns = 8;
    // Delay of the save after the last change, seconds.
    static constexpr double kSaveDelay = 1.0;
    // The largest grid a document may describe; a bigger one is a damaged document.
    static constexpr std::size_t kMaximumCells = 65536;

    static inline const QString SoundAddedNotification = QStringLiteral("CKClipdeckSoundAddedNotification");
    static inline const QString SoundRemovedNotification = QStringLiteral("kCKClipdeckSoundRemovedNotification");
    static inline const QString WillDeleteNotification = QStringLiteral("CKClipdeckWillDeleteNotification");
    static inline const QString BundleExtension = QStringLiteral("clipdeck");
    static inline const QString ContentsFileName = QStringLiteral("Contents.xml");
    static inline const QString CacheFolderName = QStringLiteral("Cache");
    static inline const QString ExportFolderName = QStringLiteral("Export");
    // Failed loads: domain "CKClipdeck", description "Clipdeck could not be loaded".
    static inline const QString ErrorDomain = QStringLiteral("CKClipdeck");
    enum LoadErrorCode { DocumentDoesNotParse = 1, DocumentLacksGrid = 2 };

    // A new board: 4 rows, 8 columns, 32 empty cells, no name. Use std::make_shared.
    CKClipdeck();
    ~CKClipdeck() override;

    // ---- Folders and loading (CKClipdeckFolder.cpp) ----

    // The boards folder, and the folder of the board at a position ("N.clipdeck").
    static QString clipdecksFolder();
    static QString pathForBundleAtIndex(std::size_t index);
    // Loads every board of the boards folder (made when missing), in the numeric order of
    // the folder names ("10.clipdeck" after "9.clipdeck"), renumbering the folders to close
    // gaps; folders named otherwise ("tmp.clipdeck") come in after them as new boards. A
    // folder without "Contents.xml", or whose document is damaged, is skipped and moved aside
    // untouched; the damaged ones are reported in *failures. Every board loaded then gets
    // setNeedsSave(). Throws CKUnableToLoadClipdecksException when the folder cannot be made
    // or listed.
    static QList<std::shared_ptr<CKClipdeck>> loadAllClipdecks(QList<Error>* failures = nullptr);
    // The board of folder N: null when it has no "Contents.xml" or the document is damaged
    // (then *error says why). Cache files that belong to no sound go to the Trash.
    static std::shared_ptr<CKClipdeck> initByLoadingIndex(std::size_t index, Error* error = nullptr);
    // A copy of the board of folder N for an export (see the header note).
    static std::shared_ptr<CKClipdeck> loadCopyOfIndex(std::size_t index, Error* error = nullptr);

    // The board's folder; empty once deleted. Its "Cache" folder.
    QString path() const;
    QString cachedPath() const;

    // Writes the document into the folder of the board's position in the shell's list
    // (taking that position as boardIndex()); false when the board is not in the list.
    bool save();
    // Writes the document (and each sound's settings file) into folder, creating its "Cache";
    // false, needsSave() unchanged, while saving is disabled or when a write fails.
    bool saveToPath(const QString& folder);
    // Asks for a save kSaveDelay seconds from now (any thread).
    void setNeedsSave() override;
    bool needsSave() const { return mNeedsSave.load(); }
    // At the end of the program: a pending save is written now.
    void saveIfNeeded();

    // Moves the folder (a failure is ignored; answers whether the move happened).
    static bool moveFromPath(const QString& from, const QString& to);
    // Only while the board's number is from: moves its folder to the number to; the number
    // changes only when the folder moved. Answers whether it did.
    bool moveFromIndex(std::size_t from, std::size_t to);
    // Announces the deletion, moves the folder to the Trash, lets go of the sounds' parent
    // references and marks the board deleted.
    void deleteFile();
    bool isDeleted() const { return mIsDeleted; }

    // ---- Cells (CKClipdeck.cpp) ----

    const std::vector<std::shared_ptr<CKSoundSource>>& sounds() const { return mSounds; }
    std::size_t numberOfRows() const { return mNumberOfRows; }
    std::size_t numberOfColumns() const { return mNumberOfColumns; }
    std::size_t numberOfCells() const { return mNumberOfRows * mNumberOfColumns; }
    void setNumberOfRows(std::size_t rows) { mNumberOfRows = rows; }
    void setNumberOfColumns(std::size_t columns) { mNumberOfColumns = columns; }

    // Puts the sound into the cell (a null sound empties it; an index outside the grid is
    // ignored, but save still applies) and announces it; with save, setNeedsSave().
    void addSound(const std::shared_ptr<CKSoundSource>& sound, std::size_t index, bool save = true);
    // A new cached file sound made from the file, added with save, its feed load started.
    std::shared_ptr<CKSoundCachedFileSource> createSoundFromPath(const QString& path, std::size_t index);
    // Empties an occupied cell inside the grid: the sound leaves (its triggers dropped; with
    // deleteFiles its files go to the Trash), the board saves and announces it.
    void removeSoundAtIndex(std::size_t index, bool deleteFiles);
    void deleteSoundAtIndex(std::size_t index) override { removeSoundAtIndex(index, true); }
    // Every sound leaves (triggers and key dropped) and the cells are emptied to none; no
    // notification, no save.
    void removeAllSounds();
    // Exchanges two cells (both inside sounds()), gives the sounds their new indices, saves.
    void swapCellAtIndex(std::size_t index, std::size_t otherIndex);

    std::size_t indexOfSound(const CKSoundSource* sound) const override;
    std::size_t numberOfSounds() const;
    bool soundExistsAtIndex(std::size_t index) const;
    std::shared_ptr<CKSoundSource> soundAtIndex(std::size_t index) const;
    void playSoundAtIndex(std::size_t index);
    // The sound of the cell the key stands for in "12345678qwertyuiasdfghjkzxcvbnm,".
    std::shared_ptr<CKSoundSource> soundForKey(const QString& key) const;
    // The first empty cell from index on (from 0 when index is outside the grid), wrapping
    // around; kNotFound when every cell is taken.
    std::size_t nextAvailableCellFromIndex(std::size_t index) const;

    // Any sound imports.
    bool isImporting() const;
    void cancelAllImports();
    // Every sound gets a new uuid; its cache file follows.
    void updateUUIDs();

    // ---- Model ----

    QString name() const { return mName; }
    void setName(const QString& name);
    // Made (upper-case, without braces) on first read when none is set.
    QString uuid();
    void setUuid(const QString& uuid);
    std::size_t boardIndex() const { return mBoardIndex; }
    void setBoardIndex(std::size_t index) { mBoardIndex = index; }
    bool savingDisabled() const { return mDisableSaving.load(); }
    void setSavingDisabled(bool disabled) { mDisableSaving.store(disabled); }
    bool prerendered() const { return mPrerendered; }
    void setPrerendered(bool prerendered) { mPrerendered = prerendered; }
    bool isPreImporting() const { return mIsPreImporting; }
    void setIsPreImporting(bool preImporting) { mIsPreImporting = preImporting; }
    // Loaded by loadCopyOfIndex().
    bool isCopy() const { return mIsCopy; }

    // ---- Export and import (CKClipdeckExport.cpp, CKClipdeckImport.cpp) ----

    static inline const QString ArchiveExtension = QStringLiteral("ckzip");
    static inline const QString PrerenderedFolderName = QStringLiteral("Prerendered");
    // The most boards the program holds; an import beyond it is refused.
    static constexpr std::size_t kMaximumClipdecks = 64;
    // The error of an import whose folder could not be copied or moved in.
    static inline const QString CocoaErrorDomain = QStringLiteral("NSCocoaErrorDomain");
    static constexpr qint64 kImportFailedError = 17231;
    // Export failures (domain Error::OSStatusDomain), by the step that failed: the first and
    // second write of the copied document, making "Prerendered", copying a sound's audio,
    // its settings file, its earlier AAC copy. A failed zip answers the zipper's error, a
    // failed move of the archive to the target the file system's (domain POSIX).
    static constexpr OSStatus kExportFirstSaveError = OSStatus(0x21537632);       // '!Sv2'
    static constexpr OSStatus kExportCreateFolderError = OSStatus(0x21437274);    // '!Crt'
    static constexpr OSStatus kExportCopyAudioError = OSStatus(0x21437079);       // '!Cpy'
    static constexpr OSStatus kExportCopySettingsError = OSStatus(0x21536574);    // '!Set'
    static constexpr OSStatus kExportCopyPrerenderedError = OSStatus(0x21507265); // '!Pre'
    static constexpr OSStatus kExportSecondSaveError = OSStatus(0x21536176);      // '!Sav'

    // The encode settings of the AAC copies: MPEG-4 audio file, AAC 44.1 kHz stereo, 1024
    // frames per packet, 256000 bit/s, quality 96.
    static QVariantMap prerenderedEncodeSettings();

    // Main thread: writes the live board's pending save, then loads the copy an export works
    // on (null, *error set when its document is damaged, when the board has no folder).
    static std::shared_ptr<CKClipdeck> copyForExport(CKClipdeck& live, Error* error);
    // Exports this copy to the archive at path; blocks until done. Call it on a thread of the
    // caller's own, never the main thread, which must keep running its event loop meanwhile
    // (each sound's AAC copy is rendered there). The delegate hears the progress and exactly
    // one end on this thread. Answers true when the archive is at path; false on a cancel
    // (no error), or a failure (*error set, the delegate told the same error). Nothing is
    // left in the scratch folder, nor beside the target, and nothing of the live board is
    // changed or deleted.
    bool exportToPath(const QString& path, Error* error);
    // Any thread: sounds done over sounds to do, plus the share of the one rendering.
    float exportProgress() const;
    // Main thread: stops a running export; it ends as cancelled (no archive, no scratch folder).
    void cancelExport();
    bool exportShouldCancel() const { return mExportShouldCancel.load(); }
    std::size_t exportSoundIndex() const { return mExportSoundIndex.load(); }
    std::size_t exportSoundCount() const { return mExportSoundCount.load(); }
    CKClipdeckExportDelegate* exportDelegate() const { return mExportDelegate.load(); }
    void setExportDelegate(CKClipdeckExportDelegate* delegate) { mExportDelegate.store(delegate); }
    // Main thread, after a successful export of copy (of this board): the board counts as
    // prerendered and its sounds take the AAC copies' names, as the archive has them.
    void adoptExportResults(CKClipdeck& copy);

    // Main thread: the board folder at path becomes a new board in the shell's next folder
    // (pathForNewClipdeck()): copied (makeCopy) or moved there, its sounds given fresh uuids
    // (their cache files follow), named after the folder unless that name holds the board's
    // uuid, and written at once. Null when it is not imported: with *error set when the
    // folder could not be brought in (domain CocoaErrorDomain, kImportFailedError) or its
    // document is damaged; with no error when kMaximumClipdecks boards exist already (the
    // shell skips such paths without a message). A failure leaves no half-made board folder,
    // and a moved folder goes back where it was.
    static std::shared_ptr<CKClipdeck> importClipdeckAtPath(const QString& path, bool makeCopy, Error* error);
    // An archive's unpacked folder (in the temporary folder): moved in as above; whatever
    // happens, nothing of it is left in the temporary folder.
    static std::shared_ptr<CKClipdeck> importUnpackedArchiveAtPath(const QString& path, Error* error);

private:
    // Reads the document of the folder into this (fresh) board; false, with *error set for a
    // damaged document, when there is nothing to load.
    bool loadFromFolder(const QString& folder, Error* error);
    static std::shared_ptr<CKClipdeck> loadIndex(std::size_t index, bool asCopy, Error* error);
    XMLElement documentElement();
    // Moves every path below "Cache" holding ":" to its name with "-"; trashes what no sound
    // of the board expects.
    void validateSounds();
    void performSave();
    void cancelPerformSave();
    void addObservers();
    void removeObservers();
    void observeSound(CKSoundSource* sound);
    void stopObservingSound(CKSoundSource* sound);
    void soundImportingChanged(CKSoundSource* sound);
    void postCellNotification(const QString& name, std::size_t index, const std::shared_ptr<CKSoundSource>& sound);
    // Export steps (export thread).
    bool exportSound(CKSoundCachedFileSource& sound, const QString& copyFolder, OSStatus* failedStep);
    // Renders the AAC copy of source into folder on the main thread and waits for it; the
    // path written, relative to the copy folder ("Prerendered/..."), or empty.
    QString prerender(const QString& source, const QVariantMap& settings, const QString& folder);
    bool zipCopyFolder(const QString& copyFolder, const QString& archive, Error* error);
    bool endExport(bool finished, const QString& scratch, Error failure, Error* error);
    void tellExportDelegate(const std::function<void(CKClipdeckExportDelegate*)>& call);

    std::vector<std::shared_ptr<CKSoundSource>> mSounds;
    std::size_t mNumberOfRows = kDefaultRows;
    std::size_t mNumberOfColumns = kDefaultColumns;
    std::size_t mBoardIndex = 0;
    QString mName;
    std::atomic<bool> mDisableSaving{false};
    bool mIsDeleted = false;
    std::atomic<bool> mNeedsSave{false};
    QString mUuid;
    bool mPrerendered = false;
    bool mIsPreImporting = false;
    bool mIsCopy = false;
    bool mDidAddObservers = false;
    // Export state.
    std::atomic<std::size_t> mExportSoundIndex{0};
    std::atomic<std::size_t> mExportSoundCount{0};
    std::atomic<CKClipdeckExportDelegate*> mExportDelegate{nullptr};
    std::atomic<bool> mExportShouldCancel{false};
    std::atomic<float> mRenderProgress{0.0f};
    // The editor rendering the current AAC copy (main thread only).
    ZEPAudioFileEditor* mExportingEditor = nullptr;
    std::mutex mZipperLock;
    std::shared_ptr<ZEPZipper> mZipper;
    // isImporting() as last announced.
    bool mWasImporting = false;
    Timer mSaveTimer;
};
