// The media interface: header, handler, handler-specific settings and data references.
#include "isomedia/MP4MediaAPI.h"

#include "isomedia/MP4APISupport.h"
#include "isomedia/MP4SampleEntryAtoms.h"
#include "isomedia/MP4SampleTableAtoms.h"
#include "isomedia/MP4TrackAtoms.h"

static MP4Err mediaHeaderOf(MP4Media media, MP4MediaHeaderAtom** outHeader)
{
    if (media == nullptr)
        return MP4BadParameter;
    *outHeader = media->mediaHeader;
    return *outHeader != nullptr ? MP4Success : MP4MissingComponent;
}

MP4Err MP4SetMediaLanguage(MP4Media media, const char* language)
{
    MP4MediaHeaderAtom* header = nullptr;
    MP4_TRY(mediaHeaderOf(media, &header));
    if (language == nullptr)
        return MP4BadParameter;
    uint32_t packed = 0;
    for (int i = 0; i < 3; i++) {
        // Each letter is kept as its offset from 0x60 in five bits.
        if (language[i] < 'a' || language[i] > 'z')
            return MP4BadParameter;
        packed = (packed << 5) | uint32_t(language[i] - 0x60);
    }
    header->packedLanguage = packed;
    return MP4Success;
}

MP4Err MP4GetMediaLanguage(MP4Media media, char outLanguage[4])
{
    MP4MediaHeaderAtom* header = nullptr;
    MP4_TRY(mediaHeaderOf(media, &header));
    if (outLanguage == nullptr)
        return MP4BadParameter;
    for (int i = 0; i < 3; i++)
        outLanguage[i] = char(((header->packedLanguage >> (10 - 5 * i)) & 0x1F) | 0x60);
    outLanguage[3] = 0;
    return MP4Success;
}

MP4Err MP4GetMediaTimeScale(MP4Media media, uint32_t* outTimeScale)
{
    MP4MediaHeaderAtom* header = nullptr;
    MP4_TRY(mediaHeaderOf(media, &header));
    if (outTimeScale == nullptr)
        return MP4BadParameter;
    *outTimeScale = header->timeScale;
    return MP4Success;
}

MP4Err MP4GetMediaDuration(MP4Media media, uint64_t* outDuration)
{
    if (media == nullptr || outDuration == nullptr)
        return MP4BadParameter;
    MP4_TRY(media->calculateDuration());
    *outDuration = media->mediaHeader->duration;
    return MP4Success;
}

MP4Err MP4GetMediaTrack(MP4Media media, MP4Track* outTrack)
{
    if (media == nullptr || outTrack == nullptr)
        return MP4BadParameter;
    *outTrack = media->mediaTrack;
    return MP4Success;
}

MP4Err MP4GetMediaSampleCount(MP4Media media, uint32_t* outCount)
{
    MP4SampleTableAtom* table = nullptr;
    MP4_TRY(MP4SampleTableOf(media, &table));
    if (outCount == nullptr)
        return MP4BadParameter;
    if (table->SampleSize == nullptr)
        return MP4MissingComponent;
    *outCount = table->SampleSize->sampleCount;
    return MP4Success;
}

MP4Err MP4GetMediaHandlerDescription(MP4Media media, uint32_t* outType, MP4Handle* outName)
{
    if (media == nullptr || (outType == nullptr && outName == nullptr))
        return MP4BadParameter;
    if (media->handler == nullptr)
        return MP4MissingComponent;
    if (outName != nullptr) {
        MP4Handle name = nullptr;
        MP4_TRY(MP4NewHandle(0, &name));
        MP4Err err = MP4SetHandleBytes(name, media->handler->name_(), media->handler->nameLength);
        if (err != MP4Success) {
            MP4DisposeHandle(name);
            return err;
        }
        *outName = name;
    }
    if (outType != nullptr)
        *outType = media->handler->handlerType;
    return MP4Success;
}

