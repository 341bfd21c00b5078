#include "isomedia/MP4M4ATagWriter.h"

#include "isomedia/MP4MediaAPI.h"
#include "isomedia/MP4MovieAPI.h"
#include "isomedia/MP4MovieAtoms.h"
#include "isomedia/MP4Movies.h"
#include "isomedia/MP4TrackAPI.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

// Tag keys and the item types they are written under, in the order they are written.
struct ItemType {
    const char* key;
    uint32_t type;
};
constexpr ItemType kItemTypes[] = {
    {"title", 0xA96E616D},     // ©nam
    {"artist", 0xA9415254},    // ©ART
    {"album", 0xA9616C62},     // ©alb
    {"genre", 0xA967656E},     // ©gen
    {"copyright", 0x63707274}, // cprt
    {"comments", 0xA9636D74},  // ©cmt
    {"encoder", 0xA9746F6F},   // ©too
    {"year", 0xA9646179},      // ©day
};

MP4Atom* leaf(uint32_t type, const void* bytes, uint32_t length)
{
    MP4Atom* atom = nullptr;
    if (MP4CreateUnknownAtomWithData(type, static_cast<const char*>(bytes), length, &atom) != MP4Success)
        return nullptr;
    if (atom->calculateSize() != MP4Success) {
        atom->destroy();
        return nullptr;
    }
    return atom;
}

// A generic container of the type (the data-information class, retyped).
MP4DataInformationAtom* container(uint32_t type)
{
    MP4DataInformationAtom* atom = nullptr;
    if (MP4CreateDataInformationAtom(&atom) != MP4Success)
        return nullptr;
    atom->type = type;
    return atom;
}

// Adds the child when there is one; a child that cannot be added is freed.
void addChild(MP4ContainerAtom* parent, MP4Atom* child)
{
    if (child != nullptr && parent->addAtom(child) != MP4Success)
        child->destroy();
}

MP4Atom* sized(MP4Atom* atom)
{
    if (atom != nullptr && atom->calculateSize() != MP4Success) {
        atom->destroy();
        return nullptr;
    }
    return atom;
}

} // namespace

std::string MP4M4ATagWriter::primingText(const MP4PacketTableInfo& info)
{
    char text[128];
    std::snprintf(text, sizeof text, " %08X %08X %08X %016" PRIX64, 0u, uint32_t(info.mPrimingFrames),
        uint32_t(info.mRemainderFrames), uint64_t(info.mNumberValidFrames));
    std::string result = text;
    for (int i = 0; i < 8; i++)
        result += " 00000000";
    return result;
}

MP4HandleRecord* MP4M4ATagWriter::stringToHandle(const std::string& string)
{
    if (string.empty())
        return nullptr;
    MP4Handle handle = nullptr;
    if (MP4NewHandle(uint32_t(8 + string.size()), &handle) != MP4Success)
        return nullptr;
    // Well-known type 1 (UTF-8 text), locale 0, then the text without a terminator.
    handle->data[3] = 1;
    std::memcpy(handle->data + 8, string.data(), string.size());
    return handle;
}

MP4Atom* MP4M4ATagWriter::stringToAtom(const std::string& string)
{
    MP4Handle handle = stringToHandle(string);
    if (handle == nullptr)
        return nullptr;
    MP4Atom* atom = leaf(MP4FourCC("data"), handle->data, handle->size);
    MP4DisposeHandle(handle);
    return atom;
}

MP4HandleRecord* MP4M4ATagWriter::stringToAtomDataHandle(const std::string& string)
{
    MP4Atom* atom = stringToAtom(string);
    if (atom == nullptr)
        return nullptr;
    MP4Handle handle = nullptr;
    if (MP4NewHandle(atom->size, &handle) == MP4Success && atom->serialize(handle->data) != MP4Success) {
        MP4DisposeHandle(handle);
        handle = nullptr;
    }
    atom->destroy();
    return handle;
}

MP4Atom* MP4M4ATagWriter::getHandlerAtom()
{
    uint8_t content[26] = {};
    std::memcpy(content + 8, "mdirappl", 8);
    return leaf(MP4FourCC("hdlr"), content, sizeof content);
}

MP4Atom* MP4M4ATagWriter::getMeanAtom()
{
    uint8_t content[20] = {};
    std::memcpy(content + 4, "com.apple.iTunes", 16);
    return leaf(MP4FourCC("mean"), content, sizeof content);
}

MP4Atom* MP4M4ATagWriter::getNameAtom()
{
    uint8_t content[12] = {};
    std::memcpy(content + 4, "iTunSMPB", 8);
    return leaf(MP4FourCC("name"), content, sizeof content);
}

MP4Atom* MP4M4ATagWriter::getDataAtomWithPacketTableInfo(const MP4PacketTableInfo& packetTableInfo)
{
    return stringToAtom(primingText(packetTableInfo));
}

MP4Atom* MP4M4ATagWriter::getDashAtomWithPacketTableInfo(const MP4PacketTableInfo& packetTableInfo)
{
    MP4DataInformationAtom* dash = container(MP4FourCC("----"));
    if (dash == nullptr)
        return nullptr;
    addChild(dash, getMeanAtom());
    addChild(dash, getNameAtom());
    addChild(dash, getDataAtomWithPacketTableInfo(packetTableInfo));
    return sized(dash);
}

