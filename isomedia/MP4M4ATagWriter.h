#pragma once
// The MPEG-4 tag rewrite: after an M4A or M4B file has been written and closed, it is rewritten
// once so that it carries iTunes-style tags (an item list in the movie's user data) and the
// encoder's gapless-playback information ("iTunSMPB").
//
// Plain C++, called by the audio file writer on its own thread; it takes no lock. The input is
// read whole and the output is written through a temporary file and a rename, so the output path
// may be the input path and a failure leaves both files as they were.

#include "isomedia/MP4Base.h"

#include <map>
#include <string>

struct MP4Atom;
struct MP4HandleRecord;
struct MP4MovieRecord;

// The packet table of an encoded file: valid frames, priming frames, remainder frames.
struct MP4PacketTableInfo {
    int64_t mNumberValidFrames = 0;
    int32_t mPrimingFrames = 0;
    int32_t mRemainderFrames = 0;
};

// Tags by key: "title", "artist", "album", "genre", "copyright", "comments", "encoder" and
// "year" (the year's decimal text). Other keys are ignored; an empty value writes no item.
using MP4TagDictionary = std::map<std::string, std::string>;

// The status of a rewrite that has no input or output path ('!Mov').
constexpr MP4Err kMP4TagWriterNoPath = 0x214D6F76;
// The status of a rewrite whose input names samples that lie outside its media data ('!Dat'):
// written again, the movie would lose them.
constexpr MP4Err kMP4TagWriterSamplesOutsideData = 0x21446174;

class MP4M4ATagWriter {
public:
    // Rewrites inputFile into outputFile with the tags and, when given, the gapless information.
    // Only an input read in full is rewritten: one that does not parse to its end answers the
    // library's status (a cut-short file MP4BadData), one whose sample tables point outside
    // its media data '!Dat'; a missing path '!Mov'. Other library statuses come unchanged.
    // A refused input leaves both files as they were.
    static MP4Err writeM4ATags(const MP4TagDictionary& tags, const MP4PacketTableInfo* packetTableInfo,
        const std::string& inputFile, const std::string& outputFile);

    // The pieces of the tree, each returned sized (none when it cannot be made). The caller owns
    // what is returned and frees atoms with destroy() and handles with MP4DisposeHandle.
    static MP4Atom* getUserDataAtomWithTags(const MP4TagDictionary& tags, const MP4PacketTableInfo* packetTableInfo);
    static MP4Atom* getMetaAtomWithTags(const MP4TagDictionary& tags, const MP4PacketTableInfo* packetTableInfo);
    static MP4Atom* getHandlerAtom();
    static MP4Atom* ilstAtomWithTags(const MP4TagDictionary& tags, const MP4PacketTableInfo* packetTableInfo);
    static MP4Atom* getDashAtomWithPacketTableInfo(const MP4PacketTableInfo& packetTableInfo);
    static MP4Atom* getMeanAtom();
    static MP4Atom* getNameAtom();
    static MP4Atom* getDataAtomWithPacketTableInfo(const MP4PacketTableInfo& packetTableInfo);
    static MP4Atom* stringToAtom(const std::string& string);
    static MP4HandleRecord* stringToAtomDataHandle(const std::string& string);
    static MP4HandleRecord* stringToHandle(const std::string& string);

    // Every sample of every track can be read from the movie's own media data ('!Dat' when not).
    static MP4Err checkMediaSamples(MP4MovieRecord* movie);

    // The gapless text: twelve upper-case hexadecimal fields, each led by one blank.
    static std::string primingText(const MP4PacketTableInfo& packetTableInfo);
};
