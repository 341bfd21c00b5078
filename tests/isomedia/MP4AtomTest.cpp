// The atom model: header parsing, exact bytes of what the library makes, bodies that lie, and
// the tables whose numbers index other tables.
#include "IsomediaTestSupport.h"

#include "isomedia/MP4Descriptors.h"
#include "isomedia/MP4FileTypeAtoms.h"
#include "isomedia/MP4FragmentAtoms.h"
#include "isomedia/MP4SampleEntryAtoms.h"
#include "isomedia/MP4SampleTableAtoms.h"
#include "isomedia/MP4TrackAtoms.h"

#include <gtest/gtest.h>

using namespace isomedia_test;

namespace {

struct Parsed {
    MP4Err status = MP4Success;
    MP4Atom* atom = nullptr;
    uint32_t consumed = 0;
    ~Parsed()
    {
        if (atom != nullptr)
            atom->destroy();
    }
};

void parse(Bytes bytes, Parsed& parsed)
{
    static Bytes keep;
    keep = std::move(bytes);
    MP4InputStream stream = nullptr;
    ASSERT_EQ(MP4CreateMemoryInputStream(reinterpret_cast<char*>(keep.data()), uint32_t(keep.size()), &stream),
        MP4Success);
    parsed.status = MP4ParseAtom(stream, &parsed.atom);
    parsed.consumed = stream->getStreamOffset();
    stream->destroy();
}

Bytes serialized(MP4Atom* atom)
{
    EXPECT_EQ(atom->calculateSize(), MP4Success);
    Bytes bytes(atom->size);
    EXPECT_EQ(atom->serialize(reinterpret_cast<char*>(bytes.data())), MP4Success);
    return bytes;
}

Bytes serialized(MP4Descriptor* descriptor)
{
    EXPECT_EQ(descriptor->calculateSize(), MP4Success);
    Bytes bytes(descriptor->size);
    EXPECT_EQ(descriptor->serialize(reinterpret_cast<char*>(bytes.data())), MP4Success);
    return bytes;
}

} // namespace

TEST(MP4Atom, MalformedHeadersGiveTheirStatus)
{
    struct Case {
        const char* what;
        Bytes bytes;
        MP4Err status;
        uint32_t size;
    };
    const Case cases[] = {
        {"size below its header", {0, 0, 0, 7, 'a', 'b', 'c', 'd', 0}, MP4BadData, 0},
        {"size past the end", {0, 0, 0, 20, 'a', 'b', 'c', 'd', 1, 2}, MP4BadData, 0},
        {"64-bit size with upper bits", {0, 0, 0, 1, 'a', 'b', 'c', 'd', 0, 0, 0, 1, 0, 0, 0, 16}, MP4ValueTooLarge, 0},
        {"64-bit size past the end", {0, 0, 0, 1, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 40}, MP4BadData, 0},
        {"64-bit size that fits", {0, 0, 0, 1, 'a', 'b', 'c', 'd', 0, 0, 0, 0, 0, 0, 0, 18, 7, 8}, MP4Success, 18},
        {"size 0 runs to the end", {0, 0, 0, 0, 'a', 'b', 'c', 'd', 1, 2, 3}, MP4Success, 11},
        {"truncated size field", {0, 0, 8}, MP4InputOutputError, 0},
    };
    for (const Case& c : cases) {
        Parsed parsed;
        parse(c.bytes, parsed);
        EXPECT_EQ(parsed.status, c.status) << c.what;
        if (c.status == MP4Success) {
            EXPECT_EQ(parsed.atom->size, c.size) << c.what;
            EXPECT_EQ(parsed.consumed, c.size) << c.what;
        } else {
            EXPECT_EQ(parsed.atom, nullptr) << c.what;
        }
    }
}

TEST(MP4Atom, UnknownAndUUIDAtomsWriteBackUnchanged)
{
    Bytes uuidBody = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
        'p', 'a', 'y'};
    for (const Bytes& bytes : {atom("uuid", uuidBody), atom("zzzz", {1, 2, 3}), atom("moov", atom("zzzz", {4}))}) {
        Parsed parsed;
        parse(bytes, parsed);
        ASSERT_EQ(parsed.status, MP4Success);
        EXPECT_EQ(serialized(parsed.atom), bytes);
    }
}

