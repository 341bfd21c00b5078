#pragma once
// Tracks and media: 'trak' with 'tkhd', 'tref' (and its reference types), 'edts'/'elst', and
// 'mdia' with 'mdhd', 'hdlr' and 'minf'.

#include "isomedia/MP4MovieAtoms.h"

struct MP4SampleTableAtom;
struct MP4DataInformationAtom;
struct MP4DataHandlerRecord;
struct MP4TrackHeaderAtom;
struct MP4TrackReferenceAtom;
struct MP4TrackReferenceTypeAtom;
struct MP4EditAtom;
struct MP4MediaHeaderAtom;
struct MP4HandlerAtom;

// What a media hands its samples to: the media information, or, while a fragmented movie is
// written, the track fragment that stands in for it.
struct MP4SampleInformationAtom : MP4ContainerAtom {
    virtual MP4Err addSampleReference(uint32_t dataOffsetLow, uint32_t dataOffsetHigh, uint32_t sampleCount,
        MP4Handle durations, MP4Handle sizes, MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples,
        MP4Handle padding) = 0;
    virtual MP4Err addSamples(MP4Handle sampleData, uint32_t sampleCount, MP4Handle durations, MP4Handle sizes,
        MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples, MP4Handle padding) = 0;
    virtual MP4Err mdatMoved(uint64_t start, uint64_t end, int64_t delta) = 0;
};

struct MP4TrackAtom : MP4ContainerAtom {
    MP4MovieRecord* moov = nullptr;
    uint32_t newTrackFlags = 0;
    MP4MediaDataAtom* mdat = nullptr;  // not owned: new media refer to it
    MP4Atom* udta = nullptr;  // a 'udta', or the container a client put in its place
    MP4TrackHeaderAtom* trackHeader = nullptr;
    MP4MediaAtom* trackMedia = nullptr;
    MP4EditAtom* trackEditAtom = nullptr;
    MP4TrackReferenceAtom* trackReferences = nullptr;

    MP4TrackAtom();
    MP4Err addAtom(MP4Atom* atom) override;
    MP4Err setMoov(MP4MovieRecord* movie);
    MP4Err setMdat(MP4MediaDataAtom* mediaData);
    MP4Err newMedia(MP4MediaAtom** outMedia, uint32_t handlerType, uint32_t timeScale, MP4Handle dataReference);
    MP4Err setEnabled(uint32_t enabled);
    MP4Err getEnabled(uint32_t* outEnabled);
    MP4Err calculateDuration(uint32_t movieTimeScale);
    MP4Err getDuration(uint64_t* outDuration);
    MP4Err setMatrix(const uint32_t matrix[9]);
    MP4Err getMatrix(uint32_t outMatrix[9]);
    MP4Err setLayer(int16_t layer);
    MP4Err getLayer(int16_t* outLayer);
    MP4Err setDimensions(uint32_t width, uint32_t height);
    MP4Err getDimensions(uint32_t* outWidth, uint32_t* outHeight);
    MP4Err setVolume(int16_t volume);
    MP4Err getVolume(int16_t* outVolume);
    MP4Err mdatMoved(uint64_t start, uint64_t end, int64_t delta);
    MP4Err mdatArrived(MP4MediaDataAtom* mediaData);
    MP4Err setMediaInformationForTrackID(uint32_t trackID, MP4SampleInformationAtom* information);
};

struct MP4TrackHeaderAtom : MP4FullAtom {
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint32_t trackID = 0;
    uint32_t qt_reserved1 = 0;
    uint64_t duration = 0;
    char qt_reserved2[8] = {};
    uint32_t qt_layer = 0;
    uint32_t qt_alternateGroup = 0;
    uint32_t qt_volume = 0;
    uint32_t qt_reserved3 = 0;
    uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
    uint32_t qt_trackWidth = 0;
    uint32_t qt_trackHeight = 0;

