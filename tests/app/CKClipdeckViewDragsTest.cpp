// Drags and drops on the grid of the running program, with real board folders and sound
// files: a sound dragged to another cell (swap, Alt copies), over a tab and then onto a cell
// of that board (move), out of every window (deleted to the Trash, not on Escape, and only
// the dragged sound after a tab switch); files, folders, damaged files, links and forged
// sound references dropped on a cell; a drop that fails told in an alert.
#include "app/CKClipdeckButtonLayer.h"
#include "app/CKClipdeckView.h"
#include "app/CKTabBarLayer.h"

#include "clipdeck/CKSoundCachedFileSource.h"
#include "clipdeck/RAOperationQueue.h"

#include "platform/TimeSource.h"

#include "../clipdeck/BoardTestSupport.h"
#include "AppTestSupport.h"
#include "DragTestSupport.h"
#include "ShellFixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <map>
#include <optional>

using namespace clipdeck::test;

namespace {

const QString kKick = QStringLiteral("A0000000-0000-4000-8000-00000000000A");
const QString kSnare = QStringLiteral("B0000000-0000-4000-8000-00000000000B");
const QString kPad = QStringLiteral("C0000000-0000-4000-8000-00000000000C");

// Far from every window of the program.
const QPoint kNowhere(-4000, -4000);

// The sounds a board folder's document lists, as "index name", by index.
QStringList soundsInDocument(std::size_t board)
{
    QFile file(CKClipdeck::pathForBundleAtIndex(board) + "/Contents.xml");
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("?")};
    static const QRegularExpression element(QStringLiteral(R"re(<sound\b[^>]*>)re"));
    static const QRegularExpression name(QStringLiteral(R"re(\sname="([^"]*)")re"));
    static const QRegularExpression index(QStringLiteral(R"re(\sindex="(\d+)")re"));
    std::map<int, QString> byIndex;
    const QString text = QString::fromUtf8(file.readAll());
    for (const QRegularExpressionMatch& match : element.globalMatch(text)) {
        const QString sound = match.captured(0);
        byIndex[index.match(sound).captured(1).toInt()] = name.match(sound).captured(1);
    }
    QStringList sounds;
    for (const auto& [at, soundName] : byIndex)
        sounds << QStringLiteral("%1 %2").arg(at).arg(soundName);
    return sounds;
}

QStringList cacheFiles(std::size_t board)
{
    return QDir(CKClipdeck::pathForBundleAtIndex(board) + "/Cache").entryList(QDir::Files, QDir::Name);
}

// The file in a board's cache of the sound in a cell.
QString cachePathAt(const std::shared_ptr<CKClipdeck>& board, std::size_t cell)
{
    auto* sound = dynamic_cast<CKSoundCachedFileSource*>(board->soundAtIndex(cell).get());
    return sound ? sound->fullCachePath() : QString();
}

// The Trash holds the kick's cache file (a WAV, or the file it was converted to by then), and
// nothing else.
bool onlyTheKickIsTrashed()
{
    const QStringList trashed = trashedNames();
    return !trashed.isEmpty() && trashed.filter(kKick + "-kick.").size() == trashed.size();
}

QString nameAt(const std::shared_ptr<CKClipdeck>& board, std::size_t cell)
{
    const std::shared_ptr<CKSoundSource> sound = board ? board->soundAtIndex(cell) : nullptr;
    return sound ? sound->name() : QString();
}

class GridDrags : public Shell {
protected:
    // Board 0, "Act 1": kick in cell 0, snare in 1. Board 1, "Act 2" (rows x columns): pad in 0.
    // The program's timers then run on the test's clock, unless told to keep the real one.
    void start(int rowsOfSecond = 4, int columnsOfSecond = 8, bool testClock = true)
    {
        writeBoardWithSounds(0, "Act 1", {{0, "kick", kKick}, {1, "snare", kSnare}});
        writeBoardWithSounds(1, "Act 2", {{0, "pad", kPad}}, rowsOfSecond, columnsOfSecond);
        awake();
        launch();
        view = window->clipdeckView();
        ASSERT_TRUE(waitUntil([this] { return view->clipdeck() == controller->clipdeckAtIndex(0); }));
        if (testClock)
            clock.emplace();
    }
    struct Sound {
        int cell;
        QString name, uuid;
    };
    void writeBoardWithSounds(std::size_t index, const QString& name, const QList<Sound>& sounds, int rows = 4,
                              int columns = 8)
    {
        QStringList elements;
        for (const Sound& sound : sounds)
            elements << QStringLiteral("%1|%2|%3|Cache/%3-%2.wav").arg(sound.cell).arg(sound.name, sound.uuid);
        const QString folderPath = folder.writeBoard(index, contentsXML(name, elements, rows, columns));
        for (const Sound& sound : sounds)
            ASSERT_TRUE(QFile::copy(makeWAV(files, sound.name + ".wav"),
                                    folderPath + QStringLiteral("/Cache/%1-%2.wav").arg(sound.uuid, sound.name)));
    }
    std::shared_ptr<CKClipdeck> board(std::size_t index) const { return controller->clipdeckAtIndex(index); }
    QPoint tab(qsizetype position) const
    {
        return bar()->convertPointToQt(QPointF(bar()->rectOfTabAtIndex(position).center().x(), 10)).toPoint();
    }
    // The drag held over a tab until the tab shows its board.
    void holdOverTab(DragSession& session, qsizetype position)
    {
        session.moveTo(bar(), tab(position));
        for (unsigned step = 0; step < CKTabBarLayer::kDragStepsToSelect; ++step)
            clock->advance(CKTabBarView::kDragUpdateInterval);
        clock->advance(0.2); // the grid shows the board selected a moment later
    }
    // Lets the boards' delayed saves and the swap animations run.
    void settle() { clock->advance(CKClipdeck::kSaveDelay + 1); }

    BoardsFolder folder;
    TempFolder files;
    CKClipdeckView* view = nullptr;
    std::optional<ManualTimeSource> clock;
};

TEST_F(GridDrags, ASoundDroppedOnAnotherCellSwapsIntoTheDocumentAndWithAltIsCopied)
{
    start();
    std::size_t target = 6;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    ScriptedDragLoop loop([&](DragSession& session) { return session.dropOn(view, view->centerOfCell(target), modifiers); });

    pressAndDragCell(view, 0);
    EXPECT_EQ(loop.data, QByteArray("0 0"));
    EXPECT_TRUE(view->isSwapping());
    settle();
    EXPECT_FALSE(view->isSwapping());
    EXPECT_EQ(nameAt(board(0), 6), "kick");
    EXPECT_EQ(view->buttonLayerAtIndex(6)->soundSource(), board(0)->soundAtIndex(6));
    EXPECT_TRUE(waitUntil([] { return soundsInDocument(0) == QStringList({"1 snare", "6 kick"}); }))
        << soundsInDocument(0).join(", ").toStdString();

    target = 7;
    modifiers = Qt::AltModifier;
    pressAndDragCell(view, 6, modifiers);
    settle();
    EXPECT_EQ(nameAt(board(0), 6), "kick");
    EXPECT_EQ(nameAt(board(0), 7), "kick");
    EXPECT_NE(board(0)->soundAtIndex(7), board(0)->soundAtIndex(6));
    EXPECT_TRUE(waitUntil([] { return soundsInDocument(0) == QStringList({"1 snare", "6 kick", "7 kick"}); }))
        << soundsInDocument(0).join(", ").toStdString();
    // The copy has a file of its own.
    const QString original = cachePathAt(board(0), 6), copy = cachePathAt(board(0), 7);
    EXPECT_NE(original, copy);
    EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(original) && QFileInfo::exists(copy); }));
    EXPECT_EQ(loop.drags, 2);
    EXPECT_TRUE(trashedNames().isEmpty());
}

