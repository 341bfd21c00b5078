#include "clipdeck/ZEPZipper.h"

#include "clipdeck/ZEPZipOperation.h"
#include "clipdeck/ZipException.h"
#include "platform/MainThread.h"
#include "platform/OperationQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <deque>
#include <string>

namespace {

// Notices reach the main thread through a queue of their own under a std::mutex, woken by the
// main thread's real-time queue: one order for all of them, and a hand-over that
// ThreadSanitizer can follow (it cannot see the locks inside Qt's event queue).
std::mutex g_noticeMutex;
std::deque<std::function<void()>> g_notices;
std::atomic<bool> g_wakePending{false}; // one wake-up for a burst of notices

void runNotices(void*, intptr_t)
{
    g_wakePending = false;
    for (;;) {
        std::function<void()> notice;
        {
            std::lock_guard lock(g_noticeMutex);
            if (g_notices.empty())
                return;
            notice = std::move(g_notices.front());
            g_notices.pop_front();
        }
        notice();
    }
}

void postToMainThread(std::function<void()> notice)
{
    {
        std::lock_guard lock(g_noticeMutex);
        g_notices.push_back(std::move(notice));
    }
    if (!g_wakePending.exchange(true) && !mainthread::postRealtime(&runNotices, nullptr, 0))
        mainthread::post([] { runNotices(nullptr, 0); });
}

// Every regular file and folder below folder, as paths relative to root, in a walk sorted by
// name (a folder before what it holds). Symbolic links are not followed and, like other
// special files, not listed.
void walk(const QString& root, const QString& relative, QStringList& out)
{
    const QDir folder(relative.isEmpty() ? root : root + "/" + relative);
    const QFileInfoList entries =
        folder.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& entry : entries) {
        if (entry.isSymLink() || !(entry.isFile() || entry.isDir()))
            continue;
        const QString path = relative.isEmpty() ? entry.fileName() : relative + "/" + entry.fileName();
        out.append(path);
        if (entry.isDir())
            walk(root, path, out);
    }
}

} // namespace

ZEPZipper::ZEPZipper(const QUrl& inputURL) : guard_(std::make_shared<NoticeGuard>()), inputURL_(inputURL)
{
    guard_->zipper = this;
}

ZEPZipper::~ZEPZipper() { shutDown(); }

void ZEPZipper::shutDown()
{
    {
        std::lock_guard lock(guard_->mutex);
        guard_->zipper = nullptr;
    }
    // The operations point at this zipper: their thread ends before it goes.
    std::shared_ptr<OperationQueue> queue;
    {
        std::lock_guard lock(mutex_);
        queue = std::move(queue_);
    }
    if (queue) {
        queue->cancelAllOperations();
        queue->waitUntilAllOperationsAreFinished();
    }
    if (claimEnd(State::Cancelled))
        discardUnfinishedOutput();
}

QUrl ZEPZipper::inputURL() const
{
    std::lock_guard lock(mutex_);
    return inputURL_;
}

void ZEPZipper::setInputURL(const QUrl& url)
{
    std::lock_guard lock(mutex_);
    inputURL_ = url;
}

QUrl ZEPZipper::outputURL() const
{
    std::lock_guard lock(mutex_);
    return outputURL_;
}

void ZEPZipper::setOutputURL(const QUrl& url)
{
    std::lock_guard lock(mutex_);
    outputURL_ = url;
}

Error ZEPZipper::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

// ---- Running ----

void ZEPZipper::start()
{
    State expected = State::Ready;
    if (!state_.compare_exchange_strong(expected, State::Running))
        return;
    try {
        getReady();
        resume();
    } catch (const ZipException& exception) {
        if (!claimEnd(State::Failed))
            return;
        endWithError(exception);
        dropQueue();
        endTold_ = true;
        // The last thing start() does: the delegate may let go of the zipper here.
        if (ZEPZipperDelegate* delegate = this->delegate())
            delegate->zipperDidError(this);
    }
}

