// Opening, serialising, writing and disposing of whole movies.
#include "isomedia/MP4Movies.h"

#include "isomedia/MP4DataHandler.h"
#include "isomedia/MP4FileTypeAtoms.h"
#include "isomedia/MP4FragmentAtoms.h"
#include "isomedia/MP4MovieAtoms.h"
#include "isomedia/MP4SampleEntryAtoms.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

MP4MovieAtom* MP4GetMovieAtom(MP4Movie movie)
{
    if (movie == nullptr)
        return nullptr;
    if (movie->true_moov != nullptr)
        return movie->true_moov;
    return dynamic_cast<MP4MovieAtom*>(movie->moovAtomPtr);
}

MP4Err MP4DisposeMovie(MP4Movie movie)
{
    if (movie == nullptr)
        return MP4BadParameter;
    if (movie->inputStream != nullptr)
        movie->inputStream->destroy();
    if (movie->fileMappingObject != nullptr) {
        movie->fileMappingObject->close();
        movie->fileMappingObject->destroy();
    }
    if (movie->inMemoryDataHandler != nullptr)
        delete movie->inMemoryDataHandler;
    if (movie->moovAtomPtr != nullptr)
        movie->moovAtomPtr->destroy();
    if (movie->true_moov != nullptr && movie->true_moov != movie->moovAtomPtr)
        movie->true_moov->destroy();
    for (MP4Atom* atom : {static_cast<MP4Atom*>(movie->mdat), static_cast<MP4Atom*>(movie->jp2h),
             static_cast<MP4Atom*>(movie->ftyp), static_cast<MP4Atom*>(movie->sgnt)}) {
        if (atom != nullptr)
            atom->destroy();
    }
    for (MP4LinkedList list : {movie->mdatList, movie->movieFragments}) {
        if (list == nullptr)
            continue;
        for (void* item : *list)
            static_cast<MP4Atom*>(item)->destroy();
        MP4DeleteLinkedList(list);
    }
    if (movie->prepend_handle != nullptr)
        MP4DisposeHandle(movie->prepend_handle);
    delete movie;
    return MP4Success;
}

static MP4Err appendTo(MP4LinkedList& list, MP4Atom* atom)
{
    if (list == nullptr)
        MP4_TRY(MP4MakeLinkedList(&list));
    return MP4AddListEntry(atom, list);
}

// Keeps or drops one top-level atom; on failure the atom is not kept (the caller frees it).
static MP4Err takeTopLevelAtom(MP4Movie movie, MP4Atom* atom, uint32_t flags)
{
    switch (atom->type) {
    case MP4FourCC("ftyp"): return MP4KeepOnce(movie->ftyp, atom);
    case MP4FourCC("jP  "): return MP4KeepOnce(movie->sgnt, atom);
    case MP4FourCC("jp2h"): return MP4KeepOnce(movie->jp2h, atom);
    case MP4FourCC("mdat"): {
        auto* mdat = static_cast<MP4MediaDataAtom*>(atom);
        if ((flags & kMP4OpenDropMediaData) || mdat->dataSize == 0) {
            atom->destroy();
            return MP4Success;
        }
        if (movie->mdat == nullptr) {
            movie->mdat = mdat;
            return MP4Success;
        }
        return appendTo(movie->mdatList, atom);
    }
    case MP4FourCC("moof"): return appendTo(movie->movieFragments, atom);
    case MP4FourCC("moov"): {
        if (movie->moovAtomPtr != nullptr)
            return MP4BadData;
        MP4_TRY(static_cast<MP4MovieAtom*>(atom)->setupTracks(movie));
        movie->moovAtomPtr = atom;
        return MP4Success;
    }
    default:
        // 'free', 'skip' and anything else at the top level is not part of the movie.
        atom->destroy();
        return MP4Success;
    }
}

static MP4Err mergeFragments(MP4Movie movie, MP4MovieAtom* moov)
{
    if (movie->movieFragments == nullptr)
        return MP4Success;
    uint32_t sequence = 1;
    MP4Err err = MP4Success;
    for (void* item : *movie->movieFragments) {
        auto* moof = static_cast<MP4MovieFragmentAtom*>(item);
        if (moov == nullptr || moof->mfhd == nullptr || moof->mfhd->sequence_number != sequence++) {
            err = MP4BadData;
            break;
        }
        err = moof->mergeFragment(moov);
        if (err != MP4Success)
            break;
    }
    for (void* item : *movie->movieFragments)
        static_cast<MP4Atom*>(item)->destroy();
    MP4DeleteLinkedList(movie->movieFragments);
    movie->movieFragments = nullptr;
    MP4_TRY(err);
    return moov->calculateDuration();
}

