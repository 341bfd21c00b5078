#pragma once
// Media headers, sample entries and the two descriptor-carrying atoms ('esds', 'iods').

#include "isomedia/MP4Atoms.h"
#include "isomedia/MP4Descriptors.h"

// Media headers ('smhd', 'vmhd', 'hmhd' and the header-only 'nmhd', 'odhd', 'sdhd', 'crhd').
struct MP4SoundMediaHeaderAtom : MP4FullAtom {
    uint32_t balance = 0;
    uint32_t reserved = 0;
    MP4SoundMediaHeaderAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4VideoMediaHeaderAtom : MP4FullAtom {
    uint32_t graphicsMode = 0;
    uint32_t opColorRed = 0;
    uint32_t opColorGreen = 0;
    uint32_t opColorBlue = 0;
    MP4VideoMediaHeaderAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4HintMediaHeaderAtom : MP4FullAtom {
    uint32_t maxPDUSize = 0;
    uint32_t avgPDUSize = 0;
    uint32_t maxBitrate = 0;
    uint32_t avgBitrate = 0;
    uint32_t slidingAverageBitrate = 0;
    MP4HintMediaHeaderAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

// A media header with no body: the class name and type tell them apart.
struct MP4HeaderOnlyMediaHeaderAtom : MP4FullAtom {
    MP4HeaderOnlyMediaHeaderAtom(uint32_t atomType, const char* className);
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

// Sample entries: an 8-byte header, 6 reserved bytes and the data reference index.
struct MP4SampleEntryAtom : MP4Atom {
    uint32_t dataReferenceIndex = 0;
    char reserved1[6] = {};
};

// 'mp4a', 'mp4v', 'mp4s': fixed fields, then child atoms (normally one 'esds'; some muxers add
// more, such as 'btrt', and every child is read and written back).
struct MP4CodedSampleEntryAtom : MP4SampleEntryAtom {
    MP4LinkedList atomList = nullptr;

    MP4CodedSampleEntryAtom();
    ~MP4CodedSampleEntryAtom() override;
    // The first child atom (the 'esds' in a well-formed entry), or none.
    MP4Atom* child() const;
    // Replaces the children by one atom (taken over); none removes them all.
    MP4Err setChild(MP4Atom* atom);
    // The 'esds' child, or none.
    struct MP4ESDAtom* ESDAtom() const;

protected:
    MP4Err readChildAtoms(MP4InputStream stream);
    MP4Err addChildSizes();
};

struct MP4AudioSampleEntryAtom : MP4CodedSampleEntryAtom {
    char reserved2[8] = {};
    uint32_t reserved3 = 2;    // channel count
    uint32_t reserved4 = 16;   // sample size
    uint32_t reserved5 = 0;
    uint32_t timeScale = 44100;
    uint32_t reserved6 = 0;
    MP4AudioSampleEntryAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4VisualSampleEntryAtom : MP4CodedSampleEntryAtom {
    char reserved2[16] = {};
    uint32_t width = 320;
    uint32_t height = 240;
    uint32_t reserved4 = 0x480000;
    uint32_t reserved5 = 0x480000;
    uint32_t reserved6 = 0;
    uint32_t reserved7 = 1;
    uint32_t nameLength = 0;
    char name31[31] = {};
    uint32_t reserved8 = 24;
    uint32_t reserved9 = 0xFFFF;
    MP4VisualSampleEntryAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4MPEGSampleEntryAtom : MP4CodedSampleEntryAtom {
    MP4MPEGSampleEntryAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

// Any other coding ('alac', ...): everything after the data reference index kept raw.
struct MP4GenericSampleEntryAtom : MP4SampleEntryAtom {
    std::vector<char> data;
    MP4GenericSampleEntryAtom();
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4ESDAtom : MP4FullAtom {
    uint32_t descriptorLength = 0;
    MP4Descriptor* descriptor = nullptr;  // owned
    MP4ESDAtom();
    ~MP4ESDAtom() override;
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4ObjectDescriptorAtom : MP4FullAtom {
    uint32_t ODSize = 0;
    MP4Descriptor* descriptor = nullptr;  // owned
    MP4ObjectDescriptorAtom();
    ~MP4ObjectDescriptorAtom() override;
    // Takes the descriptor over and sizes it; -2 when one is held already.
    MP4Err setDescriptor(MP4Descriptor* newDescriptor);
    MP4Err createFromInputStream(MP4Atom* proto, MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

MP4Err MP4CreateSoundMediaHeaderAtom(MP4SoundMediaHeaderAtom** outAtom);
MP4Err MP4CreateVideoMediaHeaderAtom(MP4VideoMediaHeaderAtom** outAtom);
MP4Err MP4CreateHintMediaHeaderAtom(MP4HintMediaHeaderAtom** outAtom);
MP4Err MP4CreateMPEGMediaHeaderAtom(MP4FullAtom** outAtom);
MP4Err MP4CreateObjectDescriptorMediaHeaderAtom(MP4FullAtom** outAtom);
MP4Err MP4CreateSceneDescriptionMediaHeaderAtom(MP4FullAtom** outAtom);
MP4Err MP4CreateClockReferenceMediaHeaderAtom(MP4FullAtom** outAtom);
MP4Err MP4CreateAudioSampleEntryAtom(MP4AudioSampleEntryAtom** outAtom);
MP4Err MP4CreateVisualSampleEntryAtom(MP4VisualSampleEntryAtom** outAtom);
MP4Err MP4CreateMPEGSampleEntryAtom(MP4MPEGSampleEntryAtom** outAtom);
MP4Err MP4CreateGenericSampleEntryAtom(MP4GenericSampleEntryAtom** outAtom);
MP4Err MP4CreateESDAtom(MP4ESDAtom** outAtom);
MP4Err MP4CreateObjectDescriptorAtom(MP4ObjectDescriptorAtom** outAtom);

// The prototype list with which sample entries are read: other types become generic entries.
extern const uint32_t kMP4SampleEntryProtoList[];
constexpr uint32_t kMP4GenericSampleEntryType = MP4FourCC("!gnr");
