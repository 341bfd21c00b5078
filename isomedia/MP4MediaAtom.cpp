#include "isomedia/MP4TrackAtoms.h"

#include "isomedia/MP4Descriptors.h"
#include "isomedia/MP4MovieAPI.h"

#include <cstring>

MP4MediaAtom::MP4MediaAtom()
{
    type = MP4FourCC("mdia");
    name = "media";
}

MP4Err MP4MediaAtom::addAtom(MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4BadParameter;
    MP4Atom** field = nullptr;
    MP4Err err = MP4Success;
    switch (atom->type) {
    case MP4FourCC("hdlr"):
        err = MP4KeepOnce(handler, atom);
        field = reinterpret_cast<MP4Atom**>(&handler);
        break;
    case MP4FourCC("mdhd"):
        err = MP4KeepOnce(mediaHeader, atom);
        field = reinterpret_cast<MP4Atom**>(&mediaHeader);
        break;
    case MP4FourCC("minf"):
        if (information != nullptr)
            return MP4BadData;
        information = static_cast<MP4MediaInformationAtom*>(atom);
        break;
    default: break;
    }
    MP4_TRY(err);
    err = MP4ContainerAtom::addAtom(atom);
    if (err != MP4Success) {
        if (field != nullptr)
            *field = nullptr;
        if (information == atom)
            information = nullptr;
    }
    return err;
}

MP4MediaInformationAtom* MP4MediaAtom::mediaInformation() const
{
    return dynamic_cast<MP4MediaInformationAtom*>(originalInformation != nullptr ? originalInformation : information);
}

MP4Err MP4MediaAtom::setupNew(MP4TrackAtom* track, uint32_t handlerType, uint32_t timeScale, MP4Handle dataReference)
{
    mediaTrack = track;
    MP4MediaDataAtom* mdat = track != nullptr ? track->mdat : nullptr;
    MP4MediaHeaderAtom* header = nullptr;
    MP4MediaInformationAtom* minf = nullptr;
    MP4HandlerAtom* hdlr = nullptr;
    MP4Err err = MP4CreateMediaHeaderAtom(&header);
    if (err == MP4Success)
        err = MP4CreateMediaInformationAtom(&minf);
    if (err == MP4Success)
        err = MP4CreateHandlerAtom(&hdlr);
    if (err == MP4Success) {
        header->timeScale = timeScale;
        MP4GetCurrentTime(&header->creationTime);
        header->modificationTime = header->creationTime;
        header->packedLanguage = 0x55C4;
        hdlr->handlerType = handlerType;
        char handlerName[5];
        MP4TypeToString(handlerType, handlerName);
        err = hdlr->setName(handlerName, hdlr->is_qt);
    }
    if (err == MP4Success)
        err = minf->setupNew(handlerType, dataReference, mdat);
    for (MP4Atom* child : {static_cast<MP4Atom*>(header), static_cast<MP4Atom*>(hdlr), static_cast<MP4Atom*>(minf)}) {
        if (child == nullptr)
            continue;
        if (err == MP4Success)
            err = addAtom(child);
        else
            child->destroy();
    }
    return err;
}

MP4Err MP4MediaAtom::addSampleReference(uint32_t dataOffsetLow, uint32_t dataOffsetHigh, uint32_t sampleCount,
    MP4Handle durations, MP4Handle sizes, MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples,
    MP4Handle padding)
{
    if (information == nullptr)
        return MP4MissingComponent;
    return information->addSampleReference(dataOffsetLow, dataOffsetHigh, sampleCount, durations, sizes, sampleEntry,
        decodingOffsets, syncSamples, padding);
}

MP4Err MP4MediaAtom::addSamples(MP4Handle sampleData, uint32_t sampleCount, MP4Handle durations, MP4Handle sizes,
    MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples, MP4Handle padding)
{
    if (information == nullptr)
        return MP4MissingComponent;
    if (sampleCount != 0 && handler != nullptr && handler->handlerType == MP4FourCC("odsm")) {
        if (sampleCount != 1)
            return MP4NotSupported;
        MP4_TRY(rewriteObjectDescriptorSample(sampleData, sizes));
    }
    return information->addSamples(sampleData, sampleCount, durations, sizes, sampleEntry, decodingOffsets,
        syncSamples, padding);
}