// Chunk offsets count from the start of the single 'mdat' data in memory; further 'mdat's are
// appended to the first in file order.
static MP4Err gatherMediaData(MP4Movie movie, MP4MovieAtom* moov)
{
    MP4MediaDataAtom* first = movie->mdat;
    if (first != nullptr && moov != nullptr) {
        moov->mdatArrived(first);
        moov->mdatMoved(first->dataOffset, first->dataOffset + first->dataSize, -int64_t(first->dataOffset));
    }
    if (movie->mdatList == nullptr)
        return MP4Success;
    MP4Err err = MP4Success;
    for (void* item : *movie->mdatList) {
        auto* next = static_cast<MP4MediaDataAtom*>(item);
        if (err == MP4Success && moov != nullptr) {
            moov->mdatMoved(next->dataOffset, next->dataOffset + next->dataSize,
                int64_t(first->dataSize) - int64_t(next->dataOffset));
        }
        if (err == MP4Success)
            err = first->addMdat(next);
        next->destroy();
    }
    MP4DeleteLinkedList(movie->mdatList);
    movie->mdatList = nullptr;
    return err;
}

static MP4Err readMovie(MP4Movie movie, uint32_t flags)
{
    MP4InputStream stream = movie->inputStream;
    stream->debugging = flags & kMP4OpenTrace;
    while (stream->available > 0) {
        MP4Atom* atom = nullptr;
        MP4Err err = MP4ParseAtom(stream, &atom);
        if (err == MP4EndOfInput)
            break;
        MP4_TRY(err);
        err = takeTopLevelAtom(movie, atom, flags);
        if (err != MP4Success) {
            atom->destroy();
            return err;
        }
    }
    auto* moov = dynamic_cast<MP4MovieAtom*>(movie->moovAtomPtr);
    MP4_TRY(mergeFragments(movie, moov));
    return gatherMediaData(movie, moov);
}

static MP4Err openOver(MP4Movie* outMovie, MP4FileMappingObject mapping, uint32_t flags)
{
    auto* movie = new (std::nothrow) MP4MovieRecord;
    if (movie == nullptr) {
        mapping->destroy();
        return MP4OutOfMemory;
    }
    movie->fileMappingObject = mapping;
    MP4Err err = MP4CreateFileMappingInputStream(mapping, &movie->inputStream);
    if (err == MP4Success)
        err = readMovie(movie, flags);
    if (err != MP4Success) {
        MP4DisposeMovie(movie);
        return err;
    }
    *outMovie = movie;
    return MP4Success;
}

MP4Err MP4OpenMovieFile(MP4Movie* outMovie, const char* path, uint32_t flags)
{
    if (outMovie == nullptr || path == nullptr)
        return MP4BadParameter;
    MP4FileMappingObject mapping = nullptr;
    MP4_TRY(MP4CreateFileMappingObjectForURL(path, &mapping));
    return openOver(outMovie, mapping, flags);
}

MP4Err MP4NewMovieFromHandle(MP4Movie* outMovie, MP4Handle handle, uint32_t flags)
{
    uint32_t length = 0;
    if (outMovie == nullptr)
        return MP4BadParameter;
    MP4_TRY(MP4GetHandleSize(handle, &length));
    MP4FileMappingObject mapping = nullptr;
    MP4_TRY(MP4CreateMemoryFileMappingObject(handle->data, length, &mapping));
    return openOver(outMovie, mapping, flags);
}

static MP4Err addSize(uint64_t& total, MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4Success;
    MP4_TRY(atom->calculateSize());
    total += atom->size;
    return MP4Success;
}

static MP4Err writeAt(char* buffer, uint64_t& at, MP4Atom* atom)
{
    if (atom == nullptr)
        return MP4Success;
    MP4_TRY(atom->serialize(buffer + at));
    at += atom->bytesWritten;
    return MP4Success;
}