void ZEPZipper::getReady()
{
    if (outputURL().isEmpty()) {
        const QFileInfo input(inputURL().toLocalFile());
        setOutputURL(QUrl::fromLocalFile(input.dir().filePath(input.completeBaseName() + ".zip")));
    }
    outputExisted_ = QFileInfo::exists(outputURL().toLocalFile());

    auto queue = std::make_shared<OperationQueue>(QStringLiteral("zipper"), true);
    queue->setThreadPriority(threadPriority_);
    {
        std::lock_guard lock(mutex_);
        queue_ = queue;
    }
    queue->addOperationWithBlock([this] { postNotice([](ZEPZipper& zipper) {
        if (ZEPZipperDelegate* delegate = zipper.delegate())
            delegate->zipperDidBegin(&zipper);
    }); });
    loadQueue();
    queue->addOperationWithBlock([this] {
        if (!claimEnd(State::Finished))
            return;
        postNotice(
            [](ZEPZipper& zipper) {
                zipper.dropQueue();
                if (ZEPZipperDelegate* delegate = zipper.delegate())
                    delegate->zipperDidFinish(&zipper);
            },
            true);
    });
    filesRemaining_ = queue->operationCount() - 2;
}

void ZEPZipper::loadQueue()
{
    const QString inputPath = inputURL().toLocalFile();
    if (!QFileInfo::exists(inputPath))
        return;
    QStringList paths;
    walk(inputPath, QString(), paths);
    for (const QString& relativePath : paths) {
        const QFileInfo file(inputPath + "/" + relativePath);
        if (!file.exists())
            continue;
        int32_t level = compressionLevel_;
        if (ZEPZipperDelegate* delegate = this->delegate();
            delegate && !delegate->zipperShouldIncludeFile(this, QUrl::fromLocalFile(file.filePath()), &level))
            continue;
        if (file.isDir())
            continue;
        addBytesRemaining(uint64_t(file.size()));
        addOperation(std::make_shared<ZEPZipOperation>(inputURL(), relativePath, outputURL(), processingBytesSize_,
                                                       this, level));
    }
}

void ZEPZipper::addOperation(std::shared_ptr<Operation> operation)
{
    if (auto queue = currentQueue())
        queue->addOperation(std::move(operation));
}

void ZEPZipper::pause()
{
    if (auto queue = currentQueue())
        queue->setSuspended(true);
}

void ZEPZipper::resume()
{
    if (auto queue = currentQueue())
        queue->setSuspended(false);
}

void ZEPZipper::cancel()
{
    {
        // An owner waiting in waitUntilComplete() goes on once the work has stopped here.
        struct Running {
            ZEPZipper& zipper;
            explicit Running(ZEPZipper& z) : zipper(z)
            {
                std::lock_guard lock(zipper.mutex_);
                ++zipper.cancelsRunning_;
            }
            ~Running()
            {
                std::lock_guard lock(zipper.mutex_);
                --zipper.cancelsRunning_;
                zipper.cancelsEnded_.notify_all();
            }
        } running(*this);

        const std::shared_ptr<OperationQueue> queue = currentQueue();
        if (!queue)
            return;
        const bool ends = claimEnd(State::Cancelled);
        queue->cancelAllOperations();
        queue->waitUntilAllOperationsAreFinished();
        dropQueue();
        if (!ends)
            return; // finished or failed first: that end is told
        discardUnfinishedOutput();
    }
    // Told last: the delegate may let go of the zipper here.
    mainthread::postAndWait([this] {
        endTold_ = true;
        if (ZEPZipperDelegate* delegate = this->delegate())
            delegate->zipperDidCancel(this);
    });
}

void ZEPZipper::waitUntilComplete()
{
    if (const std::shared_ptr<OperationQueue> queue = currentQueue())
        queue->waitUntilAllOperationsAreFinished();
    std::unique_lock lock(mutex_);
    cancelsEnded_.wait(lock, [this] { return cancelsRunning_ == 0; });
}

float ZEPZipper::progress() const
{
    const double processed = double(bytesProcessed_.load());
    const double total = processed + double(bytesRemaining_.load());
    return total > 0 ? float(processed / total) : 0.0f;
}

// ---- Counting and notices (queue thread) ----

