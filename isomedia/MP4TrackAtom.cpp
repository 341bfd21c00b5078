#include "isomedia/MP4TrackAtoms.h"

MP4TrackAtom::MP4TrackAtom()
{
    type = MP4FourCC("trak");
    name = "track";
}

MP4Err MP4TrackAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    MP4Err err = MP4Success;
    switch (atom->type) {
    case MP4FourCC("edts"): err = MP4KeepOnce(trackEditAtom, atom); break;
    case MP4FourCC("mdia"): err = MP4KeepOnce(trackMedia, atom); break;
    case MP4FourCC("tkhd"): err = MP4KeepOnce(trackHeader, atom); break;
    case MP4FourCC("tref"): err = MP4KeepOnce(trackReferences, atom); break;
    case MP4FourCC("udta"): err = MP4KeepOnce(udta, atom); break;
    default: break;
    }
    MP4_TRY(err);
    err = MP4ContainerAtom::addAtom(atom);
    if (err != MP4Success) {
        // Not taken: forget the field again.
        for (MP4Atom** field : {reinterpret_cast<MP4Atom**>(&trackEditAtom), reinterpret_cast<MP4Atom**>(&trackMedia),
                 reinterpret_cast<MP4Atom**>(&trackHeader), reinterpret_cast<MP4Atom**>(&trackReferences),
                 reinterpret_cast<MP4Atom**>(&udta)}) {
            if (*field == atom)
                *field = nullptr;
        }
        return err;
    }
    if (atom->type == MP4FourCC("mdia"))
        trackMedia->mediaTrack = this;
    return MP4Success;
}

MP4Err MP4TrackAtom::setMoov(MP4MovieRecord* movie)
{
    moov = movie;
    return MP4Success;
}

MP4Err MP4TrackAtom::setMdat(MP4MediaDataAtom* mediaData)
{
    mdat = mediaData;
    return MP4Success;
}

MP4Err MP4TrackAtom::newMedia(MP4MediaAtom** outMedia, uint32_t handlerType, uint32_t timeScale,
    MP4Handle dataReference)
{
    if (outMedia == nullptr)
        return MP4BadParameter;
    MP4MediaAtom* media = nullptr;
    MP4_TRY(MP4CreateMediaAtom(&media));
    MP4Err err = media->setupNew(this, handlerType, timeScale, dataReference);
    if (err == MP4Success)
        err = addAtom(media);
    if (err != MP4Success) {
        media->destroy();
        return err;
    }
    *outMedia = media;
    return MP4Success;
}

MP4Err MP4TrackAtom::setEnabled(uint32_t enabled)
{
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    if (enabled)
        trackHeader->flags |= 1;
    else
        trackHeader->flags &= ~1u;
    return MP4Success;
}

MP4Err MP4TrackAtom::getEnabled(uint32_t* outEnabled)
{
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    if (outEnabled == nullptr)
        return MP4BadParameter;
    *outEnabled = trackHeader->flags & 1;
    return MP4Success;
}

MP4Err MP4TrackAtom::calculateDuration(uint32_t movieTimeScale)
{
    if (trackHeader == nullptr || trackMedia == nullptr)
        return MP4MissingComponent;
    if (trackEditAtom != nullptr && trackEditAtom->editList != nullptr)
        return trackEditAtom->getEffectiveDuration(&trackHeader->duration);
    MP4MediaHeaderAtom* header = trackMedia->mediaHeader;
    if (header == nullptr)
        return MP4MissingComponent;
    if (header->timeScale == 0)
        return MP4BadParameter;
    int64_t duration = 0;
    MP4_TRY(MP4ScaleTime(int64_t(uint32_t(header->duration)), movieTimeScale, header->timeScale, &duration));
    trackHeader->duration = uint64_t(duration);
    return MP4Success;
}

MP4Err MP4TrackAtom::getDuration(uint64_t* outDuration)
{
    if (outDuration == nullptr)
        return MP4BadParameter;
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    *outDuration = trackHeader->duration;
    return MP4Success;
}

MP4Err MP4TrackAtom::setMatrix(const uint32_t matrix[9])
{
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    for (int i = 0; i < 9; i++)
        trackHeader->matrix[i] = matrix[i];
    return MP4Success;
}

MP4Err MP4TrackAtom::getMatrix(uint32_t outMatrix[9])
{
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    if (outMatrix == nullptr)
        return MP4BadParameter;
    for (int i = 0; i < 9; i++)
        outMatrix[i] = trackHeader->matrix[i];
    return MP4Success;
}

MP4Err MP4TrackAtom::setLayer(int16_t layer)
{
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    trackHeader->qt_layer = uint32_t(int32_t(layer));
    return MP4Success;
}

MP4Err MP4TrackAtom::getLayer(int16_t* outLayer)
{
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    if (outLayer == nullptr)
        return MP4BadParameter;
    *outLayer = int16_t(trackHeader->qt_layer & 0xFFFF);
    return MP4Success;
}

MP4Err MP4TrackAtom::setDimensions(uint32_t width, uint32_t height)
{
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    trackHeader->qt_trackWidth = width;
    trackHeader->qt_trackHeight = height;
    return MP4Success;
}

MP4Err MP4TrackAtom::getDimensions(uint32_t* outWidth, uint32_t* outHeight)
{
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    if (outWidth == nullptr || outHeight == nullptr)
        return MP4BadParameter;
    *outWidth = trackHeader->qt_trackWidth;
    *outHeight = trackHeader->qt_trackHeight;
    return MP4Success;
}

MP4Err MP4TrackAtom::setVolume(int16_t volume)
{
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    trackHeader->qt_volume = uint32_t(int32_t(volume));
    return MP4Success;
}

MP4Err MP4TrackAtom::getVolume(int16_t* outVolume)
{
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    if (outVolume == nullptr)
        return MP4BadParameter;
    *outVolume = int16_t(trackHeader->qt_volume & 0xFFFF);
    return MP4Success;
}

MP4Err MP4TrackAtom::mdatMoved(uint64_t start, uint64_t end, int64_t delta)
{
    if (trackMedia == nullptr)
        return MP4MissingComponent;
    return trackMedia->mdatMoved(start, end, delta);
}

MP4Err MP4TrackAtom::mdatArrived(MP4MediaDataAtom* mediaData)
{
    MP4MediaInformationAtom* information = trackMedia != nullptr ? trackMedia->mediaInformation() : nullptr;
    if (information == nullptr)
        return MP4MissingComponent;
    return information->mdatArrived(mediaData);
}

MP4Err MP4TrackAtom::setMediaInformationForTrackID(uint32_t trackID, MP4SampleInformationAtom* information)
{
    if (trackHeader == nullptr)
        return MP4MissingComponent;
    if (trackHeader->trackID != trackID)
        return MP4Success;
    if (trackMedia == nullptr)
        return MP4MissingComponent;
    return trackMedia->setMediaInformation(information);
}

MP4Err MP4CreateTrackAtom(MP4TrackAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}

MP4Err MP4ScaleTime(int64_t value, uint64_t multiplier, uint64_t divisor, int64_t* outValue)
{
    if (divisor == 0 || outValue == nullptr)
        return MP4BadParameter;
    // Multiply first, in 128 bits, so that no precision is lost and nothing overflows.
    __int128 product = __int128(value) * __int128(multiplier);
    __int128 quotient = product / __int128(divisor);
    if (quotient > INT64_MAX || quotient < INT64_MIN)
        return MP4BadData;
    *outValue = int64_t(quotient);
    return MP4Success;
}
