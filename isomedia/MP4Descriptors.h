#pragma once
// MPEG-4 systems descriptors and commands: a one-byte tag, a size in 7-bit groups, a body.
//
// They live inside 'esds' and 'iods' atoms and in the samples of object-descriptor streams.
// The life of a descriptor follows the atoms': constructor, createFromInputStream or client
// filling (addDescriptor, field writes), calculateSize before every serialize, destroy, which
// frees every descriptor it holds. The writer always uses the 5-byte header (tag and four
// size bytes); addDescriptor takes the descriptor over on success only.

#include "isomedia/MP4FieldRecord.h"
#include "isomedia/MP4Handle.h"

#include <string>
#include <vector>

struct MP4Descriptor;
using MP4DescriptorList = std::vector<MP4Descriptor*>;

// size counts the header as read after parsing, the 5-byte header after calculateSize.
struct MP4Descriptor : MP4FieldRecord {
    uint32_t tag = 0;
    std::string name;

    MP4Descriptor(uint32_t tag, uint32_t size, uint32_t headerLength, const char* name);
    MP4Descriptor(const MP4Descriptor&) = delete;
    MP4Descriptor& operator=(const MP4Descriptor&) = delete;
    virtual ~MP4Descriptor() = default;

    virtual MP4Err createFromInputStream(MP4InputStream stream) = 0;
    virtual MP4Err serialize(char* buffer) = 0;
    virtual MP4Err calculateSize() = 0;
    void destroy() { delete this; }
    // Files a client-built descriptor (classes that hold descriptors only).
    virtual MP4Err addDescriptor(MP4Descriptor* descriptor);
    virtual MP4Err removeESDescriptors();

    // Parses descriptors until the size is consumed, handing each to file().
    template <class File>
    MP4Err readDescriptors(MP4InputStream stream, File file);

    MP4Err putDescriptor(char* buffer, MP4Descriptor* descriptor) { return putHeld(buffer, descriptor); }
    MP4Err putDescriptors(char* buffer, const MP4DescriptorList& list);
    // Sizes the held descriptor(s) and adds their sizes to `size` (whose body the header's four
    // 7-bit groups must be able to count).
    MP4Err addSizeOf(MP4Descriptor* descriptor) { return addSizeOfHeld(descriptor, 0xFFFFFFFu); }
    MP4Err addSizesOf(const MP4DescriptorList& list);
};

// Destroys every descriptor of the list and empties it.
void MP4DestroyDescriptors(MP4DescriptorList& list);
// Appends, turning an allocation failure into -3.
MP4Err MP4AppendDescriptor(MP4DescriptorList& list, MP4Descriptor* descriptor);

struct MP4ObjectDescriptor : MP4Descriptor {
    uint32_t objectDescriptorID = 0;
    uint32_t URLStringLength = 0;
    std::vector<char> URLString;
    MP4DescriptorList ES_ID_IncDescriptors, ES_ID_RefDescriptors, ESDescriptors, OCIDescriptors,
        IPMPDescriptorPointers, extensionDescriptors;

    MP4ObjectDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength);
    ~MP4ObjectDescriptor() override;
    MP4Err createFromInputStream(MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addDescriptor(MP4Descriptor* descriptor) override;
    MP4Err removeESDescriptors() override;
};

struct MP4InitialObjectDescriptor : MP4Descriptor {
    uint32_t objectDescriptorID = 0;
    uint32_t inlineProfileFlag = 0;
    uint32_t URLStringLength = 0;
    std::vector<char> URLString;
    uint32_t OD_profileAndLevel = 0;
    uint32_t scene_profileAndLevel = 0;
    uint32_t audio_profileAndLevel = 0;
    uint32_t visual_profileAndLevel = 0;
    uint32_t graphics_profileAndLevel = 0;
    MP4DescriptorList ES_ID_IncDescriptors, ESDescriptors, OCIDescriptors, IPMPDescriptorPointers,
        extensionDescriptors;

    MP4InitialObjectDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength);
    ~MP4InitialObjectDescriptor() override;
    MP4Err createFromInputStream(MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addDescriptor(MP4Descriptor* descriptor) override;
    MP4Err removeESDescriptors() override;
};

struct MP4ES_Descriptor : MP4Descriptor {
    uint32_t ESID = 0;
    uint32_t dependsOnES = 0;
    uint32_t streamPriority = 0;
    uint32_t OCRESID = 0;
    uint32_t URLStringLength = 0;
    std::vector<char> URLString;
    MP4Descriptor* decoderConfig = nullptr;
    MP4Descriptor* slConfig = nullptr;
    MP4Descriptor* ipiPtr = nullptr;
    MP4Descriptor* qos = nullptr;
    MP4DescriptorList IPIDataSet, langDesc, IPMPDescriptorPointers, extensionDescriptors;

    MP4ES_Descriptor(uint32_t tag, uint32_t size, uint32_t headerLength);
    ~MP4ES_Descriptor() override;
    MP4Err createFromInputStream(MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addDescriptor(MP4Descriptor* descriptor) override;
};

struct MP4DecoderConfigDescriptor : MP4Descriptor {
    uint32_t objectTypeIndication = 0;
    uint32_t streamType = 0;
    uint32_t upstream = 0;  // 0 or 2, the masked bit
    uint32_t bufferSizeDB = 0;
    uint32_t maxBitrate = 0;
    uint32_t avgBitrate = 0;
    MP4Descriptor* decoderSpecificInfo = nullptr;

