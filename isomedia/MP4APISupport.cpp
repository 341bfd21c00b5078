#include "isomedia/MP4APISupport.h"

#include "isomedia/MP4SampleEntryAtoms.h"
#include "isomedia/MP4TrackAtoms.h"

#include <cstring>

MP4Err MP4CopyHandleBytes(MP4Handle handle, std::vector<char>& outBytes)
{
    uint32_t size = 0;
    MP4_TRY(MP4GetHandleSize(handle, &size));
    MP4_TRY(MP4Resize(outBytes, size));
    if (size != 0)
        std::memcpy(outBytes.data(), handle->data, size);
    return MP4Success;
}

MP4Err MP4SetHandleBytes(MP4Handle handle, const char* bytes, uint32_t count)
{
    MP4_TRY(MP4SetHandleSize(handle, count));
    if (count != 0)
        std::memcpy(handle->data, bytes, count);
    return MP4Success;
}

// Runs parse over a memory stream on the handle's bytes, with the trace off.
template <class Parse>
static MP4Err parseHandle(MP4Handle handle, Parse parse)
{
    uint32_t size = 0;
    MP4_TRY(MP4GetHandleSize(handle, &size));
    MP4InputStream stream = nullptr;
    MP4_TRY(MP4CreateMemoryInputStream(handle->data, size, &stream));
    stream->debugging = 0;
    MP4Err err = parse(stream);
    stream->destroy();
    return err;
}

MP4Err MP4ParseSampleEntryFromHandle(MP4Handle handle, bool plainParse, MP4Atom** outEntry)
{
    return parseHandle(handle, [&](MP4InputStream stream) {
        if (plainParse)
            return MP4ParseAtom(stream, outEntry);
        return MP4ParseAtomUsingProtoList(stream, kMP4SampleEntryProtoList, kMP4GenericSampleEntryType, outEntry);
    });
}

MP4Err MP4ParseDescriptorFromHandle(MP4Handle handle, MP4Descriptor** outDescriptor)
{
    return parseHandle(handle, [&](MP4InputStream stream) { return MP4ParseDescriptor(stream, outDescriptor); });
}

MP4Err MP4MovieAtomOf(MP4Movie movie, MP4MovieAtom** outMoov)
{
    if (movie == nullptr || outMoov == nullptr)
        return MP4BadParameter;
    *outMoov = MP4GetMovieAtom(movie);
    return *outMoov != nullptr ? MP4Success : MP4MissingComponent;
}

MP4Err MP4MovieAtomOfTrack(MP4Track track, MP4MovieAtom** outMoov)
{
    if (track == nullptr)
        return MP4BadParameter;
    if (track->moov == nullptr)
        return MP4MissingComponent;
    return MP4MovieAtomOf(track->moov, outMoov);
}

MP4Err MP4MediaInformationOf(MP4Media media, MP4MediaInformationAtom** outInformation)
{
    if (media == nullptr || outInformation == nullptr)
        return MP4BadParameter;
    *outInformation = media->mediaInformation();
    return *outInformation != nullptr ? MP4Success : MP4MissingComponent;
}

MP4Err MP4SampleTableOf(MP4Media media, MP4SampleTableAtom** outSampleTable)
{
    MP4MediaInformationAtom* information = nullptr;
    MP4_TRY(MP4MediaInformationOf(media, &information));
    *outSampleTable = information->sampleTable;
    return *outSampleTable != nullptr ? MP4Success : MP4MissingComponent;
}

MP4Err MP4DataReferenceOf(MP4Media media, MP4DataReferenceAtom** outDataReference)
{
    MP4MediaInformationAtom* information = nullptr;
    MP4_TRY(MP4MediaInformationOf(media, &information));
    if (information->dataInformation == nullptr || information->dataInformation->dref == nullptr)
        return MP4MissingComponent;
    *outDataReference = information->dataInformation->dref;
    return MP4Success;
}
