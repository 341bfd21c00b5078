#pragma once
// A per-track effects chain that applies no effect: it keeps each track's saved chain
// exactly as it was given, so an edit model's "GraphSettings" survive a load and a save
// unchanged, and it stores the track volumes. Stands in for the multi-track effect graph.
// Main thread.

#include "audio/editor/ZEPEditorEffectsGraph.h"

#include <QVariantList>

#include <vector>

class ZEPPassThroughEffectsGraph : public ZEPEditorEffectsGraph {
public:
    // Each track starts with the saved form of an empty, enabled chain.
    explicit ZEPPassThroughEffectsGraph(UInt32 tracks);

    UInt32 inputTracks() const override { return UInt32(mTracks.size()); }
    QVariantList serializableArray() const override;
    void setWithArray(const QVariantList& array) override;
    void setVolume(Float32 volume, UInt32 track) override;
    Float32 volumeForTrack(UInt32 track) const override;
    void setLevelsEnabled(bool enabled) override { mLevelsEnabled = enabled; }
    bool levelsEnabled() const override { return mLevelsEnabled; }
    // Nothing is metered here.
    Float32 leftOutputLevel() const override { return 0; }
    Float32 rightOutputLevel() const override { return 0; }
    UInt32 maxRequestFrames() const override { return 0xFFFFFFFF; }
    OSStatus start() override { return noErr; }
    OSStatus stop() override { return noErr; }

private:
    struct Track {
        QVariantList saved;
        bool enabled = true;
        Float32 volume = 1;
    };
    static QVariantList emptyChain(bool enabled);

    std::vector<Track> mTracks;
    bool mLevelsEnabled = false;
};