TEST_F(GridDrags, ASoundHeldOverATabIsMovedToTheCellOfThatBoardWhereItIsDropped)
{
    start();
    std::shared_ptr<CKClipdeck> shownWhileHeld;
    ScriptedDragLoop loop([&](DragSession& session) {
        holdOverTab(session, 1);
        shownWhileHeld = view->clipdeck();
        return session.dropOn(view, view->centerOfCell(5));
    });
    const std::shared_ptr<CKSoundSource> kick = board(0)->soundAtIndex(0);
    pressAndDragCell(view, 0);
    EXPECT_EQ(shownWhileHeld, board(1));
    EXPECT_EQ(controller->selectedClipdeckName(), "Act 2");
    EXPECT_EQ(board(1)->soundAtIndex(5), kick);
    EXPECT_EQ(board(0)->soundAtIndex(0), nullptr);
    EXPECT_EQ(nameAt(board(1), 0), "pad");
    settle();
    EXPECT_TRUE(waitUntil([] {
        return soundsInDocument(0) == QStringList{"1 snare"} && soundsInDocument(1) == QStringList({"0 pad", "5 kick"});
    })) << soundsInDocument(0).join(", ").toStdString() << " / " << soundsInDocument(1).join(", ").toStdString();
    // Its file went with it.
    EXPECT_TRUE(waitUntil([] { return cacheFiles(0).filter(kKick).isEmpty(); }, 20000)) << cacheFiles(0).join(", ").toStdString();
    const QString moved = cachePathAt(board(1), 5);
    EXPECT_TRUE(moved.startsWith(board(1)->cachedPath() + "/" + kKick)) << moved.toStdString();
    EXPECT_TRUE(waitUntil([&] { return QFileInfo::exists(moved); }));
    EXPECT_TRUE(trashedNames().isEmpty());
}

