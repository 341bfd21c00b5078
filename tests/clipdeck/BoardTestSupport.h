#pragma once
// Test support of boards on disk: a shell that owns the list of boards and records what it
// is asked to show, board folders written by hand, the Trash of the test's home, sound files
// of several kinds made at test time, and waiting for a sound's feed to load or convert.

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKClipdeckHost.h"
#include "clipdeck/CKSoundCachedFileSource.h"

#include "support/QStringPrinter.h"
#include "support/TestEnvironment.h"

#include <QList>
#include <QStringList>

#include <memory>
#include <ostream>
#include <vector>


namespace clipdeck::test {

// The shell: its list of boards gives each board's position; errors, beeps and the
// preloading switch are written down. Installs itself for its lifetime.
class TestShell : public CKClipdeckHost {
public:
    TestShell() { CKClipdeckHost::install(this); }
    ~TestShell() override { CKClipdeckHost::install(nullptr); }

    std::size_t indexOfClipdeck(const CKClipdeck* clipdeck) const override;
    std::shared_ptr<CKClipdeck> clipdeckAtIndex(std::size_t index) const override;
    QString nameForNewClipdeck() const override { return QStringLiteral("My Clipdeck"); }
    QString pathForNewClipdeck() const override { return CKClipdeck::pathForBundleAtIndex(std::size_t(clipdecks.size())); }
    void setLoadingEditors(bool loading) override { loadingEditors << loading; }
    void presentError(const Error& error) override { errors.push_back(error); }
    void beep() override { ++beeps; }

    QList<std::shared_ptr<CKClipdeck>> clipdecks;
    std::vector<Error> errors;
    QList<bool> loadingEditors;
    int beeps = 0;
};

// The boards folder of the test's home, emptied (and the Trash with it) by the constructor
// and the destructor, so each test starts with no board.
class BoardsFolder {
public:
    BoardsFolder();
    ~BoardsFolder();
    // Writes "Contents.xml" of folder N (made with its "Cache") and answers the folder.
    QString writeBoard(std::size_t index, const QByteArray& contents) const;
    QString writeBoardNamed(const QString& folderName, const QByteArray& contents) const;
    // Writes a file (any content) at the path below a board folder.
    static void touch(const QString& path, const QByteArray& contents = "audio");
    // The names of the folders in the boards folder, sorted.
    QStringList folderNames() const;
};

// A "Contents.xml" of rows x columns holding the sound elements given (each "index|name|uuid|path").
QByteArray contentsXML(const QString& name, const QStringList& sounds, int rows = 4, int columns = 8);

// The names of the files in the freedesktop Trash of the test's home, and what it keeps of each.
QStringList trashedNames();

// Sound files made with the ffmpeg tool: a stereo tone of `frames` frames encoded with the
// codec arguments given, written as name into folder.
QString makeSoundFile(const TempFolder& folder, const QString& name, const QStringList& codecArguments,
                      qint64 frames = 22050);
QString makeWAV(const TempFolder& folder, const QString& name, qint64 frames = 22050);
QString makeMP3(const TempFolder& folder, const QString& name, qint64 frames = 22050);
QString makeAppleLossless(const TempFolder& folder, const QString& name, qint64 frames = 22050);
QString makeAAC(const TempFolder& folder, const QString& name, qint64 frames = 22050);

// Asks for the sound's feed and waits until it has loaded from its cache (converting first
// when it must); false on time-out or an error.
bool loadFeed(CKSoundCachedFileSource& sound, int timeoutMs = 60000);

// Counts the conversions the sounds start (their "importing" going on), for as long as it lives.
class ConversionCounter {
public:
    explicit ConversionCounter(const std::shared_ptr<CKSoundSource>& sound);
    int starts = 0;

private:
    QObject mContext;
};

} // namespace clipdeck::test
