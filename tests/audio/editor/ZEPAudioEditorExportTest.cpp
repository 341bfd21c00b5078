// Exports of an edited sound to real files, read back by ffmpeg and compared with the
// edited read the export pulls.
#include "audio/editor/ZEPAudioEditorExport.h"

#include "EditorFixtures.h"
#include "ExportFixtures.h"
#include "audio/editor/ZEPAudioFileEditor.h"
#include "audio/files/ZEPAudioFile.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

// -1 when the two are equal, else the first frame where they differ (or the shorter length).
long long firstDifference(const StereoAudio& a, const StereoAudio& b)
{
    const size_t common = std::min(a.frames(), b.frames());
    for (size_t i = 0; i < common; ++i) {
        if (a.left[i] != b.left[i] || a.right[i] != b.right[i])
            return (long long)i;
    }
    return a.frames() == b.frames() ? -1 : (long long)common;
}

QStringList filesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files, QDir::Name);
}

class ExportTest : public testing::Test {
protected:
    // A step sound with a cut (and the fades of its edges) and a silence.
    std::unique_ptr<ZEPAudioFileEditor> editedSound(long long frames, const QString& name = "steps.wav")
    {
        std::unique_ptr<ZEPAudioFileEditor> editor = openStepEditor(folder.path(), frames, name);
        if (editor) {
            editor->removeRegion(ZEPAudioRegion::regionAtIndex(frames / 3, frames / 3 + 19999));
            editor->silenceRegion(ZEPAudioRegion::regionAtIndex(2 * frames / 3, 2 * frames / 3 + 9999));
        }
        return editor;
    }

    TempFolder folder;
    RecordingExportDelegate delegate;
};

} // namespace

TEST_F(ExportTest, anEditedSoundExportsToAppleLosslessExactlyAsTheEditedReadGivesIt)
{
    std::unique_ptr<ZEPAudioFileEditor> editor = editedSound(176400);
    ASSERT_TRUE(editor);
    editor->setEncodeSettings(appleLosslessSettings(kAudioFileM4AType));
    std::optional<ZEPFileRef> file;
    ASSERT_EQ(editor->exportRegion(nullptr, folder.file("Clip.m4a"), std::nullopt, 0, 0.0, false, &delegate, &file),
              noErr);
    EXPECT_TRUE(editor->isExporting());
    ASSERT_TRUE(waitForEnd(delegate));

    EXPECT_EQ(delegate.ends, 1);
    EXPECT_EQ(delegate.lastReturnCode, 0);
    EXPECT_EQ(delegate.lastEditor, editor.get());
    EXPECT_FALSE(editor->isExporting());
    ASSERT_TRUE(file);
    EXPECT_EQ(delegate.paths(), QStringList{file->path()});
    EXPECT_EQ(probeAudio(file->path()).codec, "alac");

    const StereoAudio expected = quantized16(editedAudio(*editor));
    ASSERT_GT(expected.frames(), 150000u);
    const StereoAudio written = decodeWithFFmpeg(file->path());
    EXPECT_EQ(written.frames(), expected.frames());
    EXPECT_EQ(firstDifference(written, expected), -1);
    // The program's own reader agrees.
    std::unique_ptr<ZEPAudioFile> reread = ZEPAudioFile::initWithPath(file->path(), 0, false);
    ASSERT_TRUE(reread);
    EXPECT_EQ(reread->packetCount(), SInt64(expected.frames()));
}

// The cut and the silence are those of a 16-bit WAVE export too, and a region exports only
// its own frames.
TEST_F(ExportTest, aRegionExportsItsEditedFrames)
{
    std::unique_ptr<ZEPAudioFileEditor> editor = editedSound(90000);
    ASSERT_TRUE(editor);
    editor->setEncodeSettings(pcm16Settings(kAudioFileWAVEType));
    const StereoAudio whole = quantized16(editedAudio(*editor));
    ZEPAudioRegionRef region = ZEPAudioRegion::regionAtIndex(10000, 49999); // across the cut at 30000
    std::optional<ZEPFileRef> file;
    ASSERT_EQ(editor->exportRegion(region, folder.file("Part.wav"), std::nullopt, 0, 0.0, false, &delegate, &file),
              noErr);
    ASSERT_TRUE(waitForEnd(delegate));
    const StereoAudio written = decodeWithFFmpeg(file->path());
    // Relative positions: the region starts at 9999 (the start region is cut) and loses the
    // 20000 frames of the cut.
    ASSERT_EQ(written.frames(), 20000u);
    StereoAudio expected;
    expected.left.assign(whole.left.begin() + 9999, whole.left.begin() + 9999 + 20000);
    expected.right.assign(whole.right.begin() + 9999, whole.right.begin() + 9999 + 20000);
    EXPECT_EQ(firstDifference(written, expected), -1);
}