TEST_F(GridDrags, ASoundReleasedOutsideEveryWindowGoesToTheTrashButEscapeKeepsIt)
{
    start();
    bool escape = true;
    ScriptedDragLoop loop([&](DragSession& session) {
        session.moveTo(view, view->centerOfCell(12));
        return escape ? session.escapeAt(kNowhere, window) : session.releaseAt(kNowhere);
    });
    pressAndDragCell(view, 0);
    settle();
    EXPECT_EQ(nameAt(board(0), 0), "kick");
    EXPECT_TRUE(trashedNames().isEmpty());

    escape = false;
    pressAndDragCell(view, 0);
    EXPECT_EQ(board(0)->soundAtIndex(0), nullptr);
    EXPECT_EQ(view->buttonLayerAtIndex(0)->soundSource(), nullptr);
    EXPECT_EQ(nameAt(board(0), 1), "snare");
    settle();
    EXPECT_TRUE(waitUntil([] { return onlyTheKickIsTrashed(); })) << trashedNames().join(", ").toStdString();
    EXPECT_TRUE(waitUntil([] { return soundsInDocument(0) == QStringList{"1 snare"}; }));
}

TEST_F(GridDrags, AfterATabSwitchMidDragOnlyTheDraggedSoundIsDeleted)
{
    start();
    ScriptedDragLoop loop([&](DragSession& session) {
        holdOverTab(session, 1);
        return session.releaseAt(kNowhere);
    });
    pressAndDragCell(view, 0);
    ASSERT_EQ(view->clipdeck(), board(1));
    EXPECT_EQ(board(0)->soundAtIndex(0), nullptr);
    EXPECT_EQ(nameAt(board(0), 1), "snare");
    // The cell of the same index on the board shown now keeps its sound.
    EXPECT_EQ(nameAt(board(1), 0), "pad");
    EXPECT_EQ(view->buttonLayerAtIndex(0)->soundSource(), board(1)->soundAtIndex(0));
    settle();
    EXPECT_TRUE(waitUntil([] { return onlyTheKickIsTrashed(); })) << trashedNames().join(", ").toStdString();
    EXPECT_EQ(soundsInDocument(1), QStringList{"0 pad"});
}

TEST_F(GridDrags, AMoveThatFailsIsToldInAnAlertAndTheSoundStays)
{
    start(1, 1); // "Act 2" is full
    ScriptedDragLoop loop([&](DragSession& session) {
        holdOverTab(session, 1);
        return session.dropOn(view, view->centerOfCell(0));
    });
    pressAndDragCell(view, 0);
    CKAlert* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "The clipdeck is full");
    EXPECT_EQ(alert->informativeText(), "There is no free cell on the clipdeck \u201cAct 2\u201d.");
    alert->pressButtonWithReturnCode(CKAlert::FirstButtonReturn);
    // The drop was taken (and refused): the sound is not deleted as if dropped nowhere.
    EXPECT_EQ(nameAt(board(0), 0), "kick");
    EXPECT_EQ(nameAt(board(1), 0), "pad");
    EXPECT_TRUE(trashedNames().isEmpty());
}

// ---- Drops from elsewhere ----

class GridDrops : public GridDrags {
protected:
    // Drops data on a cell of the grid as a file manager would; true when the grid took it.
    bool drop(const QMimeData& data, std::size_t cell)
    {
        DragSession session(&data);
        return session.dropOn(view, view->centerOfCell(cell)) != Qt::IgnoreAction;
    }
    static std::unique_ptr<QMimeData> filesData(const QStringList& paths)
    {
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        auto data = std::make_unique<QMimeData>();
        data->setUrls(urls);
        return data;
    }
    // Waits for the import of a drop to end: the cache queue goes on then.
    bool importEnded()
    {
        return waitUntil([] { return !CKSoundCachedFileSource::cacheOperationQueue().isSuspended(); }, 30000);
    }
};

