#include "app/CKClipdeckView.h"

#include "app/CKClipdeckButtonLayer.h"
#include "editor/CKEditorController.h"
#include "app/ClipdeckApplication.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKKeyEventDispatch.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundCachedFileSource.h"
#include "clipdeck/CKSoundImporter.h"
#include "clipdeck/CKSoundSource.h"
#include "clipdeck/RAOperationQueue.h"

#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/keys/KeyCodeTranslation.h"
#include "platform/keys/ModifierFlags.h"
#include "platform/ui/ZEPYUpGeometry.h"

#include <QFileDialog>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace {

const QString kPauseSoundKey = QStringLiteral("pauseSoundKey");

bool triggersLocked() { return CKClipdeckButtonLayer::triggersLocked(); }
bool isImporting(const CKSoundSource* sound) { return CKClipdeckButtonLayer::soundIsImporting(sound); }
bool isPlayingAnywhere(const CKSoundSource* sound) { return CKClipdeckButtonLayer::soundIsPlayingAnywhere(sound); }

bool editorShowing() { return CKEditorController::sharedEditorController()->isShowing(); }

} // namespace

CKClipdeckView::CKClipdeckView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("CKClipdeckView"));
    // The window keeps the keyboard: no control of the board takes focus.
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    showTimer_.setAction([this] {
        if (std::shared_ptr<CKClipdeck> pending = pendingClipdeck_.lock())
            setClipdeck(pending);
    });
    NotificationCenter::defaultCenter().addObserver(this, DidShowNotification, nullptr,
                                                    [this](const Notification& note) {
                                                        auto* board = static_cast<CKClipdeck*>(const_cast<void*>(note.object));
                                                        if (board)
                                                            clipdeckDidShow(board->shared_from_this());
                                                    });
    NotificationCenter::defaultCenter().addObserver(this, CKSoundImporter::DidFinishNotification, nullptr,
                                                    [this](const Notification&) {
                                                        if (runningImports_ > 0 && --runningImports_ == 0)
                                                            CKSoundCachedFileSource::cacheOperationQueue().setSuspended(false);
                                                    });
}

CKClipdeckView::~CKClipdeckView()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    // The cells go before the board: each lets go of its sound's key and cell reference.
    cells_.clear();
}

// ---- The board shown ----

void CKClipdeckView::setClipdeck(const std::shared_ptr<CKClipdeck>& clipdeck)
{
    showTimer_.stop();
    stopObservingClipdeck();
    clipdeck_ = clipdeck;
    observeClipdeck();
    if (clipdeck_)
        setNumberOfRows(clipdeck_->numberOfRows(), clipdeck_->numberOfColumns());
    else
        setNumberOfRows(0, 0);
    updateEmptyClipdeckNotice();
}

void CKClipdeckView::clipdeckDidShow(const std::shared_ptr<CKClipdeck>& clipdeck)
{
    pendingClipdeck_ = clipdeck;
    showTimer_.start(0.1);
}

void CKClipdeckView::observeClipdeck()
{
    if (!clipdeck_)
        return;
    auto handler = [this](const Notification& note) {
        const QString& name = note.name;
        const QVariantMap& info = note.userInfo;
        const std::size_t index = std::size_t(info.value(QStringLiteral("index")).toULongLong());
        std::shared_ptr<CKSoundSource> sound;
        if (name == CKClipdeck::SoundAddedNotification)
            sound = info.value(QStringLiteral("sound")).value<std::shared_ptr<CKSoundSource>>();
        clipdeckChangedSound(index, sound);
    };
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.addObserver(this, CKClipdeck::SoundAddedNotification, clipdeck_.get(), handler);
    center.addObserver(this, CKClipdeck::SoundRemovedNotification, clipdeck_.get(), handler);
}

void CKClipdeckView::stopObservingClipdeck()
{
    if (!clipdeck_)
        return;
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.removeObserver(this, CKClipdeck::SoundAddedNotification, clipdeck_.get());
    center.removeObserver(this, CKClipdeck::SoundRemovedNotification, clipdeck_.get());
}

