// The lossless conversion queue with sounds that stand in for the board's cached sounds:
// some only record when they are asked to convert, some really export to Apple Lossless.
#include "audio/editor/CKSoundConverter.h"

#include "EditorFixtures.h"
#include "ExportFixtures.h"
#include "audio/editor/ZEPAudioFileEditor.h"
#include "audio/files/ZEPAudioFileWriter.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

// Records every request to convert, in order, and answers with a set status.
class RecordingSound : public CKLosslessConvertingSound {
public:
    RecordingSound(std::vector<RecordingSound*>& started, CKSoundConverter& converter)
        : mStarted(started), mConverter(converter)
    {
    }
    void setExportDelegate(ZEPAudioEditorExportDelegate* delegate) override { exportDelegate = delegate; }
    OSStatus convertToLossless(ZEPAudioFileEditor* editor) override
    {
        converted = editor;
        runningWhenStarted = mConverter.currentConversions().size();
        mStarted.push_back(this);
        return startStatus;
    }

    ZEPAudioEditorExportDelegate* exportDelegate = nullptr;
    ZEPAudioFileEditor* converted = nullptr;
    qsizetype runningWhenStarted = 0;
    OSStatus startStatus = noErr;

private:
    std::vector<RecordingSound*>& mStarted;
    CKSoundConverter& mConverter;
};

// Exports its editor to Apple Lossless beside it, as the cached sound does.
class ExportingSound : public CKLosslessConvertingSound {
public:
    ExportingSound(QString path, CKSoundConverter& converter) : mPath(std::move(path)), mConverter(converter) {}
    void setExportDelegate(ZEPAudioEditorExportDelegate* delegate) override { mExportDelegate = delegate; }
    OSStatus convertToLossless(ZEPAudioFileEditor* editor) override
    {
        mostRunning = std::max(mostRunning, mConverter.currentConversions().size());
        QVariantMap settings = editor->settings();
        settings.insert(ZEPAudioEditor::EncodeSettingsKey, appleLosslessSettings(kAudioFileM4AType));
        return editor->exportRegion(nullptr, mPath, settings, 0, mExportDelegate, &file);
    }

    std::optional<ZEPFileRef> file;
    static inline qsizetype mostRunning = 0;

private:
    QString mPath;
    CKSoundConverter& mConverter;
    ZEPAudioEditorExportDelegate* mExportDelegate = nullptr;
};

class SoundConverterTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 4; ++i) {
            places.push_back(std::make_unique<TempFolder>());
            editors.push_back(openRampEditor(places.back()->path(), 1000));
            ASSERT_TRUE(editors.back());
        }
    }

    std::vector<std::unique_ptr<TempFolder>> places;
    std::vector<std::unique_ptr<ZEPAudioFileEditor>> editors;
    std::vector<RecordingSound*> started;
    UInt32 processors = 2;
    bool playing = false;
    CKSoundConverter converter{[this] { return playing; }, [this] { return processors; }};
};

} // namespace

TEST_F(SoundConverterTest, halfTheProcessorsConvertAtOnceButOneWhileAnythingPlays)
{
    struct Case {
        UInt32 processors;
        bool playing;
        UInt32 conversions;
    };
    for (const Case& c : std::vector<Case>{{8, false, 4}, {8, true, 1}, {3, false, 1}, {2, false, 1}, {1, false, 1},
                                           {0, false, 1}, {16, false, 8}}) {
        processors = c.processors;
        playing = c.playing;
        EXPECT_EQ(converter.maxNumberConversions(), c.conversions) << c.processors << " playing " << c.playing;
    }
}