    MP4TrackHeaderAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

// Every child of a track reference is a track reference type atom, of whatever type.
struct MP4TrackReferenceAtom : MP4ContainerAtom {
    MP4TrackReferenceAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err findAtomOfType(uint32_t referenceType, MP4Atom** outAtom);
    // The list of the type, made and added when there is none.
    MP4Err typeAtom(uint32_t referenceType, MP4TrackReferenceTypeAtom** outAtom);
};

struct MP4TrackReferenceTypeAtom : MP4Atom {
    std::vector<uint32_t> trackIDs;

    explicit MP4TrackReferenceTypeAtom(uint32_t referenceType);
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addTrackID(uint32_t trackID);
};

struct MP4EditListAtom;

struct MP4EditAtom : MP4ContainerAtom {
    MP4EditListAtom* editList = nullptr;

    MP4EditAtom();
    MP4Err addAtom(MP4Atom* atom) override;
    MP4Err getEffectiveDuration(uint64_t* outDuration);
};

struct MP4EditListAtom : MP4FullAtom {
    struct Entry {
        uint64_t segmentDuration;
        int64_t mediaTime;
        uint32_t mediaRate;
        uint32_t emptyEdit;
    };
    std::vector<Entry> entries;

    MP4EditListAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err setTrackOffset(uint64_t trackOffset, uint64_t mediaDuration);
    MP4Err getTrackOffset(uint64_t* outOffset);
    MP4Err isEmptyEdit(uint32_t segmentNumber, uint32_t* outIsEmpty);
    // Appends a media edit (trackStartTime -1; other times into a non-empty list are -1000).
    // Into an empty list the media edit is the first, after an empty edit of trackStartTime
    // when that is above 0.
    MP4Err insertSegment(int32_t trackStartTime, uint32_t mediaStartTime, uint64_t segmentDuration,
        uint32_t mediaRate);
    MP4Err getEffectiveDuration(uint64_t* outDuration);
    MP4Err getIndSegment(uint32_t index, uint64_t* outTrackStartTime, int64_t* outMediaStartTime,
        uint64_t* outSegmentDuration);
    // The media time (-1 inside an empty edit) and rate at a track time.
    MP4Err getTimeForTrackTime(int64_t trackTime, uint32_t movieTimeScale, uint32_t mediaTimeScale,
        int64_t* outMediaTime, uint32_t* outMediaRate, uint64_t* outPriorSegmentDuration,
        uint64_t* outNextSegmentDuration);
    uint32_t getEntryCount() const { return uint32_t(entries.size()); }
};

struct MP4MediaInformationAtom;

struct MP4MediaAtom : MP4ContainerAtom {
    MP4TrackAtom* mediaTrack = nullptr;
    MP4MediaHeaderAtom* mediaHeader = nullptr;
    MP4HandlerAtom* handler = nullptr;
    MP4SampleInformationAtom* information = nullptr;          // the current one
    MP4SampleInformationAtom* originalInformation = nullptr;  // before setMediaInformation

    MP4MediaAtom();
    MP4Err addAtom(MP4Atom* atom) override;
    MP4Err setupNew(MP4TrackAtom* track, uint32_t handlerType, uint32_t timeScale, MP4Handle dataReference);
    MP4Err addSampleReference(uint32_t dataOffsetLow, uint32_t dataOffsetHigh, uint32_t sampleCount,
        MP4Handle durations, MP4Handle sizes, MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples,
        MP4Handle padding);
    MP4Err addSamples(MP4Handle sampleData, uint32_t sampleCount, MP4Handle durations, MP4Handle sizes,
        MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples, MP4Handle padding);
    MP4Err calculateDuration();
    MP4Err mdatMoved(uint64_t start, uint64_t end, int64_t delta);
    MP4Err setfieldsize(uint32_t fieldSize);
    MP4Err setMediaInformation(MP4SampleInformationAtom* newInformation);
    // The media information proper ('minf'), also while a track fragment stands in for it.
    MP4MediaInformationAtom* mediaInformation() const;

private:
    MP4Err rewriteObjectDescriptorSample(MP4Handle sampleData, MP4Handle sizes);
};

struct MP4MediaHeaderAtom : MP4FullAtom {
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint32_t timeScale = 0;
    uint64_t duration = 0;
    uint32_t packedLanguage = 0;
    uint32_t qt_quality = 0;