void CKClipdeckView::clipdeckChangedSound(std::size_t index, const std::shared_ptr<CKSoundSource>& sound)
{
    if (CKClipdeckButtonLayer* cell = buttonLayerAtIndex(index))
        cell->bindSoundSource(sound);
    isHidingEmptyNotice_ = false;
    updateEmptyClipdeckNotice();
}

void CKClipdeckView::setNumberOfRows(std::size_t rows, std::size_t columns)
{
    layoutManager_.setNumberOfRows(uint32_t(rows));
    layoutManager_.setNumberOfColumns(uint32_t(columns));
    const std::size_t count = rows * columns;
    // A smaller grid: the extra cells go, their sounds unbound (no stale cell stays).
    while (cells_.size() > count)
        cells_.pop_back();
    for (std::size_t index = 0; index < count; ++index) {
        if (index >= cells_.size())
            cells_.push_back(std::make_unique<CKClipdeckButtonLayer>(index, columns, this));
        CKClipdeckButtonLayer* cell = cells_[index].get();
        std::shared_ptr<CKSoundSource> sound = clipdeck_ ? clipdeck_->soundAtIndex(index) : nullptr;
        cell->bindSoundSource(sound);
        if (sound && !sound->isPlaying())
            cell->soundDidStop(sound.get());
    }
    updateKeyboardCharacters();
    layoutCells();
    update();
}

CKClipdeckButtonLayer* CKClipdeckView::buttonLayerAtIndex(std::size_t index) const
{
    return index < cells_.size() ? cells_[index].get() : nullptr;
}

std::size_t CKClipdeckView::indexOfButtonLayer(const CKClipdeckButtonLayer* cell) const
{
    for (std::size_t index = 0; index < cells_.size(); ++index)
        if (cells_[index].get() == cell)
            return index;
    return kNotFound;
}

void CKClipdeckView::updateKeyboardCharacters()
{
    const auto& table = CKKeyEventDispatch::kGridKeyCodes;
    for (std::size_t index = 0; index < cells_.size(); ++index) {
        CKClipdeckButtonLayer* cell = cells_[index].get();
        if (index >= table.size()) {
            // Past the key table: no key.
            cell->keyLayer()->clearKey();
            if (const std::shared_ptr<CKSoundSource> sound = cell->soundSource())
                sound->removeTriggers();
            continue;
        }
        const quint16 code = table[index];
        const QString caption = keys::stringWithKeyCode(code).toUpper();
        cell->setKeyCharacter(caption, code);
        if (const std::shared_ptr<CKSoundSource> sound = cell->soundSource())
            sound->setTriggerKey(caption, code);
    }
    update();
}

// ---- Geometry ----

void CKClipdeckView::layoutCells()
{
    const QList<QRectF> frames = layoutManager_.layoutCellsInBounds(QRectF(0, 0, width(), height()), cells_.size());
    for (qsizetype index = 0; index < frames.size(); ++index)
        cells_[std::size_t(index)]->setFrame(frames[index]);
}

void CKClipdeckView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutCells();
}

std::size_t CKClipdeckView::indexOfCellAtPoint(const QPointF& point) const
{
    const std::size_t rows = numberOfRows(), columns = numberOfColumns();
    if (rows == 0 || columns == 0 || width() <= 0 || height() <= 0)
        return kNotFound;
    const double column = std::floor((point.x() - 5) / (double(width()) / double(columns)));
    const double r = std::floor((point.y() - 5) / (double(height()) / double(rows)));
    const double row = double(rows) - 1 - r;
    if (row < 0 || row >= double(rows) || column < 0 || column >= double(columns))
        return kNotFound;
    const std::size_t index = columns * std::size_t(row) + std::size_t(column);
    return index < cells_.size() ? index : kNotFound;
}

QRect CKClipdeckView::screenRectOfViewRect(const QRectF& rect) const
{
    const QRectF flipped = ZEPFlipRect(rect, height());
    return QRect(mapToGlobal(flipped.topLeft().toPoint()), flipped.size().toSize());
}

QPoint CKClipdeckView::centerOfCell(std::size_t index) const
{
    const CKClipdeckButtonLayer* cell = buttonLayerAtIndex(index);
    return cell ? qtPoint(cell->frame().center()).toPoint() : QPoint();
}

// ---- Drawing ----