TEST_F(ExportTest, aByteLimitSplitsIntoNumberedFilesThatConcatenateToTheWhole)
{
    std::unique_ptr<ZEPAudioFileEditor> editor = editedSound(176400);
    ASSERT_TRUE(editor);
    editor->setEncodeSettings(appleLosslessSettings(kAudioFileM4AType));
    constexpr UInt32 kLimit = 150000;
    std::optional<ZEPFileRef> file;
    ASSERT_EQ(editor->exportRegion(nullptr, folder.file("Clip.m4a"), std::nullopt, kLimit, &delegate, &file), noErr);
    ASSERT_TRUE(waitForEnd(delegate));
    EXPECT_EQ(delegate.lastReturnCode, 0);

    const QStringList paths = delegate.paths();
    ASSERT_GE(paths.size(), 3);
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString expectedName = i == 0 ? QStringLiteral("Clip.m4a") : QStringLiteral("Clip%1.m4a").arg(i - 1);
        EXPECT_EQ(QFileInfo(paths[i]).fileName(), expectedName);
        // A file ends with the packet that takes it past the limit (and the file's own header).
        EXPECT_LT(QFileInfo(paths[i]).size(), kLimit + 40000) << paths[i].toStdString();
    }
    const StereoAudio expected = quantized16(editedAudio(*editor));
    const StereoAudio written = concatenated(paths);
    EXPECT_EQ(written.frames(), expected.frames());
    EXPECT_EQ(firstDifference(written, expected), -1);
}

// A split looks for the first free number; trailing digits of the name are dropped first.
TEST_F(ExportTest, splitFilesTakeTheFirstFreeNumber)
{
    struct Case {
        QString name;
        QString existing;
        QStringList expected;
    };
    const std::vector<Case> cases = {
        {"Clip.wav", "Clip0.wav", {"Clip.wav", "Clip1.wav", "Clip2.wav"}},
        {"Take12.wav", "", {"Take12.wav", "Take0.wav", "Take1.wav"}},
    };
    for (const Case& c : cases) {
        TempFolder place;
        std::unique_ptr<ZEPAudioFileEditor> editor = openStepEditor(place.path(), 20000);
        ASSERT_TRUE(editor);
        editor->setEncodeSettings(pcm16Settings(kAudioFileWAVEType));
        if (!c.existing.isEmpty()) {
            QFile existing(place.file(c.existing));
            ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
        }
        RecordingExportDelegate ended;
        // 16-bit stereo: 32768 bytes is 8192 frames, so 20000 frames make three files.
        ASSERT_EQ(editor->exportRegion(nullptr, place.file(c.name), std::nullopt, 32768, &ended, nullptr), noErr);
        ASSERT_TRUE(waitForEnd(ended));
        QStringList names;
        for (const QString& path : ended.paths())
            names.append(QFileInfo(path).fileName());
        EXPECT_EQ(names, c.expected) << c.name.toStdString();
    }
}

TEST_F(ExportTest, aDurationLimitEndsTheExportOrSplitsIt)
{
    for (const bool split : {false, true}) {
        TempFolder place;
        std::unique_ptr<ZEPAudioFileEditor> editor = openStepEditor(place.path(), 110250); // 2.5 s
        ASSERT_TRUE(editor);
        editor->setEncodeSettings(pcm16Settings(kAudioFileWAVEType));
        RecordingExportDelegate ended;
        ASSERT_EQ(editor->exportRegion(nullptr, place.file("Clip.wav"), std::nullopt, 0, 1.0, split, &ended, nullptr),
                  noErr);
        ASSERT_TRUE(waitForEnd(ended)) << "split " << split;
        const QStringList paths = ended.paths();
        if (!split) {
            ASSERT_EQ(paths.size(), 1);
            EXPECT_EQ(decodeWithFFmpeg(paths[0]).frames(), 44100u);
        } else {
            // 1 s, 1 s and the rest; the export ends with the sound.
            ASSERT_EQ(paths.size(), 3);
            EXPECT_EQ(decodeWithFFmpeg(paths[0]).frames(), 44100u);
            EXPECT_EQ(decodeWithFFmpeg(paths[1]).frames(), 44100u);
            EXPECT_EQ(concatenated(paths).frames(), editedAudio(*editor).frames());
        }
    }
}