// The media header atom of a handler's kind; -1000 when the media is of another kind.
template <class Header>
static MP4Err handlerHeaderOf(MP4Media media, uint32_t handlerType, Header** outHeader)
{
    if (media == nullptr)
        return MP4BadParameter;
    if (media->handler == nullptr)
        return MP4MissingComponent;
    if (media->handler->handlerType != handlerType)
        return MP4NotSupported;
    MP4MediaInformationAtom* information = nullptr;
    MP4_TRY(MP4MediaInformationOf(media, &information));
    *outHeader = dynamic_cast<Header*>(information->mediaHeader);
    return *outHeader != nullptr ? MP4Success : MP4MissingComponent;
}

MP4Err MP4SetMediaGraphicsMode(MP4Media media, uint32_t mode, uint16_t opColorRed, uint16_t opColorGreen,
    uint16_t opColorBlue)
{
    MP4VideoMediaHeaderAtom* header = nullptr;
    MP4_TRY(handlerHeaderOf(media, MP4FourCC("vide"), &header));
    header->graphicsMode = mode & 0xFFFF;
    header->opColorRed = opColorRed;
    header->opColorGreen = opColorGreen;
    header->opColorBlue = opColorBlue;
    return MP4Success;
}

MP4Err MP4GetMediaGraphicsMode(MP4Media media, uint32_t* outMode, uint16_t* outOpColorRed, uint16_t* outOpColorGreen,
    uint16_t* outOpColorBlue)
{
    MP4VideoMediaHeaderAtom* header = nullptr;
    MP4_TRY(handlerHeaderOf(media, MP4FourCC("vide"), &header));
    if (outMode == nullptr || outOpColorRed == nullptr || outOpColorGreen == nullptr || outOpColorBlue == nullptr)
        return MP4BadParameter;
    *outMode = header->graphicsMode;
    *outOpColorRed = uint16_t(header->opColorRed);
    *outOpColorGreen = uint16_t(header->opColorGreen);
    *outOpColorBlue = uint16_t(header->opColorBlue);
    return MP4Success;
}

MP4Err MP4SetMediaSoundBalance(MP4Media media, int16_t balance)
{
    MP4SoundMediaHeaderAtom* header = nullptr;
    MP4_TRY(handlerHeaderOf(media, MP4FourCC("soun"), &header));
    header->balance = uint16_t(balance);
    return MP4Success;
}

MP4Err MP4GetMediaSoundBalance(MP4Media media, int16_t* outBalance)
{
    MP4SoundMediaHeaderAtom* header = nullptr;
    MP4_TRY(handlerHeaderOf(media, MP4FourCC("soun"), &header));
    if (outBalance == nullptr)
        return MP4BadParameter;
    *outBalance = int16_t(uint16_t(header->balance));
    return MP4Success;
}

// Data references -----------------------------------------------------------------------------

// A data entry that names the URL's bytes, and with a URN, the URN's.
static MP4Err newNamedEntry(MP4Handle url, MP4Handle urn, MP4DataEntryAtom** outEntry)
{
    MP4AtomOwner made;
    MP4DataEntryAtom* entry = nullptr;
    if (urn != nullptr) {
        MP4DataEntryURNAtom* urnEntry = nullptr;
        MP4_TRY(MP4CreateDataEntryURNAtom(&urnEntry));
        made.reset(urnEntry);
        MP4_TRY(MP4CopyHandleBytes(urn, urnEntry->nameURN));
        entry = urnEntry;
    } else {
        MP4DataEntryURLAtom* urlEntry = nullptr;
        MP4_TRY(MP4CreateDataEntryURLAtom(&urlEntry));
        made.reset(urlEntry);
        entry = urlEntry;
    }
    MP4_TRY(MP4CopyHandleBytes(url, entry->location));
    made.release();
    *outEntry = entry;
    return MP4Success;
}