void CKClipdeckView::cellNeedsDisplay(CKClipdeckButtonLayer* cell)
{
    update(ZEPFlipRect(cell->frame(), height()).toAlignedRect().adjusted(-1, -1, 1, 1));
}

bool CKClipdeckView::isShowingEmptyNotice() const
{
    return clipdeck_ && clipdeck_->numberOfSounds() == 0 && !isHidingEmptyNotice_;
}

void CKClipdeckView::updateEmptyClipdeckNotice() { update(); }

void CKClipdeckView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QLinearGradient background(0, height(), 0, 0);
    background.setColorAt(0, QColor::fromRgbF(0.7843, 0.7843, 0.7843));
    background.setColorAt(1, QColor::fromRgbF(0.9255, 0.9255, 0.9255));
    painter.fillRect(rect(), background);
    for (const auto& cell : cells_)
        cell->paint(painter, height());
    if (!isShowingEmptyNotice())
        return;
    // The notice over an empty board: its text centred in a dark rounded box.
    const QString notice = tr("Looks like your Clipdeck is empty.\nAdd some sounds by dragging them in from\n"
                              "your file manager or Glassjar Studio.");
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(17);
    painter.setFont(font);
    const QRectF limit = QRectF(rect()).adjusted(20, 20, -20, -20);
    const QRectF box = painter.boundingRect(limit, Qt::AlignCenter | Qt::TextWordWrap, notice);
    const QRectF panel = box.adjusted(-20, -10, 20, 10);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 128));
    painter.drawRoundedRect(panel, 10, 10);
    painter.setPen(Qt::black);
    painter.drawText(box.translated(0, 1), Qt::AlignCenter | Qt::TextWordWrap, notice);
    painter.setPen(Qt::white);
    painter.drawText(box, Qt::AlignCenter | Qt::TextWordWrap, notice);
}

// ---- Hover ----

void CKClipdeckView::hover(const QPointF& point)
{
    const std::size_t index = indexOfCellAtPoint(point);
    if (index != lastHoverIndex_) {
        if (CKClipdeckButtonLayer* old = buttonLayerAtIndex(lastHoverIndex_))
            old->mouseExited();
        if (CKClipdeckButtonLayer* cell = buttonLayerAtIndex(index))
            cell->mouseEntered();
        lastHoverIndex_ = index;
        wasHoveringOverPopupButton_ = false;
        return;
    }
    CKClipdeckButtonLayer* cell = buttonLayerAtIndex(index);
    if (!cell || cell->isWaitingForSecondClick())
        return;
    if (cell->pointIsOnPopupButton(point - cell->frame().topLeft())) {
        if (!wasHoveringOverPopupButton_) {
            wasHoveringOverPopupButton_ = true;
            cell->mouseExited();
        }
    } else if (wasHoveringOverPopupButton_) {
        wasHoveringOverPopupButton_ = false;
        cell->mouseEntered();
    }
}

void CKClipdeckView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    if (disableMouseEvents_)
        return;
    if (CKClipdeckButtonLayer* cell = buttonLayerAtIndex(lastHoverIndex_))
        cell->mouseExited();
    lastHoverIndex_ = kNotFound;
}

void CKClipdeckView::setTogglingLoopGraphic(bool toggling)
{
    if (toggling == isTogglingLoopGraphic_)
        return;
    isTogglingLoopGraphic_ = toggling;
    if (CKClipdeckButtonLayer* cell = buttonLayerAtIndex(lastHoverIndex_))
        cell->updateOverlayLayer();
}

void CKClipdeckView::wheelEvent(QWheelEvent* event)
{
    // A notch (120) is one step of the cell's wheel.
    const double deltaY = event->angleDelta().y() / 120.0;
    if (CKClipdeckButtonLayer* cell = buttonLayerAtIndex(indexOfCellAtPoint(yUpPoint(event->position()))))
        cell->scrollWheel(deltaY);
    event->accept();
}

// ---- Presses ----

bool CKClipdeckView::pauseModifierHeld(Qt::KeyboardModifiers modifiers) const
{
    const uint32_t mask = 1u << (uint64_t(UserDefaults::standardUserDefaults().integerForKey(kPauseSoundKey)) % 32);
    return mask != 1 && (keys::modifierFlags(modifiers) & mask) != 0;
}