// Object descriptors in an object-descriptor stream refer to their streams through the track's
// 'mpod' reference: each ES descriptor becomes an ES ID reference to the listed track.
MP4Err MP4MediaAtom::rewriteObjectDescriptorSample(MP4Handle sampleData, MP4Handle sizes)
{
    if (mediaTrack == nullptr || sampleData == nullptr || sizes == nullptr || sizes->size < 4)
        return MP4BadParameter;
    if (mediaTrack->trackReferences == nullptr)
        MP4_TRY(MP4AddNewAtom(mediaTrack, MP4CreateTrackReferenceAtom));
    MP4TrackReferenceTypeAtom* mpod = nullptr;
    MP4_TRY(mediaTrack->trackReferences->typeAtom(MP4FourCC("mpod"), &mpod));
    MP4InputStream stream = nullptr;
    MP4_TRY(MP4CreateMemoryInputStream(sampleData->data, sampleData->size, &stream));
    MP4DescriptorList commands;
    uint32_t total = 0;
    auto referTo = [&](MP4DescriptorList& esDescriptors, MP4Descriptor* holder) -> MP4Err {
        for (MP4Descriptor* descriptor : esDescriptors) {
            MP4_TRY(mpod->addTrackID(static_cast<MP4ES_Descriptor*>(descriptor)->ESID));
            MP4Descriptor* reference = nullptr;
            MP4_TRY(MP4CreateES_ID_RefDescriptor(15, 0, 0, &reference));
            static_cast<MP4ES_ID_RefDescriptor*>(reference)->refIndex = uint32_t(mpod->trackIDs.size());
            MP4Err err = holder->addDescriptor(reference);
            if (err != MP4Success) {
                reference->destroy();
                return err;
            }
        }
        MP4DestroyDescriptors(esDescriptors);
        return MP4Success;
    };
    MP4Err err = MP4Success;
    bool complete = true;
    while (err == MP4Success && stream->available > 0) {
        MP4Descriptor* command = nullptr;
        if (MP4ParseCommand(stream, &command) != MP4Success) {
            complete = false;
            break;
        }
        if (command->tag == 1) {
            for (MP4Descriptor* od : static_cast<MP4ObjectDescriptorUpdate*>(command)->objectDescriptors) {
                od->tag = 0x11;
                if (err == MP4Success)
                    err = referTo(static_cast<MP4ObjectDescriptor*>(od)->ESDescriptors, od);
            }
        } else if (command->tag == 3) {
            auto* update = static_cast<MP4ESDescriptorUpdate*>(command);
            err = referTo(update->ESDescriptors, update);
        }
        if (err == MP4Success)
            err = MP4AppendDescriptor(commands, command);
        if (err != MP4Success) {
            command->destroy();
            break;
        }
        err = command->calculateSize();
        total += command->size;
    }
    if (err == MP4Success && complete) {
        std::vector<char> bytes;
        err = MP4Resize(bytes, total);
        uint32_t at = 0;
        for (MP4Descriptor* command : commands) {
            if (err != MP4Success)
                break;
            err = command->serialize(bytes.data() + at);
            at += command->size;
        }
        if (err == MP4Success)
            err = MP4SetHandleSize(sampleData, total);
        if (err == MP4Success) {
            if (total != 0)
                std::memcpy(sampleData->data, bytes.data(), total);
            uint8_t* size = reinterpret_cast<uint8_t*>(sizes->data);
            size[0] = uint8_t(total >> 24), size[1] = uint8_t(total >> 16), size[2] = uint8_t(total >> 8),
            size[3] = uint8_t(total);
        }
    }
    stream->destroy();
    MP4DestroyDescriptors(commands);
    return err;
}

MP4Err MP4MediaAtom::calculateDuration()
{
    MP4MediaInformationAtom* minf = mediaInformation();
    if (minf == nullptr || mediaHeader == nullptr)
        return MP4MissingComponent;
    uint64_t duration = 0;
    MP4_TRY(minf->calculateDuration(&duration));
    mediaHeader->duration = duration;
    return MP4Success;
}

MP4Err MP4MediaAtom::mdatMoved(uint64_t start, uint64_t end, int64_t delta)
{
    if (information == nullptr)
        return MP4MissingComponent;
    return information->mdatMoved(start, end, delta);
}

MP4Err MP4MediaAtom::setfieldsize(uint32_t fieldSize)
{
    MP4MediaInformationAtom* minf = mediaInformation();
    if (minf == nullptr)
        return MP4MissingComponent;
    return minf->setfieldsize(fieldSize);
}

MP4Err MP4MediaAtom::setMediaInformation(MP4SampleInformationAtom* newInformation)
{
    if (originalInformation == nullptr)
        originalInformation = information;
    information = newInformation;
    return MP4Success;
}

MP4Err MP4CreateMediaAtom(MP4MediaAtom** outAtom)
{
    return MP4MakeAtom(outAtom);
}
