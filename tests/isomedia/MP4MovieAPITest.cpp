// The movie, track and media interface: new movies built in memory, written, read back by this
// library and by ffprobe; the properties, references, edits and times of tracks and media.
#include "IsomediaTestSupport.h"

#include "support/TestEnvironment.h"

#include "isomedia/MP4APISupport.h"
#include "isomedia/MP4FileTypeAtoms.h"
#include "isomedia/MP4FragmentAtoms.h"
#include "isomedia/MP4MediaAPI.h"
#include "isomedia/MP4SampleEntryAtoms.h"
#include "isomedia/MP4SampleTableAtoms.h"
#include "isomedia/MP4TrackAPI.h"
#include "isomedia/MP4TrackAtoms.h"
#include "isomedia/MP4UserDataAPI.h"

#include <gtest/gtest.h>

using namespace isomedia_test;
using clipdeck::test::TempFolder;

namespace {

// AAC LC, 44100 Hz, stereo: the decoder specific information of the new audio tracks.
const Bytes kAudioSpecificConfig = {0x05, 0x80, 0x80, 0x80, 0x02, 0x12, 0x10};

// A new movie with one AAC audio track whose media is 44100 Hz.
struct AudioMovie {
    MP4Movie movie = nullptr;
    MP4Track track = nullptr;
    MP4Media media = nullptr;
    Handle sampleEntry;

    AudioMovie()
    {
        EXPECT_EQ(MP4NewMovie(&movie, 1, 0xFF, 0xFF, 0x29, 0xFF, 0xFF), MP4Success);
        EXPECT_EQ(MP4NewMovieTrack(movie, MP4NewTrackIsAudio, &track), MP4Success);
        EXPECT_EQ(MP4NewTrackMedia(track, &media, MP4FourCC("soun"), 44100, nullptr), MP4Success);
        Handle config(kAudioSpecificConfig);
        EXPECT_EQ(MP4NewSampleDescription(track, sampleEntry, 1, 0x40, 0x05, 6144, 128000, 96000, config),
            MP4Success);
    }
    ~AudioMovie() { MP4DisposeMovie(movie); }

