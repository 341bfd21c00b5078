// The grid's drags and drops: a sound dragged to another cell (swap; Alt copies), to another
// board (move; Alt copies) or out of every window of the program (delete); files, folders and
// exported file lists dropped on a cell (import).
#include "app/CKClipdeckView.h"

#include "app/CKClipdeckButtonLayer.h"
#include "app/CKSoundPasteboardItem.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKSoundCachedFileSource.h"
#include "clipdeck/CKSoundImporter.h"
#include "clipdeck/CKSoundPasteboard.h"
#include "clipdeck/CKSoundSource.h"
#include "clipdeck/RAOperationQueue.h"

#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QDirIterator>
#include <QDrag>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>

namespace {

const QString kExportFilenamesType = QStringLiteral("ZEPExportFilenamesPboardType");

// Watches for Escape while a drag runs: an Escape ends a drag without deleting its sound.
class EscapeWatcher : public QObject {
public:
    bool escaped = false;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            escaped = true;
        return QObject::eventFilter(object, event);
    }
};

bool pointIsInProgramWindow(const QPoint& globalPoint)
{
    for (const QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->frameGeometry().contains(globalPoint))
            return true;
    return false;
}

// The files below a path: itself, or every file in a folder and its subfolders; links to
// folders are not followed (a loop of links ends).
QStringList expandPath(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (!info.isDir())
        return {info.absoluteFilePath()};
    QStringList files;
    QDirIterator walk(path, QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (walk.hasNext())
        files << walk.next();
    files.sort();
    return files;
}

bool carriesFiles(const QMimeData& data)
{
    if (data.hasFormat(kExportFilenamesType))
        return true;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile())
            return true;
    return false;
}

bool carriesSound(const QMimeData& data) { return data.hasFormat(CKSoundPasteboardItem::Type); }

CKClipdeckView::DragLoop& dragLoop()
{
    static CKClipdeckView::DragLoop loop;
    return loop;
}

} // namespace

void CKClipdeckView::setDragLoop(DragLoop loop) { dragLoop() = std::move(loop); }


// ---- Dragging a sound out ----

void CKClipdeckView::startSoundDrag(std::size_t index)
{
    CKClipdeckButtonLayer* cell = buttonLayerAtIndex(index);
    const std::shared_ptr<CKSoundSource> sound = cell ? cell->soundSource() : nullptr;
    if (!sound)
        return;
    auto* data = new QMimeData;
    CKSoundPasteboard::setSoundSource(*data, *sound, CKSoundPasteboardItem::Type);
    isImporting_ = false;
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(QPixmap::fromImage(cell->imageOfCell()));
    EscapeWatcher escape;
    qApp->installEventFilter(&escape);
    // The window system's drag loop filters the keyboard itself and eats Escape before any
    // filter installed earlier sees it: once the loop runs, the watcher goes in front again
    // (a filter installed again moves to the front), else an Escape outside our windows
    // would pass for a release there and delete the sound.
    QTimer::singleShot(0, &escape, [&escape] { qApp->installEventFilter(&escape); });
    Qt::DropAction result = Qt::IgnoreAction;
    if (const DragLoop& loop = dragLoop()) {
        result = loop(*drag);
        drag->deleteLater();
    } else {
        result = drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    }
    qApp->removeEventFilter(&escape);
    finishSoundDrag(sound, result, escape.escaped, !pointIsInProgramWindow(QCursor::pos()));
}

void CKClipdeckView::finishSoundDrag(const std::shared_ptr<CKSoundSource>& sound, Qt::DropAction result,
                                     bool escaped, bool releasedOutsideWindows)
{
    flushButtonLayerDragStates();
    // Dropped on nothing, outside every window: the dragged sound (not whatever its cell
    // shows now) leaves its own board.
    if (result == Qt::IgnoreAction && !escaped && !isImporting_ && releasedOutsideWindows && sound &&
        sound->parentClipdeck())
        sound->deleteFromParentClipdeck();
    isImporting_ = false;
    didActuallyClick_ = false;
    internalDragIndex_ = kNotFound;
    internalDragLeftSourceContainer_ = false;
    pressSound_.reset();
}

// ---- Drops ----

