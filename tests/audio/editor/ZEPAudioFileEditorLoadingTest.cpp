// An edit model over a file that loads in the background: loading, with no regions and no
// chain, until the file has been counted; then the regions every loaded sound has, its chain,
// and one editorDidFinishLoading() on the main thread. A file that does not open ends the
// loading too, unplayable.
#include "audio/editor/ZEPAudioFileEditor.h"

#include "EditorFixtures.h"
#include "support/SettleEventLoop.h"
#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace clipdeck::test;

namespace {

struct LoadingDelegate : ZEPAudioEditorDelegate {
    void editorDidFinishLoading(ZEPAudioEditor*) override { ++finished; }
    int finished = 0;
};

// Opens the file in the background and waits for the model's loading to end: answers the
// model once its delegate has heard of the end exactly once.
std::unique_ptr<ZEPAudioFileEditor> loadInTheBackground(const QString& path, LoadingDelegate& delegate)
{
    std::unique_ptr<ZEPAudioFileEditor> editor = ZEPAudioFileEditor::initWithPath(path);
    if (!editor || !editor->isLoading() || !editor->skippedRegions().isEmpty() || editor->totalSampleCount() != 0)
        return nullptr;
    editor->setDelegate(&delegate);
    if (!waitUntil([&] { return delegate.finished > 0; }))
        return nullptr;
    clipdeck::test::settleEventLoop();
    if (delegate.finished != 1)
        return nullptr;
    return editor;
}

} // namespace

TEST(ZEPAudioFileEditorLoading, theModelIsReadyWhenItsFileHasLoaded)
{
    TempFolder folder;
    const QString path = writeRampFile(folder.file("ramp.wav"), 30000);
    LoadingDelegate delegate;
    std::unique_ptr<ZEPAudioFileEditor> editor = loadInTheBackground(path, delegate);
    ASSERT_TRUE(editor);
    EXPECT_FALSE(editor->isLoading());
    EXPECT_TRUE(editor->canPlay());
    EXPECT_EQ(editor->totalSampleCount(), 30000);
    ASSERT_EQ(editor->skippedRegions().size(), 2); // the start and end regions
    const EditedRead read = readEdited(*editor, 10);
    ASSERT_EQ(read.status, noErr);
    ASSERT_EQ(read.frames(), 10u);
    EXPECT_EQ(rampFrame(read.left.front()), 1); // frame 0 is the start region
}

TEST(ZEPAudioFileEditorLoading, aFileThatDoesNotOpenEndsTheLoadingUnplayable)
{
    TempFolder folder;
    QFile text(folder.file("notes.wav"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a sound");
    text.close();
    LoadingDelegate delegate;
    std::unique_ptr<ZEPAudioFileEditor> editor = loadInTheBackground(folder.file("notes.wav"), delegate);
    ASSERT_TRUE(editor);
    EXPECT_FALSE(editor->isLoading());
    EXPECT_FALSE(editor->canPlay());
    EXPECT_TRUE(editor->skippedRegions().isEmpty());
    EXPECT_NE(editor->audioFile()->loadStatus(), noErr);
}