    // Adds the samples as one chunk, each 1024 units long; the first call also gives the entry.
    MP4Err add(const std::vector<Bytes>& samples, MP4Handle syncSamples = nullptr)
    {
        Bytes data;
        std::vector<uint32_t> sizes;
        for (const Bytes& sample : samples) {
            data.insert(data.end(), sample.begin(), sample.end());
            sizes.push_back(uint32_t(sample.size()));
        }
        Handle bytes(data), durations = Handle::values({1024}), sizeValues = Handle::values(sizes);
        MP4Err err = MP4AddMediaSamples(media, bytes, uint32_t(samples.size()), durations, sizeValues,
            entryGiven ? nullptr : MP4Handle(sampleEntry), nullptr, syncSamples);
        entryGiven = entryGiven || err == MP4Success;
        return err;
    }
    bool entryGiven = false;
};

// Distinct bytes for sample n: its size and a pattern of its own.
Bytes sampleBytes(uint32_t n)
{
    Bytes bytes(10 + 7 * (n % 5));
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = uint8_t(n * 31 + i);
    return bytes;
}

std::vector<Bytes> samples(uint32_t first, uint32_t count)
{
    std::vector<Bytes> list;
    for (uint32_t n = first; n < first + count; n++)
        list.push_back(sampleBytes(n));
    return list;
}

// The bytes of a movie as MP4PutMovieIntoHandle makes them.
Bytes serializedMovie(MP4Movie movie)
{
    Handle bytes;
    EXPECT_EQ(MP4PutMovieIntoHandle(movie, bytes), MP4Success);
    return bytes.bytes();
}

// The first track's media of a movie.
MP4Media firstMedia(MP4Movie movie)
{
    MP4Track track = nullptr;
    MP4Media media = nullptr;
    EXPECT_EQ(MP4GetMovieIndTrack(movie, 1, &track), MP4Success);
    EXPECT_EQ(MP4GetTrackMedia(track, &media), MP4Success);
    return media;
}

// Every sample of the media, read back through the library.
std::vector<Bytes> readSamples(MP4Media media)
{
    uint32_t count = 0;
    EXPECT_EQ(MP4GetMediaSampleCount(media, &count), MP4Success);
    std::vector<Bytes> read;
    for (uint32_t n = 1; n <= count; n++) {
        Handle sample;
        EXPECT_EQ(MP4GetIndMediaSample(media, n, sample, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            MP4Success);
        read.push_back(sample.bytes());
    }
    return read;
}

} // namespace

TEST(MP4MovieAPI, NewMovieIsFileTypeAndMovieHeaderWithItsDescriptor)
{
    MP4Movie movie = nullptr;
    ASSERT_EQ(MP4NewMovie(&movie, 1, 0x01, 0x02, 0x03, 0x04, 0x05), MP4Success);
    Bytes bytes = serializedMovie(movie);
    MP4DisposeMovie(movie);
    EXPECT_EQ(topLevelTypes(bytes), (std::vector<std::string>{"ftyp", "moov"})) << "an empty 'mdat' is not written";
    EXPECT_EQ(Bytes(bytes.begin() + 8, bytes.begin() + 12), (Bytes{'m', 'p', '4', '2'}));
    Bytes moov = atomAt(bytes, findAtom(bytes, "moov"));
    EXPECT_EQ(topLevelTypes(Bytes(moov.begin() + 8, moov.end())), (std::vector<std::string>{"mvhd", "iods"}));

    Handle handle(bytes);
    ASSERT_EQ(MP4NewMovieFromHandle(&movie, handle, 0), MP4Success);
    uint32_t timeScale = 0, trackCount = 7;
    EXPECT_EQ(MP4GetMovieTimeScale(movie, &timeScale), MP4Success);
    EXPECT_EQ(timeScale, 600u);
    EXPECT_EQ(MP4GetMovieTrackCount(movie, &trackCount), MP4Success);
    EXPECT_EQ(trackCount, 0u);
    uint32_t nextTrackID = 0;
    ASSERT_EQ(MP4GetMovieAtom(movie)->getNextTrackID(&nextTrackID), MP4Success);
    EXPECT_EQ(nextTrackID, 1u);
    uint8_t od = 0, scene = 0, audio = 0, visual = 0, graphics = 0;
    ASSERT_EQ(MP4GetMovieProfilesAndLevels(movie, &od, &scene, &audio, &visual, &graphics), MP4Success);
    EXPECT_EQ((std::vector<int>{od, scene, audio, visual, graphics}), (std::vector<int>{1, 2, 3, 4, 5}));
    uint32_t brand = 0, minor = 7;
    EXPECT_EQ(MP4GetMovieBrand(movie, &brand, &minor), MP4Success);
    EXPECT_EQ(brand, MP4FourCC("mp42"));
    EXPECT_EQ(minor, 0u);
    EXPECT_EQ(MP4IsMovieCompatibleBrand(movie, MP4FourCC("mp42")), MP4FourCC("mp42"));
    EXPECT_EQ(MP4IsMovieCompatibleBrand(movie, MP4FourCC("M4A ")), 0u);
    MP4DisposeMovie(movie);

    // With the URL alone the descriptor carries no profiles.
    ASSERT_EQ(MP4NewMovieExt(&movie, 3, 1, 2, 3, 4, 5, "http://example.org/a.mp4", 1), MP4Success);
    uint8_t flag = 9;
    EXPECT_EQ(MP4GetMovieProfilesAndLevels(movie, &od, nullptr, nullptr, nullptr, nullptr), MP4NothingDone);
    EXPECT_EQ(MP4GetMovieIODInlineProfileFlag(movie, &flag), MP4NothingDone);
    EXPECT_EQ(MP4SetMovieIODInlineProfileFlag(movie, 1), MP4NothingDone);
    EXPECT_EQ(flag, 9);
    Handle descriptor;
    ASSERT_EQ(MP4GetMovieInitialObjectDescriptor(movie, descriptor), MP4Success);
    EXPECT_EQ(descriptor.bytes()[0], 17) << "an MPEG-4 object descriptor";
    EXPECT_NE(findAtom(serializedMovie(movie), "iods"), std::string::npos);
    MP4DisposeMovie(movie);
    EXPECT_EQ(MP4NewMovieExt(&movie, 3, 1, 2, 3, 4, 5, std::string(256, 'u').c_str(), 1), MP4BadParameter);
}

TEST(MP4MovieAPI, TracksGetFreshIDsAndAreFoundByIndexAndID)
{
    MP4Movie movie = nullptr;
    ASSERT_EQ(MP4NewMovie(&movie, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF), MP4Success);
    MP4Track first = nullptr, second = nullptr, found = nullptr;
    ASSERT_EQ(MP4NewMovieTrack(movie, MP4NewTrackIsAudio, &first), MP4Success);
    ASSERT_EQ(MP4NewMovieTrack(movie, MP4NewTrackIsVisual, &second), MP4Success);
    uint32_t id = 0;
    EXPECT_EQ(MP4GetTrackID(first, &id), MP4Success);
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(MP4GetTrackID(second, &id), MP4Success);
    EXPECT_EQ(id, 2u);
    EXPECT_EQ(MP4NewMovieTrackWithID(movie, 0, 1, &found), MP4BadParameter) << "ID 1 is taken";
    ASSERT_EQ(MP4NewMovieTrackWithID(movie, 0, 10, &found), MP4Success);
    MP4Track next = nullptr;
    ASSERT_EQ(MP4NewMovieTrack(movie, 0, &next), MP4Success);
    EXPECT_EQ(MP4GetTrackID(next, &id), MP4Success);
    EXPECT_EQ(id, 11u);

    EXPECT_EQ(MP4GetMovieIndTrack(movie, 2, &found), MP4Success);
    EXPECT_EQ(found, second);
    EXPECT_EQ(MP4GetMovieIndTrack(movie, 0, &found), MP4BadParameter);
    EXPECT_EQ(MP4GetMovieIndTrack(movie, 5, &found), MP4BadParameter);
    EXPECT_EQ(MP4GetMovieTrack(movie, 10, &found), MP4Success);
    EXPECT_EQ(MP4GetMovieTrack(movie, 3, &found), MP4BadParameter);

    uint32_t width = 0, height = 0;
    int16_t volume = 0;
    EXPECT_EQ(MP4GetTrackDimensions(second, &width, &height), MP4Success);
    EXPECT_EQ(width, 320u << 16);
    EXPECT_EQ(height, 240u << 16);
    EXPECT_EQ(MP4GetTrackVolume(first, &volume), MP4Success);
    EXPECT_EQ(volume, 0x100);
    uint32_t matrix[9] = {};
    ASSERT_EQ(MP4SetTrackMatrix(first, nullptr), MP4Success);
    ASSERT_EQ(MP4GetTrackMatrix(first, matrix), MP4Success);
    EXPECT_EQ(matrix[0], 0x10000u);
    EXPECT_EQ(matrix[8], 0x40000000u);
    MP4DisposeMovie(movie);
}

TEST(MP4MovieAPI, AudioMovieWrittenAndReadBackKeepsEverySample)
{
    TempFolder folder;
    std::string file = folder.file("new.m4a").toStdString();
    std::vector<Bytes> all = samples(1, 9);
    Bytes sampleEntry;
    {
        AudioMovie audio;
        sampleEntry = audio.sampleEntry.bytes();
        ASSERT_EQ(audio.add(samples(1, 4)), MP4Success);
        ASSERT_EQ(audio.add(samples(5, 5)), MP4Success);
        ASSERT_EQ(MP4SetMediaLanguage(audio.media, "eng"), MP4Success);
        ASSERT_EQ(MP4EndMediaEdits(audio.media), MP4Success);
        ASSERT_EQ(MP4InsertMediaIntoTrack(audio.track, 0, 0, 9 * 1024 * 600 / 44100, 1), MP4Success);
        EXPECT_EQ(readSamples(audio.media), all) << "new media read back from memory";
        ASSERT_EQ(MP4SetMovieBrand(audio.movie, MP4FourCC("M4A "), 0), MP4Success);
        ASSERT_EQ(MP4AddMovieCompatibleBrand(audio.movie, MP4FourCC("mp42")), MP4Success);
        EXPECT_EQ(MP4IsMovieCompatibleBrand(audio.movie, MP4FourCC("M4A ")), MP4FourCC("M4A "));
        ASSERT_EQ(MP4WriteMovieToFile(audio.movie, file.c_str()), MP4Success);
    }
    EXPECT_EQ(topLevelTypes(readFile(file)), (std::vector<std::string>{"ftyp", "moov", "mdat"}));
    EXPECT_EQ(findAtom(readFile(file), "edts"), std::string::npos) << "media from the start needs no edit list";

    // Another reader finds every sample where the chunk offsets say it is.
    Bytes written = readFile(file);
    std::vector<Packet> packets = probePackets(file);
    ASSERT_EQ(packets.size(), all.size());
    for (size_t i = 0; i < all.size(); i++) {
        EXPECT_EQ(packets[i].size, all[i].size()) << i;
        EXPECT_EQ(packets[i].dts, 1024u * i) << i;
        EXPECT_EQ(Bytes(written.begin() + long(packets[i].pos), written.begin() + long(packets[i].pos + packets[i].size)),
            all[i])
            << i;
    }

    MP4Movie movie = nullptr;
    ASSERT_EQ(MP4OpenMovieFile(&movie, file.c_str(), 0), MP4Success);
    MP4Media media = firstMedia(movie);
    EXPECT_EQ(readSamples(media), all);
    char language[4] = {};
    EXPECT_EQ(MP4GetMediaLanguage(media, language), MP4Success);
    EXPECT_STREQ(language, "eng");
    uint64_t duration = 0;
    EXPECT_EQ(MP4GetMediaDuration(media, &duration), MP4Success);
    EXPECT_EQ(duration, 9u * 1024);
    uint32_t type = 0;
    MP4Handle name = nullptr;
    ASSERT_EQ(MP4GetMediaHandlerDescription(media, &type, &name), MP4Success);
    EXPECT_EQ(type, MP4FourCC("soun"));
    EXPECT_EQ(std::string(name->data, name->size), "soun");
    MP4DisposeHandle(name);

    // By time: sample 3 is decoded from 2048 to 3072.
    Handle sample, entry;
    uint64_t decodingTime = 0;
    uint32_t number = 0, index = 0, flags = 9;
    ASSERT_EQ(MP4GetMediaSample(media, sample, nullptr, 3000, &decodingTime, nullptr, nullptr, entry, &index, &flags),
        MP4Success);
    EXPECT_EQ(sample.bytes(), all[2]);
    EXPECT_EQ(decodingTime, 2048u);
    EXPECT_EQ(flags, 0u) << "every sample is a sync sample";
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(entry.bytes(), sampleEntry);
    ASSERT_EQ(MP4MediaTimeToSampleNum(media, 4096, &number, nullptr, nullptr, nullptr), MP4Success);
    EXPECT_EQ(number, 5u);
    EXPECT_EQ(MP4MediaTimeToSampleNum(media, 9 * 1024, &number, nullptr, nullptr, nullptr), MP4BadParameter)
        << "past the last sample";
    int64_t interesting = 0;
    ASSERT_EQ(MP4GetMediaNextInterestingTime(media, 0, 2048, 1, &interesting, nullptr), MP4Success);
    EXPECT_EQ(interesting, 3072);
    ASSERT_EQ(MP4GetMediaNextInterestingTime(media, MP4NextTimeEdgeOK, 2048, 1, &interesting, nullptr), MP4Success);
    EXPECT_EQ(interesting, 2048);
    uint64_t offset = 0;
    ASSERT_EQ(MP4GetIndMediaSampleReference(media, 5, &offset, nullptr, nullptr, nullptr, nullptr, nullptr),
        MP4Success);
    EXPECT_EQ(offset, 0u + all[0].size() + all[1].size() + all[2].size() + all[3].size())
        << "the second chunk starts where the first ended";
    MP4DisposeMovie(movie);
}

TEST(MP4MovieAPI, PropertiesRefuseWhatTheyCannotHold)
{
    AudioMovie audio;
    MP4Movie none = nullptr;
    uint32_t value = 0;
    EXPECT_EQ(MP4GetMovieTimeScale(none, &value), MP4BadParameter);
    EXPECT_EQ(MP4SetMovieTimeScale(audio.movie, 0), MP4BadParameter);
    EXPECT_EQ(MP4GetMovieTimeScale(audio.movie, nullptr), MP4BadParameter);

    ASSERT_EQ(MP4SetMediaLanguage(audio.media, "und"), MP4Success);
    EXPECT_EQ(audio.media->mediaHeader->packedLanguage, 0x55C4u);
    char language[4] = {};
    ASSERT_EQ(MP4GetMediaLanguage(audio.media, language), MP4Success);
    EXPECT_STREQ(language, "und");
    EXPECT_EQ(MP4SetMediaLanguage(audio.media, "EN!"), MP4BadParameter) << "only lower-case letters pack";

    int16_t balance = 0;
    ASSERT_EQ(MP4SetMediaSoundBalance(audio.media, -0x80), MP4Success);
    ASSERT_EQ(MP4GetMediaSoundBalance(audio.media, &balance), MP4Success);
    EXPECT_EQ(balance, -0x80);
    EXPECT_EQ(MP4SetMediaGraphicsMode(audio.media, 0x40, 1, 2, 3), MP4NotSupported);
    MP4Track videoTrack = nullptr;
    MP4Media video = nullptr;
    ASSERT_EQ(MP4NewMovieTrack(audio.movie, MP4NewTrackIsVisual, &videoTrack), MP4Success);
    ASSERT_EQ(MP4NewTrackMedia(videoTrack, &video, MP4FourCC("vide"), 600, nullptr), MP4Success);
    EXPECT_EQ(MP4SetMediaSoundBalance(video, 0), MP4NotSupported);
    ASSERT_EQ(MP4SetMediaGraphicsMode(video, 0x40, 1, 2, 3), MP4Success);
    uint32_t mode = 0;
    uint16_t red = 0, green = 0, blue = 0;
    ASSERT_EQ(MP4GetMediaGraphicsMode(video, &mode, &red, &green, &blue), MP4Success);
    EXPECT_EQ((std::vector<uint32_t>{mode, red, green, blue}), (std::vector<uint32_t>{0x40, 1, 2, 3}));
    EXPECT_EQ(MP4NewTrackMedia(videoTrack, &video, MP4FourCC("vide"), 600, nullptr), MP4BadData) << "a second media";
    EXPECT_EQ(MP4NewTrackMedia(audio.track, &video, MP4FourCC("soun"), 0, nullptr), MP4BadParameter);

    // Brand calls need a file type atom.
    audio.movie->ftyp->destroy();
    audio.movie->ftyp = nullptr;
    EXPECT_EQ(MP4SetMovieBrand(audio.movie, MP4FourCC("M4A "), 0), MP4NoFileType);
    EXPECT_EQ(MP4GetMovieBrand(audio.movie, &value, &value), MP4NoFileType);
    EXPECT_EQ(MP4IsMovieCompatibleBrand(audio.movie, MP4FourCC("mp42")), 0u);
}

TEST(MP4MovieAPI, TrackTimesGoThroughTheEditList)
{
    AudioMovie audio;
    ASSERT_EQ(audio.add(samples(1, 120)), MP4Success);
    ASSERT_EQ(MP4EndMediaEdits(audio.media), MP4Success);
    int64_t media = 0;
    // Movie time scale 600, media time scale 44100; the product is taken before the division.
    ASSERT_EQ(MP4TrackTimeToMediaTime(audio.track, 1200, &media), MP4Success);
    EXPECT_EQ(media, 88200);
    ASSERT_EQ(MP4TrackTimeToMediaTime(audio.track, 599, &media), MP4Success);
    EXPECT_EQ(media, 44026);
    uint64_t duration = 0;
    ASSERT_EQ(MP4GetTrackDuration(audio.track, &duration), MP4Success);
    EXPECT_EQ(duration, 120u * 1024 * 600 / 44100);

    ASSERT_EQ(MP4SetTrackOffset(audio.track, 600), MP4Success);
    uint64_t offset = 0;
    ASSERT_EQ(MP4GetTrackOffset(audio.track, &offset), MP4Success);
    EXPECT_EQ(offset, 600u);
    ASSERT_EQ(MP4TrackTimeToMediaTime(audio.track, 300, &media), MP4Success);
    EXPECT_EQ(media, -1) << "inside the empty edit";
    ASSERT_EQ(MP4TrackTimeToMediaTime(audio.track, 900, &media), MP4Success);
    EXPECT_EQ(media, 22050);
    ASSERT_EQ(MP4GetTrackDuration(audio.track, &duration), MP4Success);
    EXPECT_EQ(duration, 600u + 120u * 1024 * 600 / 44100);

    EXPECT_EQ(MP4InsertMediaIntoTrack(audio.track, -1, 0, 100, 2), MP4BadParameter) << "rate above 1";
    EXPECT_EQ(MP4InsertMediaIntoTrack(audio.track, 0, 0, 100, 1), MP4NotSupported) << "edits only append";
    ASSERT_EQ(MP4InsertMediaIntoTrack(audio.track, -1, 2048, 100, 1), MP4Success);
    MP4EditListAtom* list = audio.track->trackEditAtom->editList;
    ASSERT_EQ(list->getEntryCount(), 3u);
    EXPECT_EQ(list->entries[2].mediaTime, 2048);
}

TEST(MP4MovieAPI, InsertedMediaKeepsItsStartAndMediaTimeInTheWrittenEditList)
{
    TempFolder folder;
    std::string file = folder.file("edited.m4a").toStdString();
    {
        AudioMovie audio;
        ASSERT_EQ(audio.add(samples(1, 50)), MP4Success);
        ASSERT_EQ(MP4EndMediaEdits(audio.media), MP4Success);
        // Half a second of silence, then the media from its 1024th unit on (past the priming).
        ASSERT_EQ(MP4InsertMediaIntoTrack(audio.track, 300, 1024, 600, 1), MP4Success);
        ASSERT_EQ(MP4WriteMovieToFile(audio.movie, file.c_str()), MP4Success);
    }
    MP4Movie movie = nullptr;
    ASSERT_EQ(MP4OpenMovieFile(&movie, file.c_str(), 0), MP4Success);
    MP4Track track = nullptr;
    ASSERT_EQ(MP4GetMovieIndTrack(movie, 1, &track), MP4Success);
    ASSERT_NE(track->trackEditAtom, nullptr);
    const auto& entries = track->trackEditAtom->editList->entries;
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].segmentDuration, 300u);
    EXPECT_EQ(entries[0].emptyEdit, 1u);
    EXPECT_EQ(entries[1].segmentDuration, 600u);
    EXPECT_EQ(entries[1].mediaTime, 1024);
    int64_t media = 0;
    ASSERT_EQ(MP4TrackTimeToMediaTime(track, 600, &media), MP4Success);
    EXPECT_EQ(media, 1024 + 22050);
    MP4DisposeMovie(movie);
}