void CKClipdeckView::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (event->source() == this && carriesSound(*data)) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
        return;
    }
    if (!carriesSound(*data) && !carriesFiles(*data)) {
        isHidingEmptyNotice_ = false;
        updateEmptyClipdeckNotice();
        event->ignore();
        return;
    }
    isHidingEmptyNotice_ = true;
    updateEmptyClipdeckNotice();
    event->acceptProposedAction();
}

void CKClipdeckView::dragMoveEvent(QDragMoveEvent* event)
{
    const QMimeData* data = event->mimeData();
    const bool ownDrag = event->source() == this;
    const std::size_t index = indexOfCellAtPoint(yUpPoint(event->position()));
    if (index != externalDragSelectionIndex_) {
        flushButtonLayerDragStates();
        externalDragSelectionIndex_ = index;
        if (index != kNotFound && clipdeck_) {
            const std::size_t target = ownDrag || carriesSound(*data) ? index : clipdeck_->nextAvailableCellFromIndex(index);
            if (CKClipdeckButtonLayer* cell = buttonLayerAtIndex(target))
                cell->startPotentialDrag();
        }
    }
    if (index == kNotFound) {
        event->ignore();
        return;
    }
    if (carriesSound(*data))
        event->setDropAction((event->modifiers() & Qt::AltModifier) ? Qt::CopyAction : Qt::MoveAction);
    else
        event->setDropAction(Qt::CopyAction);
    event->accept();
}

void CKClipdeckView::dragLeaveEvent(QDragLeaveEvent* event)
{
    flushButtonLayerDragStates();
    externalDragSelectionIndex_ = kNotFound;
    if (isHidingEmptyNotice_) {
        isHidingEmptyNotice_ = false;
        updateEmptyClipdeckNotice();
    }
    event->accept();
}

void CKClipdeckView::dropEvent(QDropEvent* event)
{
    flushButtonLayerDragStates();
    externalDragSelectionIndex_ = kNotFound;
    isHidingEmptyNotice_ = false;
    const std::size_t index = indexOfCellAtPoint(yUpPoint(event->position()));
    const bool alt = event->modifiers() & Qt::AltModifier;
    bool handled = false;
    if (index != kNotFound) {
        handled = importFilesOnPasteboard(*event->mimeData(), index, alt);
        // A sound drop that was handled counts as taken, so the source does not delete it.
        handled = handled || isImporting_;
    }
    updateEmptyClipdeckNotice();
    if (handled) {
        event->setDropAction(carriesSound(*event->mimeData()) && alt ? Qt::CopyAction : event->dropAction());
        event->accept();
    } else {
        event->ignore();
    }
}

bool CKClipdeckView::importFilesOnPasteboard(const QMimeData& data, std::size_t index, bool optionHeld)
{
    RAOperationQueue& queue = CKSoundCachedFileSource::cacheOperationQueue();
    queue.setSuspended(true);
    auto resume = [&queue] { queue.setSuspended(false); };
    if (!clipdeck_) {
        resume();
        return false;
    }
    if (carriesSound(data)) {
        const std::shared_ptr<CKSoundSource> sound = CKSoundPasteboard::soundSourceForType(data, CKSoundPasteboardItem::Type);
        resume();
        // A reference naming no sound is refused.
        if (!sound || !sound->parentClipdeck())
            return false;
        isImporting_ = true;
        auto* board = dynamic_cast<CKClipdeck*>(sound->parentClipdeck());
        auto* cached = dynamic_cast<CKSoundCachedFileSource*>(sound.get());
        if (board == clipdeck_.get() && !optionHeld) {
            swapCellAtIndex(board->indexOfSound(sound.get()), index);
            return false;
        }
        if (!cached)
            return false;
        Error error;
        const bool copy = optionHeld;
        const bool done = copy ? cached->copyToClipdeck(clipdeck_.get(), index, &error)
                               : cached->moveToClipdeck(clipdeck_.get(), index, &error);
        if (!done) {
            qWarning("%s %s", copy ? "Could not copy!" : "Could not move!", qPrintable(error.description()));
            if (!error.isError())
                error = Error(QStringLiteral("CKClipdeckView"), 1,
                              copy ? tr("The sound could not be copied.") : tr("The sound could not be moved."));
            emit errorToPresent(error);
        }
        return false;
    }

    QStringList candidates, plainFiles;
    int mode = CKSoundImporter::kFileImportMode;
    const QList<QUrl> urls = data.urls();
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            candidates << url.toLocalFile();
    if (candidates.isEmpty() && data.hasFormat(kExportFilenamesType)) {
        mode = CKSoundImporter::kGlassjarStudioImportMode;
        const QStringList names = QString::fromUtf8(data.data(kExportFilenamesType)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& name : names) {
            const bool inPackage = name.split(QLatin1Char('/')).contains(QStringLiteral("gjpl"), Qt::CaseInsensitive) ||
                                   std::any_of(name.split(QLatin1Char('/')).cbegin(), name.split(QLatin1Char('/')).cend(),
                                               [](const QString& part) { return part.endsWith(QStringLiteral(".gjpl")); });
            (inPackage ? candidates : plainFiles) << name.trimmed();
        }
    }
    QStringList expanded, expandedPlain;
    for (const QString& path : std::as_const(candidates))
        expanded << expandPath(path);
    for (const QString& path : std::as_const(plainFiles))
        expandedPlain << expandPath(path);
    if (expanded.isEmpty() && expandedPlain.isEmpty()) {
        resume();
        return false;
    }
    // The queue goes on when the last batch started here has ended.
    auto startBatch = [this](const QStringList& files, std::size_t at, int batchMode) {
        ++runningImports_;
        CKSoundImporter::importFiles(files, at, clipdeck_, batchMode);
    };
    if (!expanded.isEmpty())
        startBatch(expanded, index, mode);
    if (!expandedPlain.isEmpty())
        startBatch(expandedPlain, index, CKSoundImporter::kFileImportMode);
    return true;
}

