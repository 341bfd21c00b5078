// The MPEG-4 tag rewrite, end to end on files made by ffmpeg and read back by ffprobe.
#include "IsomediaTestSupport.h"

#include "support/TestEnvironment.h"

#include "isomedia/MP4Atoms.h"
#include "isomedia/MP4M4ATagWriter.h"

#include <gtest/gtest.h>

using namespace isomedia_test;
using clipdeck::test::TempFolder;

namespace {

const MP4TagDictionary kTags = {{"title", "Überture"}, {"artist", "The Artist"}, {"album", "An Album"},
    {"genre", "Ambient"}, {"copyright", "2024 Someone"}, {"comments", "a comment"}, {"encoder", "clipdeck"},
    {"year", "1999"}};

Bytes serialized(MP4Atom* atom)
{
    Bytes bytes(atom->size);
    EXPECT_EQ(atom->serialize(reinterpret_cast<char*>(bytes.data())), MP4Success);
    return bytes;
}

} // namespace

TEST(MP4M4ATagWriter, TagsAndGaplessTextAreReadBackAndTheAudioIsUnchanged)
{
    TempFolder folder;
    const MP4PacketTableInfo table{44100, 1024, 0};
    const std::string priming = MP4M4ATagWriter::primingText(table);
    for (const char* codec : {"aac", "alac"}) {
        for (bool movieFirst : {true, false}) {
            SCOPED_TRACE(std::string(codec) + (movieFirst ? " movie first" : " movie last"));
            std::string input = folder.file("in.m4a").toStdString(), output = folder.file("out.m4a").toStdString();
            ASSERT_TRUE(makeM4A(input, codec, movieFirst));
            ASSERT_EQ(MP4M4ATagWriter::writeM4ATags(kTags, &table, input, output), MP4Success);
            EXPECT_EQ(probeTag(output, "title"), "Überture");
            EXPECT_EQ(probeTag(output, "artist"), "The Artist");
            EXPECT_EQ(probeTag(output, "album"), "An Album");
            EXPECT_EQ(probeTag(output, "genre"), "Ambient");
            EXPECT_EQ(probeTag(output, "copyright"), "2024 Someone");
            EXPECT_EQ(probeTag(output, "comment"), "a comment");
            EXPECT_EQ(probeTag(output, "encoder"), "clipdeck");
            EXPECT_EQ(probeTag(output, "date"), "1999");
            EXPECT_EQ(probeTag(output, "iTunSMPB"), priming);
            EXPECT_EQ(decodedAudioMD5(output), decodedAudioMD5(input));
        }
    }
}

TEST(MP4M4ATagWriter, RewriteInPlaceReplacesOldTags)
{
    TempFolder folder;
    std::string file = folder.file("song.m4a").toStdString();
    ASSERT_TRUE(makeM4A(file, "alac", false));
    std::string audio = decodedAudioMD5(file);
    ASSERT_EQ(MP4M4ATagWriter::writeM4ATags({{"title", "First"}}, nullptr, file, file), MP4Success);
    ASSERT_EQ(MP4M4ATagWriter::writeM4ATags({{"title", "Second"}}, nullptr, file, file), MP4Success);
    EXPECT_EQ(probeTag(file, "title"), "Second");
    EXPECT_EQ(probeTag(file, "iTunSMPB"), "");
    EXPECT_EQ(decodedAudioMD5(file), audio);
    EXPECT_EQ(MP4M4ATagWriter::writeM4ATags(kTags, nullptr, "", file), kMP4TagWriterNoPath);
    EXPECT_EQ(MP4M4ATagWriter::writeM4ATags(kTags, nullptr, folder.file("none.m4a").toStdString(), file),
        MP4FileNotFound);
}

TEST(MP4M4ATagWriter, PiecesHaveTheirExactSizesAndText)
{
    EXPECT_EQ(MP4M4ATagWriter::primingText({1000000, 2112, 704}),
        " 00000000 00000840 000002C0 00000000000F4240 00000000 00000000 00000000 00000000 00000000 00000000 "
        "00000000 00000000");
    for (auto [atom, size] : {std::pair{MP4M4ATagWriter::getHandlerAtom(), 34u},
             std::pair{MP4M4ATagWriter::getMeanAtom(), 28u}, std::pair{MP4M4ATagWriter::getNameAtom(), 20u}}) {
        ASSERT_NE(atom, nullptr);
        EXPECT_EQ(atom->size, size);
        atom->destroy();
    }
    EXPECT_EQ(MP4M4ATagWriter::stringToAtom(""), nullptr);

    // An empty title writes no item; no packet table writes no '----' item.
    MP4Atom* ilst = MP4M4ATagWriter::ilstAtomWithTags({{"title", ""}, {"year", "2001"}}, nullptr);
    ASSERT_NE(ilst, nullptr);
    Bytes data = concat({{0, 0, 0, 1, 0, 0, 0, 0}, {'2', '0', '0', '1'}});
    Bytes item = atom("\xA9"
                      "day",
        atom("data", data));
    EXPECT_EQ(serialized(ilst), atom("ilst", item));
    ilst->destroy();
}