// With one conversion running and room for one, A, B and C wait as A, C, B and start in
// that order as conversions end.
TEST_F(SoundConverterTest, eachRequestMovesTheOldestWaitingEntryBack)
{
    RecordingSound x(started, converter), a(started, converter), b(started, converter), c(started, converter);
    converter.convertEditorToLossless(editors[0].get(), &x);
    ASSERT_EQ(started, std::vector<RecordingSound*>{&x});
    EXPECT_EQ(x.exportDelegate, &converter);
    EXPECT_EQ(x.converted, editors[0].get());

    converter.convertEditorToLossless(editors[1].get(), &a);
    converter.convertEditorToLossless(editors[2].get(), &b);
    converter.convertEditorToLossless(editors[3].get(), &c);
    QList<CKLosslessConvertingSound*> waiting;
    for (const CKSoundConverter::Entry& entry : converter.soundsToBeConverted())
        waiting.append(entry.sound);
    EXPECT_EQ(waiting, (QList<CKLosslessConvertingSound*>{&a, &c, &b}));

    for (RecordingSound* ending : {&x, &a, &c, &b}) {
        converter.exportDidEnd(ending->converted, 0, {});
        EXPECT_LE(converter.currentConversions().size(), 1);
    }
    EXPECT_EQ(started, (std::vector<RecordingSound*>{&x, &a, &c, &b}));
    EXPECT_TRUE(converter.currentConversions().isEmpty());
    EXPECT_TRUE(converter.soundsToBeConverted().isEmpty());
}

// Queuing the same editor twice gives two entries; the end of its export ends both.
TEST_F(SoundConverterTest, theEndOfAnEditorsExportRemovesAllItsEntries)
{
    processors = 8;
    RecordingSound first(started, converter), second(started, converter);
    converter.convertEditorToLossless(editors[0].get(), &first);
    converter.convertEditorToLossless(editors[0].get(), &second);
    EXPECT_EQ(converter.currentConversions().size(), 2);
    converter.exportDidEnd(editors[0].get(), 1, {}); // a failed or cancelled export ends them too
    EXPECT_TRUE(converter.currentConversions().isEmpty());
}

TEST_F(SoundConverterTest, aMissingArgumentIsRefusedAndNothingIsQueued)
{
    RecordingSound sound(started, converter);
    EXPECT_THROW(converter.convertEditorToLossless(nullptr, &sound), NilArgumentException);
    EXPECT_THROW(converter.convertEditorToLossless(editors[0].get(), nullptr), NilArgumentException);
    EXPECT_TRUE(converter.soundsToBeConverted().isEmpty());
    EXPECT_TRUE(started.empty());
}

// A conversion whose export does not start will never end: it leaves the queue at once and
// the next one runs.
TEST_F(SoundConverterTest, aConversionThatFailsToStartLeavesTheQueue)
{
    RecordingSound failing(started, converter), next(started, converter);
    failing.startStatus = kZEPExportNoWriterError;
    converter.convertEditorToLossless(editors[0].get(), &failing);
    EXPECT_TRUE(converter.currentConversions().isEmpty());
    converter.convertEditorToLossless(editors[1].get(), &next);
    EXPECT_EQ(started, (std::vector<RecordingSound*>{&failing, &next}));
    ASSERT_EQ(converter.currentConversions().size(), 1);
    EXPECT_EQ(converter.currentConversions().front().sound, &next);
}

// Three sounds really converted, one at a time while something plays, then all at once.
TEST_F(SoundConverterTest, queuedLosslessConversionsRunWithinTheBoundAndAllEnd)
{
    for (const bool busy : {true, false}) {
        playing = busy;
        processors = 8;
        ExportingSound::mostRunning = 0;
        std::vector<std::unique_ptr<ExportingSound>> sounds;
        for (int i = 0; i < 3; ++i) {
            sounds.push_back(std::make_unique<ExportingSound>(
                places[size_t(i)]->file(QStringLiteral("cache-%1.m4a").arg(busy)), converter));
            converter.convertEditorToLossless(editors[size_t(i)].get(), sounds.back().get());
        }
        EXPECT_EQ(converter.currentConversions().size(), busy ? 1 : 3);
        ASSERT_TRUE(waitUntil([&] { return converter.currentConversions().isEmpty(); }, 60000));
        EXPECT_TRUE(converter.soundsToBeConverted().isEmpty());
        EXPECT_EQ(ExportingSound::mostRunning, busy ? 1 : 3);
        for (const auto& sound : sounds) {
            ASSERT_TRUE(sound->file);
            EXPECT_TRUE(QFileInfo::exists(sound->file->path()));
            EXPECT_EQ(probeAudio(sound->file->path()).codec, "alac");
        }
    }
}