// ---- Swapping two cells ----

void CKClipdeckView::swapCellAtIndex(std::size_t a, std::size_t b)
{
    CKClipdeckButtonLayer* first = buttonLayerAtIndex(a);
    CKClipdeckButtonLayer* second = buttonLayerAtIndex(b);
    if (a == b || !first || !second || !clipdeck_)
        return;
    disableMouseEvents_ = true;
    swap_ = std::make_unique<Swap>();
    swap_->board = clipdeck_;
    swap_->a = a;
    swap_->b = b;
    swap_->frameA = first->frame();
    swap_->frameB = second->frame();
    swap_->start = TimeSource::currentTime();
    swap_->timer.setAction([this] {
        const double progress = std::min(1.0, (TimeSource::currentTime() - swap_->start) / kSwapDuration);
        // Ease out.
        const double eased = 1.0 - (1.0 - progress) * (1.0 - progress);
        auto between = [eased](const QRectF& from, const QRectF& to) {
            return QRectF(from.topLeft() + (to.topLeft() - from.topLeft()) * eased, from.size());
        };
        const std::shared_ptr<CKClipdeck> board = swap_->board.lock();
        if (board == clipdeck_) {
            if (CKClipdeckButtonLayer* cell = buttonLayerAtIndex(swap_->a))
                cell->setFrame(between(swap_->frameA, swap_->frameB));
            if (CKClipdeckButtonLayer* cell = buttonLayerAtIndex(swap_->b))
                cell->setFrame(between(swap_->frameB, swap_->frameA));
            update();
        }
        if (progress >= 1.0)
            performLogicalSwap(swap_->a, swap_->b);
    });
    swap_->timer.start(1.0 / 60.0, true);
}

void CKClipdeckView::performLogicalSwap(std::size_t a, std::size_t b)
{
    const std::unique_ptr<Swap> done = std::move(swap_);
    // The mouse comes back whatever happened to the board meanwhile.
    disableMouseEvents_ = false;
    const std::shared_ptr<CKClipdeck> board = done->board.lock();
    const std::size_t lo = std::min(a, b), hi = std::max(a, b);
    // The swap completes on its own board, shown or not.
    if (board && hi < board->sounds().size())
        board->swapCellAtIndex(lo, hi);
    if (board == clipdeck_) {
        for (std::size_t index : {lo, hi})
            if (CKClipdeckButtonLayer* cell = buttonLayerAtIndex(index))
                cell->bindSoundSource(board ? board->soundAtIndex(index) : nullptr);
        updateKeyboardCharacters();
    }
    layoutCells();
    update();
}
