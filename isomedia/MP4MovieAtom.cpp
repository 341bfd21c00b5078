#include "isomedia/MP4MovieAtoms.h"

#include "isomedia/MP4FragmentAtoms.h"
#include "isomedia/MP4MovieAPI.h"
#include "isomedia/MP4Movies.h"
#include "isomedia/MP4SampleEntryAtoms.h"
#include "isomedia/MP4SampleTableAtoms.h"
#include "isomedia/MP4TrackAtoms.h"

MP4MovieAtom::MP4MovieAtom()
{
    type = MP4FourCC("moov");
    name = "movie";
    MP4MakeLinkedList(&trackList);
}

MP4MovieAtom::~MP4MovieAtom()
{
    if (trackList != nullptr)
        MP4DeleteLinkedList(trackList);
}

MP4Err MP4MovieAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    if (trackList == nullptr)
        return MP4OutOfMemory;
    MP4Atom** field = nullptr;
    switch (atom->type) {
    case MP4FourCC("iods"): field = reinterpret_cast<MP4Atom**>(&iods); break;
    case MP4FourCC("mvex"): field = reinterpret_cast<MP4Atom**>(&mvex); break;
    case MP4FourCC("mvhd"): field = reinterpret_cast<MP4Atom**>(&mvhd); break;
    case MP4FourCC("udta"): field = &udta; break;
    default: break;
    }
    if (field != nullptr && *field != nullptr)
        return MP4BadData;
    if (atom->type == MP4FourCC("trak")) {
        MP4_TRY(MP4AddListEntry(atom, trackList));
        MP4Err err = MP4ContainerAtom::addAtom(atom);
        if (err != MP4Success)
            MP4DeleteListEntryByItem(atom, trackList);
        return err;
    }
    MP4_TRY(MP4ContainerAtom::addAtom(atom));
    if (field != nullptr)
        *field = atom;
    return MP4Success;
}

MP4Err MP4MovieAtom::addTrack(MP4TrackAtom* track)
{
    return addAtom(track);
}

MP4Err MP4MovieAtom::setupTracks(MP4MovieRecord* movie)
{
    moov = movie;
    for (void* item : *trackList)
        MP4_TRY(static_cast<MP4TrackAtom*>(item)->setMoov(movie));
    return MP4Success;
}

MP4Err MP4MovieAtom::getTrackCount(uint32_t* outCount)
{
    if (outCount == nullptr)
        return MP4BadParameter;
    *outCount = MP4ListCount(trackList);
    return MP4Success;
}

MP4Err MP4MovieAtom::getIndTrack(uint32_t index, MP4TrackAtom** outTrack)
{
    if (outTrack == nullptr || index == 0 || index > MP4ListCount(trackList))
        return MP4BadParameter;
    *outTrack = MP4ListItem<MP4TrackAtom>(trackList, index - 1);
    return MP4Success;
}

MP4Err MP4MovieAtom::mdatMoved(uint64_t start, uint64_t end, int64_t delta)
{
    for (void* item : *trackList) {
        if (item == nullptr)
            return MP4MissingComponent;
        MP4_TRY(static_cast<MP4TrackAtom*>(item)->mdatMoved(start, end, delta));
    }
    return MP4Success;
}

MP4Err MP4MovieAtom::mdatArrived(MP4MediaDataAtom* mdat)
{
    for (void* item : *trackList)
        MP4_TRY(static_cast<MP4TrackAtom*>(item)->mdatArrived(mdat));
    return MP4Success;
}

MP4Err MP4MovieAtom::calculateDuration()
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    uint64_t longest = 0;
    for (void* item : *trackList) {
        auto* track = static_cast<MP4TrackAtom*>(item);
        MP4_TRY(track->calculateDuration(mvhd->timeScale));
        uint64_t duration = 0;
        MP4_TRY(track->getDuration(&duration));
        if (duration > longest)
            longest = duration;
    }
    mvhd->duration = longest;
    return MP4Success;
}

MP4Err MP4MovieAtom::getNextTrackID(uint32_t* outID)
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    if (outID == nullptr)
        return MP4BadParameter;
    *outID = mvhd->nextTrackID;
    return MP4Success;
}

MP4Err MP4MovieAtom::newTrack(uint32_t newTrackFlags, MP4TrackAtom** outTrack)
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    return newTrackWithID(newTrackFlags, mvhd->nextTrackID, outTrack);
}