TEST(MP4Atom, BodyThatReadsShortIsSkippedSoItsSiblingsParse)
{
    // An 'esds' with bytes after its descriptor, then a 'btrt' in the same sample entry.
    Bytes slConfig = {0x06, 0x80, 0x80, 0x80, 0x01, 0x02};
    Bytes esdsBody = concat({{0, 0, 0, 0}, slConfig, {0xEE, 0xEE, 0xEE}});
    Bytes fixed(28, 0);
    fixed[7] = 1;
    Bytes entry = atom("mp4a", concat({fixed, atom("esds", esdsBody), atom("btrt", Bytes(12, 7))}));
    Parsed parsed;
    parse(entry, parsed);
    ASSERT_EQ(parsed.status, MP4Success);
    auto* audio = dynamic_cast<MP4AudioSampleEntryAtom*>(parsed.atom);
    ASSERT_NE(audio, nullptr);
    ASSERT_EQ(MP4ListCount(audio->atomList), 2u);
    EXPECT_EQ(MP4ListItem<MP4Atom>(audio->atomList, 1)->type, MP4FourCC("btrt"));
    ASSERT_NE(audio->ESDAtom(), nullptr);
    EXPECT_EQ(audio->ESDAtom()->descriptor->tag, 6u);
}

TEST(MP4Atom, NewAtomsHaveTheirExactBytes)
{
    MP4AudioSampleEntryAtom* mp4a = nullptr;
    ASSERT_EQ(MP4CreateAudioSampleEntryAtom(&mp4a), MP4Success);
    EXPECT_EQ(serialized(mp4a), (Bytes{0, 0, 0, 36, 'm', 'p', '4', 'a', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                     0, 0, 0, 2, 0, 0x10, 0, 0, 0, 0, 0xAC, 0x44, 0, 0}));
    mp4a->destroy();

    MP4JPEG2000SignatureAtom* signature = nullptr;
    ASSERT_EQ(MP4CreateMJ2SignatureAtom(&signature), MP4Success);
    EXPECT_EQ(serialized(signature), (Bytes{0, 0, 0, 0x0C, 0x6A, 0x50, 0x20, 0x20, 0x0D, 0x0A, 0x87, 0x0A}));
    signature->destroy();

    MP4FileTypeAtom* ftyp = nullptr;
    ASSERT_EQ(MP4CreateMJ2FileTypeAtom(&ftyp), MP4Success);
    EXPECT_EQ(serialized(ftyp), atom("ftyp", {'i', 's', 'o', 'm', 0, 0, 0, 0, 'i', 's', 'o', 'm', 'i', 's', 'o', 'm'}));
    ftyp->setBrand(MP4FourCC("mp42"), 1);
    EXPECT_EQ(serialized(ftyp), atom("ftyp", {'m', 'p', '4', '2', 0, 0, 0, 1, 'm', 'p', '4', '2', 'i', 's', 'o', 'm'}));
    EXPECT_EQ(ftyp->getStandard(MP4FourCC("M4A ")), 0u);
    ftyp->destroy();

    MP4CopyrightAtom* cprt = nullptr;
    ASSERT_EQ(MP4CreateCprtAtom(&cprt), MP4Success);
    EXPECT_EQ(serialized(cprt), (Bytes{0, 0, 0, 15, 'c', 'p', 'r', 't', 0, 0, 0, 0, 0, 0, 0}));
    cprt->destroy();

    MP4SLConfigSettings settings;
    settings.predefined = 2;
    settings.useTimestampsFlag = 1;
    MP4Descriptor* sl = nullptr;
    ASSERT_EQ(MP4NewSLConfig(&settings, &sl), MP4Success);
    EXPECT_EQ(serialized(sl), (Bytes{0x06, 0x80, 0x80, 0x80, 0x01, 0x02}));
    sl->destroy();
}

TEST(MP4Atom, FileTypeWithoutCompatibleBrandIsBadData)
{
    Parsed parsed;
    parse(atom("ftyp", {'M', '4', 'A', ' ', 0, 0, 0, 0}), parsed);
    EXPECT_EQ(parsed.status, MP4BadData);
}

TEST(MP4Atom, DescriptorWithOneByteSizeIsWrittenWithFourSizeBytes)
{
    Bytes bytes = {0x05, 0x02, 0x12, 0x10};
    MP4InputStream stream = nullptr;
    ASSERT_EQ(MP4CreateMemoryInputStream(reinterpret_cast<char*>(bytes.data()), 4, &stream), MP4Success);
    MP4Descriptor* descriptor = nullptr;
    ASSERT_EQ(MP4ParseDescriptor(stream, &descriptor), MP4Success);
    stream->destroy();
    EXPECT_EQ(descriptor->name, "(some descriptor with tag 0x05 and size 4)");
    EXPECT_EQ(serialized(descriptor), (Bytes{0x05, 0x80, 0x80, 0x80, 0x02, 0x12, 0x10}));
    descriptor->destroy();
}

// A sample table of one chunk run, self-contained media, and the given chunk offsets.
struct ChunkTable {
    MP4SampleDescriptionAtom* stsd = nullptr;
    MP4DataReferenceAtom* dref = nullptr;
    MP4SampleToChunkAtom* stsc = nullptr;
    MP4ChunkOffsetAtom* offsets = nullptr;

