#pragma once
// The per-track effects chain of an edit model, as far as the model uses it: one chain per
// track, saved and restored as one array (element t is track t's saved chain), a volume per
// track (the normalisation gain), output levels, and start and stop around extraction.
//
// The names and meanings are those of the multi-track effect graph, so that the graph can
// take this interface's place; until then ZEPPassThroughEffectsGraph stands in for it.
//
// Set-up calls come from the owner's thread (the main thread); levels may be read from any.

#include "platform/CoreAudioTypes.h"

#include <QVariantList>

class ZEPEditorEffectsGraph {
public:
    virtual ~ZEPEditorEffectsGraph() = default;

    // The number of tracks, fixed at creation.
    virtual UInt32 inputTracks() const = 0;

    // The saved form: one array per track, in track order.
    virtual QVariantList serializableArray() const = 0;
    // Element t goes to track t (elements beyond the track count are ignored); an empty
    // array empties every track's chain and keeps each chain's enabled state.
    virtual void setWithArray(const QVariantList& array) = 0;

    // The gain of a track (1.0 at start); set for a track beyond the count is ignored, read
    // answers 0.
    virtual void setVolume(Float32 volume, UInt32 track) = 0;
    virtual Float32 volumeForTrack(UInt32 track) const = 0;

    virtual void setLevelsEnabled(bool enabled) = 0;
    virtual bool levelsEnabled() const = 0;
    // Linear average output levels.
    virtual Float32 leftOutputLevel() const = 0;
    virtual Float32 rightOutputLevel() const = 0;

    // The largest slice the chain renders at once; 0xFFFFFFFF for no limit.
    virtual UInt32 maxRequestFrames() const = 0;

    virtual OSStatus start() = 0;
    virtual OSStatus stop() = 0;
};
