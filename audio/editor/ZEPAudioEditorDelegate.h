#pragma once
// What an edit model tells its delegate. Every call is optional: the defaults do nothing,
// and audioEditorRanOutOfData() answers nothing, which leaves the caller's status as it was.

#include "platform/CoreAudioTypes.h"

#include <optional>

class ZEPAudioEditor;

class ZEPAudioEditorDelegate {
public:
    virtual ~ZEPAudioEditorDelegate() = default;
    // Main thread: a file that loads in the background can be played now.
    virtual void editorDidBecomePlayable(ZEPAudioEditor*) {}
    // Main thread: a file that loads in the background has finished loading.
    virtual void editorDidFinishLoading(ZEPAudioEditor*) {}
    // The board mixer's render thread: the edited sound has run out. Must not block.
    virtual std::optional<OSStatus> audioEditorRanOutOfData(ZEPAudioEditor*) { return std::nullopt; }
    // Main thread: the playback volume changed.
    virtual void editorDidChangePlaybackVolume(ZEPAudioEditor*) {}
};
