// The edit container 'edts' and its edit list 'elst'.
#include "isomedia/MP4TrackAtoms.h"

MP4EditAtom::MP4EditAtom()
{
    type = MP4FourCC("edts");
    name = "edit";
}

MP4Err MP4EditAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    if (atom->type == MP4FourCC("elst")) {
        if (editList != nullptr)
            return MP4MissingComponent;
        MP4_TRY(MP4ContainerAtom::addAtom(atom));
        editList = static_cast<MP4EditListAtom*>(atom);
        return MP4Success;
    }
    return MP4ContainerAtom::addAtom(atom);
}

MP4Err MP4EditAtom::getEffectiveDuration(uint64_t* outDuration)
{
    if (outDuration == nullptr)
        return MP4BadParameter;
    if (editList == nullptr)
        return MP4MissingComponent;
    return editList->getEffectiveDuration(outDuration);
}

MP4EditListAtom::MP4EditListAtom()
{
    type = MP4FourCC("elst");
    name = "edit list";
}

MP4Err MP4EditListAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    uint32_t entryCount = 0;
    MP4_TRY(get32(stream, &entryCount, "entryCount"));
    uint32_t entrySize = version == 1 ? 20 : 12;
    if (entryCount > stream->available / entrySize)
        return MP4BadData;
    MP4_TRY(MP4Resize(entries, entryCount));
    for (Entry& entry : entries) {
        if (version == 1) {
            uint64_t mediaTime = 0;
            MP4_TRY(get64(stream, &entry.segmentDuration, "segmentDuration"));
            MP4_TRY(get64(stream, &mediaTime, "mediaTime"));
            entry.mediaTime = int64_t(mediaTime);
        } else {
            uint32_t duration = 0, mediaTime = 0;
            MP4_TRY(get32(stream, &duration, "segment-duration"));
            MP4_TRY(get32(stream, &mediaTime, "media-time"));
            entry.segmentDuration = duration;
            entry.mediaTime = int32_t(mediaTime);
        }
        uint32_t rate = 0;
        MP4_TRY(get32(stream, &rate, "mediaRate"));
        entry.mediaRate = rate == 1 ? 1 : rate >> 16;
        entry.emptyEdit = int32_t(uint64_t(entry.mediaTime) >> 32) < 0 ? 1 : 0;
    }
    return MP4Success;
}

MP4Err MP4EditListAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 4 + uint32_t(entries.size()) * (version == 1 ? 20 : 12);
    return MP4Success;
}

MP4Err MP4EditListAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put32(buffer, uint32_t(entries.size())));
    for (const Entry& entry : entries) {
        if (version == 1) {
            MP4_TRY(put64(buffer, entry.segmentDuration));
            MP4_TRY(put64(buffer, uint64_t(entry.mediaTime)));
        } else {
            MP4_TRY(put32(buffer, uint32_t(entry.segmentDuration)));
            MP4_TRY(put32(buffer, uint32_t(entry.mediaTime)));
        }
        MP4_TRY(put32(buffer, (entry.mediaRate & 0xFFFF) << 16));
    }
    return finishWriting();
}