void CKClipdeckView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        leftPress(event);
    } else if (event->button() == Qt::RightButton) {
        const std::size_t index = indexOfCellAtPoint(yUpPoint(event->position()));
        const std::shared_ptr<CKSoundSource> sound = clipdeck_ ? clipdeck_->soundAtIndex(index) : nullptr;
        if (index != kNotFound && !(sound && isPlayingAnywhere(sound.get())))
            editSoundAtIndex(index);
    }
    event->accept();
}

void CKClipdeckView::leftPress(QMouseEvent* event)
{
    if (QWidget* focused = window()->focusWidget(); focused && focused != window())
        focused->clearFocus(); // ends a name being edited
    if (disableMouseEvents_ || editorShowing())
        return;
    didActuallyClick_ = true;
    isClickingPopupMenu_ = false;
    const QPointF point = yUpPoint(event->position());
    const std::size_t index = indexOfCellAtPoint(point);
    const std::shared_ptr<CKSoundSource> sound = clipdeck_ ? clipdeck_->soundAtIndex(index) : nullptr;
    pressClipdeck_ = clipdeck_;
    pressSound_ = sound;

    if (triggersLocked()) {
        internalDragIndex_ = index;
        if (sound && !isImporting(sound.get()))
            sound->handleMIDIPress();
        return;
    }
    if (pauseModifierHeld(event->modifiers()) && index != kNotFound) {
        if (sound && !isPlayingAnywhere(sound.get()))
            editSoundAtIndex(index);
        else if (sound)
            CKPlaybackController::sharedPlaybackController()->pauseSound(sound.get());
        internalDragIndex_ = kNotFound;
        pressSound_.reset();
        return;
    }
    CKClipdeckButtonLayer* cell = buttonLayerAtIndex(index);
    if (!cell) {
        internalDragIndex_ = kNotFound;
        return;
    }
    internalDragIndex_ = index;
    dragStartLocation_ = point;
    const QPointF inCell = point - cell->frame().topLeft();
    if (cell->pointIsOnPopupButton(inCell)) {
        isClickingPopupMenu_ = cell->showPopupMenu();
    } else if (cell->pointIsOnSlider(inCell)) {
        isDraggingSlider_ = true;
        cell->sliderDidStartDragging(point);
    } else {
        internalDragLeftSourceContainer_ = false;
        cell->mouseDown();
    }
}

void CKClipdeckView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        leftRelease(event);
    } else if (event->button() == Qt::RightButton) {
        const std::size_t index = indexOfCellAtPoint(yUpPoint(event->position()));
        const std::shared_ptr<CKSoundSource> sound = clipdeck_ ? clipdeck_->soundAtIndex(index) : nullptr;
        if (sound && isPlayingAnywhere(sound.get()))
            CKPlaybackController::sharedPlaybackController()->pauseSound(sound.get());
    }
    event->accept();
}

void CKClipdeckView::leftRelease(QMouseEvent* event)
{
    // The sound of the press, on the board of the press (a tab switch since changes nothing).
    const std::shared_ptr<CKSoundSource> sound = std::move(pressSound_);
    const bool sameBoard = pressClipdeck_.lock() == clipdeck_;
    if (triggersLocked()) {
        if (sound && !isImporting(sound.get()))
            sound->handleMIDILift();
        return;
    }
    const std::size_t index = internalDragIndex_;
    auto finish = [this] {
        didActuallyClick_ = false;
        internalDragIndex_ = kNotFound;
    };
    if (disableMouseEvents_ || isClickingPopupMenu_ || editorShowing() || !didActuallyClick_) {
        finish();
        return;
    }
    CKClipdeckButtonLayer* cell = sameBoard ? buttonLayerAtIndex(index) : nullptr;
    if (isDraggingSlider_) {
        isDraggingSlider_ = false;
        if (cell)
            cell->sliderDidFinishDragging();
        finish();
        return;
    }
    if (internalDragLeftSourceContainer_) {
        // The press left the view before it became a drag: nothing plays.
        internalDragLeftSourceContainer_ = false;
        setHoverIndex(kNotFound);
        finish();
        return;
    }
    if (sound && sameBoard && !isImporting(sound.get())) {
        if (!isPlayingAnywhere(sound.get()))
            sound->play();
        else if (CKPlaybackController::sharedPlaybackController()->soundIsPaused(sound.get()) || sound->restartOnPress())
            sound->play();
        else
            sound->fadeOut();
    }
    if (cell && indexOfCellAtPoint(yUpPoint(event->position())) == index)
        cell->mouseUp();
    else if (cell)
        cell->stopSelection();
    finish();
}

