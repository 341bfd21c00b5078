#pragma once
// Adds a batch of dropped or pasted files to one board: one file per turn of the main event
// loop (the interface stays responsive between files), each into the next free cell from a
// starting cell, as a new cached file sound that is not playable yet (its first load and
// conversion run in the background once the shell loads its feed). Files that cannot be
// taken (copy-protected, or not a sound the program plays) are reported at the end in one
// error: a single one as it is, several as one summary naming each file.
//
// Modes: 10 plain files; 12 sound files exported by the other product (Glassjar Studio), whose
// side property list "<name>.meta.plist" carries the sound's edit settings. Mode 11 (tracks
// of a music library) has no source on this system and is not valid.
//
// While it runs the importer holds its board, keeps the cache queue suspended and the shell's
// feed preloading off; at the end it lets the board save again (unless the board was deleted
// meanwhile: that ends the batch and the board is left alone), presents the errors through
// the shell and turns preloading back on. The cache queue stays suspended: the board view
// resumes it.
//
// Main thread only. The importer keeps itself alive until it finishes.

#include "platform/Error.h"

#include <QList>
#include <QPair>
#include <QStringList>

#include <cstddef>
#include <memory>

class CKClipdeck;

class CKSoundImporter : public std::enable_shared_from_this<CKSoundImporter> {
public:
    enum ImportMode { kFileImportMode = 10, kMusicLibraryImportMode = 11, kGlassjarStudioImportMode = 12 };

    static inline const QString ErrorDomain = QStringLiteral("CKSoundImporter");
    // One file: copy-protected; not a sound the program plays. Several: the summary.
    static constexpr qint64 kCopyProtectedError = 10666;
    static constexpr qint64 kCannotPlayError = 10667;
    static constexpr qint64 kSeveralFilesError = 888;
    // Posted on the main thread when a batch has ended (errors presented), object: the board
    // it imported into (null when that board was deleted meanwhile).
    static inline const QString DidFinishNotification = QStringLiteral("CKSoundImporterDidFinishNotification");

    // Starts importing the files at the cell (nothing for an invalid mode).
    static void importFiles(const QStringList& files, std::size_t index, const std::shared_ptr<CKClipdeck>& clipdeck,
                            int mode);
    static bool modeIsValid(int mode);
    // An importer that has not started; null for an invalid mode.
    static std::shared_ptr<CKSoundImporter> initWithFiles(const QStringList& files, std::size_t index,
                                                          const std::shared_ptr<CKClipdeck>& clipdeck, int mode);
    ~CKSoundImporter();

    const QStringList& files() const { return mFiles; }
    std::size_t index() const { return mIndex; }
    int importMode() const { return mImportMode; }
    const std::shared_ptr<CKClipdeck>& clipdeck() const { return mClipdeck; }

    // Lets go of the board (it is being deleted); the next step finishes the batch.
    void abort();
    // Runs processNextFile() on the next turn of the event loop.
    void scheduleProcessNextFile();
    // Imports the next file; schedules the one after it, or finishes.
    void processNextFile();
    void finishImport();

    bool importFromFile(const QString& path);
    bool importFromGlassjarStudio(const QString& path);

private:
    CKSoundImporter() = default;
    void recordError(const QString& path, qint64 code, const QString& failureReason);

    QStringList mFiles;
    std::size_t mIndex = 0;
    int mImportMode = kFileImportMode;
    std::shared_ptr<CKClipdeck> mClipdeck;
    qsizetype mIteratorIndex = 0;
    // The refused files and why, in the order they came.
    QList<QPair<QString, Error>> mErrorTable;
    // Held from the first step until the batch has finished.
    std::shared_ptr<CKSoundImporter> mSelf;
};