MP4Err MP4AddMediaDataReference(MP4Media media, uint32_t* outReferenceIndex, MP4Handle urlHandle, MP4Handle urnHandle)
{
    MP4DataReferenceAtom* dref = nullptr;
    MP4_TRY(MP4DataReferenceOf(media, &dref));
    if (outReferenceIndex == nullptr)
        return MP4BadParameter;
    MP4DataEntryAtom* entry = nullptr;
    if (urlHandle != nullptr) {
        MP4_TRY(newNamedEntry(urlHandle, urnHandle, &entry));
    } else {
        MP4DataEntryURLAtom* self = nullptr;
        MP4_TRY(MP4CreateDataEntryURLAtom(&self));
        self->flags |= 1;
        MP4Movie movie = media->mediaTrack != nullptr ? media->mediaTrack->moov : nullptr;
        self->mdat = movie != nullptr ? movie->mdat : nullptr;
        entry = self;
    }
    MP4Err err = dref->addDataEntry(entry);
    if (err != MP4Success) {
        entry->destroy();
        return err;
    }
    return dref->getEntryCount(outReferenceIndex);
}

MP4Err MP4GetMediaDataReference(MP4Media media, uint32_t index, MP4Handle outURL, MP4Handle outURN,
    uint32_t* outReferenceType, uint32_t* outReferenceFlags)
{
    MP4DataReferenceAtom* dref = nullptr;
    MP4_TRY(MP4DataReferenceOf(media, &dref));
    MP4Atom* found = nullptr;
    MP4_TRY(dref->getEntry(index, &found));
    if (found == nullptr)
        return MP4MissingComponent;
    uint32_t flags = 0;
    MP4_TRY(MP4GetDataEntryFlags(found, &flags));
    if (outReferenceType != nullptr)
        *outReferenceType = found->type;
    if (outReferenceFlags != nullptr)
        *outReferenceFlags = flags;
    auto* entry = dynamic_cast<MP4DataEntryAtom*>(found);
    if (entry == nullptr)
        return MP4MissingComponent;
    if (outURL != nullptr)
        MP4_TRY(MP4SetHandleBytes(outURL, entry->location.data(), entry->locationLength()));
    auto* urn = dynamic_cast<MP4DataEntryURNAtom*>(entry);
    if (urn != nullptr && outURN != nullptr)
        MP4_TRY(MP4SetHandleBytes(outURN, urn->nameURN.data(), urn->nameLength()));
    return MP4Success;
}

MP4Err MP4CountMediaDataReferences(MP4Media media, uint32_t* outCount)
{
    MP4DataReferenceAtom* dref = nullptr;
    MP4_TRY(MP4DataReferenceOf(media, &dref));
    return dref->getEntryCount(outCount);
}

MP4Err MP4CheckMediaDataReference(MP4Media media, uint32_t index)
{
    MP4DataReferenceAtom* dref = nullptr;
    MP4_TRY(MP4DataReferenceOf(media, &dref));
    MP4Atom* entry = nullptr;
    MP4_TRY(dref->getEntry(index, &entry));
    return media->mediaInformation()->testDataEntry(index);
}

MP4Err MP4CheckMediaDataReferences(MP4Media media)
{
    uint32_t count = 0;
    MP4_TRY(MP4CountMediaDataReferences(media, &count));
    for (uint32_t index = 1; index <= count; index++)
        MP4_TRY(MP4CheckMediaDataReference(media, index));
    return MP4Success;
}

// Edits -----------------------------------------------------------------------------------------

MP4Err MP4BeginMediaEdits(MP4Media media)
{
    return media != nullptr ? MP4Success : MP4BadParameter;
}

MP4Err MP4EndMediaEdits(MP4Media media)
{
    if (media == nullptr)
        return MP4BadParameter;
    return media->calculateDuration();
}

MP4Err MP4SetMediaSampleSizeFieldSize(MP4Media media, uint32_t fieldSize)
{
    if (media == nullptr)
        return MP4BadParameter;
    // Sizes are written 4, 8, 16 or 32 bits wide; no other width can be read back.
    if (fieldSize != 4 && fieldSize != 8 && fieldSize != 16 && fieldSize != 32)
        return MP4BadParameter;
    return media->setfieldsize(fieldSize);
}