    MP4MediaHeaderAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4HandlerAtom : MP4FullAtom {
    uint32_t nameLength = 0;
    uint32_t qt_componentType = 0;
    uint32_t handlerType = 0;
    uint32_t qt_componentManufacturer = 0;
    uint32_t qt_componentFlags = 0;
    uint32_t qt_componentFlagsMask = 0;
    std::vector<char> nameUTF8;  // the name and a terminating zero
    uint32_t is_qt = 0;          // the counted-name flag

    MP4HandlerAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err setName(const char* name, uint32_t countedName);
    const char* name_() const { return nameUTF8.empty() ? "" : nameUTF8.data(); }
};

struct MP4MediaInformationAtom : MP4SampleInformationAtom {
    MP4DataInformationAtom* dataInformation = nullptr;
    MP4SampleTableAtom* sampleTable = nullptr;
    MP4Atom* mediaHeader = nullptr;  // 'hmhd', 'smhd', 'vmhd' (or an 'mdhd' a file put here)
    MP4InputStream inputStream = nullptr;  // the stream it was read from (for data handlers)
    MP4DataHandlerRecord* dataHandler = nullptr;
    uint32_t dataEntryIndex = 0;

    MP4MediaInformationAtom();
    ~MP4MediaInformationAtom() override;
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err addAtom(MP4Atom* atom) override;
    MP4Err addSampleReference(uint32_t dataOffsetLow, uint32_t dataOffsetHigh, uint32_t sampleCount,
        MP4Handle durations, MP4Handle sizes, MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples,
        MP4Handle padding) override;
    MP4Err addSamples(MP4Handle sampleData, uint32_t sampleCount, MP4Handle durations, MP4Handle sizes,
        MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples, MP4Handle padding) override;
    MP4Err mdatMoved(uint64_t start, uint64_t end, int64_t delta) override;
    MP4Err closeDataHandler();
    MP4Err openDataHandler(uint32_t dataEntryIndex);
    MP4Err setupNew(uint32_t handlerType, MP4Handle dataReference, MP4MediaDataAtom* mediaData);
    MP4Err calculateDuration(uint64_t* outDuration);
    MP4Err setfieldsize(uint32_t fieldSize);
    MP4Err testDataEntry(uint32_t dataEntryIndex);
    // The data entry with the index (from 1).
    MP4Err dataEntryAt(uint32_t dataEntryIndex, MP4DataEntryAtom** outEntry);
    // Self-contained entries now refer to this media data; a data handler open on the media
    // data that was there before is closed.
    MP4Err mdatArrived(MP4MediaDataAtom* mediaData);
};

MP4Err MP4CreateTrackAtom(MP4TrackAtom** outAtom);
MP4Err MP4CreateTrackHeaderAtom(MP4TrackHeaderAtom** outAtom);
MP4Err MP4CreateTrackReferenceAtom(MP4TrackReferenceAtom** outAtom);
MP4Err MP4CreateTrackReferenceTypeAtom(uint32_t referenceType, MP4TrackReferenceTypeAtom** outAtom);
MP4Err MP4CreateEditAtom(MP4EditAtom** outAtom);
MP4Err MP4CreateEditListAtom(MP4EditListAtom** outAtom);
MP4Err MP4CreateMediaAtom(MP4MediaAtom** outAtom);
MP4Err MP4CreateMediaHeaderAtom(MP4MediaHeaderAtom** outAtom);
MP4Err MP4CreateHandlerAtom(MP4HandlerAtom** outAtom);
MP4Err MP4CreateMediaInformationAtom(MP4MediaInformationAtom** outAtom);

// value * multiplier / divisor, the product taken first and kept exact (no intermediate
// overflow); -2 for a divisor of 0.
MP4Err MP4ScaleTime(int64_t value, uint64_t multiplier, uint64_t divisor, int64_t* outValue);