    ChunkTable(bool large, std::vector<uint64_t> chunkOffsets, uint32_t firstChunkOfSecondRun)
    {
        MP4CreateSampleDescriptionAtom(&stsd);
        MP4GenericSampleEntryAtom* entry = nullptr;
        MP4CreateGenericSampleEntryAtom(&entry);
        entry->dataReferenceIndex = 1;
        stsd->addEntry(entry);
        MP4CreateDataReferenceAtom(&dref);
        MP4DataEntryURLAtom* url = nullptr;
        MP4CreateDataEntryURLAtom(&url);
        url->flags = 1;
        dref->addDataEntry(url);
        MP4CreateSampleToChunkAtom(&stsc);
        stsc->addEntry(1, 1, 1);
        if (firstChunkOfSecondRun != 0)
            stsc->entries.push_back({firstChunkOfSecondRun, 2, 1});
        if (large)
            MP4CreateChunkLargeOffsetAtom(&offsets);
        else
            MP4CreateChunkOffsetAtom(&offsets);
        for (uint64_t offset : chunkOffsets)
            offsets->addOffset(offset);
    }
    ~ChunkTable()
    {
        for (MP4Atom* atom : std::initializer_list<MP4Atom*>{stsd, dref, stsc, offsets})
            atom->destroy();
    }
    MP4Err move(uint64_t start, uint64_t end, int64_t delta) { return stsc->mdatMoved(start, end, delta, stsd, dref, offsets); }
};

TEST(MP4Atom, ChunkOffsetsOfBothWidthsMoveWithTheMediaData)
{
    for (bool large : {false, true}) {
        uint64_t far = large ? 5000000000ull : 4000000000ull;
        ChunkTable table(large, {100, 199, 200, far}, 0);
        ASSERT_EQ(table.move(100, 200, 50), MP4Success);
        EXPECT_EQ(table.offsets->offsets, (std::vector<uint64_t>{150, 249, 200, far})) << large;
        ASSERT_EQ(table.move(far, far + 1, -int64_t(far) + 7), MP4Success);
        EXPECT_EQ(table.offsets->offsets[3], 7u) << large;
    }
}

TEST(MP4Atom, SampleToChunkThatNamesMissingChunksIsBadData)
{
    ChunkTable table(false, {100, 200}, 5);
    EXPECT_EQ(table.move(0, 1000, 1), MP4BadData);
    table.stsc->entries[1].samplesPerChunk = 0;
    table.stsc->entries[1].firstChunk = 2;
    uint32_t chunk = 0, description = 0, first = 0;
    EXPECT_EQ(table.stsc->lookupSample(3, &chunk, &description, &first), MP4BadData);

    Parsed parsed;
    parse(atom("stsc", {0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 1}),
        parsed);
    EXPECT_EQ(parsed.status, MP4BadData) << "runs must start at ascending chunks";
}

TEST(MP4Atom, TablesThatClaimMoreEntriesThanTheirBytesAreBadData)
{
    const Bytes huge = {0xFF, 0xFF, 0xFF, 0xFF};
    for (const char* type : {"stco", "co64", "stts", "stsc", "stss", "ctts", "elst"}) {
        Parsed parsed;
        parse(atom(type, concat({{0, 0, 0, 0}, huge, Bytes(8, 0)})), parsed);
        EXPECT_EQ(parsed.status, MP4BadData) << type;
    }
    Parsed run;
    parse(atom("trun", concat({{0, 0, 0x01, 0x00}, huge})), run);
    EXPECT_EQ(run.status, MP4BadData) << "trun with per-sample durations";
    Parsed bare;
    parse(atom("trun", concat({{0, 0, 0, 0}, huge})), bare);
    EXPECT_EQ(bare.status, MP4BadData) << "trun without per-sample fields";
}

TEST(MP4Atom, TimeConversionsMultiplyBeforeTheyDivide)
{
    int64_t media = 0;
    ASSERT_EQ(MP4ScaleTime(599, 44100, 600, &media), MP4Success);
    EXPECT_EQ(media, 44026);
    ASSERT_EQ(MP4ScaleTime(int64_t(1) << 40, 1u << 30, 1u << 30, &media), MP4Success);
    EXPECT_EQ(media, int64_t(1) << 40);

    MP4EditListAtom* elst = nullptr;
    ASSERT_EQ(MP4CreateEditListAtom(&elst), MP4Success);
    elst->entries.push_back({100, -1, 1, 1});
    elst->entries.push_back({1000, 500, 1, 0});
    uint32_t rate = 0;
    ASSERT_EQ(elst->getTimeForTrackTime(50, 600, 600, &media, &rate, nullptr, nullptr), MP4Success);
    EXPECT_EQ(media, -1);
    ASSERT_EQ(elst->getTimeForTrackTime(399, 600, 44100, &media, &rate, nullptr, nullptr), MP4Success);
    EXPECT_EQ(media, 500 + 299 * 44100 / 600);
    EXPECT_EQ(rate, 1u);
    elst->destroy();
}
