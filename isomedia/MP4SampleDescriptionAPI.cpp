// Sample descriptions: making them, reading the media's back, and editing serialised ones.
#include "isomedia/MP4MediaAPI.h"

#include "isomedia/MP4APISupport.h"
#include "isomedia/MP4SampleEntryAtoms.h"
#include "isomedia/MP4SampleTableAtoms.h"
#include "isomedia/MP4TrackAPI.h"
#include "isomedia/MP4TrackAtoms.h"

#include <cstring>
#include <utility>

// A decoder specific information descriptor read from a handle; -2 for any other descriptor.
static MP4Err parseDecoderSpecificInfo(MP4Handle handle, MP4Descriptor** outDescriptor)
{
    MP4Descriptor* parsed = nullptr;
    MP4_TRY(MP4ParseDescriptorFromHandle(handle, &parsed));
    if (parsed->tag != 5) {
        parsed->destroy();
        return MP4BadParameter;
    }
    *outDescriptor = parsed;
    return MP4Success;
}

// The ES descriptor of a new MPEG-4 sample entry.
static MP4Err newESDescriptor(uint32_t objectTypeIndication, uint32_t streamType, uint32_t decoderBufferSize,
    uint32_t maxBitrate, uint32_t avgBitrate, MP4Handle decoderSpecificInfo, MP4Descriptor** outESD)
{
    // The fields are 8, 6 and 24 bits wide.
    if (objectTypeIndication > 0xFF || streamType > 0x3F || decoderBufferSize > 0xFFFFFF)
        return MP4BadParameter;
    MP4Descriptor* made = nullptr;
    MP4_TRY(MP4CreateES_Descriptor(3, 0, 0, &made));
    MP4DescriptorOwner esd(made);
    MP4_TRY(MP4CreateDecoderConfigDescriptor(4, 0, 0, &made));
    MP4DescriptorOwner config(made);
    auto* decoderConfig = static_cast<MP4DecoderConfigDescriptor*>(made);
    decoderConfig->objectTypeIndication = objectTypeIndication;
    decoderConfig->streamType = streamType;
    decoderConfig->bufferSizeDB = decoderBufferSize;
    decoderConfig->maxBitrate = maxBitrate;
    decoderConfig->avgBitrate = avgBitrate;
    if (decoderSpecificInfo != nullptr)
        MP4_TRY(parseDecoderSpecificInfo(decoderSpecificInfo, &decoderConfig->decoderSpecificInfo));
    MP4SLConfigSettings settings;
    settings.predefined = 2;
    settings.useTimestampsFlag = 1;
    MP4_TRY(MP4NewSLConfig(&settings, &made));
    MP4DescriptorOwner slConfig(made);
    MP4_TRY(esd->addDescriptor(config.get()));
    config.release();
    MP4_TRY(esd->addDescriptor(slConfig.get()));
    slConfig.release();
    *outESD = esd.release();
    return MP4Success;
}

// An empty coded sample entry of the track's kind.
static MP4Err newCodedEntry(MP4Track track, MP4CodedSampleEntryAtom** outEntry)
{
    if (track->newTrackFlags & MP4NewTrackIsVisual) {
        MP4VisualSampleEntryAtom* visual = nullptr;
        MP4_TRY(MP4CreateVisualSampleEntryAtom(&visual));
        *outEntry = visual;
    } else if (track->newTrackFlags & MP4NewTrackIsAudio) {
        uint32_t timeScale = 0;
        MP4_TRY(MP4GetMediaTimeScale(track->trackMedia, &timeScale));
        // The entry holds the sample rate in 16 bits: a higher one would be written wrong.
        if (timeScale > 0xFFFF)
            return MP4BadParameter;
        MP4AudioSampleEntryAtom* audio = nullptr;
        MP4_TRY(MP4CreateAudioSampleEntryAtom(&audio));
        audio->timeScale = timeScale;
        *outEntry = audio;
    } else {
        MP4MPEGSampleEntryAtom* system = nullptr;
        MP4_TRY(MP4CreateMPEGSampleEntryAtom(&system));
        *outEntry = system;
    }
    return MP4Success;
}

MP4Err MP4NewSampleDescription(MP4Track track, MP4Handle outSampleEntry, uint32_t dataReferenceIndex,
    uint32_t objectTypeIndication, uint32_t streamType, uint32_t decoderBufferSize, uint32_t maxBitrate,
    uint32_t avgBitrate, MP4Handle decoderSpecificInfo, uint32_t dependsOnESID)
{
    if (track == nullptr || outSampleEntry == nullptr)
        return MP4BadParameter;
    MP4CodedSampleEntryAtom* made = nullptr;
    MP4_TRY(newCodedEntry(track, &made));
    MP4AtomOwner entry(made);
    made->dataReferenceIndex = dataReferenceIndex;
    MP4ESDAtom* esds = nullptr;
    MP4_TRY(MP4CreateESDAtom(&esds));
    MP4Err err = made->setChild(esds);
    if (err != MP4Success) {
        esds->destroy();
        return err;
    }
    MP4_TRY(newESDescriptor(objectTypeIndication, streamType, decoderBufferSize, maxBitrate, avgBitrate,
        decoderSpecificInfo, &esds->descriptor));
    if (dependsOnESID != 0) {
        uint32_t referenceIndex = 0;
        MP4_TRY(MP4AddTrackReferenceWithID(track, dependsOnESID, MP4FourCC("sync"), &referenceIndex));
    }
    return MP4SerializeIntoHandle(made, outSampleEntry);
}

