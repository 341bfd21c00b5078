#include "audio/editor/ZEPPassThroughEffectsGraph.h"

#include "platform/VariantValues.h"

namespace {
// The closing element of a saved chain: its enabled state.
const QString kIsEnabledKey = QStringLiteral("ZEPAudioGraphIsEnabled");
} // namespace

ZEPPassThroughEffectsGraph::ZEPPassThroughEffectsGraph(UInt32 tracks) : mTracks(tracks)
{
    for (Track& track : mTracks)
        track.saved = emptyChain(true);
}

QVariantList ZEPPassThroughEffectsGraph::emptyChain(bool enabled)
{
    return {QVariantMap{{kIsEnabledKey, enabled}}};
}

QVariantList ZEPPassThroughEffectsGraph::serializableArray() const
{
    QVariantList array;
    for (const Track& track : mTracks)
        array.append(QVariant(track.saved));
    return array;
}

void ZEPPassThroughEffectsGraph::setWithArray(const QVariantList& array)
{
    for (size_t t = 0; t < mTracks.size(); ++t) {
        if (!array.isEmpty() && qsizetype(t) >= array.size())
            break; // a shorter array leaves the remaining tracks as they are
        Track& track = mTracks[t];
        const QVariantList chain = array.isEmpty() ? QVariantList() : array[qsizetype(t)].toList();
        if (!chain.isEmpty()) {
            const QVariantMap last = chain.last().toMap();
            if (last.contains(kIsEnabledKey))
                track.enabled = variant::boolValue(last.value(kIsEnabledKey));
        }
        track.saved = chain.isEmpty() ? emptyChain(track.enabled) : chain;
    }
}

void ZEPPassThroughEffectsGraph::setVolume(Float32 volume, UInt32 track)
{
    if (track < mTracks.size())
        mTracks[track].volume = volume;
}

Float32 ZEPPassThroughEffectsGraph::volumeForTrack(UInt32 track) const
{
    return track < mTracks.size() ? mTracks[track].volume : 0;
}
