// Files dropped on a board end to end: an MP3 and a WAVE dropped on cell 5 (cell 6 taken)
// land in cells 5 and 7, are converted to Apple Lossless in the board's cache, the board's
// document names them, and both play on a JACK server of the test's own.
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundImporter.h"

#include "BoardTestSupport.h"
#include "PlaybackTestSupport.h"
#include "platform/FoundationExtensions.h"
#include "platform/codecs/AudioFixtures.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cmath>

using namespace clipdeck::test;

namespace {

class BoardImportOnDevice : public PlaybackOnDevice {
protected:
    BoardsFolder folder;
    TestShell shell;
};

// The loudest sample of both channels from index from on.
float peakFrom(const JackRecorder& recorder, size_t from)
{
    float peak = 0;
    for (int channel = 0; channel < 2; ++channel) {
        const std::vector<float>& samples = recorder.channel(channel);
        for (size_t i = from; i < recorder.frames(); ++i)
            peak = std::max(peak, std::fabs(samples[i]));
    }
    return peak;
}

} // namespace

TEST_F(BoardImportOnDevice, droppedFilesAreConvertedIntoTheCacheAndPlay)
{
    auto board = std::make_shared<CKClipdeck>();
    shell.clipdecks << board;
    host.shown = board.get();
    board->save();
    XMLElement taken("sound");
    taken.setAttribute("uuid", stringWithNewUUID());
    taken.setAttribute("path", "Cache/taken.m4a");
    board->addSound(CKSoundCachedFileSource::initWithXMLElement(taken, board.get()), 6, false);

    TempFolder drop;
    const QString mp3 = makeMP3(drop, "Thunder.mp3", 44100);
    const QString wav = makeWAV(drop, "Applause.wav", 44100);
    CKSoundImporter::importFiles({mp3, wav}, 5, board, CKSoundImporter::kFileImportMode);
    ASSERT_TRUE(waitUntil([this] { return shell.loadingEditors.size() == 2; }));

    const auto thunder = std::dynamic_pointer_cast<CKSoundCachedFileSource>(board->soundAtIndex(5));
    const auto applause = std::dynamic_pointer_cast<CKSoundCachedFileSource>(board->soundAtIndex(7));
    ASSERT_TRUE(thunder && applause);
    QByteArray document;
    for (const auto& [sound, name] : {std::pair{thunder, QString("Thunder")}, std::pair{applause, QString("Applause")}}) {
        // What the shell's preloading does for the board it shows.
        ASSERT_TRUE(loadFeed(*sound)) << qPrintable(name);
        const QString cachePath = "Cache/" + sound->uuid() + "-" + name + ".m4a";
        EXPECT_EQ(sound->cachePath(), cachePath);
        EXPECT_EQ(probeAudio(board->path() + "/" + cachePath).codec, "alac") << qPrintable(name);
        QFile contents(board->path() + "/Contents.xml");
        ASSERT_TRUE(contents.open(QIODevice::ReadOnly));
        document = contents.readAll();
        EXPECT_TRUE(document.contains(("path=\"" + cachePath + "\"").toUtf8())) << qPrintable(name);
    }
    EXPECT_TRUE(document.contains("index=\"5\""));
    EXPECT_TRUE(document.contains("index=\"7\""));

    record();
    for (const auto& sound : {thunder, applause}) {
        const size_t from = recorder->frames();
        sound->play();
        EXPECT_TRUE(sound->isPlaying()) << qPrintable(sound->name());
        ASSERT_TRUE(recordMore(22050));
        EXPECT_GT(peakFrom(*recorder, from), 0.2f) << qPrintable(sound->name()) << " is heard";
        sound->stopImmediately();
        ASSERT_TRUE(waitUntil([this] { return controller->numberOfPlayingSounds() == 0; }));
    }
}