TEST_F(ExportTest, aCancelledExportDeletesEveryFileItMadeAndEndsOnce)
{
    std::unique_ptr<ZEPAudioFileEditor> editor = openStepEditor(folder.path(), 44100 * 30);
    ASSERT_TRUE(editor);
    editor->setEncodeSettings(pcm16Settings(kAudioFileWAVEType));
    const QStringList before = filesIn(folder.path());
    ASSERT_EQ(editor->exportRegion(nullptr, folder.file("Clip.wav"), std::nullopt, 40000, &delegate, nullptr), noErr);
    // Cancel once split files exist.
    ASSERT_TRUE(waitUntil([&] { return filesIn(folder.path()).size() >= before.size() + 3; }, 60000));
    editor->cancelExport();
    ASSERT_TRUE(waitForEnd(delegate));
    EXPECT_EQ(delegate.lastReturnCode, 1);
    EXPECT_GE(delegate.lastWriters.size(), 3u);
    EXPECT_FALSE(editor->isExporting());
    EXPECT_EQ(filesIn(folder.path()), before);
    // The end came once.
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(delegate.ends, 1);
}

// Mono output takes both channels of the edit, each at full gain, to its last frame.
TEST_F(ExportTest, aMonoExportMixesBothChannelsDown)
{
    const auto half = [](long long k) { return float((k * 7919) % 30001 - 15000) / 32768.0f; };
    const auto otherHalf = [](long long k) { return float((k * 104729) % 30011 - 15005) / 32768.0f; };
    const QString path = writeSoundFile(folder.file("halves.wav"), 30000, half, otherHalf);
    std::unique_ptr<ZEPAudioFileEditor> editor = ZEPAudioFileEditor::initWithPath(path, false);
    ASSERT_TRUE(editor);
    editor->setEncodeSettings(pcm16Settings(kAudioFileWAVEType, 1));
    std::optional<ZEPFileRef> file;
    ASSERT_EQ(editor->exportRegion(nullptr, folder.file("Mono.wav"), std::nullopt, 0, 0.0, false, &delegate, &file),
              noErr);
    ASSERT_TRUE(waitForEnd(delegate));
    EXPECT_EQ(probeAudio(file->path()).channels, 1);
    const StereoAudio edited = editedAudio(*editor);
    StereoAudio mixed;
    for (size_t i = 0; i < edited.frames(); ++i) {
        mixed.left.push_back(edited.left[i] + edited.right[i]);
        mixed.right.push_back(mixed.left.back());
    }
    // The program's reader hands a mono file out on both sides.
    std::unique_ptr<ZEPAudioFile> reader = ZEPAudioFile::initWithPath(file->path(), 0, false);
    ASSERT_TRUE(reader);
    StereoAudio written;
    written.left.resize(size_t(reader->packetCount()));
    written.right.resize(written.left.size());
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, UInt32(written.left.size() * 4), written.left.data()};
    list.mBuffers[1] = {1, UInt32(written.right.size() * 4), written.right.data()};
    UInt32 frames = UInt32(written.left.size());
    reader->readPackets(&frames, list.list(), nullptr);
    EXPECT_EQ(frames, edited.frames());
    EXPECT_EQ(firstDifference(written, quantized16(mixed)), -1);
}