TEST(MP4MovieAPI, TrackReferencesResolveToTracksAlsoAfterReading)
{
    AudioMovie audio;
    MP4Track other = nullptr, found = nullptr;
    MP4Media otherMedia = nullptr;
    ASSERT_EQ(MP4NewMovieTrack(audio.movie, 0, &other), MP4Success);
    ASSERT_EQ(MP4NewTrackMedia(other, &otherMedia, MP4FourCC("odsm"), 1000, nullptr), MP4Success);
    uint32_t index = 0, count = 0;
    ASSERT_EQ(MP4AddTrackReference(other, audio.track, MP4FourCC("dpnd"), &index), MP4Success);
    EXPECT_EQ(index, 1u);
    ASSERT_EQ(MP4AddTrackReference(other, audio.track, MP4FourCC("dpnd"), &index), MP4Success);
    EXPECT_EQ(index, 1u) << "an ID is listed once";
    ASSERT_EQ(MP4AddTrackReferenceWithID(other, 9, MP4FourCC("dpnd"), &index), MP4Success);
    EXPECT_EQ(index, 2u);
    EXPECT_EQ(MP4AddTrackReferenceWithID(other, 0, MP4FourCC("dpnd"), &index), MP4BadParameter);
    ASSERT_EQ(MP4AddTrackReference(audio.track, other, MP4FourCC("chap"), &index), MP4Success);

    ASSERT_EQ(MP4GetTrackReferenceCount(other, MP4FourCC("dpnd"), &count), MP4Success);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(MP4GetTrackReference(other, MP4FourCC("dpnd"), 1, &found), MP4Success);
    EXPECT_EQ(found, audio.track);
    EXPECT_EQ(MP4GetTrackReference(other, MP4FourCC("dpnd"), 2, &found), MP4BadParameter) << "no track 9";
    EXPECT_EQ(MP4GetTrackReference(other, MP4FourCC("dpnd"), 3, &found), MP4BadParameter);
    EXPECT_EQ(MP4GetTrackReference(other, MP4FourCC("sync"), 1, &found), MP4BadParameter);
    ASSERT_EQ(MP4GetTrackReferenceCount(other, MP4FourCC("sync"), &count), MP4Success);
    EXPECT_EQ(count, 0u);

    // A reference type the factory does not know ('chap') is still a list of tracks when read.
    Handle bytes;
    ASSERT_EQ(MP4PutMovieIntoHandle(audio.movie, bytes), MP4Success);
    MP4Movie movie = nullptr;
    ASSERT_EQ(MP4NewMovieFromHandle(&movie, bytes, 0), MP4Success);
    MP4Track first = nullptr;
    ASSERT_EQ(MP4GetMovieIndTrack(movie, 1, &first), MP4Success);
    ASSERT_EQ(MP4GetTrackReference(first, MP4FourCC("chap"), 1, &found), MP4Success);
    uint32_t id = 0;
    EXPECT_EQ(MP4GetTrackID(found, &id), MP4Success);
    EXPECT_EQ(id, 2u);
    Handle again;
    ASSERT_EQ(MP4PutMovieIntoHandle(movie, again), MP4Success);
    EXPECT_EQ(again.bytes(), bytes.bytes()) << "the references are written back as they were read";
    MP4DisposeMovie(movie);
}

