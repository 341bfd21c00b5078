#pragma once
// The cache queue's operation: copies one sound's file into its board's cache
// (CKSoundCachedFileSource::cacheIfNeeded()) on the queue's worker thread.
//
// Threads: the sound is set on any thread and read by the worker; it is held (shared) until
// the operation goes.

#include "clipdeck/RAOperation.h"

#include <memory>
#include <mutex>

class CKSoundCachedFileSource;

class CKCacheFileOperation : public RAOperation {
public:
    explicit CKCacheFileOperation(std::shared_ptr<CKSoundCachedFileSource> fileSource = nullptr);

    void run() override { main(); }
    void main();

    std::shared_ptr<CKSoundCachedFileSource> fileSource() const;
    void setFileSource(std::shared_ptr<CKSoundCachedFileSource> fileSource);

private:
    mutable std::mutex mMutex;
    std::shared_ptr<CKSoundCachedFileSource> mFileSource;
};
