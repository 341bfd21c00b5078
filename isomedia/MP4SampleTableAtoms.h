#pragma once
// The sample table 'stbl' and its tables. Sample and chunk numbers count from 1.
//
// Every count read from a file is checked against the bytes the table really holds before
// anything is allocated for it, and every chunk number taken from 'stsc' is checked against
// the chunk offsets before it is used: a file that lies about its tables gives -6.

#include "isomedia/MP4PairTableAtom.h"

struct MP4SampleEntryAtom;
struct MP4SampleDescriptionAtom;
struct MP4TimeToSampleAtom;
struct MP4DecodingOffsetAtom;
struct MP4SampleToChunkAtom;
struct MP4SampleSizeAtom;
struct MP4ChunkOffsetAtom;
struct MP4SyncSampleAtom;
struct MP4ShadowSyncAtom;
struct MP4DegradationPriorityAtom;
struct MP4PaddingBitsAtom;
struct MP4DataReferenceAtom;

// What the sample table says of one sample.
struct MP4SampleRecord {
    uint64_t dataOffset = 0;             // in the data its sample entry's data reference names
    uint32_t size = 0;
    uint32_t sampleDescriptionIndex = 0;
    int64_t decodingTime = 0;
    uint32_t duration = 0;
    int32_t compositionOffset = 0;       // composition time - decoding time
    bool isSync = true;
    uint8_t padding = 0;
};

struct MP4SampleTableAtom : MP4ContainerAtom {
    MP4TimeToSampleAtom* TimeToSample = nullptr;
    MP4DecodingOffsetAtom* CompositionOffset = nullptr;
    MP4SyncSampleAtom* SyncSample = nullptr;
    MP4SampleDescriptionAtom* SampleDescription = nullptr;
    MP4SampleSizeAtom* SampleSize = nullptr;
    MP4SampleToChunkAtom* SampleToChunk = nullptr;
    MP4ChunkOffsetAtom* ChunkOffset = nullptr;  // 'stco' or 'co64'
    MP4ShadowSyncAtom* ShadowSync = nullptr;
    MP4DegradationPriorityAtom* DegradationPriority = nullptr;
    MP4PaddingBitsAtom* PaddingBits = nullptr;
    MP4SampleEntryAtom* currentSampleEntry = nullptr;
    uint32_t currentSampleEntryIndex = 0;

    MP4SampleTableAtom();
    MP4Err addAtom(MP4Atom* atom) override;
    MP4Err setupNew();
    MP4Err calculateDuration(uint32_t* outDuration);
    MP4Err setSampleEntry(MP4Atom* entry);
    MP4Err getCurrentDataReferenceIndex(uint32_t* outIndex);
    // Records the samples as one new chunk; -6 when the times and the sizes already count
    // different numbers of samples.
    MP4Err addSamples(uint32_t sampleCount, uint64_t dataOffset, MP4Handle durations, MP4Handle sizes,
        MP4Handle decodingOffsets, MP4Handle syncSamples, MP4Handle padding);
    MP4Err setfieldsize(uint32_t fieldSize);
    uint32_t getCurrentSampleEntryIndex() const { return currentSampleEntryIndex; }
    MP4Err setSampleDescriptionIndex(uint32_t index);
    // Everything the tables hold of the sample; -2 for a number of 0 or above the sample count,
    // -6 when the tables do not cover a sample their sample count claims.
    MP4Err getSample(uint32_t sampleNumber, MP4SampleRecord* outSample);
};

struct MP4SampleDescriptionAtom : MP4FullAtom {
    MP4LinkedList atomList = nullptr;  // the sample entries, owned

    MP4SampleDescriptionAtom();
    ~MP4SampleDescriptionAtom() override;
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addEntry(MP4Atom* entry);
    uint32_t getEntryCount() const { return MP4ListCount(atomList); }
    MP4Err getEntry(uint32_t index, MP4Atom** outEntry);
};

struct MP4TimeToSampleEntry {
    uint32_t sampleCount;
    uint32_t sampleDuration;
};

struct MP4TimeToSampleAtom : MP4PairTableAtom<MP4TimeToSampleEntry, &MP4TimeToSampleEntry::sampleCount,
                                 &MP4TimeToSampleEntry::sampleDuration> {
    using Entry = MP4TimeToSampleEntry;
    // The look-up cache: the entry reached last, its first sample number and start time.
    bool cacheValid = false;
    uint32_t cacheEntryIndex = 0;
    uint32_t cacheFirstSample = 0;
    uint64_t cacheStartTime = 0;

    MP4TimeToSampleAtom();
    MP4Err getTimeForSampleNumber(uint32_t sampleNumber, int64_t* outTime, uint32_t* outDuration);
    MP4Err findSamples(int64_t mediaTime, int64_t* outPriorTime, int64_t* outExactTime, int64_t* outNextTime,
        uint32_t* outSampleNumber, uint32_t* outDuration);
    MP4Err getTotalDuration(uint64_t* outDuration);
    MP4Err addSamples(uint32_t sampleCount, MP4Handle durations);
};

struct MP4DecodingOffsetEntry {
    uint32_t sampleCount;
    uint32_t decodingOffset;
};

