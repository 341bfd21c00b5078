// Whole movies: what an open keeps, where the media data goes, and how a write lands on disk.
#include "IsomediaTestSupport.h"

#include "support/TestEnvironment.h"

#include "isomedia/MP4MovieAtoms.h"
#include "isomedia/MP4Movies.h"

#include <gtest/gtest.h>

using namespace isomedia_test;
using clipdeck::test::TempFolder;

namespace {

std::string path(const TempFolder& folder, const char* name)
{
    return folder.file(name).toStdString();
}

// Opens input and writes it to output; the status of the first failing step.
MP4Err rewrite(const std::string& input, const std::string& output)
{
    MP4Movie movie = nullptr;
    MP4_TRY(MP4OpenMovieFile(&movie, input.c_str(), 0));
    MP4Err err = MP4WriteMovieToFile(movie, output.c_str());
    MP4DisposeMovie(movie);
    return err;
}

// Splits the 'mdat' of a movie-first file in two at a chunk, keeping every offset of every track right.
Bytes withTwoMediaDataAtoms(Bytes bytes)
{
    size_t mdat = findAtom(bytes, "mdat", findAtom(bytes, "moov") + get32(bytes, findAtom(bytes, "moov")) - 4);
    size_t firstTable = findAtom(bytes, "stco");
    uint32_t split = get32(bytes, firstTable + 16 + 4 * 10);  // the eleventh chunk starts the second 'mdat'
    for (size_t stco = firstTable; stco != std::string::npos; stco = findAtom(bytes, "stco", stco + 8)) {
        uint32_t count = get32(bytes, stco + 12);
        for (uint32_t i = 0; i < count; i++) {
            uint32_t offset = get32(bytes, stco + 16 + 4 * i);
            if (offset >= split)
                set32(bytes, stco + 16 + 4 * i, offset + 8);
        }
    }
    uint32_t total = get32(bytes, mdat);
    set32(bytes, mdat, split - uint32_t(mdat));
    Bytes header;
    put32(header, total - (split - uint32_t(mdat)) + 8);
    header.insert(header.end(), {'m', 'd', 'a', 't'});
    bytes.insert(bytes.begin() + split, header.begin(), header.end());
    return bytes;
}

} // namespace

TEST(MP4MovieFile, RewriteKeepsOnlyFileTypeMovieAndOneMediaDataWithTheSameAudio)
{
    TempFolder folder;
    std::string first = path(folder, "first.m4a"), last = path(folder, "last.m4a");
    ASSERT_TRUE(makeM4A(first, "aac", true));
    ASSERT_TRUE(makeM4A(last, "aac", false));
    ASSERT_EQ(topLevelTypes(readFile(first)), (std::vector<std::string>{"ftyp", "moov", "free", "mdat"}));
    std::string twoTracks = path(folder, "two.m4a"), split = path(folder, "split.m4a");
    ASSERT_TRUE(makeTwoTrackM4A(twoTracks));
    writeFile(split, withTwoMediaDataAtoms(readFile(twoTracks)));
    ASSERT_EQ(topLevelTypes(readFile(split)), (std::vector<std::string>{"ftyp", "moov", "free", "mdat", "mdat"}));
    for (const char* stream : {"0:a:0", "0:a:1"}) {
        ASSERT_EQ(decodedAudioMD5(split, stream), decodedAudioMD5(twoTracks, stream)) << "the fixture decodes alike";
        std::string output = split + ".out.m4a";
        ASSERT_EQ(rewrite(split, output), MP4Success);
        EXPECT_EQ(topLevelTypes(readFile(output)), (std::vector<std::string>{"ftyp", "moov", "mdat"}));
        EXPECT_EQ(decodedAudioMD5(output, stream), decodedAudioMD5(twoTracks, stream)) << stream;
    }

    for (const std::string& input : {first, last}) {
        std::string output = input + ".out.m4a";
        ASSERT_EQ(rewrite(input, output), MP4Success) << input;
        EXPECT_EQ(topLevelTypes(readFile(output)), (std::vector<std::string>{"ftyp", "moov", "mdat"})) << input;
        EXPECT_EQ(decodedAudioMD5(output), decodedAudioMD5(first)) << input;
    }
}

