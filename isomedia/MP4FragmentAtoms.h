#pragma once
// Movie fragments: 'mvex' with its 'trex' defaults, and 'moof' with 'mfhd' and one 'traf'
// (with 'tfhd' and 'trun' runs) per track.

#include "isomedia/MP4TrackAtoms.h"

struct MP4TrackExtendsAtom;
struct MP4MovieFragmentHeaderAtom;
struct MP4TrackFragmentHeaderAtom;
struct MP4TrackFragmentRunAtom;

struct MP4MovieExtendsAtom : MP4ContainerAtom {
    MP4MovieExtendsAtom();
    // Only 'trex' children are accepted (-6 otherwise).
    MP4Err addAtom(MP4Atom* atom) override;
    MP4Err addTrackFragments(MP4Atom* moof, MP4MovieAtom* moov, MP4MediaDataAtom* mdat);
    // The first 'trex' of the track; the output is left untouched when none matches.
    MP4Err getTrackExtends(uint32_t trackID, MP4TrackExtendsAtom** outTrackExtends);
    MP4Err setDefaultSampleDescriptionIndexes(MP4MovieAtom* moov);
};

struct MP4TrackExtendsAtom : MP4FullAtom {
    uint32_t trackID = 0;
    uint32_t default_sample_description_index = 0;
    uint32_t default_sample_duration = 0;
    uint32_t default_sample_size = 0;
    uint32_t default_sample_flags = 0;

    MP4TrackExtendsAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4TrackFragmentAtom;

struct MP4MovieFragmentAtom : MP4ContainerAtom {
    MP4MovieFragmentHeaderAtom* mfhd = nullptr;
    MP4LinkedList trafList = nullptr;  // the 'traf' children (owned by atomList)

    MP4MovieFragmentAtom();
    ~MP4MovieFragmentAtom() override;
    // A 'traf' is listed, an 'mfhd' becomes the header (a later one replaces an earlier one);
    // anything else is -6.
    MP4Err addAtom(MP4Atom* atom) override;
    MP4Err mdatMoved(uint64_t start, uint64_t end, int64_t delta);
    MP4Err calculateDuration() { return MP4Success; }
    MP4Err mergeFragment(MP4MovieAtom* moov);
};

struct MP4MovieFragmentHeaderAtom : MP4FullAtom {
    uint32_t sequence_number = 0;

    MP4MovieFragmentHeaderAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4TrackFragmentAtom : MP4SampleInformationAtom {
    MP4TrackFragmentHeaderAtom* tfhd = nullptr;
    uint32_t default_sample_description_index = 0;
    uint32_t default_sample_duration = 0;
    uint32_t default_sample_size = 0;
    uint32_t default_sample_flags = 0;
    MP4MediaDataAtom* mdat = nullptr;  // the fragment's media data (not owned)
    uint32_t samples_use_mdat = 0;     // 0 nothing added yet, 1 samples with bytes, 2 references
    MP4LinkedList runList = nullptr;   // the 'trun' children (owned by atomList)

    MP4TrackFragmentAtom();
    ~MP4TrackFragmentAtom() override;
    MP4Err addAtom(MP4Atom* atom) override;
    MP4Err calculateSize() override;
    MP4Err serialize(char* buffer) override;
    MP4Err addSampleReference(uint32_t dataOffsetLow, uint32_t dataOffsetHigh, uint32_t sampleCount,
        MP4Handle durations, MP4Handle sizes, MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples,
        MP4Handle padding) override;
    MP4Err addSamples(MP4Handle sampleData, uint32_t sampleCount, MP4Handle durations, MP4Handle sizes,
        MP4Handle sampleEntry, MP4Handle decodingOffsets, MP4Handle syncSamples, MP4Handle padding) override;
    MP4Err mdatMoved(uint64_t start, uint64_t end, int64_t delta) override;
    MP4Err mergeRuns(MP4MediaAtom* media);
    MP4Err calculateDataSize(uint64_t* outSize);

private:
    MP4Err addRun(uint32_t sampleCount, MP4Handle durations, MP4Handle sizes, MP4Handle decodingOffsets,
        MP4Handle syncSamples, MP4Handle padding, MP4TrackFragmentRunAtom** outRun);
};

struct MP4TrackFragmentHeaderAtom : MP4FullAtom {
    uint32_t trackID = 0;
    uint64_t base_data_offset = 0;
    uint32_t sample_description_index = 0;
    uint32_t default_sample_duration = 0;
    uint32_t default_sample_size = 0;
    uint32_t default_sample_flags = 0;

    MP4TrackFragmentHeaderAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4TrackFragmentRunAtom : MP4FullAtom {
    struct Sample {
        uint32_t duration;
        uint32_t size;
        uint32_t flags;
        uint32_t compositionTimeOffset;
    };
    uint32_t samplecount = 0;
    int32_t data_offset = 0;
    uint32_t first_sample_flags = 0;
    std::vector<Sample> samples;

    MP4TrackFragmentRunAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err calculateDefaults(MP4TrackFragmentHeaderAtom* tfhd, uint32_t sampleNumber);
    MP4Err setFlags(MP4TrackFragmentHeaderAtom* tfhd);
};

// A run without per-sample fields costs nothing in the file; it may not claim more samples than
// this (more is taken for a lie about the run's size).
constexpr uint32_t kMP4MaxSamplesPerBareRun = 1u << 20;

MP4Err MP4CreateMovieExtendsAtom(MP4MovieExtendsAtom** outAtom);
MP4Err MP4CreateTrackExtendsAtom(MP4TrackExtendsAtom** outAtom);
MP4Err MP4CreateMovieFragmentAtom(MP4MovieFragmentAtom** outAtom);
MP4Err MP4CreateMovieFragmentHeaderAtom(MP4MovieFragmentHeaderAtom** outAtom);
MP4Err MP4CreateTrackFragmentAtom(MP4TrackFragmentAtom** outAtom);
MP4Err MP4CreateTrackFragmentHeaderAtom(MP4TrackFragmentHeaderAtom** outAtom);
MP4Err MP4CreateTrackFragmentRunAtom(MP4TrackFragmentRunAtom** outAtom);
