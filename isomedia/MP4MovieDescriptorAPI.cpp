// The movie's initial object descriptor: its tracks, its profiles and its stream form.
#include "isomedia/MP4MovieAPI.h"

#include "isomedia/MP4APISupport.h"
#include "isomedia/MP4MediaAPI.h"
#include "isomedia/MP4SampleEntryAtoms.h"
#include "isomedia/MP4TrackAPI.h"
#include "isomedia/MP4TrackAtoms.h"

#include <utility>

// The descriptor the movie's 'iods' holds; -8 without one.
static MP4Err movieDescriptorOf(MP4Movie movie, MP4Descriptor** outDescriptor)
{
    MP4MovieAtom* moov = nullptr;
    MP4_TRY(MP4MovieAtomOf(movie, &moov));
    if (moov->iods == nullptr || moov->iods->descriptor == nullptr)
        return MP4MissingComponent;
    *outDescriptor = moov->iods->descriptor;
    return MP4Success;
}

// The descriptor as an initial object descriptor with profiles; MP4NothingDone for a descriptor
// of another kind (an MPEG-4 object descriptor carries no profiles).
static MP4Err profileDescriptorOf(MP4Movie movie, MP4InitialObjectDescriptor** outDescriptor)
{
    MP4Descriptor* descriptor = nullptr;
    MP4_TRY(movieDescriptorOf(movie, &descriptor));
    *outDescriptor = dynamic_cast<MP4InitialObjectDescriptor*>(descriptor);
    return *outDescriptor != nullptr ? MP4Success : MP4NothingDone;
}

MP4Err MP4AddTrackToMovieIOD(MP4Track track)
{
    uint32_t trackID = 0;
    MP4_TRY(MP4GetTrackID(track, &trackID));
    MP4Descriptor* descriptor = nullptr;
    MP4_TRY(movieDescriptorOf(track->moov, &descriptor));
    MP4Descriptor* increment = nullptr;
    MP4_TRY(MP4CreateES_ID_IncDescriptor(14, 0, 0, &increment));
    static_cast<MP4ES_ID_IncDescriptor*>(increment)->trackID = trackID;
    MP4Err err = descriptor->addDescriptor(increment);
    if (err != MP4Success)
        increment->destroy();
    return err;
}

MP4Err MP4GetMovieIODInlineProfileFlag(MP4Movie movie, uint8_t* outFlag)
{
    if (outFlag == nullptr)
        return MP4BadParameter;
    MP4InitialObjectDescriptor* iod = nullptr;
    MP4_TRY(profileDescriptorOf(movie, &iod));
    *outFlag = uint8_t(iod->inlineProfileFlag);
    return MP4Success;
}

MP4Err MP4SetMovieIODInlineProfileFlag(MP4Movie movie, uint8_t flag)
{
    MP4InitialObjectDescriptor* iod = nullptr;
    MP4_TRY(profileDescriptorOf(movie, &iod));
    iod->inlineProfileFlag = flag != 0 ? 1 : 0;
    return MP4Success;
}

MP4Err MP4GetMovieProfilesAndLevels(MP4Movie movie, uint8_t* outOD, uint8_t* outScene, uint8_t* outAudio,
    uint8_t* outVisual, uint8_t* outGraphics)
{
    MP4InitialObjectDescriptor* iod = nullptr;
    MP4_TRY(profileDescriptorOf(movie, &iod));
    for (auto [out, level] : {std::pair{outOD, iod->OD_profileAndLevel}, std::pair{outScene, iod->scene_profileAndLevel},
             std::pair{outAudio, iod->audio_profileAndLevel}, std::pair{outVisual, iod->visual_profileAndLevel},
             std::pair{outGraphics, iod->graphics_profileAndLevel}}) {
        if (out != nullptr)
            *out = uint8_t(level);
    }
    return MP4Success;
}

// The first track ID of one of the track's reference types, or 0.
static uint32_t firstReferencedID(MP4TrackAtom* track, uint32_t referenceType)
{
    MP4TrackReferenceTypeAtom* references = nullptr;
    if (MP4GetTrackReferenceTypeAtom(track, referenceType, &references) != MP4Success || references == nullptr
        || references->trackIDs.empty())
        return 0;
    return references->trackIDs[0];
}

// The full ES descriptor of the track with the ID, for the stream form of the descriptor.
static MP4Err trackESDescriptor(MP4Movie movie, uint32_t trackID, MP4ES_Descriptor** outESD)
{
    MP4Track track = nullptr;
    MP4Media media = nullptr;
    MP4_TRY(MP4GetMovieTrack(movie, trackID, &track));
    MP4_TRY(MP4GetTrackMedia(track, &media));
    MP4ES_Descriptor* esd = nullptr;
    MP4_TRY(MP4GetMediaESD(media, 1, &esd, nullptr));
    esd->ESID = trackID;
    esd->dependsOnES = firstReferencedID(track, MP4FourCC("dpnd"));
    esd->OCRESID = firstReferencedID(track, MP4FourCC("sync"));
    *outESD = esd;
    return MP4Success;
}

MP4Err MP4GetMovieInitialObjectDescriptor(MP4Movie movie, MP4Handle outDescriptorHandle)
{
    MP4Descriptor* descriptor = nullptr;
    MP4_TRY(movieDescriptorOf(movie, &descriptor));
    if (outDescriptorHandle == nullptr)
        return MP4BadParameter;
    if (dynamic_cast<MP4InitialObjectDescriptor*>(descriptor) == nullptr)
        return MP4SerializeIntoHandle(descriptor, outDescriptorHandle);
    MP4Descriptor* copied = nullptr;
    MP4_TRY(MP4CopyDescriptor(descriptor, &copied));
    MP4DescriptorOwner copy(copied);
    auto* iod = static_cast<MP4InitialObjectDescriptor*>(copied);
    for (MP4Descriptor* listed : iod->ES_ID_IncDescriptors) {
        MP4ES_Descriptor* esd = nullptr;
        MP4_TRY(trackESDescriptor(movie, static_cast<MP4ES_ID_IncDescriptor*>(listed)->trackID, &esd));
        MP4Err err = MP4AppendDescriptor(iod->ESDescriptors, esd);
        if (err != MP4Success) {
            esd->destroy();
            return err;
        }
    }
    // In a stream the ES descriptors stand where the file lists the tracks.
    MP4DestroyDescriptors(iod->ES_ID_IncDescriptors);
    return MP4SerializeIntoHandle(copied, outDescriptorHandle);
}

// Tags that an initial object descriptor holds in fields of its own, or may not hold at all.
static bool mayBeAddedToInitialDescriptor(uint32_t tag)
{
    return !(tag <= 6 || tag == 11 || tag == 12 || (tag >= 14 && tag <= 17));
}

MP4Err MP4SetMovieInitialObjectDescriptor(MP4Movie movie, MP4Handle descriptorHandle)
{
    MP4Descriptor* descriptor = nullptr;
    MP4_TRY(movieDescriptorOf(movie, &descriptor));
    if (descriptorHandle == nullptr)
        return MP4BadParameter;
    if (descriptor->tag != 16 && descriptor->tag != 17)
        return MP4MissingComponent;
    MP4Descriptor* parsed = nullptr;
    MP4_TRY(MP4ParseDescriptorFromHandle(descriptorHandle, &parsed));
    MP4DescriptorOwner added(parsed);
    if (!mayBeAddedToInitialDescriptor(parsed->tag))
        return MP4BadParameter;
    MP4_TRY(descriptor->addDescriptor(parsed));
    added.release();
    return MP4Success;
}