// Settings given for one export apply to it alone; the synchronous form waits for the end
// (here on the main thread, whose events deliver it) and reports progress meanwhile.
TEST_F(ExportTest, settingsForOneExportAreGoneAfterItAndTheSynchronousFormWaits)
{
    std::unique_ptr<ZEPAudioFileEditor> editor = editedSound(60000);
    ASSERT_TRUE(editor);
    editor->setEncodeSettings(pcm16Settings(kAudioFileWAVEType));
    const QVariantMap before = editor->settings();
    QVariantMap exportSettings = before;
    exportSettings.insert(ZEPAudioEditor::EncodeSettingsKey, appleLosslessSettings(kAudioFileM4AType));
    exportSettings.insert(ZEPAudioEditor::EditsKey, QVariantList());

    struct Progress : ZEPAudioEditorExportProgressDelegate {
        void exportProgressUpdated(ZEPAudioEditor*) override { ++updates; }
        int updates = 0;
    } progress;
    int finishedNotices = 0;
    NotificationCenter::defaultCenter().addObserver(this, ZEPActivityFinishedNotification, editor.get(),
                                                    [&](const Notification&) { ++finishedNotices; });
    std::optional<ZEPFileRef> file;
    EXPECT_EQ(editor->exportRegion(nullptr, folder.file("Clip"), exportSettings, 0, &file, &progress), noErr);
    NotificationCenter::defaultCenter().removeObserver(this);
    EXPECT_FALSE(editor->isExporting());
    EXPECT_GE(progress.updates, 1);
    EXPECT_EQ(finishedNotices, 1);
    ASSERT_TRUE(file);
    EXPECT_EQ(QFileInfo(file->path()).suffix(), "m4a");
    // Written without the edits, in the export's format.
    EXPECT_EQ(probeAudio(file->path()).codec, "alac");
    EXPECT_EQ(decodeWithFFmpeg(file->path()).frames(), 60000u);
    EXPECT_EQ(editor->settings().value(ZEPAudioEditor::EncodeSettingsKey), before.value(ZEPAudioEditor::EncodeSettingsKey));
    EXPECT_EQ(editor->settings().value(ZEPAudioEditor::EditsKey), before.value(ZEPAudioEditor::EditsKey));
}

TEST_F(ExportTest, aStartThatFailsLeavesNoFileAndNoExport)
{
    std::unique_ptr<ZEPAudioFileEditor> editor = openStepEditor(folder.path(), 1000);
    ASSERT_TRUE(editor);
    editor->setEncodeSettings(pcm16Settings(kAudioFileWAVEType));
    const QStringList before = filesIn(folder.path());
    EXPECT_EQ(editor->exportRegion(nullptr, folder.file("missing/Clip.wav"), std::nullopt, 0, &delegate, nullptr),
              kZEPParameterError);
    EXPECT_FALSE(editor->isExporting());
    EXPECT_EQ(filesIn(folder.path()), before);
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(delegate.ends, 0);
}

TEST_F(ExportTest, theFileSizeIsEstimatedFromTheEncodeSettings)
{
    // 441003 frames less the start and end regions: a visible region of exactly 10 s.
    std::unique_ptr<ZEPAudioFileEditor> editor = openStepEditor(folder.path(), 441003);
    ASSERT_TRUE(editor);
    UserDefaults& defaults = UserDefaults::standardUserDefaults();
    QVariantMap aac = pcm16Settings(kAudioFileM4AType);
    QVariantMap aacEncoder = aac.value("encoderSettings").toMap();
    aacEncoder.insert("mFormatID", qlonglong(kAudioFormatMPEG4AAC));
    aacEncoder.insert("mBytesPerPacket", 0);
    aacEncoder.insert("bitRate", 128000);
    aac.insert("encoderSettings", aacEncoder);
    struct Case {
        const char* name;
        QVariantMap settings;
        QVariant preservedBits;
        UInt32 size;
        bool exact;
    };
    const std::vector<Case> cases = {
        {"lossless, 16 bits by default", appleLosslessSettings(kAudioFileM4AType), QVariant(), 5 * 270336, false},
        {"lossless, 24 bits", appleLosslessSettings(kAudioFileM4AType), 24, UInt32(7.5 * 270336), false},
        {"lossless, 24 bits as text", appleLosslessSettings(kAudioFileM4AType), "24", UInt32(7.5 * 270336), false},
        {"bit rate", aac, QVariant(), 160000, false},
        {"16-bit PCM", pcm16Settings(kAudioFileWAVEType), QVariant(), 1764000, true},
    };
    for (const Case& c : cases) {
        defaults.setObject(c.preservedBits, "AppleLosslessPreservedBits");
        editor->setEncodeSettings(c.settings);
        EXPECT_EQ(editor->estimatedFileSize(), c.size) << c.name;
        EXPECT_EQ(editor->sizeIsExact(), c.exact) << c.name;
    }
    defaults.removeObjectForKey("AppleLosslessPreservedBits");
}