MP4Err MP4MovieAtom::newTrackWithID(uint32_t newTrackFlags, uint32_t trackID, MP4TrackAtom** outTrack)
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    if (trackID == 0 || outTrack == nullptr)
        return MP4BadParameter;
    if (mvhd->nextTrackID > trackID) {
        for (void* item : *trackList) {
            auto* existing = static_cast<MP4TrackAtom*>(item);
            if (existing->trackHeader == nullptr)
                return MP4MissingComponent;
            if (existing->trackHeader->trackID == trackID)
                return MP4BadParameter;
        }
    } else {
        mvhd->nextTrackID = trackID + 1;
    }
    MP4TrackAtom* track = nullptr;
    MP4TrackHeaderAtom* header = nullptr;
    MP4_TRY(MP4CreateTrackAtom(&track));
    MP4Err err = MP4CreateTrackHeaderAtom(&header);
    if (err != MP4Success) {
        track->destroy();
        return err;
    }
    track->newTrackFlags = newTrackFlags;
    header->trackID = trackID;
    MP4GetCurrentTime(&header->creationTime);
    header->modificationTime = header->creationTime;
    if (newTrackFlags & 2) {
        header->qt_trackWidth = 0x1400000;
        header->qt_trackHeight = 0xF00000;
    } else if (newTrackFlags & 4) {
        header->qt_volume = 0x100;
    }
    err = track->addAtom(header);
    if (err != MP4Success) {
        header->destroy();
        track->destroy();
        return err;
    }
    err = addAtom(track);
    if (err != MP4Success) {
        track->destroy();
        return err;
    }
    *outTrack = track;
    return MP4Success;
}

MP4Err MP4MovieAtom::setTimeScale(uint32_t timeScale)
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    mvhd->timeScale = timeScale;
    return MP4Success;
}

MP4Err MP4MovieAtom::getTimeScale(uint32_t* outTimeScale)
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    if (outTimeScale == nullptr)
        return MP4BadParameter;
    *outTimeScale = mvhd->timeScale;
    return MP4Success;
}

MP4Err MP4MovieAtom::setMatrix(const uint32_t matrix[9])
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    for (int i = 0; i < 9; i++)
        mvhd->matrix[i] = matrix[i];
    return MP4Success;
}

MP4Err MP4MovieAtom::getMatrix(uint32_t outMatrix[9])
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    if (outMatrix == nullptr)
        return MP4BadParameter;
    for (int i = 0; i < 9; i++)
        outMatrix[i] = mvhd->matrix[i];
    return MP4Success;
}

MP4Err MP4MovieAtom::setPreferredRate(uint32_t rate)
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    mvhd->qt_preferredRate = rate;
    return MP4Success;
}

MP4Err MP4MovieAtom::getPreferredRate(uint32_t* outRate)
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    if (outRate == nullptr)
        return MP4BadParameter;
    *outRate = mvhd->qt_preferredRate;
    return MP4Success;
}

MP4Err MP4MovieAtom::setPreferredVolume(int16_t volume)
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    mvhd->qt_preferredVolume = uint16_t(volume);
    return MP4Success;
}

MP4Err MP4MovieAtom::getPreferredVolume(int16_t* outVolume)
{
    if (mvhd == nullptr)
        return MP4MissingComponent;
    if (outVolume == nullptr)
        return MP4BadParameter;
    *outVolume = int16_t(mvhd->qt_preferredVolume);
    return MP4Success;
}

MP4Err MP4MovieAtom::setMediaInformationForTrackID(uint32_t trackID, MP4Atom* mediaInformation)
{
    auto* information = dynamic_cast<MP4SampleInformationAtom*>(mediaInformation);
    if (information == nullptr)
        return MP4BadParameter;
    for (void* item : *trackList)
        MP4_TRY(static_cast<MP4TrackAtom*>(item)->setMediaInformationForTrackID(trackID, information));
    return MP4Success;
}

MP4Err MP4MovieAtom::getTrackExtends(uint32_t trackID, MP4TrackExtendsAtom** outTrackExtends)
{
    if (mvex == nullptr)
        return MP4MissingComponent;
    return mvex->getTrackExtends(trackID, outTrackExtends);
}

static MP4TrackAtom* trackWithID(MP4LinkedList tracks, uint32_t trackID)
{
    for (void* item : *tracks) {
        auto* track = static_cast<MP4TrackAtom*>(item);
        if (track->trackHeader != nullptr && track->trackHeader->trackID == trackID)
            return track;
    }
    return nullptr;
}

MP4Err MP4MovieAtom::getTrackMedia(uint32_t trackID, MP4MediaAtom** outMedia)
{
    if (outMedia == nullptr)
        return MP4BadParameter;
    MP4TrackAtom* track = trackWithID(trackList, trackID);
    if (track == nullptr)
        return MP4BadParameter;
    *outMedia = track->trackMedia;
    return MP4Success;
}

MP4Err MP4MovieAtom::getSampleEntryIndexForTrackID(uint32_t trackID, uint32_t* outIndex)
{
    if (outIndex == nullptr)
        return MP4BadParameter;
    MP4TrackAtom* track = trackWithID(trackList, trackID);
    if (track == nullptr)
        return MP4BadParameter;
    MP4MediaInformationAtom* information = track->trackMedia ? track->trackMedia->mediaInformation() : nullptr;
    if (information == nullptr || information->sampleTable == nullptr)
        return MP4MissingComponent;
    *outIndex = information->sampleTable->getCurrentSampleEntryIndex();
    return MP4Success;
}

MP4Err MP4CreateMovieAtom(MP4MovieAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