TEST(MP4MovieAPI, UserDataItemsKeepTheirTypesOrderAndBytes)
{
    AudioMovie audio;
    MP4UserData udta = nullptr, same = nullptr;
    ASSERT_EQ(MP4GetMovieUserData(audio.movie, &udta), MP4Success);
    ASSERT_EQ(MP4GetMovieUserData(audio.movie, &same), MP4Success);
    EXPECT_EQ(udta, same) << "made once";
    uint32_t index = 0, count = 0, type = 0;
    for (uint8_t i = 1; i <= 3; i++) {
        ASSERT_EQ(MP4AddUserData(udta, Handle({i, i}), MP4FourCC("ab01"), &index), MP4Success);
        EXPECT_EQ(index, i);
    }
    ASSERT_EQ(MP4AddUserData(udta, Handle({9}), MP4FourCC("ab02"), &index), MP4Success);
    EXPECT_EQ(MP4GetUserDataEntryCount(udta, MP4FourCC("ab01"), &count), MP4Success);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(MP4GetUserDataTypeCount(udta, &count), MP4Success);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(MP4GetIndUserDataType(udta, 2, &type), MP4Success);
    EXPECT_EQ(type, MP4FourCC("ab02"));
    EXPECT_EQ(MP4GetIndUserDataType(udta, 3, &type), MP4BadParameter);
    Handle item;
    ASSERT_EQ(MP4GetUserDataItem(udta, item, MP4FourCC("ab01"), 2), MP4Success);
    EXPECT_EQ(item.bytes(), (Bytes{2, 2}));
    EXPECT_EQ(MP4GetUserDataItem(udta, item, MP4FourCC("ab01"), 0), MP4BadParameter);
    EXPECT_EQ(MP4GetUserDataItem(udta, item, MP4FourCC("none"), 1), MP4BadParameter);
    EXPECT_EQ(MP4AddUserData(nullptr, item, MP4FourCC("ab01"), &index), MP4BadParameter);

    Bytes written = serializedMovie(audio.movie);
    Bytes expected = concat({atom("ab01", {1, 1}), atom("ab01", {2, 2}), atom("ab01", {3, 3}), atom("ab02", {9})});
    EXPECT_EQ(atomAt(written, findAtom(written, "udta")), atom("udta", expected));

    MP4UserData trackData = nullptr;
    ASSERT_EQ(MP4GetTrackUserData(audio.track, &trackData), MP4Success);
    EXPECT_NE(trackData, udta);
}

