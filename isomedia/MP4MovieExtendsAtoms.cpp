// The movie extends atom 'mvex' and its track defaults 'trex'.
#include "isomedia/MP4FragmentAtoms.h"

MP4MovieExtendsAtom::MP4MovieExtendsAtom()
{
    type = MP4FourCC("mvex");
    name = "movie extends";
}

MP4Err MP4MovieExtendsAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    if (atom->type != MP4FourCC("trex"))
        return MP4BadData;
    return MP4ContainerAtom::addAtom(atom);
}

MP4Err MP4MovieExtendsAtom::getTrackExtends(uint32_t trackID, MP4TrackExtendsAtom** outTrackExtends)
{
    if (outTrackExtends == nullptr)
        return MP4BadParameter;
    for (void* item : *atomList) {
        auto* trex = static_cast<MP4TrackExtendsAtom*>(item);
        if (trex->trackID == trackID) {
            *outTrackExtends = trex;
            break;
        }
    }
    return MP4Success;
}

MP4Err MP4MovieExtendsAtom::addTrackFragments(MP4Atom* moofAtom, MP4MovieAtom* moov, MP4MediaDataAtom* mdat)
{
    auto* moof = dynamic_cast<MP4MovieFragmentAtom*>(moofAtom);
    if (moof == nullptr || moov == nullptr)
        return MP4BadParameter;
    for (void* item : *atomList) {
        auto* trex = static_cast<MP4TrackExtendsAtom*>(item);
        MP4TrackFragmentAtom* traf = nullptr;
        MP4TrackFragmentHeaderAtom* tfhd = nullptr;
        MP4_TRY(MP4CreateTrackFragmentAtom(&traf));
        MP4Err err = MP4CreateTrackFragmentHeaderAtom(&tfhd);
        if (err == MP4Success) {
            err = traf->addAtom(tfhd);
            if (err != MP4Success)
                tfhd->destroy();
        }
        if (err == MP4Success) {
            traf->mdat = mdat;
            traf->default_sample_description_index = trex->default_sample_description_index;
            traf->default_sample_duration = trex->default_sample_duration;
            traf->default_sample_size = trex->default_sample_size;
            traf->default_sample_flags = trex->default_sample_flags;
            tfhd->trackID = trex->trackID;
            tfhd->sample_description_index = trex->default_sample_description_index;
            err = moof->addAtom(traf);
        }
        if (err != MP4Success) {
            traf->destroy();
            return err;
        }
        // Only a track fragment the 'moof' owns may stand in for a media's information.
        MP4_TRY(moov->setMediaInformationForTrackID(trex->trackID, traf));
    }
    return MP4Success;
}

MP4Err MP4MovieExtendsAtom::setDefaultSampleDescriptionIndexes(MP4MovieAtom* moov)
{
    if (moov == nullptr)
        return MP4BadParameter;
    for (void* item : *atomList) {
        auto* trex = static_cast<MP4TrackExtendsAtom*>(item);
        MP4_TRY(moov->getSampleEntryIndexForTrackID(trex->trackID, &trex->default_sample_description_index));
    }
    return MP4Success;
}

MP4TrackExtendsAtom::MP4TrackExtendsAtom()
{
    type = MP4FourCC("trex");
    name = "track extends";
}

MP4Err MP4TrackExtendsAtom::createFromInputStream(MP4Atom* proto, MP4InputStream stream)
{
    MP4_TRY(MP4FullAtom::createFromInputStream(proto, stream));
    MP4_TRY(get32(stream, &trackID, "trackID"));
    MP4_TRY(get32(stream, &default_sample_description_index, "default_sample_description_index"));
    MP4_TRY(get32(stream, &default_sample_duration, "default_sample_duration"));
    MP4_TRY(get32(stream, &default_sample_size, "default_sample_size"));
    return get32(stream, &default_sample_flags, "default_sample_flags");
}

MP4Err MP4TrackExtendsAtom::calculateSize()
{
    MP4_TRY(MP4CalculateFullAtomFieldSize(this));
    size += 20;
    return MP4Success;
}

MP4Err MP4TrackExtendsAtom::serialize(char* buffer)
{
    MP4_TRY(MP4SerializeCommonFullAtomFields(this, buffer));
    for (uint32_t value : {trackID, default_sample_description_index, default_sample_duration, default_sample_size,
             default_sample_flags})
        MP4_TRY(put32(buffer, value));
    return finishWriting();
}

MP4Err MP4CreateMovieExtendsAtom(MP4MovieExtendsAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4CreateTrackExtendsAtom(MP4TrackExtendsAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
