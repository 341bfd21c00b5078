// The track interface: header properties, media, references, edits and times.
#include "isomedia/MP4TrackAPI.h"

#include "isomedia/MP4APISupport.h"
#include "isomedia/MP4TrackAtoms.h"

#include <algorithm>

static MP4Err headerOf(MP4Track track, MP4TrackHeaderAtom** outHeader)
{
    if (track == nullptr)
        return MP4BadParameter;
    *outHeader = track->trackHeader;
    return *outHeader != nullptr ? MP4Success : MP4MissingComponent;
}

// One of the track atom's operations.
template <class Operation, class... Arguments>
static MP4Err onTrack(MP4Track track, Operation operation, Arguments... arguments)
{
    return track != nullptr ? (track->*operation)(arguments...) : MP4BadParameter;
}

MP4Err MP4GetTrackID(MP4Track track, uint32_t* outTrackID)
{
    MP4TrackHeaderAtom* header = nullptr;
    MP4_TRY(headerOf(track, &header));
    if (outTrackID == nullptr)
        return MP4BadParameter;
    *outTrackID = header->trackID;
    return MP4Success;
}

MP4Err MP4GetTrackEnabled(MP4Track track, uint32_t* outEnabled)
{
    return onTrack(track, &MP4TrackAtom::getEnabled, outEnabled);
}

MP4Err MP4SetTrackEnabled(MP4Track track, uint32_t enabled)
{
    return onTrack(track, &MP4TrackAtom::setEnabled, enabled);
}

MP4Err MP4GetTrackMovie(MP4Track track, MP4Movie* outMovie)
{
    if (track == nullptr || outMovie == nullptr)
        return MP4BadParameter;
    *outMovie = track->moov;
    return MP4Success;
}

MP4Err MP4GetTrackMedia(MP4Track track, MP4Media* outMedia)
{
    if (track == nullptr || outMedia == nullptr)
        return MP4BadParameter;
    *outMedia = track->trackMedia;
    return *outMedia != nullptr ? MP4Success : MP4MissingComponent;
}

// The movie time scale of the track's movie; -8 when there is none to be had.
static MP4Err movieTimeScaleOf(MP4Track track, uint32_t* outTimeScale)
{
    MP4MovieAtom* moov = nullptr;
    MP4_TRY(MP4MovieAtomOfTrack(track, &moov));
    return moov->getTimeScale(outTimeScale);
}

MP4Err MP4GetTrackDuration(MP4Track track, uint64_t* outDuration)
{
    if (track == nullptr || outDuration == nullptr)
        return MP4BadParameter;
    if (track->trackMedia == nullptr)
        return MP4MissingComponent;
    uint32_t movieTimeScale = 0;
    MP4_TRY(movieTimeScaleOf(track, &movieTimeScale));
    MP4_TRY(track->calculateDuration(movieTimeScale));
    return track->getDuration(outDuration);
}

MP4Err MP4SetTrackMatrix(MP4Track track, const uint32_t matrix[9])
{
    if (track == nullptr)
        return MP4BadParameter;
    return track->setMatrix(matrix != nullptr ? matrix : kMP4IdentityMatrix);
}

MP4Err MP4GetTrackMatrix(MP4Track track, uint32_t outMatrix[9])
{
    return onTrack(track, &MP4TrackAtom::getMatrix, outMatrix);
}

MP4Err MP4SetTrackLayer(MP4Track track, int16_t layer)
{
    return onTrack(track, &MP4TrackAtom::setLayer, layer);
}

MP4Err MP4GetTrackLayer(MP4Track track, int16_t* outLayer)
{
    return onTrack(track, &MP4TrackAtom::getLayer, outLayer);
}

MP4Err MP4SetTrackDimensions(MP4Track track, uint32_t width, uint32_t height)
{
    return onTrack(track, &MP4TrackAtom::setDimensions, width, height);
}

MP4Err MP4GetTrackDimensions(MP4Track track, uint32_t* outWidth, uint32_t* outHeight)
{
    return onTrack(track, &MP4TrackAtom::getDimensions, outWidth, outHeight);
}

MP4Err MP4SetTrackVolume(MP4Track track, int16_t volume)
{
    return onTrack(track, &MP4TrackAtom::setVolume, volume);
}

