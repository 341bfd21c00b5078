// Writing a movie in fragments: the tracks' fragment defaults and the step to the next fragment.
#include "isomedia/MP4MovieAPI.h"

#include "isomedia/MP4APISupport.h"
#include "isomedia/MP4DataHandler.h"
#include "isomedia/MP4FragmentAtoms.h"
#include "isomedia/MP4TrackAPI.h"

#include <utility>

MP4Err MP4SetTrackFragmentDefaults(MP4Track track, uint32_t sampleDuration, uint32_t sampleSize, uint32_t isSync,
    uint32_t degradationPriority)
{
    uint32_t trackID = 0;
    MP4_TRY(MP4GetTrackID(track, &trackID));
    MP4MovieAtom* moov = nullptr;
    MP4_TRY(MP4MovieAtomOfTrack(track, &moov));
    if (moov->mvex == nullptr)
        MP4_TRY(MP4AddNewAtom(moov, MP4CreateMovieExtendsAtom));
    MP4TrackExtendsAtom* trex = nullptr;
    MP4_TRY(moov->mvex->getTrackExtends(trackID, &trex));
    // A track has one set of defaults: calling again changes them.
    if (trex == nullptr)
        MP4_TRY(MP4AddNewAtom(moov->mvex, MP4CreateTrackExtendsAtom, &trex));
    trex->trackID = trackID;
    trex->default_sample_duration = sampleDuration;
    trex->default_sample_size = sampleSize;
    // Sample flags: bit 16 marks a sample that is not a sync sample, the low 16 bits hold its
    // degradation priority (bits 17 to 19 are its padding, which a default does not set).
    trex->default_sample_flags = (isSync ? 0 : 0x10000) | (degradationPriority & 0xFFFF);
    return MP4Success;
}

// The records the next fragment is made of, before any of them is put in the movie.
struct NextFragment {
    MP4MovieFragmentAtom* moof = nullptr;
    MP4MediaDataAtom* mdat = nullptr;
    MP4DataHandler dataHandler = nullptr;

    ~NextFragment()
    {
        if (moof != nullptr)
            moof->destroy();
        if (mdat != nullptr)
            mdat->destroy();
        delete dataHandler;
    }

    MP4Err make(uint32_t sequenceNumber)
    {
        MP4_TRY(MP4CreateMovieFragmentAtom(&moof));
        MP4MovieFragmentHeaderAtom* mfhd = nullptr;
        MP4_TRY(MP4AddNewAtom(moof, MP4CreateMovieFragmentHeaderAtom, &mfhd));
        mfhd->sequence_number = sequenceNumber;
        MP4_TRY(MP4CreateMediaDataAtom(&mdat));
        return MP4CreateMediaDataHandler(mdat, &dataHandler);
    }
};

// Every track's media now goes to the new 'mdat' (the old one, and every data handler that was
// reading it, is about to go) and to its own media information until the next fragment's
// track fragment stands in for it.
static void pointTracksAt(MP4MovieAtom* moov, MP4MediaDataAtom* mdat)
{
    for (void* item : *moov->trackList) {
        auto* track = static_cast<MP4TrackAtom*>(item);
        track->setMdat(mdat);
        MP4MediaAtom* media = track->trackMedia;
        if (media == nullptr)
            continue;
        if (media->originalInformation != nullptr)
            media->information = media->originalInformation;
        // A media without data references has no entry that could refer to the media data.
        if (MP4MediaInformationAtom* information = media->mediaInformation())
            information->mdatArrived(mdat);
    }
}

MP4Err MP4WriteMovieFragment(MP4Movie movie)
{
    if (movie == nullptr || movie->moovAtomPtr == nullptr)
        return MP4BadParameter;
    auto* startingMoov = dynamic_cast<MP4MovieAtom*>(movie->moovAtomPtr);
    auto* currentMoof = dynamic_cast<MP4MovieFragmentAtom*>(movie->moovAtomPtr);
    MP4MovieAtom* moov = startingMoov != nullptr ? startingMoov : movie->true_moov;
    if (moov == nullptr || moov->mvex == nullptr)
        return MP4BadParameter;
    uint32_t sequenceNumber = 1;
    if (currentMoof != nullptr)
        sequenceNumber = (currentMoof->mfhd != nullptr ? currentMoof->mfhd->sequence_number : 0) + 1;
    if (startingMoov != nullptr)
        MP4_TRY(moov->mvex->setDefaultSampleDescriptionIndexes(moov));
    // Everything the step needs is made before anything is written: a failure changes nothing.
    NextFragment next;
    MP4_TRY(next.make(sequenceNumber));
    MP4_TRY(MP4PutMovieIntoHandle(movie, nullptr));

    pointTracksAt(moov, next.mdat);
    if (currentMoof != nullptr)
        currentMoof->destroy();
    movie->true_moov = moov;
    movie->moovAtomPtr = std::exchange(next.moof, nullptr);
    if (movie->mdat != nullptr)
        movie->mdat->destroy();
    movie->mdat = std::exchange(next.mdat, nullptr);
    delete movie->inMemoryDataHandler;
    movie->inMemoryDataHandler = std::exchange(next.dataHandler, nullptr);
    return moov->mvex->addTrackFragments(movie->moovAtomPtr, moov, movie->mdat);
}
