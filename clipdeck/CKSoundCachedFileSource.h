#pragma once
// The board's sound: a CKSoundSource whose audio is a file copied into the "Cache" folder of
// its board (CKClipdeck). It names and keeps the cache file and its two side files, reads and
// writes its part of the "sound" element, builds and loads its feed, converts a file that is
// not already Apple Lossless or AAC in an MPEG-4 file to the lossless cache format (once,
// through the shared sound converter), renames cache files of older documents to uuid names,
// moves or copies itself with its files to another board, and reports load and import
// failures as errors the user may answer by removing the sound.
//
// Files, relative to the board folder (its uuid U, its file name "a:b.wav"):
//   cachePath()        "Cache/U-a-b.wav"  ("/" and ":" become "-"; "U-" is not repeated)
//   settingsPath()     the cache file + ".settings"  (editor settings, an XML property list)
//   sampleCachePath()  the cache file + ".samples"   (waveform overview of the editor sheet)
//   losslessCachePath() the cache file with the extension "m4a"; a conversion writes
//                      "Cache/U-a-b_export.m4a" first and renames it there when it succeeds.
// The element adds, after the common attributes: path (cachePath()), type
// ("cachedFileSound"), prerenderedPath (when set). A new sound writes no element until its
// first load (or conversion) has put its audio into the cache.
//
// Life of a sound made from a file: first load pending -> feed loaded from the source file ->
// not MPEG-4 lossless or AAC: conversion queued, importing -> converted into the cache (first
// load no longer pending) -> loaded from the cache. A sound read from a document loads its
// feed on first editor() request; only MPEG-4 files with Apple Lossless or AAC audio load, any
// other file is converted once.
//
// Errors (error(), with the options "Leave" and "Remove"): domain "CKSoundImport", code 0,
// "Sound could not be loaded" when no file opens; the export's code and "Could not import the
// sound" when a conversion fails (a cancelled conversion ends quietly). Moves and copies
// answer errors of domain "CKSoundCachedFileSource": code 100 for a cell outside the target
// grid, 101 for a target without a free cell (both before any file is touched), or the file
// system's error.
//
// Threads: main thread, except cacheIfNeeded() (any thread: the cache queue's worker runs it;
// what it does to the feed happens on the main thread) and the accessors of fileName() and
// prerenderedPath() (any thread, under the sound's lock). Conversions end on the main thread.
//
// Ownership: held by std::shared_ptr like every sound (make one with initWithPath() or
// initWithXMLElement()). The sound owns its feed and the feed being converted (the same
// object); its board and the export delegate are references it does not own.

#include "clipdeck/CKSoundSource.h"

#include "audio/editor/CKSoundConverter.h"
#include "audio/editor/ZEPAudioEditorExport.h"
#include "platform/TimeSource.h"
#include "platform/ZEPFileRef.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

class CKClipdeck;
class RAOperationQueue;