TEST(MP4MovieAPI, DataReferencesNameWhereSamplesLie)
{
    TempFolder folder;
    AudioMovie audio;
    std::string external = folder.file("external.m4a").toStdString();
    Bytes url(external.begin(), external.end());
    uint32_t index = 0, count = 0, type = 0, flags = 0;
    ASSERT_EQ(MP4AddMediaDataReference(audio.media, &index, Handle(url), nullptr), MP4Success);
    EXPECT_EQ(index, 2u);
    ASSERT_EQ(MP4AddMediaDataReference(audio.media, &index, Handle(url), Handle({'u', 'r', 'n'})), MP4Success);
    EXPECT_EQ(index, 3u);
    ASSERT_EQ(MP4AddMediaDataReference(audio.media, &index, nullptr, nullptr), MP4Success);
    EXPECT_EQ(index, 4u);
    ASSERT_EQ(MP4CountMediaDataReferences(audio.media, &count), MP4Success);
    EXPECT_EQ(count, 4u);

    Handle location, name;
    ASSERT_EQ(MP4GetMediaDataReference(audio.media, 2, location, name, &type, &flags), MP4Success);
    EXPECT_EQ(location.bytes(), url);
    EXPECT_EQ(type, MP4FourCC("url "));
    EXPECT_EQ(flags, 0u);
    ASSERT_EQ(MP4GetMediaDataReference(audio.media, 3, location, name, &type, &flags), MP4Success);
    EXPECT_EQ(type, MP4FourCC("urn "));
    EXPECT_EQ(name.bytes(), (Bytes{'u', 'r', 'n'}));
    EXPECT_EQ(location.bytes(), url);
    ASSERT_EQ(MP4GetMediaDataReference(audio.media, 4, nullptr, nullptr, nullptr, &flags), MP4Success);
    EXPECT_EQ(flags, 1u);
    EXPECT_EQ(MP4GetMediaDataReference(audio.media, 5, nullptr, nullptr, &type, nullptr), MP4BadParameter);

    EXPECT_EQ(MP4CheckMediaDataReference(audio.media, 1), MP4Success) << "the movie's own file";
    EXPECT_EQ(MP4CheckMediaDataReference(audio.media, 2), MP4FileNotFound);
    EXPECT_EQ(MP4CheckMediaDataReferences(audio.media), MP4FileNotFound);
    EXPECT_EQ(MP4CheckMediaDataReference(audio.media, 5), MP4BadParameter);
    writeFile(external, {1});
    EXPECT_EQ(MP4CheckMediaDataReferences(audio.media), MP4Success);

    // Samples that lie in the external file are read from it.
    Bytes outside = concat({{0, 0, 0, 0, 0}, sampleBytes(1), sampleBytes(2)});
    writeFile(external, outside);
    Handle entry;
    ASSERT_EQ(MP4NewSampleDescription(audio.track, entry, 2, 0x40, 5, 0, 0, 0, nullptr), MP4Success);
    ASSERT_EQ(MP4AddMediaSampleReference(audio.media, 5, 2, Handle::values({1024}),
                  Handle::values({uint32_t(sampleBytes(1).size()), uint32_t(sampleBytes(2).size())}), entry, nullptr,
                  nullptr),
        MP4Success);
    EXPECT_EQ(readSamples(audio.media), samples(1, 2));
    EXPECT_EQ(MP4AddMediaSampleReference(audio.media, 0, 1, Handle::values({1024}), Handle::values({4}),
                  audio.sampleEntry, nullptr, nullptr),
        MP4BadParameter)
        << "samples of the movie's own new file come with their bytes";
    EXPECT_EQ(readSamples(audio.media), samples(1, 2)) << "the refused call added nothing";
}

