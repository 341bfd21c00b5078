#pragma once
// What a zipper or unzipper (ZEPZipper.h) tells its owner. Every message is optional (the
// defaults do nothing, or include every file). They come on the main thread, except
// zipperShouldIncludeFile (on the thread that called start()) and a zipperDidError of a
// start() that fails (on that same thread, before start() returns).
//
// Every started zipper ends with exactly one of zipperDidFinish, zipperDidCancel and
// zipperDidError, and tells nothing after it; the owner may destroy the zipper from that
// message on.

#include <QUrl>

#include <cstdint>

class ZEPZipper;

class ZEPZipperDelegate {
public:
    virtual ~ZEPZipperDelegate() = default;

    // The queue has begun its first operation.
    virtual void zipperDidBegin(ZEPZipper*) {}
    // Every file is done.
    virtual void zipperDidFinish(ZEPZipper*) {}
    // cancel() has stopped the work.
    virtual void zipperDidCancel(ZEPZipper*) {}
    // start() failed, or a file failed (after its zipperDidErrorProcessingURL); the zipper's
    // error() says why.
    virtual void zipperDidError(ZEPZipper*) {}

    // A file is begun, done, or has failed: the file zipped, or the file unpacked.
    virtual void zipperDidBeginProcessingURL(ZEPZipper*, const QUrl&) {}
    virtual void zipperDidFinishProcessingURL(ZEPZipper*, const QUrl&) {}
    virtual void zipperDidErrorProcessingURL(ZEPZipper*, const QUrl&) {}

    // Asked before each file (and folder) gets its operation: false leaves it out. The
    // delegate may change the compression level of that file.
    virtual bool zipperShouldIncludeFile(ZEPZipper*, const QUrl&, int32_t* compressionLevel)
    {
        (void)compressionLevel;
        return true;
    }
};