    MP4DecoderConfigDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength);
    ~MP4DecoderConfigDescriptor() override;
    MP4Err createFromInputStream(MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

// The settings of an SL config descriptor, field for field.
struct MP4SLConfigSettings {
    uint32_t predefined = 0;
    uint32_t useAccessUnitStartFlag = 0;
    uint32_t useAccessUnitEndFlag = 0;
    uint32_t useRandomAccessPointFlag = 0;
    uint32_t useRandomAccessUnitsOnlyFlag = 0;
    uint32_t usePaddingFlag = 0;
    uint32_t useTimestampsFlag = 0;
    uint32_t useIdleFlag = 0;
    uint32_t durationFlag = 0;
    uint32_t timestampResolution = 0;
    uint32_t OCRResolution = 0;
    uint32_t timestampLength = 0;
    uint32_t OCRLength = 0;
    uint32_t AULength = 0;
    uint32_t instantBitrateLength = 0;
    uint32_t degradationPriorityLength = 0;
    uint32_t AUSeqNumLength = 0;
    uint32_t packetSeqNumLength = 0;
    uint32_t timeScale = 0;
    uint32_t AUDuration = 0;
    uint32_t CUDuration = 0;
    uint64_t startDecodingTimeStamp = 0;
    uint64_t startCompositionTimeStamp = 0;
};

struct MP4SLConfigDescriptor : MP4Descriptor, MP4SLConfigSettings {
    MP4SLConfigDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength);
    MP4Err createFromInputStream(MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4ES_ID_IncDescriptor : MP4Descriptor {
    uint32_t trackID = 0;

    MP4ES_ID_IncDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength);
    MP4Err createFromInputStream(MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4ES_ID_RefDescriptor : MP4Descriptor {
    uint32_t refIndex = 0;

    MP4ES_ID_RefDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength);
    MP4Err createFromInputStream(MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

// Any other tag (the decoder-specific information among them), and any other command: the body
// is kept byte for byte.
struct MP4DefaultDescriptor : MP4Descriptor {
    uint32_t dataLength = 0;
    std::vector<char> data;

    MP4DefaultDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, bool isCommand);
    MP4Err createFromInputStream(MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
};

struct MP4ObjectDescriptorUpdate : MP4Descriptor {
    MP4DescriptorList objectDescriptors, otherDescriptors;

    MP4ObjectDescriptorUpdate(uint32_t tag, uint32_t size, uint32_t headerLength);
    ~MP4ObjectDescriptorUpdate() override;
    MP4Err createFromInputStream(MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addDescriptor(MP4Descriptor* descriptor) override;
};

struct MP4ESDescriptorUpdate : MP4Descriptor {
    uint32_t objectDescriptorID = 0;
    MP4DescriptorList ES_ID_RefDescriptors, ESDescriptors, otherDescriptors;

    MP4ESDescriptorUpdate(uint32_t tag, uint32_t size, uint32_t headerLength);
    ~MP4ESDescriptorUpdate() override;
    MP4Err createFromInputStream(MP4InputStream stream) override;
    MP4Err serialize(char* buffer) override;
    MP4Err calculateSize() override;
    MP4Err addDescriptor(MP4Descriptor* descriptor) override;
    MP4Err removeESDescriptors() override;
};

MP4Err MP4CreateObjectDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out);
MP4Err MP4CreateInitialObjectDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out);
MP4Err MP4CreateES_Descriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out);
MP4Err MP4CreateDecoderConfigDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out);
MP4Err MP4CreateSLConfigDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out);
MP4Err MP4CreateES_ID_IncDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out);
MP4Err MP4CreateES_ID_RefDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out);
MP4Err MP4CreateDefaultDescriptor(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out);
MP4Err MP4CreateObjectDescriptorUpdate(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out);
MP4Err MP4CreateESDescriptorUpdate(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out);
MP4Err MP4CreateDefaultCommand(uint32_t tag, uint32_t size, uint32_t headerLength, MP4Descriptor** out);

MP4Err MP4ParseDescriptor(MP4InputStream stream, MP4Descriptor** outDescriptor);
MP4Err MP4ParseCommand(MP4InputStream stream, MP4Descriptor** outCommand);
// A deep copy, made by writing the descriptor and reading it back.
MP4Err MP4CopyDescriptor(MP4Descriptor* descriptor, MP4Descriptor** outCopy);
// The tag, then size - 5 as four 7-bit groups (0x80 set on the first three).
MP4Err MP4SerializeDescriptorHeader(MP4Descriptor* descriptor, char* buffer);

MP4Err MP4NewSLConfig(const MP4SLConfigSettings* settings, MP4Descriptor** outDescriptor);
// Only the low 32 bits of the two start time stamps are copied, both ways.
MP4Err MP4SetSLConfigSettings(MP4Descriptor* descriptor, const MP4SLConfigSettings* settings);
MP4Err MP4GetSLConfigSettings(MP4Descriptor* descriptor, MP4SLConfigSettings* settings);

template <class File>
MP4Err MP4Descriptor::readDescriptors(MP4InputStream stream, File file)
{
    while (bytesRead < size) {
        MP4Descriptor* descriptor = nullptr;
        MP4_TRY(MP4ParseDescriptor(stream, &descriptor));
        bytesRead += descriptor->size;
        MP4Err err = file(descriptor);
        if (err != MP4Success) {
            descriptor->destroy();
            return err;
        }
    }
    return MP4Success;
}
