#pragma once
// Movie-level atoms: 'moov' with its header 'mvhd', media data 'mdat', free space
// ('free'/'skip'), user data 'udta', data information 'dinf', data reference 'dref' and its
// entries "url " and "urn ".

#include "isomedia/MP4Atoms.h"

struct MP4MovieRecord;
struct MP4TrackAtom;
struct MP4MediaAtom;
struct MP4MovieHeaderAtom;
struct MP4UserDataAtom;
struct MP4ObjectDescriptorAtom;
struct MP4MovieExtendsAtom;
struct MP4TrackExtendsAtom;
struct MP4MediaDataAtom;

struct MP4MovieAtom : MP4ContainerAtom {
    MP4ObjectDescriptorAtom* iods = nullptr;
    MP4MovieHeaderAtom* mvhd = nullptr;
    MP4Atom* udta = nullptr;  // a 'udta', or the container a client put in its place
    MP4MovieExtendsAtom* mvex = nullptr;
    MP4MovieRecord* moov = nullptr;     // the movie record this atom belongs to
    MP4LinkedList trackList = nullptr;  // the 'trak' children (owned by atomList)

    MP4MovieAtom();
    ~MP4MovieAtom() override;

    // Moves the chunk offsets of every track that lie in [start, end) by delta.
    MP4Err mdatMoved(uint64_t start, uint64_t end, int64_t delta);
    MP4Err calculateDuration();
    MP4Err setupTracks(MP4MovieRecord* movie);
    MP4Err getTrackCount(uint32_t* outCount);
    MP4Err getIndTrack(uint32_t index, MP4TrackAtom** outTrack);
    // 'iods', 'mvex', 'mvhd' and 'udta' are also kept in their fields (a second one is -6);
    // a 'trak' is also added to the track list.
    MP4Err addAtom(MP4Atom* atom) override;
    MP4Err getNextTrackID(uint32_t* outID);
    MP4Err addTrack(MP4TrackAtom* track);
    MP4Err newTrack(uint32_t newTrackFlags, MP4TrackAtom** outTrack);
    MP4Err newTrackWithID(uint32_t newTrackFlags, uint32_t trackID, MP4TrackAtom** outTrack);
    MP4Err setTimeScale(uint32_t timeScale);
    MP4Err getTimeScale(uint32_t* outTimeScale);
    MP4Err setMatrix(const uint32_t matrix[9]);
    MP4Err getMatrix(uint32_t outMatrix[9]);
    MP4Err setPreferredRate(uint32_t rate);
    MP4Err getPreferredRate(uint32_t* outRate);
    MP4Err setPreferredVolume(int16_t volume);
    MP4Err getPreferredVolume(int16_t* outVolume);
    // Fragment support: hands (trackID, atom) to every track's setMediaInformationForTrackID.
    MP4Err setMediaInformationForTrackID(uint32_t trackID, MP4Atom* mediaInformation);
    // The 'mvex' track defaults of a track (left untouched when there are none).
    MP4Err getTrackExtends(uint32_t trackID, MP4TrackExtendsAtom** outTrackExtends);
    // The media of the track with the ID (-2 when no track carries it).
    MP4Err getTrackMedia(uint32_t trackID, MP4MediaAtom** outMedia);
    MP4Err mdatArrived(MP4MediaDataAtom* mdat);
    // The current sample entry index of the sample table of the track with the ID.
    MP4Err getSampleEntryIndexForTrackID(uint32_t trackID, uint32_t* outIndex);
};

struct MP4MovieHeaderAtom : MP4FullAtom {
    uint64_t creationTime = 0;
    uint64_t modificationTime = 0;
    uint32_t timeScale = 0;
    uint64_t duration = 0;
    uint32_t qt_preferredRate = 0x10000;
    uint32_t qt_preferredVolume = 0x0100;
    char qt_reserved[10] = {};
    uint32_t matrix[9] = {0x10000, 0, 0, 0, 0x10000, 0, 0, 0, 0x40000000};
    uint32_t qt_previewTime = 0;
    uint32_t qt_previewDuration = 0;
    uint32_t qt_posterTime = 0;
    uint32_t qt_selectionTime = 0;
    uint32_t qt_selectionDuration = 0;
    uint32_t qt_currentTime = 0;
    uint32_t nextTrackID = 0;

    MP4MovieHeaderAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4MediaDataAtom : MP4Atom {
    std::vector<char> data;
    uint64_t dataSize = 0;
    uint64_t dataOffset = 0;  // the file offset of the first data byte

    MP4MediaDataAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    // 8 + the data size; 0 for an empty 'mdat', which is not written at all.
    MP4Err calculateSize() override;
    MP4Err addData(MP4Handle handle);
    MP4Err writeToFile(std::FILE* file);
    MP4Err addMdat(MP4MediaDataAtom* other);
};

struct MP4FreeSpaceAtom : MP4Atom {
    std::vector<char> data;

