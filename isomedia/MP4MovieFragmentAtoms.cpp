// The movie fragment 'moof' and its header 'mfhd'.
#include "isomedia/MP4FragmentAtoms.h"

MP4MovieFragmentAtom::MP4MovieFragmentAtom()
{
    type = MP4FourCC("moof");
    name = "movie fragment";
    MP4MakeLinkedList(&trafList);
}

MP4MovieFragmentAtom::~MP4MovieFragmentAtom()
{
    if (trafList != nullptr)
        MP4DeleteLinkedList(trafList);
}

MP4Err MP4MovieFragmentAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    if (trafList == nullptr)
        return MP4OutOfMemory;
    if (atom->type == MP4FourCC("traf")) {
        MP4_TRY(MP4ContainerAtom::addAtom(atom));
        MP4Err err = MP4AddListEntry(atom, trafList);
        if (err != MP4Success)
            MP4DeleteListEntryByItem(atom, atomList);
        return err;
    }
    if (atom->type != MP4FourCC("mfhd"))
        return MP4BadData;
    MP4_TRY(MP4ContainerAtom::addAtom(atom));
    if (mfhd != nullptr) {
        // A later header replaces an earlier one.
        MP4DeleteListEntryByItem(mfhd, atomList);
        mfhd->destroy();
    }
    mfhd = static_cast<MP4MovieFragmentHeaderAtom*>(atom);
    return MP4Success;
}

MP4Err MP4MovieFragmentAtom::mdatMoved(uint64_t start, uint64_t end, int64_t delta)
{
    for (void* item : *trafList) {
        if (item == nullptr)
            return MP4MissingComponent;
        MP4_TRY(static_cast<MP4TrackFragmentAtom*>(item)->mdatMoved(start, end, delta));
    }
    return MP4Success;
}

MP4Err MP4MovieFragmentAtom::mergeFragment(MP4MovieAtom* moov)
{
    if (moov == nullptr)
        return MP4BadParameter;
    uint64_t runningOffset = streamOffset;
    for (void* item : *trafList) {
        auto* traf = static_cast<MP4TrackFragmentAtom*>(item);
        if (traf == nullptr || traf->tfhd == nullptr)
            return MP4MissingComponent;
        MP4TrackFragmentHeaderAtom* tfhd = traf->tfhd;
        MP4TrackExtendsAtom* trex = nullptr;
        MP4_TRY(moov->getTrackExtends(tfhd->trackID, &trex));
        if (trex == nullptr)
            return MP4MissingComponent;
        traf->default_sample_description_index = trex->default_sample_description_index;
        traf->default_sample_duration = trex->default_sample_duration;
        traf->default_sample_size = trex->default_sample_size;
        traf->default_sample_flags = trex->default_sample_flags;
        if (!(tfhd->flags & 0x2))
            tfhd->sample_description_index = trex->default_sample_description_index;
        if (!(tfhd->flags & 0x8))
            tfhd->default_sample_duration = trex->default_sample_duration;
        if (!(tfhd->flags & 0x10))
            tfhd->default_sample_size = trex->default_sample_size;
        if (!(tfhd->flags & 0x20))
            tfhd->default_sample_flags = trex->default_sample_flags;
        if (tfhd->flags & 0x1)
            runningOffset = uint32_t(tfhd->base_data_offset);
        else
            tfhd->base_data_offset = runningOffset;
        if (tfhd->flags & 0x010000)
            return MP4NotSupported;
        uint64_t dataSize = 0;
        MP4_TRY(traf->calculateDataSize(&dataSize));
        runningOffset += dataSize;
        MP4MediaAtom* media = nullptr;
        MP4_TRY(moov->getTrackMedia(tfhd->trackID, &media));
        if (media == nullptr)
            return MP4BadParameter;
        MP4_TRY(traf->mergeRuns(media));
        MP4_TRY(media->calculateDuration());
    }
    return MP4Success;
}

MP4MovieFragmentHeaderAtom::MP4MovieFragmentHeaderAtom()
{
    type = MP4FourCC("mfhd");
    name = "movie fragment header";
}

MP4Err MP4MovieFragmentHeaderAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    return get32(stream, &sequence_number, "sequence_number");
}

MP4Err MP4MovieFragmentHeaderAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 4;
    return MP4Success;
}

MP4Err MP4MovieFragmentHeaderAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    MP4_TRY(put32(buffer, sequence_number));
    return finishWriting();
}

MP4Err MP4CreateMovieFragmentAtom(MP4MovieFragmentAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateMovieFragmentHeaderAtom(MP4MovieFragmentHeaderAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
