#pragma once
// Packs every file below one folder into a zip archive; its subclass ZEPUnzipper unpacks an
// archive into a folder. The work runs on a private queue, one operation per file
// (ZEPZipOperation, ZEPUnzipOperation), with counts of files and bytes for a progress
// fraction; a delegate (ZEPZipperDelegate.h) hears the beginning, each file, and the end.
//
// Use: make it on its input, give it an output and a delegate, start(). A zipper is used
// once. Keep it until its delegate has heard the end: exactly one of zipperDidFinish,
// zipperDidCancel and zipperDidError ends every start, and nothing is told after it. A
// thread that owns a zipper may instead wait for the end in waitUntilComplete() and read
// the outcome (isFinished(), isCancelled(), error()).
//
// The archive: each entry is named by the input folder's name, a slash and the file's path
// below the folder; folders, symbolic links and other special files get no entries; files
// are written at compressionLevel (0 stores) in the order of a walk of the folder sorted by
// name; a file of 4 GiB or more gets zip64 fields. The archive is opened and closed once per
// file, in append mode once it exists.
//
// Failures: a file that cannot be read or written ends the work there. Nothing is appended
// after it, the archive is closed, and an archive this zipper made is removed (so is one it
// made when it is cancelled): a failed zip leaves no archive that looks whole. The
// delegate hears zipperDidErrorProcessingURL for the file and then zipperDidError, the last
// notice; error() tells what failed.
//
// Threads: start(), pause(), resume(), cancel() and destruction come from the owner's thread
// (the main thread, or a thread of the owner's that waits in waitUntilComplete(); cancel()
// may then also come from the main thread). cancel() blocks until the running file has
// noticed it (at its next chunk). The files are done on the queue's thread, which also calls
// incrementBytesProcessed() and incrementFilesProcessed(). progress(), the counters and the
// outcome may be read on any thread.

#include "clipdeck/ZEPZipperDelegate.h"
#include "platform/Error.h"

#include <QUrl>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class Operation;
class OperationQueue;
class ZipException;

class ZEPZipper {
public:
    // The error domain of a failed zip or unzip; the code is minizip's result code (0 when
    // the failure is not minizip's).
    static inline const QString ErrorDomain = QStringLiteral("ZEPZipper");

    // A zipper of the folder at inputURL (for ZEPUnzipper: of the archive there).
    explicit ZEPZipper(const QUrl& inputURL);
    // Stops the work as a cancel does, without telling the delegate.
    virtual ~ZEPZipper();
    ZEPZipper(const ZEPZipper&) = delete;
    ZEPZipper& operator=(const ZEPZipper&) = delete;

    QUrl inputURL() const;
    void setInputURL(const QUrl& url);
    // The archive to write (ZEPUnzipper: the folder to unpack into). When none is given, the
    // input's path without its extension plus ".zip".
    QUrl outputURL() const;
    void setOutputURL(const QUrl& url);
    ZEPZipperDelegate* delegate() const { return delegate_.load(); }
    void setDelegate(ZEPZipperDelegate* delegate) { delegate_.store(delegate); }

    // 0 (the default) stores; -1 or 1..9 deflate. The delegate may change it per file.
    int32_t compressionLevel() const { return compressionLevel_; }
    void setCompressionLevel(int32_t level) { compressionLevel_ = level; }
    // The queue thread's priority, 0.0..1.0 (0.5, the default, is normal).
    float threadPriority() const { return threadPriority_; }
    void setThreadPriority(float priority) { threadPriority_ = priority; }
    // Bytes read and written per chunk (4096 by default); cancellation is noticed between
    // chunks.
    uint32_t processingBytesSize() const { return processingBytesSize_; }
    void setProcessingBytesSize(uint32_t size) { processingBytesSize_ = size; }

    uint64_t filesRemaining() const { return filesRemaining_.load(); }
    uint64_t filesProcessed() const { return filesProcessed_.load(); }
    uint64_t bytesRemaining() const { return bytesRemaining_.load(); }
    uint64_t bytesProcessed() const { return bytesProcessed_.load(); }

