// The cached file sound: its file names, its element, older documents' files taken over,
// which files it converts to the lossless cache format (and that it does so once), a
// conversion cancelled or cut short by the sound's deletion, moves and copies with its files,
// deletion, and a new uuid.
#include "clipdeck/CKSoundCachedFileSource.h"

#include "BoardTestSupport.h"
#include "audio/editor/CKAudioFileEditor.h"
#include "platform/PropertyList.h"
#include "platform/codecs/AudioFixtures.h"
#include "support/SettleEventLoop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace clipdeck::test;

namespace {

const QString kUuid = QStringLiteral("A0000000-0000-4000-8000-00000000000A");

std::shared_ptr<CKSoundCachedFileSource> elementSound(CKClipdeck* board, const QList<QPair<QString, QString>>& attributes)
{
    XMLElement element("sound");
    for (const auto& [name, value] : attributes)
        element.setAttribute(name, value);
    return CKSoundCachedFileSource::initWithXMLElement(element, board);
}

// A document sound of uuid kUuid whose cache file is "<kUuid>-<file>".
std::shared_ptr<CKSoundCachedFileSource> cachedSound(CKClipdeck* board, const QString& name, const QString& file)
{
    return elementSound(board, {{"name", name}, {"uuid", kUuid}, {"path", "Cache/" + kUuid + "-" + file}});
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList cacheFiles(const CKClipdeck& board)
{
    return QDir(board.cachedPath()).entryList(QDir::Files, QDir::Name);
}

// A board of the shell's list at position 0, saved once so its folder exists.
struct SavedBoard {
    SavedBoard()
    {
        board = std::make_shared<CKClipdeck>();
        shell.clipdecks << board;
        board->save();
    }
    BoardsFolder folder;
    TestShell shell;
    std::shared_ptr<CKClipdeck> board;
};

// Two boards of the shell's list, saved once.
struct TwoBoards {
    TwoBoards()
    {
        shell.clipdecks << from << to;
        from->save();
        to->save();
    }
    BoardsFolder folder;
    TestShell shell;
    std::shared_ptr<CKClipdeck> from = std::make_shared<CKClipdeck>();
    std::shared_ptr<CKClipdeck> to = std::make_shared<CKClipdeck>();
};

} // namespace

TEST(CKSoundCachedFileSourceNames, followTheUuidAndTheCleanedFileName)
{
    const struct {
        QString fileName;
        QString cachePath;
    } cases[] = {
        {"drum.aif", "Cache/" + kUuid + "-drum.aif"},
        {"a:b.wav", "Cache/" + kUuid + "-a-b.wav"},
        {"folder/b.wav", "Cache/" + kUuid + "-folder-b.wav"},
        {kUuid + "-drum.aif", "Cache/" + kUuid + "-drum.aif"},
        {"", "Cache/" + kUuid},
    };
    SavedBoard saved;
    for (const auto& row : cases) {
        const auto sound = elementSound(saved.board.get(), {{"name", "n"}, {"uuid", kUuid}, {"path", "Cache/x"}});
        sound->setFileName(row.fileName);
        EXPECT_EQ(sound->cachePath(), row.cachePath) << qPrintable(row.fileName);
        saved.board->addSound(sound, 0, false);
        const QString full = CKClipdeck::pathForBundleAtIndex(0) + "/" + row.cachePath;
        EXPECT_EQ(sound->fullCachePath(), full);
        EXPECT_EQ(sound->settingsPath(), full + ".settings");
        EXPECT_EQ(sound->sampleCachePath(), full + ".samples");
    }
    const auto sound = elementSound(saved.board.get(), {{"uuid", kUuid}, {"path", "Cache/" + kUuid + "-drum.aif"}});
    EXPECT_EQ(sound->losslessCachePath(), saved.board->cachedPath() + "/" + kUuid + "-drum.m4a");
    EXPECT_EQ(sound->conversionOutputPath(), saved.board->cachedPath() + "/" + kUuid + "-drum_export.m4a");
}

TEST(CKSoundCachedFileSourceElement, readsItsFileNameAndWritesItsAttributesAfterTheCommonOnes)
{
    SavedBoard saved;
    const auto drum = cachedSound(saved.board.get(), "Drum", "drum.aif");
    EXPECT_EQ(drum->fileName(), "drum.aif");
    EXPECT_EQ(drum->cachePath(), "Cache/" + kUuid + "-drum.aif");
    const auto bare = elementSound(saved.board.get(), {{"name", "Bare"}, {"uuid", kUuid}, {"path", "Cache/" + kUuid + "-"}});
    EXPECT_EQ(bare->fileName(), "Bare");

    drum->setPrerenderedPath("Prerendered/drum.m4a");
    const std::optional<XMLElement> element = drum->saveAndReturnXMLElement();
    ASSERT_TRUE(element);
    const auto attributes = element->attributes();
    ASSERT_GE(attributes.size(), 3);
    EXPECT_EQ(attributes.mid(attributes.size() - 3),
              (QList<QPair<QString, QString>>{{"path", "Cache/" + kUuid + "-drum.aif"},
                                              {"type", "cachedFileSound"},
                                              {"prerenderedPath", "Prerendered/drum.m4a"}}));

    // Settings go to the side file as the element is made.
    drum->setEditorSettings({{"Gain", 0.25}});
    drum->saveAndReturnXMLElement();
    EXPECT_EQ(PropertyList::readFromFile(drum->settingsPath())->toMap().value("Gain").toDouble(), 0.25);
    // Settings the file already holds are not written again (each write makes a new file).
    const auto fileIdentity = [&drum] {
        struct stat info {};
        ::stat(QFile::encodeName(drum->settingsPath()).constData(), &info);
        return info.st_ino;
    };
    const ino_t written = fileIdentity();
    drum->saveAndReturnXMLElement();
    EXPECT_EQ(fileIdentity(), written);
    drum->setEditorSettings({{"Gain", 0.5}});
    drum->saveAndReturnXMLElement();
    EXPECT_EQ(PropertyList::readFromFile(drum->settingsPath())->toMap().value("Gain").toDouble(), 0.5);

    // A sound whose audio is not in the cache yet has no element.
    TempFolder files;
    const auto fresh = CKSoundCachedFileSource::initWithPath(makeWAV(files, "fresh.wav"), saved.board.get());
    EXPECT_TRUE(fresh->firstLoadPending());
    EXPECT_EQ(fresh->name(), "fresh");
    EXPECT_FALSE(fresh->saveAndReturnXMLElement());
    EXPECT_FALSE(CKSoundCachedFileSource::initWithPath(files.file("missing.wav"), saved.board.get()));
}

TEST(CKSoundCachedFileSourceElement, filesOfOlderDocumentsTakeTheUuidName)
{
    BoardsFolder folder;
    // A sound without uuid whose file has its plain name, and one whose file carries an
    // older prefix of its own.
    folder.writeBoard(0, contentsXML("old", {"0|drum||Cache/drum.wav", "1|bell||Cache/bell.wav"}));
    const QString cache = CKClipdeck::pathForBundleAtIndex(0) + "/Cache/";
    BoardsFolder::touch(cache + "drum.wav", "drum");
    BoardsFolder::touch(cache + "drum.wav.settings", "settings");
    BoardsFolder::touch(cache + "drum.wav.samples", "samples");
    BoardsFolder::touch(cache + "OLD-bell.wav", "bell");

    const std::shared_ptr<CKClipdeck> board = CKClipdeck::initByLoadingIndex(0);
    ASSERT_TRUE(board);
    auto* drum = static_cast<CKSoundCachedFileSource*>(board->soundAtIndex(0).get());
    auto* bell = static_cast<CKSoundCachedFileSource*>(board->soundAtIndex(1).get());
    EXPECT_EQ(fileBytes(drum->fullCachePath()), "drum");
    EXPECT_EQ(fileBytes(drum->settingsPath()), "settings");
    EXPECT_EQ(fileBytes(drum->sampleCachePath()), "samples");
    EXPECT_EQ(fileBytes(bell->fullCachePath()), "bell");
    EXPECT_EQ(QFileInfo(drum->fullCachePath()).fileName(), drum->uuid() + "-drum.wav");
    // The older copy of the bell belongs to no sound now.
    EXPECT_EQ(trashedNames(), QStringList({"OLD-bell.wav"}));
}

TEST(CKSoundCachedFileSourceDuration, isRoundedBeforeItIsSplit)
{
    const struct {
        double seconds;
        const char* expected;
    } cases[] = {{0, "0:00"}, {9.4, "0:09"}, {9.6, "0:10"}, {59.4, "0:59"}, {59.6, "1:00"}, {61, "1:01"}, {600.2, "10:00"}};
    for (const auto& row : cases)
        EXPECT_EQ(CKSoundCachedFileSource::formattedDuration(row.seconds), row.expected) << row.seconds;
}

TEST(CKSoundCachedFileSourceFiles, canPlayOnlySoundFilesItCanOpen)
{
    TempFolder files;
    const QString wav = makeWAV(files, "tone.wav", 441);
    const QString text = files.file("notes.txt");
    QFile::copy(wav, text);
    const QString midi = files.file("song.mid");
    QFile::copy(wav, midi);
    const QString junk = files.file("junk.wav");
    BoardsFolder::touch(junk, "not a sound at all");
    const QString locked = makeSoundFile(files, "locked.m4a",
                                         {"-c:a", "aac", "-encryption_scheme", "cenc-aes-ctr", "-encryption_key",
                                          "76a6c65c5ea762046bd749a2e632ccbb", "-encryption_kid",
                                          "a7e61c373e219033c21091fa607bf3b8"},
                                         4410);
    QDir().mkpath(files.file("bundle"));
    const struct {
        QString path;
        bool playable;
    } cases[] = {{wav, true},   {text, false},   {midi, false},
                 {junk, false}, {locked, false}, {files.file("missing.wav"), false},
                 {files.file("bundle"), true}};
    for (const auto& row : cases)
        EXPECT_EQ(CKSoundCachedFileSource::canPlayFileAtPath(row.path), row.playable) << qPrintable(row.path);
}

TEST(CKSoundCachedFileSourceConversion, onlyFilesThatAreNotLosslessOrAACInMPEG4AreConvertedAndOnlyOnce)
{
    const struct {
        const char* what;
        QString fileName;
        QStringList codec;
        bool converted;
        const char* codecInCache;
    } cases[] = {
        {"WAVE", "tone.wav", {"-c:a", "pcm_s16le"}, true, "alac"},
        {"MP3", "tone.mp3", {"-c:a", "libmp3lame"}, true, "alac"},
        {"FLAC", "tone.flac", {"-c:a", "flac"}, true, "alac"},
        {"MP3 inside an MPEG-4 file", "mp3.mp4", {"-c:a", "libmp3lame"}, true, "alac"},
        {"Apple Lossless in M4A", "tone.m4a", {"-c:a", "alac"}, false, "alac"},
        {"AAC in M4A", "aac.m4a", {"-c:a", "aac"}, false, "aac"},
        {"Apple Lossless in MP4", "lossless.mp4", {"-c:a", "alac"}, false, "alac"},
    };
    for (const auto& row : cases) {
        SavedBoard saved;
        TempFolder files;
        const QString source = makeSoundFile(files, row.fileName, row.codec);
        const QByteArray sourceBytes = fileBytes(source);
        const auto sound = CKSoundCachedFileSource::initWithPath(source, saved.board.get());
        ConversionCounter conversions(sound);
        saved.board->addSound(sound, 3, false);
        ASSERT_TRUE(loadFeed(*sound)) << row.what;
        EXPECT_EQ(conversions.starts, row.converted ? 1 : 0) << row.what;

        // Converted files take the extension "m4a"; the others keep theirs.
        const QFileInfo info(row.fileName);
        const QString cacheName = sound->uuid() + "-" + info.completeBaseName() + "." + (row.converted ? "m4a" : info.suffix());
        EXPECT_EQ(cacheFiles(*saved.board), QStringList({cacheName})) << row.what;
        EXPECT_EQ(sound->fullCachePath(), saved.board->cachedPath() + "/" + cacheName);
        EXPECT_EQ(probeAudio(sound->fullCachePath()).codec, row.codecInCache) << row.what;
        if (!row.converted) {
            EXPECT_EQ(fileBytes(sound->fullCachePath()), sourceBytes) << row.what;
        }
        EXPECT_EQ(fileBytes(source), sourceBytes) << row.what << ": the source is left alone";
        EXPECT_FALSE(sound->firstLoadPending());
        EXPECT_TRUE(sound->isEditorLoaded());

        // Loaded again, it plays from its cache without converting.
        sound->unloadEditor();
        ASSERT_TRUE(loadFeed(*sound)) << row.what;
        EXPECT_EQ(conversions.starts, row.converted ? 1 : 0) << row.what;
        EXPECT_EQ(sound->editor()->audioFile()->path(), sound->fullCachePath());

        ASSERT_TRUE(saved.board->save());
        const std::shared_ptr<CKClipdeck> reloaded = CKClipdeck::initByLoadingIndex(0);
        ASSERT_TRUE(reloaded && reloaded->soundExistsAtIndex(3)) << row.what;
        EXPECT_EQ(static_cast<CKSoundCachedFileSource*>(reloaded->soundAtIndex(3).get())->cachePath(), sound->cachePath());
        EXPECT_TRUE(trashedNames().isEmpty()) << row.what;
    }
}

TEST(CKSoundCachedFileSourceConversion, aDocumentSoundWhoseCacheFileIsNotLosslessIsConvertedInPlace)
{
    SavedBoard saved;
    TempFolder files;
    const QString cached = saved.board->cachedPath() + "/" + kUuid + "-loop.wav";
    QFile::copy(makeWAV(files, "loop.wav"), cached);
    BoardsFolder::touch(cached + ".samples", "old overview");
    const auto sound = cachedSound(saved.board.get(), "loop", "loop.wav");
    sound->setEditorSettings({{"GraphSettings", QVariantList{}}, {"Kept", 1}});
    saved.board->addSound(sound, 0, false);
    ASSERT_TRUE(loadFeed(*sound));
    EXPECT_EQ(cacheFiles(*saved.board), QStringList({kUuid + "-loop.m4a", kUuid + "-loop.m4a.settings"}));
    EXPECT_EQ(sound->cachePath(), "Cache/" + kUuid + "-loop.m4a");
    EXPECT_FALSE(sound->editorSettings().contains("GraphSettings"));
    EXPECT_TRUE(sound->editorSettings().contains("Kept"));
}

TEST(CKSoundCachedFileSourceConversion, aCancelledConversionEndsQuietlyAndADeletedSoundEndsItsOwn)
{
    SavedBoard saved;
    TempFolder files;
    // Five minutes (at a low rate, so the file stays small): the conversion is still running
    // when the test acts on it.
    const QString source = files.file("long.wav");
    ASSERT_TRUE(makeFixture(source, "sine=frequency=440", 8000 * 300, 1, {"-c:a", "pcm_s16le"}, 8000));
    for (const bool deleteSound : {false, true}) {
        auto sound = CKSoundCachedFileSource::initWithPath(source, saved.board.get());
        saved.board->addSound(sound, 0, false);
        sound->editor();
        ASSERT_TRUE(waitUntil([&sound] { return sound->isImporting(); }, 60000));
        if (deleteSound) {
            saved.board->deleteSoundAtIndex(0);
            const std::weak_ptr<CKSoundSource> gone = sound;
            sound.reset();
            EXPECT_TRUE(gone.expired());
            EXPECT_TRUE(CKSoundCachedFileSource::sharedSoundConverter().currentConversions().isEmpty());
            EXPECT_TRUE(CKSoundCachedFileSource::sharedSoundConverter().soundsToBeConverted().isEmpty());
        } else {
            sound->cancelImport();
            ASSERT_TRUE(waitUntil([&sound] { return !sound->isImporting(); }, 60000));
            EXPECT_FALSE(sound->error());
            saved.board->removeSoundAtIndex(0, false);
        }
        settleEventLoop();
        EXPECT_TRUE(QDir(saved.board->cachedPath()).entryList(QDir::Files).filter("_export").isEmpty());
    }
}

TEST(CKSoundCachedFileSourceMoves, refuseACellOutsideTheTargetOrAFullTargetBeforeTouchingAFile)
{
    TwoBoards boards;
    const std::shared_ptr<CKClipdeck>& from = boards.from;
    const std::shared_ptr<CKClipdeck>& to = boards.to;
    const auto sound = cachedSound(from.get(), "drum", "drum.m4a");
    from->addSound(sound, 0, false);
    BoardsFolder::touch(sound->fullCachePath(), "drum");
    BoardsFolder::touch(sound->settingsPath(), "settings");
    const QStringList before = cacheFiles(*from);

    for (const bool copy : {false, true}) {
        Error error;
        EXPECT_FALSE(copy ? sound->copyToClipdeck(to.get(), 32, &error) : sound->moveToClipdeck(to.get(), 32, &error));
        EXPECT_EQ(error.domain, "CKSoundCachedFileSource");
        EXPECT_EQ(error.code, 100);
        EXPECT_EQ(error.localizedDescription, "Sound cannot be imported at 32");
    }
    for (std::size_t cell = 0; cell < to->numberOfCells(); ++cell)
        to->addSound(elementSound(to.get(), {{"name", "x"}, {"path", "Cache/x"}}), cell, false);
    for (const bool copy : {false, true}) {
        Error error;
        EXPECT_FALSE(copy ? sound->copyToClipdeck(to.get(), &error) : sound->moveToClipdeck(to.get(), &error));
        EXPECT_EQ(error.code, 101);
    }
    EXPECT_EQ(cacheFiles(*from), before);
    EXPECT_TRUE(cacheFiles(*to).isEmpty());
    EXPECT_EQ(from->soundAtIndex(0), sound);
}

TEST(CKSoundCachedFileSourceMoves, aMovedSoundTakesItsFilesAndACopyGetsFilesOfItsOwn)
{
    TwoBoards boards;
    const std::shared_ptr<CKClipdeck>& from = boards.from;
    const std::shared_ptr<CKClipdeck>& to = boards.to;
    TempFolder files;
    const auto sound = from->createSoundFromPath(makeAppleLossless(files, "drum.m4a"), 0);
    ASSERT_TRUE(loadFeed(*sound));
    sound->setLoops(true);
    sound->setPlaybackVolume(0.5f);
    sound->setEditorSettings({{"Kept", 7}});
    BoardsFolder::touch(sound->sampleCachePath(), "overview");
    sound->saveEditorSettings();
    const QByteArray audio = fileBytes(sound->fullCachePath());

    Error error;
    ASSERT_TRUE(sound->copyToClipdeck(to.get(), 4, &error)) << qPrintable(error.description());
    const auto copy = std::dynamic_pointer_cast<CKSoundCachedFileSource>(to->soundAtIndex(4));
    ASSERT_TRUE(copy);
    EXPECT_NE(copy->uuid(), sound->uuid());
    EXPECT_EQ(cacheFiles(*to), QStringList({copy->uuid() + "-drum.m4a", copy->uuid() + "-drum.m4a.samples",
                                            copy->uuid() + "-drum.m4a.settings"}));
    EXPECT_EQ(fileBytes(copy->fullCachePath()), audio);
    EXPECT_TRUE(copy->loops());
    EXPECT_FLOAT_EQ(copy->playbackVolume(), 0.5f);
    EXPECT_EQ(copy->editorSettings().value("Kept").toInt(), 7);
    EXPECT_EQ(from->soundAtIndex(0), sound) << "the source stays";
    // The copy's audio is in the cache: it is in the target's document at once.
    ASSERT_TRUE(to->save());
    EXPECT_TRUE(fileBytes(to->path() + "/Contents.xml").contains(copy->uuid().toUtf8()));
    ASSERT_TRUE(loadFeed(*copy));

    const QString uuid = sound->uuid();
    ASSERT_TRUE(sound->moveToClipdeck(to.get(), 4, &error)) << qPrintable(error.description());
    EXPECT_EQ(to->soundAtIndex(5), sound) << "the next free cell from 4";
    EXPECT_FALSE(from->soundExistsAtIndex(0));
    EXPECT_EQ(sound->parentClipdeck(), to.get());
    EXPECT_TRUE(cacheFiles(*from).isEmpty());
    EXPECT_TRUE(cacheFiles(*to).contains(uuid + "-drum.m4a.settings"));
    EXPECT_EQ(fileBytes(sound->fullCachePath()), audio);
    EXPECT_TRUE(from->needsSave() && to->needsSave());
    ASSERT_TRUE(loadFeed(*sound));
    EXPECT_EQ(sound->editor()->audioFile()->path(), sound->fullCachePath());
}

TEST(CKSoundCachedFileSourceFiles, aDeletedSoundsFilesGoToTheTrashAndANewUuidTakesTheCacheFileAlong)
{
    SavedBoard saved;
    const auto sound = cachedSound(saved.board.get(), "drum", "drum.m4a");
    saved.board->addSound(sound, 0, false);
    BoardsFolder::touch(sound->fullCachePath(), "drum");
    saved.board->updateUUIDs();
    EXPECT_NE(sound->uuid(), kUuid);
    EXPECT_EQ(cacheFiles(*saved.board), QStringList({sound->uuid() + "-drum.m4a"}));

    BoardsFolder::touch(sound->settingsPath(), "settings");
    BoardsFolder::touch(sound->sampleCachePath(), "samples");
    saved.board->deleteSoundAtIndex(0);
    EXPECT_TRUE(cacheFiles(*saved.board).isEmpty());
    EXPECT_EQ(trashedNames().size(), 3);
}
