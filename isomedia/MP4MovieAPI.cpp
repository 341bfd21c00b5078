// New movies, the movie header's properties, the file type and the tracks of a movie.
#include "isomedia/MP4MovieAPI.h"

#include "isomedia/MP4APISupport.h"
#include "isomedia/MP4DataHandler.h"
#include "isomedia/MP4FileTypeAtoms.h"
#include "isomedia/MP4SampleEntryAtoms.h"
#include "isomedia/MP4TrackAtoms.h"

#include <cstring>
#include <ctime>

MP4Err MP4GetCurrentTime(uint64_t* outTime)
{
    if (outTime == nullptr)
        return MP4BadParameter;
    *outTime = uint64_t(std::time(nullptr)) + 2082758400u;
    return MP4Success;
}

// The initial object descriptor of a new movie.
static MP4Err newInitialDescriptor(uint32_t descriptorID, const uint8_t profiles[5], const char* url,
    bool includeOnlyURL, MP4Descriptor** outDescriptor)
{
    const uint32_t urlLength = url != nullptr ? uint32_t(std::strlen(url)) : 0;
    MP4Descriptor* made = nullptr;
    if (urlLength != 0 && includeOnlyURL) {
        MP4_TRY(MP4CreateObjectDescriptor(17, 0, 0, &made));
        auto* od = static_cast<MP4ObjectDescriptor*>(made);
        od->objectDescriptorID = descriptorID;
        od->URLStringLength = urlLength;
        MP4Err err = MP4Resize(od->URLString, urlLength);
        if (err != MP4Success) {
            made->destroy();
            return err;
        }
        std::memcpy(od->URLString.data(), url, urlLength);
    } else {
        MP4_TRY(MP4CreateInitialObjectDescriptor(16, 0, 0, &made));
        auto* iod = static_cast<MP4InitialObjectDescriptor*>(made);
        iod->objectDescriptorID = descriptorID;
        iod->OD_profileAndLevel = profiles[0];
        iod->scene_profileAndLevel = profiles[1];
        iod->audio_profileAndLevel = profiles[2];
        iod->visual_profileAndLevel = profiles[3];
        iod->graphics_profileAndLevel = profiles[4];
        iod->URLStringLength = urlLength;
        MP4Err err = MP4Resize(iod->URLString, urlLength);
        if (err != MP4Success) {
            made->destroy();
            return err;
        }
        if (urlLength != 0)
            std::memcpy(iod->URLString.data(), url, urlLength);
    }
    *outDescriptor = made;
    return MP4Success;
}

// Fills a new movie record; what is made belongs to the record at once, so that disposing of
// it frees everything whatever step failed.
static MP4Err buildNewMovie(MP4Movie movie, MP4Descriptor* descriptor)
{
    MP4MovieAtom* moov = nullptr;
    MP4Err err = MP4CreateMovieAtom(&moov);
    if (err != MP4Success) {
        descriptor->destroy();
        return err;
    }
    movie->moovAtomPtr = moov;
    MP4ObjectDescriptorAtom* iods = nullptr;
    err = MP4CreateObjectDescriptorAtom(&iods);
    if (err == MP4Success)
        err = iods->setDescriptor(descriptor);
    if (err != MP4Success) {
        descriptor->destroy();
        if (iods != nullptr)
            iods->destroy();
        return err;
    }
    MP4MovieHeaderAtom* mvhd = nullptr;
    MP4_TRY(MP4AddNewAtom(moov, MP4CreateMovieHeaderAtom, &mvhd));
    MP4_TRY(MP4GetCurrentTime(&mvhd->creationTime));
    mvhd->modificationTime = mvhd->creationTime;
    mvhd->timeScale = 600;
    mvhd->nextTrackID = 1;
    err = moov->addAtom(iods);
    if (err != MP4Success) {
        iods->destroy();
        return err;
    }
    MP4_TRY(moov->setupTracks(movie));
    MP4_TRY(MP4CreateMediaDataAtom(&movie->mdat));
    MP4_TRY(MP4CreateMediaDataHandler(movie->mdat, &movie->inMemoryDataHandler));
    MP4_TRY(MP4CreateMJ2FileTypeAtom(&movie->ftyp));
    return movie->ftyp->setBrand(MP4FourCC("mp42"), 0);
}