    MP4FreeSpaceAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

// User data: typed item records (added through addUserData) and other child atoms (as read).
struct MP4UserDataAtom : MP4ContainerAtom {
    struct Record {
        uint32_t type = 0;
        std::vector<MP4Atom*> items;
    };
    std::vector<Record> recordList;

    MP4UserDataAtom();
    ~MP4UserDataAtom() override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addUserData(MP4Handle handle, uint32_t userDataType, uint32_t* outIndex);
    MP4Err getEntryCount(uint32_t userDataType, uint32_t* outCount);
    MP4Err getIndType(uint32_t index, uint32_t* outType);
    MP4Err getItem(MP4Handle handle, uint32_t userDataType, uint32_t index);
    MP4Err getTypeCount(uint32_t* outCount);
};

struct MP4DataReferenceAtom;

// Data information; also the generic container the tag writer retypes. A raw payload, when
// present, is written between the header and the children.
struct MP4DataInformationAtom : MP4ContainerAtom {
    MP4DataReferenceAtom* dref = nullptr;
    std::vector<char> payload;

    MP4DataInformationAtom();
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addAtom(MP4Atom* atom) override;
    // Forwarded to the data entry with the index (from 1) through the 'dref'.
    MP4Err getOffset(uint32_t dataEntryIndex, uint32_t* outOffset);
    MP4Err addSampleReference(uint32_t dataEntryIndex);
    MP4Err addSamples(uint32_t dataEntryIndex, MP4Handle sampleData);
};

struct MP4DataEntryAtom;

struct MP4DataReferenceAtom : MP4FullAtom {
    MP4LinkedList atomList = nullptr;  // the entries, owned

    MP4DataReferenceAtom();
    ~MP4DataReferenceAtom() override;
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addDataEntry(MP4Atom* entry);
    MP4Err getOffset(uint32_t dataEntryIndex, uint32_t* outOffset);
    MP4Err addSampleReference(uint32_t dataEntryIndex);
    MP4Err addSamples(uint32_t dataEntryIndex, MP4Handle sampleData);
    MP4Err getEntryCount(uint32_t* outCount);
    // The entry with the index from 1 (any atom a file put there).
    MP4Err getEntry(uint32_t dataEntryIndex, MP4Atom** outEntry);
    // Its data entry proper; -8 when the entry is not a "url " or "urn " entry.
    MP4Err getDataEntry(uint32_t dataEntryIndex, MP4DataEntryAtom** outEntry);
};

// The flags of any data entry (for an unrecognised one, the low 24 bits of its first body word);
// -8 when they cannot be known.
MP4Err MP4GetDataEntryFlags(MP4Atom* entry, uint32_t* outFlags);

// "url " and "urn " entries. Flags bit 0 set: the media lie in the movie's own file.
struct MP4DataEntryAtom : MP4FullAtom {
    MP4MediaDataAtom* mdat = nullptr;  // attached for new movies (not owned)
    uint32_t offset = 0;
    std::vector<char> location;        // as read or given; text up to its first zero

    MP4Err getOffset(uint32_t* outOffset);
    // -2 when an 'mdat' is attached (a self-contained new movie takes sample data only).
    MP4Err addSampleReference();
    // Appends to the attached 'mdat', or advances the offset by the handle's size.
    MP4Err addSamples(MP4Handle sampleData);
    uint32_t locationLength() const;
};

struct MP4DataEntryURLAtom : MP4DataEntryAtom {
    MP4DataEntryURLAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4DataEntryURNAtom : MP4DataEntryAtom {
    std::vector<char> nameURN;

    MP4DataEntryURNAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    uint32_t nameLength() const;
};

MP4Err MP4CreateMovieAtom(MP4MovieAtom** outAtom);
MP4Err MP4CreateMovieHeaderAtom(MP4MovieHeaderAtom** outAtom);
MP4Err MP4CreateMediaDataAtom(MP4MediaDataAtom** outAtom);
MP4Err MP4CreateFreeSpaceAtom(MP4FreeSpaceAtom** outAtom);
MP4Err MP4CreateUserDataAtom(MP4UserDataAtom** outAtom);
MP4Err MP4CreateDataInformationAtom(MP4DataInformationAtom** outAtom);
MP4Err MP4CreateDataReferenceAtom(MP4DataReferenceAtom** outAtom);
MP4Err MP4CreateDataEntryURLAtom(MP4DataEntryURLAtom** outAtom);
MP4Err MP4CreateDataEntryURNAtom(MP4DataEntryURNAtom** outAtom);