TEST(MP4MovieAPI, SampleDescriptionsCarryTheirDecoderConfiguration)
{
    AudioMovie audio;
    ASSERT_EQ(audio.add(samples(1, 2)), MP4Success);
    uint32_t objectType = 0, streamType = 0, bufferSize = 0, upstream = 9, maxBitrate = 0, avgBitrate = 0;
    Handle info;
    ASSERT_EQ(MP4GetMediaDecoderInformation(audio.media, 1, &objectType, &streamType, &bufferSize, &upstream,
                  &maxBitrate, &avgBitrate, info),
        MP4Success);
    EXPECT_EQ((std::vector<uint32_t>{objectType, streamType, bufferSize, upstream, maxBitrate, avgBitrate}),
        (std::vector<uint32_t>{0x40, 5, 6144, 0, 128000, 96000}));
    EXPECT_EQ(info.bytes(), kAudioSpecificConfig);
    uint32_t dataReference = 0;
    Handle entry;
    ASSERT_EQ(MP4GetMediaSampleDescription(audio.media, 1, entry, &dataReference), MP4Success);
    EXPECT_EQ(entry.bytes(), audio.sampleEntry.bytes());
    EXPECT_EQ(dataReference, 1u);
    EXPECT_EQ(MP4GetMediaSampleDescription(audio.media, 2, entry, nullptr), MP4BadParameter);
    MP4ES_Descriptor* esd = nullptr;
    ASSERT_EQ(MP4GetMediaESD(audio.media, 1, &esd, nullptr), MP4Success);
    EXPECT_NE(esd->decoderConfig, nullptr);
    EXPECT_NE(esd->slConfig, nullptr);
    esd->destroy();
    EXPECT_EQ(MP4NewSampleDescription(audio.track, entry, 1, 0x140, 5, 0, 0, 0, nullptr), MP4BadParameter)
        << "the object type is one byte";
    MP4Track highRateTrack = nullptr;
    MP4Media highRate = nullptr;
    ASSERT_EQ(MP4NewMovieTrack(audio.movie, MP4NewTrackIsAudio, &highRateTrack), MP4Success);
    ASSERT_EQ(MP4NewTrackMedia(highRateTrack, &highRate, MP4FourCC("soun"), 96000, nullptr), MP4Success);
    EXPECT_EQ(MP4NewSampleDescription(highRateTrack, entry, 1, 0x40, 5, 0, 0, 0, nullptr), MP4BadParameter)
        << "an audio entry holds rates up to 65535 Hz";

    // Editors change one thing and leave the rest.
    Handle edited(audio.sampleEntry.bytes());
    EXPECT_EQ(MP4SetSampleDescriptionDimensions(edited, 640, 480), MP4BadParameter) << "not a visual entry";
    ASSERT_EQ(MP4SetSampleDescriptionPriority(edited, 7), MP4Success);
    ASSERT_EQ(MP4SetSampleDescriptionDecoderSpecificInfo(edited, Handle({0x05, 0x80, 0x80, 0x80, 0x02, 0x13, 0x90})),
        MP4Success);
    MP4Atom* parsed = nullptr;
    ASSERT_EQ(MP4ParseSampleEntryFromHandle(edited, false, &parsed), MP4Success);
    auto* coded = static_cast<MP4AudioSampleEntryAtom*>(parsed);
    auto* editedESD = static_cast<MP4ES_Descriptor*>(coded->ESDAtom()->descriptor);
    EXPECT_EQ(editedESD->streamPriority, 7u);
    auto* config = static_cast<MP4DecoderConfigDescriptor*>(editedESD->decoderConfig);
    EXPECT_EQ(static_cast<MP4DefaultDescriptor*>(config->decoderSpecificInfo)->data, (std::vector<char>{0x13, char(0x90)}));
    EXPECT_EQ(coded->timeScale, 44100u);
    parsed->destroy();
    ASSERT_EQ(MP4SetSampleDescriptionType(edited, MP4FourCC("enca")), MP4Success);
    Bytes retyped = edited.bytes();
    EXPECT_EQ(retyped.size(), 36u) << "an entry of another type keeps no 'esds'";
    EXPECT_EQ(Bytes(retyped.begin() + 4, retyped.begin() + 8), (Bytes{'e', 'n', 'c', 'a'}));

    // A generic entry keeps its type and body; a clock reference becomes a 'sync' reference.
    Handle generic;
    const char body[] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 16};
    ASSERT_EQ(MP4NewGenericSampleDescription(audio.track, generic, body, sizeof body, MP4FourCC("alac")), MP4Success);
    EXPECT_EQ(generic.bytes(), atom("alac", concat({{0, 0, 0, 0, 0, 0, 0, 1}, Bytes(body, body + sizeof body)})));
    ASSERT_EQ(MP4NewSampleDescription(audio.track, entry, 1, 0x40, 5, 0, 0, 0, nullptr, 3), MP4Success);
    uint32_t count = 0;
    ASSERT_EQ(MP4GetTrackReferenceCount(audio.track, MP4FourCC("sync"), &count), MP4Success);
    EXPECT_EQ(count, 1u);
}

