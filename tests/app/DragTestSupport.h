#pragma once
// Drags on the offscreen platform, which has no drag loop of its own. A DragSession sends the
// drag events a window system sends (enter, moves, leave, drop) to the widgets it is moved
// over and keeps the pointer where the drag is; it carries a sound dragged out of the grid or
// anything a test drops from elsewhere. A ScriptedDragLoop stands in for the window system's
// drag loop of the grid while it lives: the test's script moves the drag, drops it or lets it
// go elsewhere.

#include "app/CKClipdeckView.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>

#include <functional>

namespace clipdeck::test {

class DragSession {
public:
    explicit DragSession(const QMimeData* data) : data_(data) {}
    ~DragSession() { leave(); }

    // The drag over target at point (target's coordinates): it enters the target when it
    // comes from elsewhere, then moves there.
    void moveTo(QWidget* target, QPoint point, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QCursor::setPos(target->mapToGlobal(point));
        if (target != over_) {
            leave();
            over_ = target;
            QDragEnterEvent enter(point, actions(), data_, Qt::LeftButton, modifiers);
            QApplication::sendEvent(target, &enter);
            accepted_ = enter.isAccepted();
            if (!accepted_)
                return;
        }
        if (!accepted_)
            return;
        QDragMoveEvent move(point, actions(), data_, Qt::LeftButton, modifiers);
        QApplication::sendEvent(target, &move);
    }
    // Released over target at point: the drop's action, Qt::IgnoreAction when refused.
    Qt::DropAction dropOn(QWidget* target, QPoint point, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        moveTo(target, point, modifiers);
        if (!accepted_)
            return Qt::IgnoreAction;
        over_ = nullptr;
        QDropEvent drop(point, actions(), data_, Qt::LeftButton, modifiers);
        QApplication::sendEvent(target, &drop);
        return drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction;
    }
    // Released at a screen point where no widget of the program takes it.
    Qt::DropAction releaseAt(QPoint global)
    {
        leave();
        QCursor::setPos(global);
        return Qt::IgnoreAction;
    }
    // Escape pressed with the pointer at a screen point (the drag ends, nothing dropped).
    Qt::DropAction escapeAt(QPoint global, QWidget* keyboardWindow)
    {
        leave();
        QCursor::setPos(global);
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(keyboardWindow, &escape);
        return Qt::IgnoreAction;
    }

private:
    static Qt::DropActions actions() { return Qt::MoveAction | Qt::CopyAction; }
    void leave()
    {
        if (over_ && accepted_) {
            QDragLeaveEvent leave;
            QApplication::sendEvent(over_, &leave);
        }
        over_ = nullptr;
        accepted_ = false;
    }

    const QMimeData* data_;
    QPointer<QWidget> over_;
    bool accepted_ = false;
};

// The drag loop of the grid while this lives: each drag runs the script, whose answer is
// the drag's result.
class ScriptedDragLoop {
public:
    using Script = std::function<Qt::DropAction(DragSession& session)>;
    explicit ScriptedDragLoop(Script script) : script_(std::move(script))
    {
        CKClipdeckView::setDragLoop([this](QDrag& drag) {
            ++drags;
            data = drag.mimeData()->data(QStringLiteral("CKSoundPboardType"));
            DragSession session(drag.mimeData());
            return script_(session);
        });
    }
    ~ScriptedDragLoop() { CKClipdeckView::setDragLoop({}); }

    int drags = 0;
    // What the last drag carried as a sound reference.
    QByteArray data;

private:
    Script script_;
};

// Presses on a view's cell and drags the pointer off it, as a user starts a drag (the drag
// loop then has the pointer: the release goes to it, not to the view).
inline void pressAndDragCell(CKClipdeckView* view, std::size_t index, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPoint from = view->centerOfCell(index);
    const QPoint to = from + QPoint(int(CKClipdeckView::kDragThreshold) + 5, 0);
    QMouseEvent press(QEvent::MouseButtonPress, from, view->mapToGlobal(from), Qt::LeftButton, Qt::LeftButton, modifiers);
    QApplication::sendEvent(view, &press);
    QMouseEvent move(QEvent::MouseMove, to, view->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, modifiers);
    QApplication::sendEvent(view, &move);
}

} // namespace clipdeck::test
