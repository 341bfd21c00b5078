// A file that cannot be put where the edit model asks: nothing is read from the wrong place.
// The read with edits answers the seek's error, the board feed ends the sound after what it
// had rather than playing silence, and an export fails and leaves no short file behind.
#include "audio/editor/CKAudioFileEditor.h"

#include "EditorFixtures.h"
#include "ExportFixtures.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <atomic>

using namespace clipdeck::test;

namespace {

// A sound file whose seeks fail while told to, and which reads on from wherever it was (as
// a reader that ignored its seek's status would).
class FailingSeekFile : public ZEPAudioFile {
public:
    static std::unique_ptr<FailingSeekFile> open(const QString& path)
    {
        std::unique_ptr<FailingSeekFile> file(new FailingSeekFile);
        file->mFileRef = ZEPFileRef::fileRefWithPath(path);
        return file->openFile() == noErr ? std::move(file) : nullptr;
    }
    OSStatus setLocationPackets(SInt64 location) override
    {
        return failing.load() ? kAudioFilePositionError : ZEPAudioFile::setLocationPackets(location);
    }
    std::atomic<bool> failing{false};
};

// An edit model of the given kind over a ramp of `frames` frames whose seeks fail on demand.
template <class Editor>
std::unique_ptr<Editor> editorOfARamp(const TempFolder& folder, long long frames, FailingSeekFile** file)
{
    std::unique_ptr<FailingSeekFile> opened = FailingSeekFile::open(writeRampFile(folder.file("ramp.wav"), frames));
    *file = opened.get();
    return opened ? Editor::initWithAudioFile(std::move(opened)) : nullptr;
}

} // namespace

TEST(SeekFailure, theReadWithEditsAnswersTheSeeksErrorAndTriesAgainNextTime)
{
    TempFolder folder;
    FailingSeekFile* file = nullptr;
    std::unique_ptr<ZEPAudioFileEditor> editor = editorOfARamp<ZEPAudioFileEditor>(folder, 20000, &file);
    ASSERT_TRUE(editor);
    ASSERT_EQ(readEdited(*editor, 100).status, noErr);

    editor->setReadLocation(5000);
    file->failing = true;
    const EditedRead failed = readEdited(*editor, 100);
    EXPECT_EQ(failed.status, kAudioFilePositionError);
    EXPECT_EQ(failed.frames(), 0u);
    std::vector<float> left(100), right(100);
    StackAudioBufferList<2> list;
    list.mBuffers[0] = {1, 400, left.data()};
    list.mBuffers[1] = {1, 400, right.data()};
    UInt32 packets = 100;
    EXPECT_EQ(editor->readPackets(&packets, list.list()), kAudioFilePositionError); // the raw read too
    EXPECT_EQ(packets, 0u);

    file->failing = false;
    const EditedRead again = readEdited(*editor, 100);
    ASSERT_EQ(again.status, noErr);
    ASSERT_EQ(again.frames(), 100u);
    EXPECT_EQ(rampFrame(again.left.front()), 5000);
}

// The loader's first read after the head needs a seek, which fails: the loader stops, and the
// render plays the head, says once that it ran out, and answers 666.
TEST(SeekFailure, theBoardFeedEndsTheSoundAfterWhatItHad)
{
    TempFolder folder;
    FailingSeekFile* file = nullptr;
    std::unique_ptr<CKAudioFileEditor> feed = editorOfARamp<CKAudioFileEditor>(folder, 200000, &file);
    ASSERT_TRUE(feed);
    RunOutNotices delegate;
    feed->setDelegate(&delegate);
    feed->setUseCache(true);
    ASSERT_EQ(feed->updateCachedAudio(), noErr);
    const UInt32 head = feed->cachedFrames();
    ASSERT_GT(head, 0u);

    // The file reads on past the head, so that the rewind to the head's end needs a seek.
    ASSERT_EQ(readEdited(*feed, 1000).status, noErr);
    file->failing = true;
    feed->restartPlaybackAndContinue();
    feed->prepareForPlayback();
    ASSERT_TRUE(waitUntil([&] { return !feed->ringBuffer()->isRunning(); }));

    std::vector<float> left(512), right(512);
    UInt32 rendered = 0;
    OSStatus status = noErr;
    for (int slice = 0; slice < 1000 && status == noErr; ++slice) {
        AudioUnitRenderActionFlags flags = 0;
        status = renderSlice(*feed, left, right, &flags);
        if (status == noErr && !(flags & kAudioUnitRenderAction_OutputIsSilence))
            rendered += 512;
    }
    EXPECT_EQ(status, kZEPAudioSourceEndOfData);
    EXPECT_EQ(delegate.count.load(), 1);
    EXPECT_GE(rendered, head);
    EXPECT_LT(rendered, head + 512);
}

// An export whose reads fail ends with that error, and its file goes.
TEST(SeekFailure, anExportFailsAndLeavesNoShortFile)
{
    TempFolder folder;
    FailingSeekFile* file = nullptr;
    std::unique_ptr<ZEPAudioFileEditor> editor = editorOfARamp<ZEPAudioFileEditor>(folder, 44100, &file);
    ASSERT_TRUE(editor);
    editor->setEncodeSettings(pcm16Settings(kAudioFileWAVEType));
    file->failing = true;
    RecordingExportDelegate delegate;
    std::optional<ZEPFileRef> exported;
    const QString path = folder.file("Part.wav");
    ASSERT_EQ(editor->exportRegion(ZEPAudioRegion::regionAtIndex(5000, 29999), path, std::nullopt, 0, 0.0, false,
                                   &delegate, &exported),
              noErr);
    ASSERT_TRUE(waitForEnd(delegate));
    EXPECT_EQ(delegate.lastReturnCode, kAudioFilePositionError);
    EXPECT_FALSE(QFileInfo::exists(path));
}