void CKClipdeckView::mouseMoveEvent(QMouseEvent* event)
{
    if (disableMouseEvents_)
        return;
    if (!(event->buttons() & Qt::LeftButton)) {
        hover(yUpPoint(event->position()));
        return;
    }
    leftDrag(event);
}

void CKClipdeckView::leftDrag(QMouseEvent* event)
{
    if (triggersLocked() || !didActuallyClick_ || editorShowing() || internalDragIndex_ == kNotFound ||
        pressClipdeck_.lock() != clipdeck_)
        return;
    CKClipdeckButtonLayer* cell = buttonLayerAtIndex(internalDragIndex_);
    if (!cell)
        return;
    const QPointF point = yUpPoint(event->position());
    if (isDraggingSlider_) {
        cell->sliderDraggedToPoint(point);
        return;
    }
    if (isClickingPopupMenu_ || internalDragLeftSourceContainer_)
        return;
    const QPointF moved = point - dragStartLocation_;
    const bool outside = point.x() < 0 || point.y() < 0 || point.x() > width() || point.y() > height();
    if (std::hypot(moved.x(), moved.y()) > kDragThreshold || outside) {
        internalDragLeftSourceContainer_ = true;
        if (!cell->soundSource()) {
            cell->stopSelection();
            didActuallyClick_ = false;
            internalDragIndex_ = kNotFound;
            return;
        }
        cell->stopSelection();
        startSoundDrag(internalDragIndex_);
        return;
    }
    setHoverIndex(indexOfCellAtPoint(point));
}

void CKClipdeckView::setHoverIndex(std::size_t index)
{
    if (CKClipdeckButtonLayer* old = buttonLayerAtIndex(internalHoverIndex_))
        old->cancelPotentialDrag();
    internalHoverIndex_ = kNotFound;
    if (index != internalDragIndex_) {
        internalHoverIndex_ = index;
        if (CKClipdeckButtonLayer* cell = buttonLayerAtIndex(index))
            cell->startPotentialDrag();
    }
}

void CKClipdeckView::flushButtonLayerDragStates()
{
    for (const auto& cell : cells_)
        cell->cancelPotentialDrag();
}

void CKClipdeckView::editSoundAtIndex(std::size_t index)
{
    if (triggersLocked() || index == kNotFound || !clipdeck_)
        return;
    CKEditorController::sharedEditorController()->editSoundSource(clipdeck_->soundAtIndex(index));
}

void CKClipdeckView::buttonLayerDidReceiveDoubleClick(CKClipdeckButtonLayer* cell)
{
    if (!cell)
        return;
    const std::size_t index = indexOfButtonLayer(cell);
    ClipdeckApplication* application = ClipdeckApplication::sharedApplication();
    if (application)
        application->setIsForwardingEvents(false);
    auto* dialog = new QFileDialog(window(), tr("Add a Sound"));
    dialog->setObjectName(QStringLiteral("addSoundPanel"));
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    std::weak_ptr<CKClipdeck> board = clipdeck_;
    QPointer<CKClipdeckButtonLayer> guarded(cell);
    connect(dialog, &QFileDialog::finished, this, [this, dialog, board, index, guarded](int result) {
        std::shared_ptr<CKClipdeck> target = board.lock();
        if (result == QDialog::Accepted && target && !dialog->selectedFiles().isEmpty())
            CKSoundImporter::importFiles(dialog->selectedFiles(), index, target, CKSoundImporter::kFileImportMode);
        if (ClipdeckApplication* application = ClipdeckApplication::sharedApplication())
            application->setIsForwardingEvents(true);
        if (guarded)
            guarded->setWaitingForSecondClick(false);
    });
    dialog->open();
}