    // Prepares the queue and lets it run. A failure to prepare (an archive that cannot be
    // opened, a name that would leave the folder) ends the zipper at once: zipperDidError
    // on this thread, before start() returns.
    void start();
    void pause();
    void resume();
    // Stops the work: drops the files not begun, waits until the running one has stopped,
    // removes what cannot be finished (ZEPZipper: the archive it made), then the delegate
    // hears zipperDidCancel on the main thread before cancel() returns. Nothing when the work
    // has ended already or never began.
    void cancel();
    // Blocks until the work has ended: the queue has nothing left to do and a cancel() on
    // another thread has returned (at once when it has ended or never began). Not on the
    // main thread while the main thread is needed to go on (a cancel from another thread).
    // An owner that lets another thread cancel() shares the zipper with that thread
    // (std::shared_ptr), so that the zipper lives until that call returns.
    void waitUntilComplete();

    // bytesProcessed / (bytesProcessed + bytesRemaining); 0 when both are 0.
    float progress() const;

    // The outcome.
    bool isFinished() const { return state_.load() == State::Finished; }
    bool isCancelled() const { return state_.load() == State::Cancelled; }
    // What ended the work with zipperDidError; no error otherwise.
    Error error() const;

    // ---- Called by the operations on the queue's thread ----

    void incrementBytesProcessed(uint64_t count);
    void incrementFilesProcessed();
    void notifyProcessingDidBegin(const QUrl& url);
    void notifyProcessingDidEnd(const QUrl& url);
    // The operation's file failed: ends the work (see Failures above).
    void operationDidFail(const QUrl& url, const ZipException& exception);

protected:
    // Sets the output when missing, makes the suspended queue and fills it: the beginning,
    // the files (loadQueue()), the end. Throws ZipException.
    virtual void getReady();
    // Queues an operation per file.
    virtual void loadQueue();
    // Removes what a failed or cancelled run leaves unfinished (ZEPZipper: the archive, when
    // this zipper made it). On the thread that ends the work.
    virtual void discardUnfinishedOutput();

    // Stops telling the delegate, stops the queue (waiting for the running operation) and
    // discards unfinished output as a cancel does. A subclass calls it first in its
    // destructor, so no operation runs while it goes.
    void shutDown();

    void addOperation(std::shared_ptr<Operation> operation);
    void addBytesRemaining(uint64_t count);
    void removeBytesRemaining(uint64_t count);

private:
    enum class State { Ready, Running, Finished, Cancelled, Failed };

    // Moves from Running to end; false when the work has ended already.
    bool claimEnd(State end);
    void endWithError(const ZipException& exception);
    std::shared_ptr<OperationQueue> currentQueue() const;
    // Lets go of the queue (its thread ends once the last holder lets go).
    void dropQueue();
    // Queues notice for the main thread; it runs unless the zipper is gone or its end has
    // been told already. An end notice marks the end told.
    void postNotice(std::function<void(ZEPZipper&)> notice, bool isEnd = false);
    void markEndTold() { endTold_ = true; }

    // Posted notices hold this, not the zipper: the zipper clears it when it goes.
    struct NoticeGuard {
        std::recursive_mutex mutex;
        ZEPZipper* zipper = nullptr;
    };
    std::shared_ptr<NoticeGuard> guard_;

    mutable std::mutex mutex_; // the URLs, the queue and the error
    QUrl inputURL_;
    QUrl outputURL_;
    std::shared_ptr<OperationQueue> queue_;
    Error error_;

    std::atomic<ZEPZipperDelegate*> delegate_{nullptr};
    int32_t compressionLevel_ = 0;
    float threadPriority_ = 0.5f;
    uint32_t processingBytesSize_ = 4096;
    std::atomic<uint64_t> filesRemaining_{0};
    std::atomic<uint64_t> filesProcessed_{0};
    std::atomic<uint64_t> bytesRemaining_{0};
    std::atomic<uint64_t> bytesProcessed_{0};
    std::atomic<State> state_{State::Ready};
    std::condition_variable cancelsEnded_;
    int cancelsRunning_ = 0; // under mutex_
    bool endTold_ = false;       // main thread
    bool outputExisted_ = false; // whether the archive was there before this zipper began
};