TEST(MP4MovieAPI, InitialObjectDescriptorListsTracksAndGivesTheirStreams)
{
    AudioMovie audio;
    ASSERT_EQ(audio.add(samples(1, 2)), MP4Success);
    ASSERT_EQ(MP4AddTrackToMovieIOD(audio.track), MP4Success);
    auto* iod = static_cast<MP4InitialObjectDescriptor*>(MP4GetMovieAtom(audio.movie)->iods->descriptor);
    ASSERT_EQ(iod->ES_ID_IncDescriptors.size(), 1u);

    Handle streamForm;
    ASSERT_EQ(MP4GetMovieInitialObjectDescriptor(audio.movie, streamForm), MP4Success);
    MP4Descriptor* parsed = nullptr;
    ASSERT_EQ(MP4ParseDescriptorFromHandle(streamForm, &parsed), MP4Success);
    auto* given = static_cast<MP4InitialObjectDescriptor*>(parsed);
    EXPECT_TRUE(given->ES_ID_IncDescriptors.empty());
    ASSERT_EQ(given->ESDescriptors.size(), 1u);
    EXPECT_EQ(static_cast<MP4ES_Descriptor*>(given->ESDescriptors[0])->ESID, 1u);
    EXPECT_EQ(given->audio_profileAndLevel, 0x29u);
    parsed->destroy();
    EXPECT_EQ(iod->ES_ID_IncDescriptors.size(), 1u) << "the movie's own descriptor is unchanged";

    EXPECT_EQ(MP4SetMovieInitialObjectDescriptor(audio.movie, Handle({0x03, 0x03, 0, 1, 0})), MP4BadParameter);
    ASSERT_EQ(MP4SetMovieInitialObjectDescriptor(audio.movie, Handle({0x40, 0x01, 0x07})), MP4Success);
    EXPECT_EQ(iod->OCIDescriptors.size() + iod->extensionDescriptors.size(), 1u);
    uint8_t flag = 0;
    ASSERT_EQ(MP4SetMovieIODInlineProfileFlag(audio.movie, 1), MP4Success);
    ASSERT_EQ(MP4GetMovieIODInlineProfileFlag(audio.movie, &flag), MP4Success);
    EXPECT_EQ(flag, 1);
}

TEST(MP4MovieAPI, SampleHandlesAreCheckedBeforeAnythingIsAdded)
{
    AudioMovie audio;
    ASSERT_EQ(audio.add(samples(1, 1)), MP4Success);
    Handle three(concat({sampleBytes(1), sampleBytes(2), sampleBytes(3)}));
    std::vector<uint32_t> sizes = {uint32_t(sampleBytes(1).size()), uint32_t(sampleBytes(2).size()),
        uint32_t(sampleBytes(3).size())};
    struct Case {
        const char* what;
        std::vector<uint32_t> sizes, durations, offsets, syncs;
        Bytes padding;
        bool withOffsets, withSyncs, withPadding;
    };
    const Case cases[] = {
        {"sizes that do not add up to the bytes", {10, 10, 10}, {1024}, {}, {}, {}, false, false, false},
        {"two durations for three samples", sizes, {1024, 1024}, {}, {}, {}, false, false, false},
        {"composition offsets of the wrong count", sizes, {1024}, {1, 2}, {}, {}, true, false, false},
        {"sync sample 0", sizes, {1024}, {}, {0}, {}, false, true, false},
        {"sync sample past the call", sizes, {1024}, {}, {4}, {}, false, true, false},
        {"padding of eight bits", sizes, {1024}, {}, {}, {0, 8, 0}, false, false, true},
    };
    for (const Case& c : cases) {
        Handle sizeValues = Handle::values(c.sizes), durations = Handle::values(c.durations),
               offsets = Handle::values(c.offsets), syncs = Handle::values(c.syncs), padding(c.padding);
        EXPECT_EQ(MP4AddMediaSamplesPad(audio.media, three, 3, durations, sizeValues, nullptr,
                      c.withOffsets ? MP4Handle(offsets) : nullptr, c.withSyncs ? MP4Handle(syncs) : nullptr,
                      c.withPadding ? MP4Handle(padding) : nullptr),
            MP4BadParameter)
            << c.what;
    }
    EXPECT_EQ(MP4AddMediaSampleReference(audio.media, 0, 0, Handle::values({1}), Handle::values({1}), nullptr,
                  nullptr, nullptr),
        MP4BadParameter)
        << "a chunk of no samples";
    uint32_t count = 0;
    ASSERT_EQ(MP4GetMediaSampleCount(audio.media, &count), MP4Success);
    EXPECT_EQ(count, 1u) << "no refused call added anything";
    EXPECT_EQ(audio.media->mediaInformation()->sampleTable->CompositionOffset, nullptr);

    // A call whose handles fit: sync samples 1 and 3 of three, composition offsets, padding.
    ASSERT_EQ(MP4AddMediaSamplesPad(audio.media, three, 3, Handle::values({1024}), Handle::values(sizes), nullptr,
                  Handle::values({0, 512, 0}), Handle::values({1, 3}), Handle({0, 3, 0})),
        MP4Success);
    uint32_t flags = 0;
    int32_t compositionOffset = 0;
    uint8_t paddingBits = 0;
    Handle sample;
    ASSERT_EQ(MP4GetIndMediaSampleWithPad(audio.media, 3, sample, nullptr, nullptr, &compositionOffset, nullptr,
                  &flags, nullptr, &paddingBits),
        MP4Success);
    EXPECT_EQ(sample.bytes(), sampleBytes(2));
    EXPECT_EQ(flags, MP4MediaSampleNotSync | MP4MediaSampleHasCTSOffset);
    EXPECT_EQ(compositionOffset, 512);
    EXPECT_EQ(paddingBits, 3);
    uint64_t composition = 0;
    ASSERT_EQ(MP4SampleNumberToMediaTime(audio.media, 3, &composition, nullptr, nullptr), MP4Success);
    EXPECT_EQ(composition, 2048u + 512);
    ASSERT_EQ(MP4GetIndMediaSample(audio.media, 2, sample, nullptr, nullptr, nullptr, nullptr, &flags, nullptr),
        MP4Success);
    EXPECT_EQ(flags, 0u) << "the sample before the sync table existed is a sync sample";
}