MP4Err MP4NewGenericSampleDescription(MP4Track track, MP4Handle outSampleEntry, const char* bytes, uint32_t length,
    uint32_t sampleEntryType)
{
    if (track == nullptr || outSampleEntry == nullptr || (bytes == nullptr && length != 0))
        return MP4BadParameter;
    MP4GenericSampleEntryAtom* made = nullptr;
    MP4_TRY(MP4CreateGenericSampleEntryAtom(&made));
    MP4AtomOwner entry(made);
    made->type = sampleEntryType;
    made->dataReferenceIndex = 1;
    MP4_TRY(MP4Resize(made->data, length));
    if (length != 0)
        std::memcpy(made->data.data(), bytes, length);
    return MP4SerializeIntoHandle(made, outSampleEntry);
}

// The media's sample entry with the index (from 1).
static MP4Err sampleEntryOf(MP4Media media, uint32_t index, MP4Atom** outEntry)
{
    MP4SampleTableAtom* table = nullptr;
    MP4_TRY(MP4SampleTableOf(media, &table));
    if (table->SampleDescription == nullptr)
        return MP4MissingComponent;
    return table->SampleDescription->getEntry(index, outEntry);
}

MP4Err MP4GetMediaSampleDescription(MP4Media media, uint32_t index, MP4Handle outSampleEntry,
    uint32_t* outDataReferenceIndex)
{
    MP4Atom* entry = nullptr;
    MP4_TRY(sampleEntryOf(media, index, &entry));
    if (outSampleEntry != nullptr)
        MP4_TRY(MP4SerializeIntoHandle(entry, outSampleEntry));
    if (outDataReferenceIndex != nullptr) {
        auto* sampleEntry = dynamic_cast<MP4SampleEntryAtom*>(entry);
        if (sampleEntry == nullptr)
            return MP4MissingComponent;
        *outDataReferenceIndex = sampleEntry->dataReferenceIndex;
    }
    return MP4Success;
}

// The ES descriptor a sample entry's 'esds' holds; -8 when there is none.
static MP4Err entryESD(MP4Atom* entry, MP4ES_Descriptor** outESD)
{
    auto* coded = dynamic_cast<MP4CodedSampleEntryAtom*>(entry);
    MP4ESDAtom* esds = coded != nullptr ? coded->ESDAtom() : nullptr;
    *outESD = esds != nullptr ? dynamic_cast<MP4ES_Descriptor*>(esds->descriptor) : nullptr;
    return *outESD != nullptr ? MP4Success : MP4MissingComponent;
}

static MP4Err mediaDecoderConfig(MP4Media media, uint32_t index, MP4DecoderConfigDescriptor** outConfig)
{
    MP4Atom* entry = nullptr;
    MP4ES_Descriptor* esd = nullptr;
    MP4_TRY(sampleEntryOf(media, index, &entry));
    MP4_TRY(entryESD(entry, &esd));
    *outConfig = dynamic_cast<MP4DecoderConfigDescriptor*>(esd->decoderConfig);
    return *outConfig != nullptr ? MP4Success : MP4MissingComponent;
}

MP4Err MP4GetMediaDecoderConfig(MP4Media media, uint32_t index, MP4Handle outDecoderConfig)
{
    MP4DecoderConfigDescriptor* config = nullptr;
    MP4_TRY(mediaDecoderConfig(media, index, &config));
    return MP4SerializeIntoHandle(config, outDecoderConfig);
}

MP4Err MP4GetMediaDecoderSpecificInfo(MP4Media media, uint32_t index, MP4Handle outDecoderSpecificInfo)
{
    MP4DecoderConfigDescriptor* config = nullptr;
    MP4_TRY(mediaDecoderConfig(media, index, &config));
    if (config->decoderSpecificInfo == nullptr)
        return MP4SetHandleSize(outDecoderSpecificInfo, 0);
    return MP4SerializeIntoHandle(config->decoderSpecificInfo, outDecoderSpecificInfo);
}