MP4Err MP4NewMovieExt(MP4Movie* outMovie, uint32_t initialObjectDescriptorID, uint8_t OD_profileAndLevel,
    uint8_t scene_profileAndLevel, uint8_t audio_profileAndLevel, uint8_t visual_profileAndLevel,
    uint8_t graphics_profileAndLevel, const char* url, uint8_t includeOnlyURL)
{
    // The descriptor carries the URL's length in one byte.
    if (outMovie == nullptr || (url != nullptr && std::strlen(url) > 255))
        return MP4BadParameter;
    const uint8_t profiles[5] = {OD_profileAndLevel, scene_profileAndLevel, audio_profileAndLevel,
        visual_profileAndLevel, graphics_profileAndLevel};
    MP4Descriptor* descriptor = nullptr;
    MP4_TRY(newInitialDescriptor(initialObjectDescriptorID, profiles, url, includeOnlyURL != 0, &descriptor));
    auto* movie = new (std::nothrow) MP4MovieRecord;
    if (movie == nullptr) {
        descriptor->destroy();
        return MP4OutOfMemory;
    }
    movie->movieKind = 1;
    MP4Err err = buildNewMovie(movie, descriptor);
    if (err != MP4Success) {
        MP4DisposeMovie(movie);
        return err;
    }
    *outMovie = movie;
    return MP4Success;
}

MP4Err MP4NewMovie(MP4Movie* outMovie, uint32_t initialObjectDescriptorID, uint8_t OD_profileAndLevel,
    uint8_t scene_profileAndLevel, uint8_t audio_profileAndLevel, uint8_t visual_profileAndLevel,
    uint8_t graphics_profileAndLevel)
{
    return MP4NewMovieExt(outMovie, initialObjectDescriptorID, OD_profileAndLevel, scene_profileAndLevel,
        audio_profileAndLevel, visual_profileAndLevel, graphics_profileAndLevel, nullptr, 0);
}

// Movie header properties ------------------------------------------------------------------

// One of the movie atom's operations, on the movie's movie atom.
template <class Operation, class... Arguments>
static MP4Err onMovieAtom(MP4Movie movie, Operation operation, Arguments... arguments)
{
    MP4MovieAtom* moov = nullptr;
    MP4_TRY(MP4MovieAtomOf(movie, &moov));
    return (moov->*operation)(arguments...);
}

MP4Err MP4GetMovieTrackCount(MP4Movie movie, uint32_t* outTrackCount)
{
    return onMovieAtom(movie, &MP4MovieAtom::getTrackCount, outTrackCount);
}

MP4Err MP4GetMovieDuration(MP4Movie movie, uint64_t* outDuration)
{
    MP4MovieAtom* moov = nullptr;
    MP4_TRY(MP4MovieAtomOf(movie, &moov));
    if (outDuration == nullptr)
        return MP4BadParameter;
    MP4_TRY(moov->calculateDuration());
    *outDuration = moov->mvhd->duration;
    return MP4Success;
}

MP4Err MP4GetMovieTimeScale(MP4Movie movie, uint32_t* outTimeScale)
{
    return onMovieAtom(movie, &MP4MovieAtom::getTimeScale, outTimeScale);
}

MP4Err MP4SetMovieTimeScale(MP4Movie movie, uint32_t timeScale)
{
    MP4MovieAtom* moov = nullptr;
    MP4_TRY(MP4MovieAtomOf(movie, &moov));
    if (timeScale == 0)
        return MP4BadParameter;
    return moov->setTimeScale(timeScale);
}

MP4Err MP4SetMovieMatrix(MP4Movie movie, const uint32_t matrix[9])
{
    MP4MovieAtom* moov = nullptr;
    MP4_TRY(MP4MovieAtomOf(movie, &moov));
    return moov->setMatrix(matrix != nullptr ? matrix : kMP4IdentityMatrix);
}

MP4Err MP4GetMovieMatrix(MP4Movie movie, uint32_t outMatrix[9])
{
    return onMovieAtom(movie, &MP4MovieAtom::getMatrix, outMatrix);
}

MP4Err MP4SetMoviePreferredRate(MP4Movie movie, uint32_t rate)
{
    return onMovieAtom(movie, &MP4MovieAtom::setPreferredRate, rate);
}

MP4Err MP4GetMoviePreferredRate(MP4Movie movie, uint32_t* outRate)
{
    return onMovieAtom(movie, &MP4MovieAtom::getPreferredRate, outRate);
}

MP4Err MP4SetMoviePreferredVolume(MP4Movie movie, int16_t volume)
{
    return onMovieAtom(movie, &MP4MovieAtom::setPreferredVolume, volume);
}