TEST_F(GridDrops, AFolderOfSoundsFillsCellsFromTheDropAndItsSoundsAreCached)
{
    start(4, 8, false);
    ASSERT_TRUE(QDir().mkpath(files.file("set/inner")));
    makeWAV(files, "set/a.wav");
    makeWAV(files, "set/c.wav");
    makeWAV(files, "set/inner/b.wav");
    ASSERT_TRUE(drop(*filesData({files.file("set")}), 1)); // on the snare: the next free cells
    ASSERT_TRUE(importEnded());
    const std::shared_ptr<CKClipdeck> shown = board(0);
    EXPECT_EQ(QStringList({nameAt(shown, 2), nameAt(shown, 3), nameAt(shown, 4)}), QStringList({"a", "c", "b"}));
    for (std::size_t cell : {2, 3, 4}) {
        auto* sound = dynamic_cast<CKSoundCachedFileSource*>(shown->soundAtIndex(cell).get());
        ASSERT_NE(sound, nullptr);
        EXPECT_EQ(view->buttonLayerAtIndex(cell)->soundSource().get(), sound);
        EXPECT_TRUE(waitUntil([sound] { return QFileInfo::exists(sound->fullCachePath()); }, 30000)) << cell;
        EXPECT_TRUE(sound->fullCachePath().startsWith(shown->cachedPath())) << qPrintable(sound->fullCachePath());
    }
    EXPECT_TRUE(waitUntil([] { return soundsInDocument(0).size() == 5; }, 30000)) << soundsInDocument(0).join(", ").toStdString();
    EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet());
}

TEST_F(GridDrops, FilesThatAreNoSoundsAreNamedInOneAlertAndTheGoodOneIsImported)
{
    start(4, 8, false);
    const QString broken = files.file("broken.wav");
    BoardsFolder::touch(broken, QByteArray("RIFF\x24\x00\x00\x00WAVEfmt ", 16) + QByteArray(64, '\x7f'));
    const QString notes = files.file("notes.txt");
    BoardsFolder::touch(notes, "words, not sounds");
    const QString good = makeWAV(files, "good.wav");
    ASSERT_TRUE(drop(*filesData({broken, notes, good}), 8));
    ASSERT_TRUE(importEnded()); // the alert comes at the end of the batch
    CKAlert* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Cannot import 2 files");
    EXPECT_EQ(alert->informativeText(), "The following files will not be imported:\n \u2022 broken.wav\n \u2022 notes.txt");
    alert->pressButtonWithReturnCode(CKAlert::FirstButtonReturn);
    EXPECT_EQ(nameAt(board(0), 8), "good");
    EXPECT_EQ(board(0)->numberOfSounds(), 3u);
}

TEST_F(GridDrops, AFolderWithALinkLoopImportsItsFilesOnce)
{
    start(4, 8, false);
    ASSERT_TRUE(QDir().mkpath(files.file("loop")));
    makeWAV(files, "loop/tone.wav");
    ASSERT_TRUE(QFile::link(files.file("loop"), files.file("loop/again")));
    ASSERT_TRUE(drop(*filesData({files.file("loop")}), 10));
    ASSERT_TRUE(importEnded());
    EXPECT_EQ(nameAt(board(0), 10), "tone");
    EXPECT_EQ(board(0)->numberOfSounds(), 3u);
    EXPECT_FALSE(CKSheetPresenter::shared().isShowingSheet());
}

TEST_F(GridDrops, AForgedSoundReferenceIsRefusedAndChangesNothing)
{
    start();
    // An empty cell of a board, a board that is not there, a cell past the grid, garbage.
    for (const char* reference : {"0 20", "9 0", "0 4000", "0 -1", "x y", "0"}) {
        QMimeData data;
        data.setData(QStringLiteral("CKSoundPboardType"), QByteArray(reference));
        EXPECT_FALSE(drop(data, 4)) << reference;
        settle();
        EXPECT_FALSE(view->isSwapping()) << reference;
        EXPECT_FALSE(CKSoundCachedFileSource::cacheOperationQueue().isSuspended()) << reference;
    }
    EXPECT_EQ(nameAt(board(0), 0), "kick");
    EXPECT_EQ(nameAt(board(0), 1), "snare");
    EXPECT_EQ(board(0)->numberOfSounds(), 2u);
    EXPECT_EQ(board(1)->numberOfSounds(), 1u);
    EXPECT_EQ(soundsInDocument(0), QStringList({"0 kick", "1 snare"}));
}

} // namespace