MP4Err MP4GetMediaDecoderInformation(MP4Media media, uint32_t index, uint32_t* outObjectType, uint32_t* outStreamType,
    uint32_t* outBufferSize, uint32_t* outUpstream, uint32_t* outMaxBitrate, uint32_t* outAvgBitrate,
    MP4Handle outDecoderSpecificInfo)
{
    MP4DecoderConfigDescriptor* config = nullptr;
    MP4_TRY(mediaDecoderConfig(media, index, &config));
    for (auto [out, value] : {std::pair{outObjectType, config->objectTypeIndication},
             std::pair{outStreamType, config->streamType}, std::pair{outBufferSize, config->bufferSizeDB},
             std::pair{outUpstream, config->upstream != 0 ? 1u : 0u}, std::pair{outMaxBitrate, config->maxBitrate},
             std::pair{outAvgBitrate, config->avgBitrate}}) {
        if (out != nullptr)
            *out = value;
    }
    if (outDecoderSpecificInfo == nullptr)
        return MP4Success;
    return MP4GetMediaDecoderSpecificInfo(media, index, outDecoderSpecificInfo);
}

MP4Err MP4GetMediaESD(MP4Media media, uint32_t index, MP4ES_Descriptor** outESD, uint32_t* outDataReferenceIndex)
{
    if (outESD == nullptr)
        return MP4BadParameter;
    MP4Atom* entry = nullptr;
    MP4ES_Descriptor* esd = nullptr;
    MP4_TRY(sampleEntryOf(media, index, &entry));
    MP4_TRY(entryESD(entry, &esd));
    MP4Descriptor* copy = nullptr;
    MP4_TRY(MP4CopyDescriptor(esd, &copy));
    *outESD = static_cast<MP4ES_Descriptor*>(copy);
    if (outDataReferenceIndex != nullptr)
        *outDataReferenceIndex = static_cast<MP4SampleEntryAtom*>(entry)->dataReferenceIndex;
    return MP4Success;
}

// Editors ----------------------------------------------------------------------------------------

// Reads the entry from the handle, lets edit change it, and writes it back into the handle.
template <class Edit>
static MP4Err editSampleEntry(MP4Handle sampleEntry, Edit edit)
{
    if (sampleEntry == nullptr)
        return MP4BadParameter;
    MP4Atom* parsed = nullptr;
    MP4_TRY(MP4ParseSampleEntryFromHandle(sampleEntry, false, &parsed));
    MP4AtomOwner entry(parsed);
    MP4_TRY(edit(parsed));
    return MP4SerializeIntoHandle(parsed, sampleEntry);
}

MP4Err MP4SetSampleDescriptionPriority(MP4Handle sampleEntry, uint32_t streamPriority)
{
    // The priority is five bits wide.
    if (streamPriority > 0x1F)
        return MP4BadParameter;
    return editSampleEntry(sampleEntry, [&](MP4Atom* entry) -> MP4Err {
        MP4ES_Descriptor* esd = nullptr;
        MP4_TRY(entryESD(entry, &esd));
        esd->streamPriority = streamPriority;
        return MP4Success;
    });
}

MP4Err MP4SetSampleDescriptionDecoderSpecificInfo(MP4Handle sampleEntry, MP4Handle decoderSpecificInfo)
{
    if (decoderSpecificInfo == nullptr)
        return MP4BadParameter;
    return editSampleEntry(sampleEntry, [&](MP4Atom* entry) -> MP4Err {
        MP4ES_Descriptor* esd = nullptr;
        MP4_TRY(entryESD(entry, &esd));
        auto* config = dynamic_cast<MP4DecoderConfigDescriptor*>(esd->decoderConfig);
        if (config == nullptr)
            return MP4MissingComponent;
        MP4Descriptor* replacement = nullptr;
        MP4_TRY(parseDecoderSpecificInfo(decoderSpecificInfo, &replacement));
        if (config->decoderSpecificInfo != nullptr)
            config->decoderSpecificInfo->destroy();
        config->decoderSpecificInfo = replacement;
        return MP4Success;
    });
}

MP4Err MP4SetSampleDescriptionDimensions(MP4Handle sampleEntry, uint16_t width, uint16_t height)
{
    return editSampleEntry(sampleEntry, [&](MP4Atom* entry) -> MP4Err {
        auto* visual = dynamic_cast<MP4VisualSampleEntryAtom*>(entry);
        if (visual == nullptr)
            return MP4BadParameter;
        visual->width = width;
        visual->height = height;
        return MP4Success;
    });
}

MP4Err MP4SetSampleDescriptionType(MP4Handle sampleEntry, uint32_t sampleEntryType)
{
    return editSampleEntry(sampleEntry, [&](MP4Atom* entry) -> MP4Err {
        entry->type = sampleEntryType;
        auto* coded = dynamic_cast<MP4CodedSampleEntryAtom*>(entry);
        // An elementary stream descriptor describes MPEG-4 streams only.
        if (coded == nullptr || (sampleEntryType >> 8) == (MP4FourCC("mp4 ") >> 8))
            return MP4Success;
        if (MP4ESDAtom* esds = coded->ESDAtom()) {
            MP4_TRY(MP4DeleteListEntryByItem(esds, coded->atomList));
            esds->destroy();
        }
        return MP4Success;
    });
}
