// The board's cells and its document: the next free cell, sounds coming and going with their
// notifications and remote announcements, the key grid, the document it writes and reads,
// and the save a second after the last change (on the injectable clock).
#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKClipdeckSync.h"
#include "clipdeck/CKSoundPasteboard.h"

#include "BoardTestSupport.h"
#include "platform/FoundationExtensions.h"
#include "platform/NotificationCenter.h"
#include "platform/TimeSource.h"
#include "platform/ZEPAppKitConstants.h"

#include <QFile>
#include <QMimeData>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <thread>

using namespace clipdeck::test;

namespace {

// A document sound on the board (its audio is not looked at).
std::shared_ptr<CKSoundCachedFileSource> documentSound(CKClipdeck& board, const QString& name)
{
    XMLElement element("sound");
    element.setAttribute("name", name);
    element.setAttribute("uuid", stringWithNewUUID());
    element.setAttribute("path", "Cache/" + name + ".m4a");
    return CKSoundCachedFileSource::initWithXMLElement(element, &board);
}

// Writes down the remote announcements.
class RecordingSync : public CKClipdeckSync {
public:
    RecordingSync() { install(this); }
    ~RecordingSync() override { install(nullptr); }
    void keyChangedInClipdeck(const QString& key, const QVariant& value, const QString&) override
    {
        calls << QStringLiteral("%1=%2").arg(key, value.toString());
    }
    void keyChangedInSound(const QString& key, const QVariant& value, const QString& soundUUID) override
    {
        soundCalls << QStringLiteral("%1=%2@%3").arg(key, value.toString(), soundUUID);
    }
    void addSound(const std::shared_ptr<CKSoundSource>&, std::size_t index, const QString&) override
    {
        calls << QStringLiteral("add %1").arg(qulonglong(index));
    }
    void soundDeleted(std::size_t index, const QString&) override { calls << QStringLiteral("delete %1").arg(qulonglong(index)); }
    void swapSoundIndex(std::size_t a, std::size_t b, const QString&) override
    {
        calls << QStringLiteral("swap %1 %2").arg(qulonglong(a)).arg(qulonglong(b));
    }
    QStringList calls;
    QStringList soundCalls;
};

QByteArray readContents(std::size_t index)
{
    QFile file(CKClipdeck::pathForBundleAtIndex(index) + "/Contents.xml");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

TEST(CKClipdeckCells, nextAvailableCellSearchesForwardAndWraps)
{
    const struct {
        const char* what;
        std::vector<std::size_t> taken;
        std::size_t from;
        std::size_t expected;
    } cases[] = {
        {"a free start cell", {}, 5, 5},
        {"taken cells are stepped over", {5, 6}, 5, 7},
        {"the search wraps to cell 0", {31}, 31, 0},
        {"from the last cell, cell 0 is free", {1, 2, 31}, 31, 0},
        {"an index outside the grid starts at 0", {0}, 40, 1},
        {"a full grid has none", {}, 3, CKClipdeck::kNotFound},
    };
    for (const auto& row : cases) {
        auto board = std::make_shared<CKClipdeck>();
        const bool full = row.expected == CKClipdeck::kNotFound;
        for (std::size_t cell = 0; cell < board->numberOfCells(); ++cell) {
            if (full || std::find(row.taken.begin(), row.taken.end(), cell) != row.taken.end())
                board->addSound(documentSound(*board, QStringLiteral("s%1").arg(cell)), cell, false);
        }
        EXPECT_EQ(board->nextAvailableCellFromIndex(row.from), row.expected) << row.what;
    }
}

TEST(CKClipdeckCells, aSoundAnnouncesItsMirroredPropertiesWithTheUuidTheMirrorKnows)
{
    auto board = std::make_shared<CKClipdeck>();
    const auto drum = documentSound(*board, "drum");
    const QString oldUuid = drum->uuid();
    RecordingSync sync;
    drum->setPlaybackVolume(0.5f);
    drum->setPlaybackVolume(0.5f); // no change: no announcement
    drum->setLoops(true);
    drum->setUuid(QStringLiteral("NEW-UUID"));
    drum->setName(QStringLiteral("kick"));
    EXPECT_EQ(sync.soundCalls, QStringList({"playbackVolume=0.5@" + oldUuid, "loops=true@" + oldUuid,
                                            "uuid=NEW-UUID@" + oldUuid, "name=kick@NEW-UUID"}));
}

TEST(CKClipdeckCells, soundsComeAndGoWithTheirNotificationsAndAnnouncements)
{
    RecordingSync sync;
    auto board = std::make_shared<CKClipdeck>();
    QStringList notes;
    NotificationCenter::defaultCenter().addObserver(&notes, {}, board.get(), [&notes](const Notification& note) {
        notes << QStringLiteral("%1 %2 %3")
                     .arg(note.name)
                     .arg(note.userInfo.value("index").toULongLong())
                     .arg(note.userInfo.value("sound").value<std::shared_ptr<CKSoundSource>>()->name());
    });

    const auto drum = documentSound(*board, "drum");
    const auto bell = documentSound(*board, "bell");
    board->addSound(drum, 3);
    board->addSound(bell, 40); // outside the grid: ignored
    board->addSound(bell, 9);
    EXPECT_EQ(drum->parentClipdeck(), board.get());
    EXPECT_EQ(drum->index(), 3u);
    EXPECT_EQ(board->numberOfSounds(), 2u);
    EXPECT_TRUE(board->needsSave());

    board->swapCellAtIndex(3, 9);
    EXPECT_EQ(board->soundAtIndex(9), drum);
    EXPECT_EQ(drum->index(), 9u);
    EXPECT_EQ(bell->index(), 3u);

    board->removeSoundAtIndex(9, false);
    EXPECT_EQ(drum->parentClipdeck(), nullptr);
    EXPECT_FALSE(board->soundExistsAtIndex(9));
    board->removeSoundAtIndex(9, false); // an empty cell: nothing

    EXPECT_EQ(notes, QStringList({"CKClipdeckSoundAddedNotification 3 drum", "CKClipdeckSoundAddedNotification 9 bell",
                                  "kCKClipdeckSoundRemovedNotification 9 drum"}));
    EXPECT_EQ(sync.calls, QStringList({"add 3", "add 9", "swap 3 9", "delete 9"}));
    NotificationCenter::defaultCenter().removeObserver(&notes);

    board->setName("Evening");
    EXPECT_EQ(sync.calls.last(), "name=Evening");
    board->setUuid("NEW");
    EXPECT_EQ(sync.calls.last(), "uuid=NEW");
}

TEST(CKClipdeckCells, removingAllSoundsEmptiesTheGridAndTheNextAddFillsItAgain)
{
    auto board = std::make_shared<CKClipdeck>();
    const auto sound = documentSound(*board, "drum");
    board->addSound(sound, 0, false);
    board->removeAllSounds();
    EXPECT_TRUE(board->sounds().empty());
    EXPECT_EQ(sound->parentClipdeck(), nullptr);
    board->addSound(sound, 4, false);
    EXPECT_EQ(board->sounds().size(), 32u);
    EXPECT_EQ(board->indexOfSound(sound.get()), 4u);
}

TEST(CKClipdeckCells, keysStandForTheCellsOfTheGridRowByRow)
{
    auto board = std::make_shared<CKClipdeck>();
    for (std::size_t cell : {0, 8, 31})
        board->addSound(documentSound(*board, QString::number(cell)), cell, false);
    EXPECT_EQ(board->soundForKey("1")->name(), "0");
    EXPECT_EQ(board->soundForKey("Q")->name(), "8");
    EXPECT_EQ(board->soundForKey(",")->name(), "31");
    EXPECT_EQ(board->soundForKey("w"), nullptr); // an empty cell
    EXPECT_EQ(board->soundForKey("9"), nullptr); // not a key of the grid
}

TEST(CKClipdeckDocument, isWrittenInItsFormatAndReadsBack)
{
    BoardsFolder folder;
    TestShell shell;
    auto board = std::make_shared<CKClipdeck>();
    shell.clipdecks << board;
    board->setUuid("B0A2D000-0000-4000-8000-000000000001");
    const auto sound = documentSound(*board, "drum");
    sound->setUuid("50000000-0000-4000-8000-000000000002");
    board->addSound(sound, 5, false);
    ASSERT_TRUE(board->save());

    const std::optional<XMLElement> root = XMLElement::fromXMLData(readContents(0));
    ASSERT_TRUE(root);
    // No name attribute for a board without a name.
    EXPECT_EQ(root->attributes(), (QList<QPair<QString, QString>>{{"uuid", "B0A2D000-0000-4000-8000-000000000001"},
                                                                   {"formatVersion", "2"}}));
    EXPECT_EQ(root->firstElementForName("rows")->stringValue(), "4");
    EXPECT_EQ(root->firstElementForName("columns")->stringValue(), "8");
    const XMLElement* sounds = root->firstElementForName("sounds");
    EXPECT_EQ(sounds->attribute("prerendered"), "false");
    ASSERT_EQ(sounds->children().size(), 1);
    const XMLElement& element = sounds->children().first();
    EXPECT_EQ(element.attribute("path"), "Cache/50000000-0000-4000-8000-000000000002-drum.m4a");
    EXPECT_EQ(element.attribute("type"), "cachedFileSound");
    EXPECT_EQ(element.attributes().last(), (QPair<QString, QString>{"index", "5"}));
    EXPECT_TRUE(QString::fromUtf8(readContents(0)).contains(QRegularExpression("\n +<rows>4</rows>\n")))
        << "pretty-printed";

    const std::shared_ptr<CKClipdeck> loaded = CKClipdeck::initByLoadingIndex(0);
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->uuid(), board->uuid());
    EXPECT_EQ(loaded->name(), "My Clipdeck"); // the shell's name for a board without one
    ASSERT_TRUE(loaded->soundExistsAtIndex(5));
    EXPECT_EQ(loaded->soundAtIndex(5)->uuid(), sound->uuid());
    EXPECT_EQ(static_cast<CKSoundCachedFileSource*>(loaded->soundAtIndex(5).get())->fileName(), "drum.m4a");
}

TEST(CKClipdeckDocument, aBoardNotInTheShellsListIsNotWritten)
{
    BoardsFolder folder;
    TestShell shell;
    auto board = std::make_shared<CKClipdeck>();
    EXPECT_FALSE(board->save());
    EXPECT_TRUE(folder.folderNames().isEmpty());
    // Its position in the list decides its folder.
    shell.clipdecks << std::make_shared<CKClipdeck>() << board;
    EXPECT_TRUE(board->save());
    EXPECT_EQ(board->boardIndex(), 1u);
    EXPECT_EQ(folder.folderNames(), QStringList({"1.clipdeck"}));
}

TEST(CKClipdeckSaving, threeChangesHalfASecondApartAreWrittenOnceASecondAfterTheLast)
{
    BoardsFolder folder;
    TestShell shell;
    ManualTimeSource clock;
    auto board = std::make_shared<CKClipdeck>();
    shell.clipdecks << board;
    const QString contents = CKClipdeck::pathForBundleAtIndex(0) + "/Contents.xml";

    board->setName("one");
    clock.advance(0.5);
    board->setName("two");
    clock.advance(0.5);
    board->setName("three");
    clock.advance(0.999);
    EXPECT_FALSE(QFile::exists(contents)) << "written before the second was over";
    EXPECT_TRUE(board->needsSave());
    clock.advance(0.002);
    ASSERT_TRUE(QFile::exists(contents));
    EXPECT_TRUE(readContents(0).contains("name=\"three\""));
    EXPECT_FALSE(board->needsSave());
    QFile::remove(contents);
    clock.advance(10);
    EXPECT_FALSE(QFile::exists(contents)) << "written twice";
}

TEST(CKClipdeckSaving, aChangeOnAnotherThreadIsSavedFromTheMainThread)
{
    BoardsFolder folder;
    TestShell shell;
    ManualTimeSource clock;
    auto board = std::make_shared<CKClipdeck>();
    shell.clipdecks << board;
    std::thread([&board] { board->setNeedsSave(); }).join();
    EXPECT_TRUE(board->needsSave());
    ASSERT_TRUE(waitUntil([&clock] { return clock.waitingTimers() == 1; }));
    clock.advance(1.0);
    EXPECT_TRUE(QFile::exists(CKClipdeck::pathForBundleAtIndex(0) + "/Contents.xml"));
}

TEST(CKClipdeckSaving, thePendingSaveIsWrittenAtOnceWhenTheProgramEnds)
{
    BoardsFolder folder;
    TestShell shell;
    ManualTimeSource clock;
    auto board = std::make_shared<CKClipdeck>();
    shell.clipdecks << board;
    board->setName("last words");
    NotificationCenter::defaultCenter().post(NSApplicationWillTerminateNotification);
    EXPECT_TRUE(readContents(0).contains("last words"));
    EXPECT_EQ(clock.waitingTimers(), 0);
}

TEST(CKSoundPasteboard, aSoundIsReferencedByItsBoardsPositionAndItsCell)
{
    TestShell shell;
    shell.clipdecks << std::make_shared<CKClipdeck>() << std::make_shared<CKClipdeck>();
    const auto board = shell.clipdecks[1];
    board->setBoardIndex(1);
    const auto sound = documentSound(*board, "drum");
    board->addSound(sound, 4, false);

    QMimeData data;
    CKSoundPasteboard::setSoundSource(data, *sound, "application/x-clipdeck-sound");
    EXPECT_EQ(data.data("application/x-clipdeck-sound"), "1 4");
    EXPECT_EQ(CKSoundPasteboard::soundSourceForType(data, "application/x-clipdeck-sound"), sound);

    for (const QByteArray& stale : {QByteArray("1 5"), QByteArray("7 4"), QByteArray("one four"), QByteArray("1")}) {
        data.setData("application/x-clipdeck-sound", stale);
        EXPECT_EQ(CKSoundPasteboard::soundSourceForType(data, "application/x-clipdeck-sound"), nullptr) << stale.constData();
    }
}
