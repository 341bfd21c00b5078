// Fuzz target: any bytes, read as a whole movie and as loose atoms, written back, read again;
// the movie's samples and descriptions read through the media interface.
// Built with libFuzzer by build-fuzzer.sh; the corpus replay (CorpusReplayMain.cpp) runs the same
// function over the checked-in corpus in the ordinary build.
#include "isomedia/MP4Descriptors.h"
#include "isomedia/MP4MediaAPI.h"
#include "isomedia/MP4Movies.h"
#include "isomedia/MP4TrackAPI.h"

#include <cstring>
#include <vector>

// Writes the movie into a handle, reads that back and writes it once more: both must succeed
// alike and give the same bytes.
static void roundTrip(MP4Movie movie)
{
    MP4Handle first = nullptr;
    if (MP4NewHandle(0, &first) != MP4Success)
        return;
    if (MP4PutMovieIntoHandle(movie, first) == MP4Success) {
        MP4Movie again = nullptr;
        if (MP4NewMovieFromHandle(&again, first, 0) == MP4Success) {
            MP4Handle second = nullptr;
            if (MP4NewHandle(0, &second) == MP4Success) {
                if (MP4PutMovieIntoHandle(again, second) == MP4Success && second->size != first->size)
                    __builtin_trap();
                MP4DisposeHandle(second);
            }
            MP4DisposeMovie(again);
        }
    }
    MP4DisposeHandle(first);
}

// Tables that lie must give a status, never a read outside a buffer.
static void readThroughTheInterface(MP4Movie movie)
{
    uint32_t trackCount = 0;
    if (MP4GetMovieTrackCount(movie, &trackCount) != MP4Success)
        return;
    MP4Handle sample = nullptr;
    if (MP4NewHandle(0, &sample) != MP4Success)
        return;
    for (uint32_t t = 1; t <= trackCount && t <= 4; t++) {
        MP4Track track = nullptr;
        MP4Media media = nullptr;
        uint32_t sampleCount = 0;
        uint64_t duration = 0;
        int64_t mediaTime = 0;
        if (MP4GetMovieIndTrack(movie, t, &track) != MP4Success || MP4GetTrackMedia(track, &media) != MP4Success)
            continue;
        MP4GetTrackDuration(track, &duration);
        MP4TrackTimeToMediaTime(track, 1000, &mediaTime);
        MP4GetMediaDecoderSpecificInfo(media, 1, sample);
        if (MP4GetMediaSampleCount(media, &sampleCount) != MP4Success)
            continue;
        for (uint32_t n = 1; n <= sampleCount && n <= 64; n++)
            MP4GetIndMediaSample(media, n, sample, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        MP4GetMediaSample(media, sample, nullptr, 1000, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    MP4GetMovieInitialObjectDescriptor(movie, sample);
    MP4DisposeHandle(sample);
}

static void parseLooseAtoms(char* bytes, uint32_t length)
{
    MP4InputStream stream = nullptr;
    if (MP4CreateMemoryInputStream(bytes, length, &stream) != MP4Success)
        return;
    while (stream->available > 0) {
        MP4Atom* atom = nullptr;
        if (MP4ParseAtom(stream, &atom) != MP4Success)
            break;
        if (atom->calculateSize() == MP4Success && atom->size != 0) {
            std::vector<char> out(atom->size);
            atom->serialize(out.data());
        }
        atom->destroy();
    }
    stream->destroy();
}

static void parseDescriptors(char* bytes, uint32_t length)
{
    MP4InputStream stream = nullptr;
    if (MP4CreateMemoryInputStream(bytes, length, &stream) != MP4Success)
        return;
    while (stream->available > 0) {
        MP4Descriptor* descriptor = nullptr;
        if (MP4ParseCommand(stream, &descriptor) != MP4Success)
            break;
        if (descriptor->calculateSize() == MP4Success && descriptor->size != 0) {
            std::vector<char> out(descriptor->size);
            descriptor->serialize(out.data());
        }
        descriptor->destroy();
    }
    stream->destroy();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 24))
        return 0;
    MP4Handle input = nullptr;
    if (MP4NewHandle(uint32_t(size), &input) != MP4Success)
        return 0;
    if (size != 0)
        std::memcpy(input->data, data, size);
    MP4Movie movie = nullptr;
    if (MP4NewMovieFromHandle(&movie, input, 0) == MP4Success) {
        readThroughTheInterface(movie);
        roundTrip(movie);
        MP4DisposeMovie(movie);
    }
    parseLooseAtoms(input->data, input->size);
    parseDescriptors(input->data, input->size);
    MP4DisposeHandle(input);
    return 0;
}