MP4Err MP4GetTrackVolume(MP4Track track, int16_t* outVolume)
{
    return onTrack(track, &MP4TrackAtom::getVolume, outVolume);
}

// References --------------------------------------------------------------------------------

// The track's reference atom of the type, or none; -6 when a child of that type is not a list
// of track IDs.
static MP4Err referencesOf(MP4Track track, uint32_t referenceType, MP4TrackReferenceTypeAtom** outReferences)
{
    *outReferences = nullptr;
    if (track->trackReferences == nullptr)
        return MP4Success;
    MP4Atom* found = nullptr;
    MP4_TRY(track->trackReferences->findAtomOfType(referenceType, &found));
    *outReferences = dynamic_cast<MP4TrackReferenceTypeAtom*>(found);
    return found == nullptr || *outReferences != nullptr ? MP4Success : MP4BadData;
}

MP4Err MP4AddTrackReferenceWithID(MP4Track track, uint32_t referencedTrackID, uint32_t referenceType,
    uint32_t* outReferenceIndex)
{
    if (track == nullptr || outReferenceIndex == nullptr || referencedTrackID == 0)
        return MP4BadParameter;
    if (track->trackReferences == nullptr)
        MP4_TRY(MP4AddNewAtom(track, MP4CreateTrackReferenceAtom));
    MP4TrackReferenceTypeAtom* references = nullptr;
    MP4_TRY(track->trackReferences->typeAtom(referenceType, &references));
    MP4_TRY(references->addTrackID(referencedTrackID));
    auto at = std::find(references->trackIDs.begin(), references->trackIDs.end(), referencedTrackID);
    *outReferenceIndex = uint32_t(at - references->trackIDs.begin()) + 1;
    return MP4Success;
}

MP4Err MP4AddTrackReference(MP4Track track, MP4Track referencedTrack, uint32_t referenceType,
    uint32_t* outReferenceIndex)
{
    if (track == nullptr || referencedTrack == nullptr)
        return MP4BadParameter;
    uint32_t referencedTrackID = 0;
    MP4_TRY(MP4GetTrackID(referencedTrack, &referencedTrackID));
    if (referencedTrackID == 0)
        return MP4MissingComponent;
    return MP4AddTrackReferenceWithID(track, referencedTrackID, referenceType, outReferenceIndex);
}

MP4Err MP4GetTrackReference(MP4Track track, uint32_t referenceType, uint32_t referenceIndex,
    MP4Track* outReferencedTrack)
{
    if (track == nullptr || outReferencedTrack == nullptr)
        return MP4BadParameter;
    MP4TrackReferenceTypeAtom* references = nullptr;
    MP4_TRY(referencesOf(track, referenceType, &references));
    if (references == nullptr || referenceIndex == 0 || referenceIndex > references->trackIDs.size())
        return MP4BadParameter;
    return MP4GetMovieTrack(track->moov, references->trackIDs[referenceIndex - 1], outReferencedTrack);
}

MP4Err MP4GetTrackReferenceCount(MP4Track track, uint32_t referenceType, uint32_t* outReferenceCount)
{
    if (track == nullptr || outReferenceCount == nullptr)
        return MP4BadParameter;
    MP4TrackReferenceTypeAtom* references = nullptr;
    MP4_TRY(referencesOf(track, referenceType, &references));
    *outReferenceCount = references != nullptr ? uint32_t(references->trackIDs.size()) : 0;
    return MP4Success;
}

MP4Err MP4GetTrackReferenceTypeAtom(MP4Track track, uint32_t referenceType, MP4TrackReferenceTypeAtom** outAtom)
{
    if (track == nullptr || outAtom == nullptr)
        return MP4BadParameter;
    return referencesOf(track, referenceType, outAtom);
}

MP4Err MP4GetTrackUserData(MP4Track track, MP4UserData* outUserData)
{
    return MP4UserDataOf(track, outUserData);
}

MP4Err MP4NewTrackMedia(MP4Track track, MP4Media* outMedia, uint32_t handlerType, uint32_t timeScale,
    MP4Handle dataReference)
{
    if (track == nullptr || outMedia == nullptr || timeScale == 0)
        return MP4BadParameter;
    return track->newMedia(outMedia, handlerType, timeScale, dataReference);
}

// Edits --------------------------------------------------------------------------------------

