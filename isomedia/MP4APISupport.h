#pragma once
// What the movie, track and media interfaces share: records written into handles, records read
// from handles, and the way from a handle of the interface to the atoms it stands on.

#include "isomedia/MP4Descriptors.h"
#include "isomedia/MP4MovieAPI.h"
#include "isomedia/MP4MovieAtoms.h"

#include <memory>

struct MP4MediaInformationAtom;
struct MP4SampleTableAtom;
struct MP4DataReferenceAtom;

// The matrix a, b, u, c, d, v, x, y, w that leaves a picture as it is.
constexpr uint32_t kMP4IdentityMatrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};

// Owners for records made while an operation builds something: freed unless released.
using MP4AtomOwner = std::unique_ptr<MP4Atom>;
using MP4DescriptorOwner = std::unique_ptr<MP4Descriptor>;

// Sizes an atom or a descriptor and writes it into the handle, which takes its size.
template <class Record>
MP4Err MP4SerializeIntoHandle(Record* record, MP4Handle handle)
{
    if (record == nullptr || handle == nullptr)
        return MP4BadParameter;
    MP4_TRY(record->calculateSize());
    MP4_TRY(MP4SetHandleSize(handle, record->size));
    return record->size != 0 ? record->serialize(handle->data) : MP4Success;
}

// The handle's bytes as a block; -2 without a handle.
MP4Err MP4CopyHandleBytes(MP4Handle handle, std::vector<char>& outBytes);
// Sets the handle to a copy of count bytes.
MP4Err MP4SetHandleBytes(MP4Handle handle, const char* bytes, uint32_t count);
// One sample entry read from a handle's bytes: 'mp4a', 'mp4v' and 'mp4s' by their classes,
// any other type as a generic entry that keeps its type. With plainParse, the plain atom
// parser picks the class instead (an unlisted type becomes an unknown atom).
MP4Err MP4ParseSampleEntryFromHandle(MP4Handle handle, bool plainParse, MP4Atom** outEntry);
// One descriptor read from a handle's bytes.
MP4Err MP4ParseDescriptorFromHandle(MP4Handle handle, MP4Descriptor** outDescriptor);

// The movie atom proper of a movie: -2 without a movie, -8 when it has none.
MP4Err MP4MovieAtomOf(MP4Movie movie, MP4MovieAtom** outMoov);
// The same for the movie a track belongs to.
MP4Err MP4MovieAtomOfTrack(MP4Track track, MP4MovieAtom** outMoov);
// A media's information ('minf'), its sample table and its data reference; -2 without a media,
// -8 when an atom on the way is missing.
MP4Err MP4MediaInformationOf(MP4Media media, MP4MediaInformationAtom** outInformation);
MP4Err MP4SampleTableOf(MP4Media media, MP4SampleTableAtom** outSampleTable);
MP4Err MP4DataReferenceOf(MP4Media media, MP4DataReferenceAtom** outDataReference);
// The 'udta' of a movie atom or a track, made and added when there is none; -8 when the place is
// held by a container of another kind.
template <class Owner>
MP4Err MP4UserDataOf(Owner* owner, MP4UserData* outUserData)
{
    if (owner == nullptr || outUserData == nullptr)
        return MP4BadParameter;
    if (owner->udta == nullptr)
        MP4_TRY(MP4AddNewAtom(owner, MP4CreateUserDataAtom));
    *outUserData = dynamic_cast<MP4UserDataAtom*>(owner->udta);
    return *outUserData != nullptr ? MP4Success : MP4MissingComponent;
}