void ZEPZipper::incrementBytesProcessed(uint64_t count)
{
    bytesProcessed_ += count;
    removeBytesRemaining(count);
}

void ZEPZipper::addBytesRemaining(uint64_t count)
{
    // Sizes read from an archive may be anything: saturate rather than wrap.
    const uint64_t remaining = bytesRemaining_.load();
    bytesRemaining_ = count > UINT64_MAX - remaining ? UINT64_MAX : remaining + count;
}

void ZEPZipper::removeBytesRemaining(uint64_t count)
{
    // A file that grew since it was counted must not wrap the count around.
    const uint64_t remaining = bytesRemaining_.load();
    bytesRemaining_ = remaining > count ? remaining - count : 0;
}

void ZEPZipper::incrementFilesProcessed()
{
    ++filesProcessed_;
    const uint64_t remaining = filesRemaining_.load();
    filesRemaining_ = remaining > 0 ? remaining - 1 : 0;
}

// Notices carry the file's path as a plain string: the queue's thread shares no Qt data with
// the main thread, which makes the URL the delegate gets.
namespace {

std::string pathOf(const QUrl& url) { return url.toLocalFile().toStdString(); }
QUrl urlOf(const std::string& path) { return QUrl::fromLocalFile(QString::fromStdString(path)); }

} // namespace

void ZEPZipper::notifyProcessingDidBegin(const QUrl& url)
{
    postNotice([path = pathOf(url)](ZEPZipper& zipper) {
        if (ZEPZipperDelegate* delegate = zipper.delegate())
            delegate->zipperDidBeginProcessingURL(&zipper, urlOf(path));
    });
}

void ZEPZipper::notifyProcessingDidEnd(const QUrl& url)
{
    postNotice([path = pathOf(url)](ZEPZipper& zipper) {
        if (ZEPZipperDelegate* delegate = zipper.delegate())
            delegate->zipperDidFinishProcessingURL(&zipper, urlOf(path));
    });
}

void ZEPZipper::operationDidFail(const QUrl& url, const ZipException& exception)
{
    if (!claimEnd(State::Failed))
        return; // cancelled meanwhile: the cancel is the end
    endWithError(exception);
    // No file after this one: later operations would append to an archive that has failed.
    if (auto queue = currentQueue())
        queue->cancelAllOperations();
    discardUnfinishedOutput();
    postNotice(
        [path = pathOf(url)](ZEPZipper& zipper) {
            zipper.dropQueue();
            if (ZEPZipperDelegate* delegate = zipper.delegate())
                delegate->zipperDidErrorProcessingURL(&zipper, urlOf(path));
            if (ZEPZipperDelegate* delegate = zipper.delegate())
                delegate->zipperDidError(&zipper);
        },
        true);
}

void ZEPZipper::discardUnfinishedOutput()
{
    if (!outputExisted_)
        QFile::remove(outputURL().toLocalFile());
}

// ---- Internals ----

bool ZEPZipper::claimEnd(State end)
{
    State expected = State::Running;
    return state_.compare_exchange_strong(expected, end);
}

void ZEPZipper::endWithError(const ZipException& exception)
{
    // A copy of its own: the exception's text goes with the queue's thread.
    const QString reason = exception.reason();
    std::lock_guard lock(mutex_);
    error_ = Error(ErrorDomain, exception.error(), QString(reason.constData(), reason.size()));
}

std::shared_ptr<OperationQueue> ZEPZipper::currentQueue() const
{
    std::lock_guard lock(mutex_);
    return queue_;
}

void ZEPZipper::dropQueue()
{
    std::shared_ptr<OperationQueue> queue;
    {
        std::lock_guard lock(mutex_);
        queue = std::move(queue_);
    }
}

void ZEPZipper::postNotice(std::function<void(ZEPZipper&)> notice, bool isEnd)
{
    postToMainThread([guard = guard_, notice = std::move(notice), isEnd] {
        std::lock_guard lock(guard->mutex);
        ZEPZipper* zipper = guard->zipper;
        if (!zipper || zipper->endTold_)
            return;
        if (isEnd)
            zipper->markEndTold();
        notice(*zipper);
    });
}