// The track's edit list, made with its 'edts' when absent.
static MP4Err editListOf(MP4Track track, MP4EditListAtom** outEditList)
{
    if (track->trackEditAtom == nullptr)
        MP4_TRY(MP4AddNewAtom(track, MP4CreateEditAtom));
    if (track->trackEditAtom->editList == nullptr)
        MP4_TRY(MP4AddNewAtom(track->trackEditAtom, MP4CreateEditListAtom));
    *outEditList = track->trackEditAtom->editList;
    return MP4Success;
}

static MP4EditListAtom* existingEditList(MP4Track track)
{
    return track->trackEditAtom != nullptr ? track->trackEditAtom->editList : nullptr;
}

MP4Err MP4InsertMediaIntoTrack(MP4Track track, int32_t trackStartTime, uint32_t mediaTime, uint64_t segmentDuration,
    uint32_t mediaRate)
{
    if (track == nullptr || mediaRate > 1)
        return MP4BadParameter;
    MP4EditListAtom* editList = existingEditList(track);
    // Media that plays whole from the start of the track is what a track without edits does.
    const bool plain = trackStartTime == 0 && mediaTime == 0 && mediaRate == 1
        && (editList == nullptr || editList->getEntryCount() == 0);
    if (!plain) {
        MP4_TRY(editListOf(track, &editList));
        MP4_TRY(editList->insertSegment(trackStartTime, mediaTime, segmentDuration, mediaRate));
    }
    // The samples of a new movie's media can be read back at once.
    MP4MediaInformationAtom* information = track->trackMedia ? track->trackMedia->mediaInformation() : nullptr;
    if (track->moov == nullptr || track->moov->movieKind != 1 || information == nullptr
        || information->dataHandler != nullptr)
        return MP4Success;
    MP4DataEntryAtom* entry = nullptr;
    if (information->dataInformation == nullptr || information->dataInformation->dref == nullptr
        || information->dataInformation->dref->getDataEntry(1, &entry) != MP4Success || entry->mdat == nullptr)
        return MP4Success;
    return information->openDataHandler(1);
}

MP4Err MP4GetTrackOffset(MP4Track track, uint64_t* outMovieOffsetTime)
{
    if (track == nullptr || outMovieOffsetTime == nullptr)
        return MP4BadParameter;
    *outMovieOffsetTime = 0;
    MP4EditListAtom* editList = existingEditList(track);
    return editList != nullptr ? editList->getTrackOffset(outMovieOffsetTime) : MP4Success;
}

MP4Err MP4SetTrackOffset(MP4Track track, uint64_t movieOffsetTime)
{
    if (track == nullptr)
        return MP4BadParameter;
    // The media edit that follows the offset covers the track as it is now.
    if (existingEditList(track) == nullptr && track->trackMedia != nullptr) {
        uint64_t ignored = 0;
        MP4_TRY(MP4GetTrackDuration(track, &ignored));
    }
    uint64_t duration = 0;
    MP4_TRY(track->getDuration(&duration));
    MP4EditListAtom* editList = nullptr;
    MP4_TRY(editListOf(track, &editList));
    return editList->setTrackOffset(movieOffsetTime, duration);
}

MP4Err MP4TrackTimeToMediaTime(MP4Track track, int64_t trackTime, int64_t* outMediaTime)
{
    if (track == nullptr || outMediaTime == nullptr)
        return MP4BadParameter;
    if (track->trackMedia == nullptr || track->trackMedia->mediaHeader == nullptr)
        return MP4MissingComponent;
    uint32_t movieTimeScale = 0;
    MP4_TRY(movieTimeScaleOf(track, &movieTimeScale));
    const uint32_t mediaTimeScale = track->trackMedia->mediaHeader->timeScale;
    if (movieTimeScale == 0 || mediaTimeScale == 0)
        return MP4MissingComponent;
    if (MP4EditListAtom* editList = existingEditList(track)) {
        uint32_t rate = 0;
        return editList->getTimeForTrackTime(trackTime, movieTimeScale, mediaTimeScale, outMediaTime, &rate, nullptr,
            nullptr);
    }
    // The product first: a track time that is not a whole number of seconds keeps its fraction.
    return MP4ScaleTime(trackTime, mediaTimeScale, movieTimeScale, outMediaTime);
}