MP4Err MP4PutMovieIntoHandle(MP4Movie movie, MP4Handle handle)
{
    if (movie == nullptr || movie->moovAtomPtr == nullptr)
        return MP4BadParameter;
    MP4Atom* top = movie->moovAtomPtr;
    auto* moov = dynamic_cast<MP4MovieAtom*>(top);
    auto* moof = dynamic_cast<MP4MovieFragmentAtom*>(top);
    if (moov != nullptr) {
        if (movie->movieKind == 1 && moov->iods != nullptr) {
            MP4Descriptor* descriptor = moov->iods->descriptor;
            if (descriptor == nullptr || (descriptor->tag != 16 && descriptor->tag != 17))
                return MP4MissingComponent;
        }
        MP4_TRY(moov->calculateDuration());
    }
    const uint64_t preceding = movie->prepend_handle != nullptr ? movie->prepend_handle->size : 0;
    uint64_t prefix = preceding;
    if (moov != nullptr) {
        MP4_TRY(addSize(prefix, movie->sgnt));
        MP4_TRY(addSize(prefix, movie->ftyp));
        MP4_TRY(addSize(prefix, movie->jp2h));
    }
    MP4_TRY(top->calculateSize());
    const uint64_t dataStart = prefix + top->size + 8;
    uint64_t mdatSize = 0;
    MP4MediaDataAtom* mdat = movie->mdat;
    auto moveOffsets = [&](uint64_t start, uint64_t end, int64_t delta) -> MP4Err {
        if (moov != nullptr)
            return moov->mdatMoved(start, end, delta);
        if (moof != nullptr)
            return moof->mdatMoved(start, end, delta);
        return MP4Success;
    };
    if (mdat != nullptr) {
        MP4_TRY(mdat->calculateSize());
        mdatSize = mdat->size;
        MP4_TRY(moveOffsets(0, mdat->dataSize, int64_t(dataStart)));
    }
    const uint64_t total = prefix + top->size + mdatSize;
    MP4Err err = total > 0xFFFFFFF0u ? MP4InputOutputError : MP4Success;
    MP4Handle target = handle;
    if (err == MP4Success) {
        if (target != nullptr) {
            err = MP4SetHandleSize(target, uint32_t(total));
            if (err == MP4Success && movie->prepend_handle != nullptr && movie->prepend_handle->size != 0)
                std::memcpy(target->data, movie->prepend_handle->data, movie->prepend_handle->size);
        } else if (movie->prepend_handle == nullptr) {
            err = MP4NewHandle(uint32_t(total), &movie->prepend_handle);
            target = movie->prepend_handle;
        } else {
            err = MP4SetHandleSize(movie->prepend_handle, uint32_t(total));
            target = movie->prepend_handle;
        }
    }
    // The bytes already produced stay in front; the movie follows them.
    uint64_t at = preceding;
    if (err == MP4Success && moov != nullptr) {
        err = writeAt(target->data, at, movie->sgnt);
        if (err == MP4Success)
            err = writeAt(target->data, at, movie->ftyp);
        if (err == MP4Success)
            err = writeAt(target->data, at, movie->jp2h);
    }
    if (err == MP4Success)
        err = writeAt(target->data, at, top);
    if (mdat != nullptr) {
        // Back to the in-memory form: the tree is the same after a serialisation as before.
        MP4Err moved = moveOffsets(dataStart, dataStart + mdat->dataSize, -int64_t(dataStart));
        if (err == MP4Success)
            err = moved;
        if (err == MP4Success)
            err = writeAt(target->data, at, mdat);
    }
    // A failed append leaves the bytes produced before it as they were.
    if (err != MP4Success && handle == nullptr && movie->prepend_handle != nullptr)
        MP4SetHandleSize(movie->prepend_handle, uint32_t(preceding));
    return err;
}

// Writes the whole of bytes to a new file beside path, then renames it over path.
static MP4Err replaceFile(const char* path, const char* bytes, uint32_t count)
{
    std::string temporary;
    try {
        temporary = std::string(path) + ".XXXXXX";
    } catch (const std::bad_alloc&) {
        return MP4OutOfMemory;
    }
    int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return MP4InputOutputError;
    // A new file gets the permissions an ordinary create would give it; a replaced one keeps its own.
    struct stat existing {};
    mode_t mode = 0;
    if (::stat(path, &existing) == 0) {
        mode = existing.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0;
    uint32_t written = 0;
    while (ok && written < count) {
        ssize_t n = ::write(fd, bytes + written, count - written);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            written += uint32_t(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), path) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return MP4InputOutputError;
    }
    return MP4Success;
}

MP4Err MP4WriteMovieToFile(MP4Movie movie, const char* path)
{
    if (movie == nullptr || path == nullptr)
        return MP4BadParameter;
    MP4Handle bytes = nullptr;
    MP4_TRY(MP4NewHandle(0, &bytes));
    // The whole movie is serialised before anything is written: a failure touches no file.
    MP4Err err = MP4PutMovieIntoHandle(movie, bytes);
    if (err == MP4Success)
        err = replaceFile(path, bytes->data, bytes->size);
    MP4DisposeHandle(bytes);
    return err;
}