struct MP4DecodingOffsetAtom : MP4PairTableAtom<MP4DecodingOffsetEntry, &MP4DecodingOffsetEntry::sampleCount,
                                   &MP4DecodingOffsetEntry::decodingOffset> {
    using Entry = MP4DecodingOffsetEntry;
    uint32_t samplesCovered = 0;

    MP4DecodingOffsetAtom();
    MP4Err addSamples(uint32_t firstSampleNumber, uint32_t sampleCount, MP4Handle offsets);
    MP4Err getOffsetForSampleNumber(uint32_t sampleNumber, uint32_t* outOffset);
};

struct MP4SampleDescriptionAtom;
struct MP4ChunkOffsetAtom;

struct MP4SampleToChunkAtom : MP4FullAtom {
    struct Entry {
        uint32_t firstChunk;
        uint32_t samplesPerChunk;
        uint32_t sampleDescriptionIndex;
    };
    std::vector<Entry> entries;
    uint32_t cacheEntryIndex = 0;
    uint32_t cacheFirstSample = 0;

    MP4SampleToChunkAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err lookupSample(uint32_t sampleNumber, uint32_t* outChunk, uint32_t* outSampleDescriptionIndex,
        uint32_t* outFirstSampleInChunk);
    MP4Err addEntry(uint32_t firstChunk, uint32_t samplesPerChunk, uint32_t sampleDescriptionIndex);
    uint32_t getEntryCount() const { return uint32_t(entries.size()); }
    MP4Err mdatMoved(uint64_t start, uint64_t end, int64_t delta, MP4SampleDescriptionAtom* stsd,
        MP4DataReferenceAtom* dref, MP4ChunkOffsetAtom* stco);
};

struct MP4SampleSizeAtom : MP4FullAtom {
    uint32_t sampleSize = 0;
    uint32_t sampleCount = 0;
    uint32_t fieldSize = 32;
    std::vector<uint32_t> sizes;  // only while sampleSize is 0

    MP4SampleSizeAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err getSampleSize(uint32_t sampleNumber, uint32_t* outSize);
    MP4Err getSampleSizeAndOffset(uint32_t sampleNumber, uint32_t* outSize, uint32_t firstSampleInChunk,
        uint32_t* outBytesBefore);
    MP4Err addSamples(uint32_t count, MP4Handle sizesHandle);
    MP4Err setfieldsize(uint32_t newFieldSize);
};

// 'stco' (32-bit offsets) and 'co64' (64-bit offsets): one class, the type picks the width.
struct MP4ChunkOffsetAtom : MP4FullAtom {
    std::vector<uint64_t> offsets;

    explicit MP4ChunkOffsetAtom(uint32_t atomType = MP4FourCC("stco"));
    bool isLarge() const { return type == MP4FourCC("co64"); }
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    uint32_t getEntryCount() const { return uint32_t(offsets.size()); }
    MP4Err getChunkOffset(uint32_t chunkNumber, uint64_t* outOffset);
    MP4Err addOffset(uint64_t offset);
};

struct MP4SyncSampleAtom : MP4FullAtom {
    std::vector<uint32_t> sampleNumbers;
    bool startedEmpty = false;

    MP4SyncSampleAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addSamples(uint32_t firstSampleNumber, uint32_t sampleCount, MP4Handle syncSamples);
    MP4Err isSyncSample(uint32_t sampleNumber, uint32_t* outFlag);
};

struct MP4ShadowSyncEntry {
    uint32_t shadowedSampleNumber;
    uint32_t syncSampleNumber;
};

struct MP4ShadowSyncAtom : MP4PairTableAtom<MP4ShadowSyncEntry, &MP4ShadowSyncEntry::shadowedSampleNumber,
                               &MP4ShadowSyncEntry::syncSampleNumber> {
    MP4ShadowSyncAtom();
};

struct MP4DegradationPriorityAtom : MP4FullAtom {
    std::vector<uint32_t> priorities;

    MP4DegradationPriorityAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4PaddingBitsAtom : MP4FullAtom {
    std::vector<uint8_t> padding;  // one byte (3 bits) per sample

    MP4PaddingBitsAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err getPaddingBits(uint32_t sampleNumber, uint8_t* outBits);
    MP4Err addSamplePaddingBits(uint32_t sampleCount, MP4Handle paddingHandle);
};

MP4Err MP4CreateSampleTableAtom(MP4SampleTableAtom** outAtom);
MP4Err MP4CreateSampleDescriptionAtom(MP4SampleDescriptionAtom** outAtom);
MP4Err MP4CreateTimeToSampleAtom(MP4TimeToSampleAtom** outAtom);
MP4Err MP4CreateDecodingOffsetAtom(MP4DecodingOffsetAtom** outAtom);
MP4Err MP4CreateSampleToChunkAtom(MP4SampleToChunkAtom** outAtom);
MP4Err MP4CreateSampleSizeAtom(MP4SampleSizeAtom** outAtom);
MP4Err MP4CreateChunkOffsetAtom(MP4ChunkOffsetAtom** outAtom);
MP4Err MP4CreateChunkLargeOffsetAtom(MP4ChunkOffsetAtom** outAtom);
MP4Err MP4CreateSyncSampleAtom(MP4SyncSampleAtom** outAtom);
MP4Err MP4CreateShadowSyncAtom(MP4ShadowSyncAtom** outAtom);
MP4Err MP4CreateDegradationPriorityAtom(MP4DegradationPriorityAtom** outAtom);
MP4Err MP4CreatePaddingBitsAtom(MP4PaddingBitsAtom** outAtom);