MP4Err MP4EditListAtom::setTrackOffset(uint64_t trackOffset, uint64_t mediaDuration)
{
    try {
        if (!entries.empty()) {
            if (entries[0].emptyEdit)
                entries[0].segmentDuration = trackOffset;
            else
                entries.insert(entries.begin(), Entry{trackOffset, -1, 1, 1});
            return MP4Success;
        }
        entries.push_back(Entry{trackOffset, -1, 1, 1});
        entries.push_back(Entry{mediaDuration, 0, 1, 0});
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    return MP4Success;
}

MP4Err MP4EditListAtom::getTrackOffset(uint64_t* outOffset)
{
    if (outOffset == nullptr)
        return MP4BadParameter;
    if (!entries.empty() && entries[0].emptyEdit)
        *outOffset = uint32_t(entries[0].segmentDuration);
    return MP4Success;
}

MP4Err MP4EditListAtom::isEmptyEdit(uint32_t segmentNumber, uint32_t* outIsEmpty)
{
    if (outIsEmpty == nullptr || segmentNumber == 0 || segmentNumber > entries.size())
        return MP4BadParameter;
    *outIsEmpty = entries[segmentNumber - 1].emptyEdit;
    return MP4Success;
}

MP4Err MP4EditListAtom::insertSegment(int32_t trackStartTime, uint32_t mediaStartTime, uint64_t segmentDuration,
    uint32_t mediaRate)
{
    if (!entries.empty()) {
        if (trackStartTime != -1)
            return MP4NotSupported;
        try {
            entries.push_back(Entry{segmentDuration, int64_t(mediaStartTime), mediaRate, 0});
        } catch (const std::bad_alloc&) {
            return MP4OutOfMemory;
        }
        return MP4Success;
    }
    // The media edit keeps the media time and rate it was given.
    try {
        if (trackStartTime > 0)
            entries.push_back(Entry{uint64_t(trackStartTime), -1, 1, 1});
        entries.push_back(Entry{segmentDuration, int64_t(mediaStartTime), mediaRate, 0});
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    return MP4Success;
}

MP4Err MP4EditListAtom::getEffectiveDuration(uint64_t* outDuration)
{
    if (outDuration == nullptr)
        return MP4BadParameter;
    uint64_t total = 0;
    for (const Entry& entry : entries)
        total += entry.segmentDuration;
    *outDuration = total;
    return MP4Success;
}

MP4Err MP4EditListAtom::getIndSegment(uint32_t index, uint64_t* outTrackStartTime, int64_t* outMediaStartTime,
    uint64_t* outSegmentDuration)
{
    if (index == 0 || index > entries.size())
        return MP4BadParameter;
    uint64_t start = 0;
    for (uint32_t i = 0; i + 1 < index; i++)
        start += entries[i].segmentDuration;
    const Entry& entry = entries[index - 1];
    if (outTrackStartTime != nullptr)
        *outTrackStartTime = start;
    if (outMediaStartTime != nullptr)
        *outMediaStartTime = entry.emptyEdit ? -1 : entry.mediaTime;
    if (outSegmentDuration != nullptr)
        *outSegmentDuration = entry.segmentDuration;
    return MP4Success;
}

MP4Err MP4EditListAtom::getTimeForTrackTime(int64_t trackTime, uint32_t movieTimeScale, uint32_t mediaTimeScale,
    int64_t* outMediaTime, uint32_t* outMediaRate, uint64_t* outPriorSegmentDuration, uint64_t* outNextSegmentDuration)
{
    if (movieTimeScale == 0 || mediaTimeScale == 0 || outMediaTime == nullptr || outMediaRate == nullptr)
        return MP4BadParameter;
    int64_t mediaTime = -1;
    uint32_t rate = 0x10000;
    int64_t segmentStart = 0;
    uint64_t prior = 0;
    for (const Entry& entry : entries) {
        int64_t segmentEnd = segmentStart + int64_t(entry.segmentDuration);
        if (segmentEnd < trackTime) {
            int64_t scaled = 0;
            MP4_TRY(MP4ScaleTime(int64_t(entry.segmentDuration), mediaTimeScale, movieTimeScale, &scaled));
            prior = uint64_t(scaled);
            segmentStart = segmentEnd;
            continue;
        }
        rate = entry.mediaRate;
        if (!entry.emptyEdit) {
            // Times are scaled with the product first, so no fraction of a second is lost.
            int64_t offset = 0;
            MP4_TRY(MP4ScaleTime(trackTime - segmentStart, mediaTimeScale, movieTimeScale, &offset));
            mediaTime = offset + entry.mediaTime;
        }
        break;
    }
    *outMediaTime = mediaTime;
    *outMediaRate = rate;
    if (outPriorSegmentDuration != nullptr)
        *outPriorSegmentDuration = prior;
    if (outNextSegmentDuration != nullptr)
        *outNextSegmentDuration = 0;
    return MP4Success;
}

MP4Err MP4CreateEditAtom(MP4EditAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateEditListAtom(MP4EditListAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