TEST(MP4MovieFile, SampleEntriesOfLibavformatFilesRoundTripByteForByte)
{
    TempFolder folder;
    for (const char* codec : {"aac", "alac"}) {
        std::string input = path(folder, "in.m4a"), output = path(folder, "out.m4a");
        ASSERT_TRUE(makeM4A(input, codec, false));
        ASSERT_EQ(rewrite(input, output), MP4Success);
        Bytes before = readFile(input), after = readFile(output);
        size_t stsdBefore = findAtom(before, "stsd"), stsdAfter = findAtom(after, "stsd");
        ASSERT_NE(stsdBefore, std::string::npos);
        ASSERT_NE(stsdAfter, std::string::npos);
        EXPECT_EQ(atomAt(after, stsdAfter), atomAt(before, stsdBefore)) << codec;
        const char* entry = std::string(codec) == "aac" ? "mp4a" : "alac";
        EXPECT_NE(findAtom(atomAt(after, stsdAfter), entry), std::string::npos) << codec;
    }
}

TEST(MP4MovieFile, SecondMovieOrFileTypeAtomIsBadData)
{
    TempFolder folder;
    std::string input = path(folder, "in.m4a");
    ASSERT_TRUE(makeM4A(input, "aac", true));
    Bytes bytes = readFile(input);
    Bytes moov = atomAt(bytes, findAtom(bytes, "moov"));
    Bytes ftyp = atomAt(bytes, 0);
    for (const Bytes& extra : {moov, ftyp}) {
        std::string doubled = path(folder, "doubled.m4a");
        writeFile(doubled, concat({bytes, extra}));
        MP4Movie movie = nullptr;
        EXPECT_EQ(MP4OpenMovieFile(&movie, ("file://" + doubled).c_str(), 0), MP4BadData);
    }
    MP4Movie movie = nullptr;
    EXPECT_EQ(MP4OpenMovieFile(&movie, path(folder, "missing.m4a").c_str(), 0), MP4FileNotFound);
}

TEST(MP4MovieFile, FailedWriteLeavesEveryFileAsItWas)
{
    TempFolder folder;
    // A movie without a movie header cannot be serialised (its duration cannot be computed).
    std::string input = path(folder, "headless.m4a");
    writeFile(input, concat({atom("ftyp", {'M', '4', 'A', ' ', 0, 0, 0, 0, 'M', '4', 'A', ' '}), atom("moov", {})}));
    std::string output = path(folder, "existing.m4a");
    writeFile(output, {1, 2, 3});
    MP4Movie movie = nullptr;
    ASSERT_EQ(MP4OpenMovieFile(&movie, input.c_str(), 0), MP4Success);
    EXPECT_EQ(MP4WriteMovieToFile(movie, output.c_str()), MP4MissingComponent);
    EXPECT_EQ(readFile(output), (Bytes{1, 2, 3}));
    MP4DisposeMovie(movie);

    std::string good = path(folder, "good.m4a");
    ASSERT_TRUE(makeM4A(good, "alac", false));
    ASSERT_EQ(MP4OpenMovieFile(&movie, good.c_str(), 0), MP4Success);
    EXPECT_EQ(MP4WriteMovieToFile(movie, path(folder, "no/such/folder/out.m4a").c_str()), MP4InputOutputError);
    std::string before = decodedAudioMD5(good);
    ASSERT_EQ(MP4WriteMovieToFile(movie, good.c_str()), MP4Success) << "the input path itself";
    MP4DisposeMovie(movie);
    EXPECT_EQ(decodedAudioMD5(good), before);
    EXPECT_EQ(topLevelTypes(readFile(good)), (std::vector<std::string>{"ftyp", "moov", "mdat"}));
}