MP4Atom* MP4M4ATagWriter::ilstAtomWithTags(const MP4TagDictionary& tags, const MP4PacketTableInfo* packetTableInfo)
{
    MP4Handle items[std::size(kItemTypes)] = {};
    for (size_t i = 0; i < std::size(kItemTypes); i++) {
        auto found = tags.find(kItemTypes[i].key);
        if (found != tags.end())
            items[i] = stringToAtomDataHandle(found->second);
    }
    MP4Atom* dash = packetTableInfo != nullptr ? getDashAtomWithPacketTableInfo(*packetTableInfo) : nullptr;
    MP4UserDataAtom* ilst = nullptr;
    bool failed = (packetTableInfo != nullptr && dash == nullptr) || MP4CreateUserDataAtom(&ilst) != MP4Success;
    if (!failed) {
        ilst->type = MP4FourCC("ilst");
        if (dash != nullptr) {
            failed = ilst->addAtom(dash) != MP4Success;
            if (!failed)
                dash = nullptr;
        }
        for (size_t i = 0; !failed && i < std::size(kItemTypes); i++) {
            if (items[i] != nullptr)
                failed = ilst->addUserData(items[i], kItemTypes[i].type, nullptr) != MP4Success;
        }
    }
    for (MP4Handle handle : items) {
        if (handle != nullptr)
            MP4DisposeHandle(handle);
    }
    if (dash != nullptr)
        dash->destroy();
    if (failed) {
        if (ilst != nullptr)
            ilst->destroy();
        return nullptr;
    }
    return sized(ilst);
}

MP4Atom* MP4M4ATagWriter::getMetaAtomWithTags(const MP4TagDictionary& tags, const MP4PacketTableInfo* packetTableInfo)
{
    MP4DataInformationAtom* meta = container(MP4FourCC("meta"));
    if (meta == nullptr)
        return nullptr;
    MP4Atom* handler = getHandlerAtom();
    MP4Atom* ilst = ilstAtomWithTags(tags, packetTableInfo);
    if (handler != nullptr && ilst != nullptr) {
        addChild(meta, handler);
        addChild(meta, ilst);
        // Version and flags of the 'meta' full atom.
        if (MP4Resize(meta->payload, 4) != MP4Success) {
            meta->destroy();
            return nullptr;
        }
    } else {
        if (handler != nullptr)
            handler->destroy();
        if (ilst != nullptr)
            ilst->destroy();
    }
    return sized(meta);
}

MP4Atom* MP4M4ATagWriter::getUserDataAtomWithTags(const MP4TagDictionary& tags,
    const MP4PacketTableInfo* packetTableInfo)
{
    MP4DataInformationAtom* udta = container(MP4FourCC("udta"));
    if (udta == nullptr)
        return nullptr;
    addChild(udta, getMetaAtomWithTags(tags, packetTableInfo));
    return sized(udta);
}

MP4Err MP4M4ATagWriter::checkMediaSamples(MP4MovieRecord* movie)
{
    uint32_t trackCount = 0;
    MP4_TRY(MP4GetMovieTrackCount(movie, &trackCount));
    MP4Handle sample = nullptr;
    MP4_TRY(MP4NewHandle(0, &sample));
    MP4Err err = MP4Success;
    for (uint32_t t = 1; t <= trackCount && err == MP4Success; t++) {
        MP4Track track = nullptr;
        MP4Media media = nullptr;
        uint32_t sampleCount = 0;
        err = MP4GetMovieIndTrack(movie, t, &track);
        if (err == MP4Success)
            err = MP4GetTrackMedia(track, &media);
        if (err == MP4Success)
            err = MP4GetMediaSampleCount(media, &sampleCount);
        // Samples read from the file itself because it has no media data would not be written.
        if (err == MP4Success && sampleCount > 0 && movie->mdat == nullptr)
            err = kMP4TagWriterSamplesOutsideData;
        for (uint32_t n = 1; n <= sampleCount && err == MP4Success; n++) {
            if (MP4GetIndMediaSample(media, n, sample, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) !=
                MP4Success)
                err = kMP4TagWriterSamplesOutsideData;
        }
    }
    MP4DisposeHandle(sample);
    return err;
}

MP4Err MP4M4ATagWriter::writeM4ATags(const MP4TagDictionary& tags, const MP4PacketTableInfo* packetTableInfo,
    const std::string& inputFile, const std::string& outputFile)
{
    // A missing path is reported as a failure, so that the caller keeps its audio.
    if (inputFile.empty() || outputFile.empty())
        return kMP4TagWriterNoPath;
    MP4Movie movie = nullptr;
    MP4_TRY(MP4OpenMovieFile(&movie, ("file://" + inputFile).c_str(), 0));
    MP4Err err = checkMediaSamples(movie);
    if (err != MP4Success) {
        MP4DisposeMovie(movie);
        return err;
    }
    MP4MovieAtom* moov = MP4GetMovieAtom(movie);
    MP4Atom* udta = getUserDataAtomWithTags(tags, packetTableInfo);
    if (moov == nullptr)
        err = MP4MissingComponent;
    else if (udta == nullptr)
        err = MP4OutOfMemory;
    if (err == MP4Success && moov->udta != nullptr) {
        MP4DeleteListEntryByItem(moov->udta, moov->atomList);
        // The old user data is freed, not merely forgotten.
        moov->udta->destroy();
        moov->udta = nullptr;
    }
    if (err == MP4Success) {
        err = moov->addAtom(udta);
        if (err == MP4Success)
            udta = nullptr;
    }
    if (err == MP4Success)
        err = MP4WriteMovieToFile(movie, outputFile.c_str());
    if (udta != nullptr)
        udta->destroy();
    MP4DisposeMovie(movie);
    return err;
}