MP4Err MP4GetMoviePreferredVolume(MP4Movie movie, int16_t* outVolume)
{
    return onMovieAtom(movie, &MP4MovieAtom::getPreferredVolume, outVolume);
}

MP4Err MP4GetMovieUserData(MP4Movie movie, MP4UserData* outUserData)
{
    MP4MovieAtom* moov = nullptr;
    MP4_TRY(MP4MovieAtomOf(movie, &moov));
    return MP4UserDataOf(moov, outUserData);
}

// File type -----------------------------------------------------------------------------

static MP4Err fileTypeOf(MP4Movie movie, MP4FileTypeAtom** outFileType)
{
    if (movie == nullptr)
        return MP4BadParameter;
    *outFileType = movie->ftyp;
    return *outFileType != nullptr ? MP4Success : MP4NoFileType;
}

MP4Err MP4SetMovieBrand(MP4Movie movie, uint32_t brand, uint32_t minorVersion)
{
    MP4FileTypeAtom* ftyp = nullptr;
    MP4_TRY(fileTypeOf(movie, &ftyp));
    return ftyp->setBrand(brand, minorVersion);
}

MP4Err MP4AddMovieCompatibleBrand(MP4Movie movie, uint32_t brand)
{
    MP4FileTypeAtom* ftyp = nullptr;
    MP4_TRY(fileTypeOf(movie, &ftyp));
    return ftyp->addStandard(brand);
}

MP4Err MP4GetMovieBrand(MP4Movie movie, uint32_t* outBrand, uint32_t* outMinorVersion)
{
    MP4FileTypeAtom* ftyp = nullptr;
    MP4_TRY(fileTypeOf(movie, &ftyp));
    return ftyp->getBrand(outBrand, outMinorVersion);
}

uint32_t MP4IsMovieCompatibleBrand(MP4Movie movie, uint32_t brand)
{
    MP4FileTypeAtom* ftyp = nullptr;
    return fileTypeOf(movie, &ftyp) == MP4Success ? ftyp->getStandard(brand) : 0;
}

// Tracks ------------------------------------------------------------------------------

MP4Err MP4NewMovieTrackWithID(MP4Movie movie, uint32_t newTrackFlags, uint32_t trackID, MP4Track* outTrack)
{
    MP4MovieAtom* moov = nullptr;
    MP4_TRY(MP4MovieAtomOf(movie, &moov));
    if (outTrack == nullptr)
        return MP4BadParameter;
    MP4TrackAtom* track = nullptr;
    MP4_TRY(moov->newTrackWithID(newTrackFlags, trackID, &track));
    // A track made by the movie atom joins the movie: it gets the movie record and the 'mdat'.
    MP4_TRY(track->setMoov(movie));
    MP4_TRY(track->setMdat(movie->mdat));
    *outTrack = track;
    return MP4Success;
}

MP4Err MP4NewMovieTrack(MP4Movie movie, uint32_t newTrackFlags, MP4Track* outTrack)
{
    uint32_t nextTrackID = 0;
    MP4_TRY(onMovieAtom(movie, &MP4MovieAtom::getNextTrackID, &nextTrackID));
    return MP4NewMovieTrackWithID(movie, newTrackFlags, nextTrackID, outTrack);
}

MP4Err MP4GetMovieIndTrack(MP4Movie movie, uint32_t trackIndex, MP4Track* outTrack)
{
    MP4MovieAtom* moov = nullptr;
    MP4_TRY(MP4MovieAtomOf(movie, &moov));
    MP4TrackAtom* track = nullptr;
    MP4_TRY(moov->getIndTrack(trackIndex, &track));
    if (track == nullptr)
        return MP4BadData;
    *outTrack = track;
    return MP4Success;
}

MP4Err MP4GetMovieTrack(MP4Movie movie, uint32_t trackID, MP4Track* outTrack)
{
    MP4MovieAtom* moov = nullptr;
    MP4_TRY(MP4MovieAtomOf(movie, &moov));
    if (outTrack == nullptr)
        return MP4BadParameter;
    for (void* item : *moov->trackList) {
        auto* track = static_cast<MP4TrackAtom*>(item);
        if (track->trackHeader != nullptr && track->trackHeader->trackID == trackID) {
            *outTrack = track;
            return MP4Success;
        }
    }
    return MP4BadParameter;
}