class CKSoundCachedFileSource : public CKSoundSource,
                                public CKLosslessConvertingSound,
                                public ZEPAudioEditorExportDelegate {
    Q_OBJECT
    Q_PROPERTY(bool importing READ isImporting)

public:
    static inline const QString ErrorDomain = QStringLiteral("CKSoundCachedFileSource");
    static constexpr qint64 kCellOutOfRangeError = 100;
    static constexpr qint64 kClipdeckFullError = 101;
    static inline const QString SoundType = QStringLiteral("cachedFileSound");

    // A sound read from a "sound" element of the board's document (a sound of a board copy
    // registers no triggers and renames no file).
    static std::shared_ptr<CKSoundCachedFileSource> initWithXMLElement(const XMLElement& element, CKClipdeck* clipdeck);
    // A new sound made from the file at path for the board; null when there is no file there.
    // Named after the file (without its extension), not yet in the cache, unbound.
    static std::shared_ptr<CKSoundCachedFileSource> initWithPath(const QString& path, CKClipdeck* clipdeck);
    // A sound of neither kind (for the two above).
    CKSoundCachedFileSource();
    ~CKSoundCachedFileSource() override;

    // ---- Shared objects (made on first use, never freed; main thread) ----

    // The cache queue, suspended when made (the shell resumes it after launching).
    static RAOperationQueue& cacheOperationQueue();
    static void startCacheOperationQueue();
    // The converter that runs the conversions to the lossless cache format.
    static CKSoundConverter& sharedSoundConverter();
    // False for a ".txt" file, a missing path, a MIDI file, a copy-protected file or one the
    // reader cannot open; a folder without extension counts as playable.
    static bool canPlayFileAtPath(const QString& path);

    // The board (null when the sound is on none).
    CKClipdeck* clipdeck() const;

    // ---- Files (CKSoundCachedFileSourceFiles.cpp) ----

    QString fileName() const;
    void setFileName(const QString& fileName);
    QString cachePath();
    QString fullCachePath();
    QString settingsPath();
    QString sampleCachePath();
    QString losslessCachePath();
    QString conversionOutputPath();
    // Relative to the board folder; empty when none.
    QString prerenderedPath() const;
    void setPrerenderedPath(const QString& path);
    QString fullPrerenderedPath();

    // The cached file (made from fullCachePath() on first request), the last conversion's
    // file, and the file the sound was made from.
    std::optional<ZEPFileRef> cacheFile();
    std::optional<ZEPFileRef> losslessCacheFile() const;
    std::optional<ZEPFileRef> sourceFile() const { return mSourceFileRef; }
    bool cachedFileExists();
    // A sound always finds its cache file the same: the cache queue gets nothing to do, and
    // the copy happens through cacheIfNeeded() calls (after a conversion, on a copy to
    // another board, from the editor sheet).
    bool cachedFileIsTheSame() const { return true; }
    bool cachedFileSizeIsTheSame();
    void addCacheOperation();
    bool isCaching() const { return mIsCaching.load(); }
    // The cached file when it exists, else the source file; empty when neither.
    QString anyValidPath();
    // Puts the audio into the board's cache: takes the converted file, or renames a file of an
    // older document to the uuid name, or copies the source there. File-system failures are
    // ignored. Any thread.
    void cacheIfNeeded();
    void cacheIfNeededForClipdeck(CKClipdeck* clipdeck);
    // The sound gets a new uuid and its cache file follows.
    void resetUUID() override;
    // Drops the triggers, ends a conversion, and moves the cache file and its side files to
    // the Trash.
    void deleteFile();

    // Moves (copies) the sound with its files to the first free cell of target from index on
    // (from cell 0); see the header note for the errors.
    bool moveToClipdeck(CKClipdeck* target, Error* error);
    bool moveToClipdeck(CKClipdeck* target, std::size_t index, Error* error);
    bool copyToClipdeck(CKClipdeck* target, Error* error);
    bool copyToClipdeck(CKClipdeck* target, std::size_t index, Error* error);

    // ---- Feed and settings (CKSoundCachedFileSource.cpp) ----

    // The feed, built (its file loading in the background) when missing; null when the sound
    // has an error.
    CKAudioFileEditor* editor() override;
    // "m:ss" of the audio file's duration, rounded to the second.
    QString formattedDuration();
    // "m:ss" of seconds: rounded first, then split (59.6 s reads "1:00", never "0:60").
    static QString formattedDuration(double seconds);
    // Writes the editor settings to settingsPath() (atomically).
    void saveEditorSettings();
    // The editor settings become what settingsPath() holds (nothing changes when it holds none).
    void readSettingsFile();
    // The editor settings changed: a playing sound takes them when it stops, another at once.
    void markSettingsDirty();
    void loadSettings();
    bool settingsDirty() const { return mSettingsDirty; }
    void didStop() override;
    std::optional<XMLElement> saveAndReturnXMLElement() override;
    bool firstLoadPending() const { return mFirstLoadPending; }
    bool isNewFile() const { return mIsNewFile; }

    // ---- Conversion to the lossless cache format (CKSoundCachedFileSourceImport.cpp) ----

    bool isImporting() const { return mIsImporting; }
    // A running conversion is cancelled (it ends quietly).
    void cancelImport();
    float importPercentComplete();
    double importTimeRemaining();
    bool pendingImport() const { return mPendingImport; }
    void setPendingImport(bool pending) { mPendingImport = pending; }
    // The file comes from the other product's export: the feed keeps its own sample rate.
    bool importingFromGlassjarStudio() const { return mImportingFromGlassjarStudio; }
    void setImportingFromGlassjarStudio(bool glassjar) { mImportingFromGlassjarStudio = glassjar; }
    ZEPAudioEditorExportDelegate* exportDelegate() const { return mExportDelegate; }
    void setExportDelegate(ZEPAudioEditorExportDelegate* delegate) override { mExportDelegate = delegate; }
    // Started by the sound converter: exports the feed's whole file losslessly.
    OSStatus convertToLossless(ZEPAudioFileEditor* editor) override;
    // The conversion's end.
    void exportDidEnd(ZEPAudioEditor* editor, SInt32 returnCode, const ZEPAudioFileWriterList& fileWriters) override;

protected:
    void editorFinishedLoading(CKAudioFileEditor* feed) override;

private:
    // The feed from the cached file (or the source, or the prerendered copy); false, with the
    // load error recorded, when none of them exists.
    bool buildEditor();
    // Renames the cache files of a document sound that had no uuid to the uuid name.
    void migrateToUUID();
    // Moves (or with copy, copies) the cache file and its side files into folder, the cache
    // file under newName; false with *error when a file fails (what was done is undone).
    bool transferFiles(const QString& folder, const QString& newName, bool copy, Error* error);
    void stopIfPlaying();
    bool checkTargetCell(CKClipdeck* target, std::size_t index, std::size_t* cell, Error* error) const;
    void adoptLoadedFeed(CKAudioFileEditor* feed);
    void finishConversion(ZEPAudioEditor* editor, const ZEPFileRef& written);
    // Off the main thread: posts the method there (without waiting) and answers true.
    bool postedToMainThread(void (CKSoundCachedFileSource::*method)());
    void importingDidStart();
    void importingDidEnd();
    void setImporting(bool importing);
    void setImportError(OSStatus code);
    void updateImportingLayer();

    std::optional<ZEPFileRef> mSourceFileRef;
    std::optional<ZEPFileRef> mCacheFileRef;
    QString mFileName;
    std::atomic<bool> mIsCaching{false};
    bool mSettingsDirty = false;
    std::optional<ZEPFileRef> mImportedFileRef;
    std::shared_ptr<CKAudioFileEditor> mImportingEditor;
    // Where the running conversion writes.
    QString mConversionOutputPath;
    bool mIsImporting = false;
    bool mFirstLoadPending = false;
    bool mIsNewFile = false;
    long mConvertAttempts = 0;
    bool mImportingFromGlassjarStudio = false;
    QString mPrerenderedPath;
    // The editor settings as the settings file holds them (last read or written).
    QVariantMap mStoredSettings;
    bool mPendingImport = false;
    ZEPAudioEditorExportDelegate* mExportDelegate = nullptr;
    // The file names and references, read and written from more than one thread.
    mutable std::recursive_mutex mPropertyLock;
    Timer mImportProgressTimer;
};
