#include "platform/UndoManager.h"

#include <QTimer>

#include <algorithm>
#include <stdexcept>

UndoManager::UndoManager(QObject* parent) : QObject(parent) {}

void UndoManager::registerUndoWithTarget(const void* target, Action action)
{
    if (disabled_ > 0 || !action)
        return;
    if (!undoing_ && !redoing_ && !redoStack_.empty()) {
        redoStack_.clear();
        emit changed();
    }
    if (level_ == 0) {
        beginUndoGrouping();
        if (groupsByEvent_) {
            implicitOpen_ = true;
            QTimer::singleShot(0, this, [this] {
                if (implicitOpen_ && level_ == 1)
                    endUndoGrouping();
            });
        } else {
            open_->entries.push_back({target, std::move(action)});
            endUndoGrouping();
            return;
        }
    }
    open_->entries.push_back({target, std::move(action)});
}

void UndoManager::beginUndoGrouping()
{
    if (level_++ == 0)
        open_ = Group{};
}

void UndoManager::endUndoGrouping()
{
    if (level_ == 0)
        throw std::logic_error("endUndoGrouping without a matching beginUndoGrouping");
    if (--level_ == 0)
        closeOpenGroup();
}

void UndoManager::closeOpenGroup()
{
    implicitOpen_ = false;
    Group group = std::move(*open_);
    open_.reset();
    if (group.entries.empty())
        return;
    std::vector<Group>& stack = undoing_ ? redoStack_ : undoStack_;
    stack.push_back(std::move(group));
    trim(stack);
    emit changed();
}

void UndoManager::trim(std::vector<Group>& stack)
{
    if (levels_ > 0 && int(stack.size()) > levels_)
        stack.erase(stack.begin(), stack.begin() + (int(stack.size()) - levels_));
}

void UndoManager::runGroup(Group group, bool& flag)
{
    flag = true;
    beginUndoGrouping();
    open_->actionName = group.actionName;
    try {
        for (auto it = group.entries.rbegin(); it != group.entries.rend(); ++it)
            it->action();
    } catch (...) {
        endUndoGrouping();
        flag = false;
        throw;
    }
    endUndoGrouping();
    flag = false;
}

void UndoManager::undo()
{
    if (level_ == 1 && implicitOpen_)
        endUndoGrouping();
    if (level_ != 0)
        throw std::logic_error("undo while an undo group is open");
    if (undoStack_.empty())
        return;
    Group group = std::move(undoStack_.back());
    undoStack_.pop_back();
    runGroup(std::move(group), undoing_);
    emit changed();
}

void UndoManager::redo()
{
    if (level_ == 1 && implicitOpen_)
        endUndoGrouping();
    if (level_ != 0)
        throw std::logic_error("redo while an undo group is open");
    if (redoStack_.empty())
        return;
    Group group = std::move(redoStack_.back());
    redoStack_.pop_back();
    runGroup(std::move(group), redoing_);
    emit changed();
}

void UndoManager::setActionName(const QString& name)
{
    if (open_) {
        open_->actionName = name;
        return;
    }
    std::vector<Group>& stack = undoing_ ? redoStack_ : undoStack_;
    if (!stack.empty())
        stack.back().actionName = name;
}

QString UndoManager::undoActionName() const { return undoStack_.empty() ? QString() : undoStack_.back().actionName; }

QString UndoManager::redoActionName() const { return redoStack_.empty() ? QString() : redoStack_.back().actionName; }

void UndoManager::removeAllActions()
{
    undoStack_.clear();
    redoStack_.clear();
    if (open_)
        open_->entries.clear();
    emit changed();
}

void UndoManager::removeAllActionsWithTarget(const void* target)
{
    auto strip = [target](std::vector<Group>& stack) {
        for (Group& group : stack)
            std::erase_if(group.entries, [target](const Entry& e) { return e.target == target; });
        std::erase_if(stack, [](const Group& group) { return group.entries.empty(); });
    };
    strip(undoStack_);
    strip(redoStack_);
    if (open_)
        std::erase_if(open_->entries, [target](const Entry& e) { return e.target == target; });
    emit changed();
}

void UndoManager::enableUndoRegistration()
{
    if (disabled_ == 0)
        throw std::logic_error("enableUndoRegistration without a matching disableUndoRegistration");
    --disabled_;
}

void UndoManager::setLevelsOfUndo(int levels)
{
    levels_ = std::max(0, levels);
    trim(undoStack_);
    trim(redoStack_);
}