TEST(MP4MovieAPI, FragmentedMovieIsReadBackWithEverySample)
{
    TempFolder folder;
    std::string file = folder.file("fragmented.mp4").toStdString();
    std::vector<Bytes> all = samples(1, 9);
    {
        AudioMovie audio;
        EXPECT_EQ(MP4WriteMovieFragment(audio.movie), MP4BadParameter) << "no track has fragment defaults";
        ASSERT_EQ(audio.add(samples(1, 3)), MP4Success);
        ASSERT_EQ(MP4EndMediaEdits(audio.media), MP4Success);
        ASSERT_EQ(MP4SetTrackFragmentDefaults(audio.track, 1024, 0, 0, 3), MP4Success);
        auto* trex = MP4ListItem<MP4TrackExtendsAtom>(MP4GetMovieAtom(audio.movie)->mvex->atomList, 0);
        EXPECT_EQ(trex->default_sample_flags, 0x10003u) << "not sync; the priority in the low 16 bits";
        ASSERT_EQ(MP4SetTrackFragmentDefaults(audio.track, 1024, 0, 1, 0), MP4Success);
        EXPECT_EQ(MP4ListCount(MP4GetMovieAtom(audio.movie)->mvex->atomList), 1u) << "one set of defaults a track";
        EXPECT_EQ(trex->default_sample_flags, 0u);

        ASSERT_EQ(MP4WriteMovieFragment(audio.movie), MP4Success);
        EXPECT_EQ(audio.add(samples(4, 1)), MP4Success);
        EXPECT_EQ(MP4AddMediaSamples(audio.media, Handle(sampleBytes(5)), 1, Handle::values({1024}),
                      Handle::values({uint32_t(sampleBytes(5).size())}), audio.sampleEntry, nullptr, nullptr),
            MP4BadData)
            << "a fragment takes no sample description";
        ASSERT_EQ(audio.add(samples(5, 3)), MP4Success);
        ASSERT_EQ(MP4WriteMovieFragment(audio.movie), MP4Success);
        ASSERT_EQ(audio.add(samples(8, 2)), MP4Success);
        uint32_t count = 0;
        ASSERT_EQ(MP4GetMediaSampleCount(audio.media, &count), MP4Success);
        EXPECT_EQ(count, 3u) << "the movie's own samples";
        ASSERT_EQ(MP4WriteMovieToFile(audio.movie, file.c_str()), MP4Success);
    }
    Bytes written = readFile(file);
    EXPECT_EQ(topLevelTypes(written),
        (std::vector<std::string>{"ftyp", "moov", "mdat", "moof", "mdat", "moof", "mdat"}));
    size_t first = findAtom(written, "mfhd"), second = findAtom(written, "mfhd", first + 8);
    EXPECT_EQ(get32(written, first + 12), 1u);
    EXPECT_EQ(get32(written, second + 12), 2u);

    std::vector<Packet> packets = probePackets(file);
    ASSERT_EQ(packets.size(), all.size());
    for (size_t i = 0; i < all.size(); i++) {
        EXPECT_EQ(Bytes(written.begin() + long(packets[i].pos), written.begin() + long(packets[i].pos + packets[i].size)),
            all[i])
            << i;
        EXPECT_EQ(packets[i].dts, 1024u * i) << i;
    }

    MP4Movie movie = nullptr;
    ASSERT_EQ(MP4OpenMovieFile(&movie, file.c_str(), 0), MP4Success);
    MP4Media media = firstMedia(movie);
    EXPECT_EQ(readSamples(media), all);
    uint64_t duration = 0;
    EXPECT_EQ(MP4GetMediaDuration(media, &duration), MP4Success);
    EXPECT_EQ(duration, 9u * 1024);
    MP4DisposeMovie(movie);
}

TEST(MP4MovieAPI, TablesThatPlaceSamplesOutsideTheMediaDataAreBadData)
{
    AudioMovie audio;
    ASSERT_EQ(audio.add(samples(1, 3)), MP4Success);
    Bytes good = serializedMovie(audio.movie);
    size_t stsz = findAtom(good, "stsz"), stco = findAtom(good, "stco");
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
    };
    // 'stsz': header, sample size 0, count, then the sizes; 'stco': header, count, the offsets.
    const Case cases[] = {
        {"a sample size of nearly 4 GiB", stsz + 20, 0xFFFFFF00},
        {"a chunk offset past the media data", stco + 16, 0x7FFFFFF0},
    };
    for (const Case& c : cases) {
        Bytes lying = good;
        set32(lying, c.at, c.value);
        Handle bytes(lying);
        MP4Movie movie = nullptr;
        ASSERT_EQ(MP4NewMovieFromHandle(&movie, bytes, 0), MP4Success) << c.what;
        Handle sample;
        EXPECT_EQ(MP4GetIndMediaSample(firstMedia(movie), 1, sample, nullptr, nullptr, nullptr, nullptr, nullptr,
                      nullptr),
            MP4BadData)
            << c.what;
        EXPECT_EQ(sample.bytes().size(), 0u) << c.what << ": nothing was allocated for it";
        MP4DisposeMovie(movie);
    }
}

TEST(MP4MovieAPI, FragmentsAreNotMergedIntoTablesThatDisagreeOnTheSampleCount)
{
    Bytes written;
    {
        AudioMovie audio;
        Handle data(concat({sampleBytes(1), sampleBytes(6), sampleBytes(11)}));
        ASSERT_EQ(MP4AddMediaSamples(audio.media, data, 3, Handle::values({1024}),
                      Handle::values({uint32_t(sampleBytes(1).size())}), audio.sampleEntry, nullptr, nullptr),
            MP4Success);
        audio.entryGiven = true;
        ASSERT_EQ(MP4SetTrackFragmentDefaults(audio.track, 1024, 0, 1, 0), MP4Success);
        ASSERT_EQ(MP4WriteMovieFragment(audio.movie), MP4Success);
        ASSERT_EQ(audio.add(samples(2, 2)), MP4Success);
        written = serializedMovie(audio.movie);
    }
    size_t stsz = findAtom(written, "stsz");
    ASSERT_EQ(get32(written, stsz + 12), uint32_t(sampleBytes(1).size())) << "one size for every sample";
    // The sizes claim 2^26 samples where the times know 3: merging a run of another size would
    // have to list every one of them.
    set32(written, stsz + 16, 1u << 26);
    Handle bytes(written);
    MP4Movie movie = nullptr;
    EXPECT_EQ(MP4NewMovieFromHandle(&movie, bytes, 0), MP4BadData);
}
