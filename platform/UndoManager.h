#pragma once
// An undo manager with the platform's semantics, which Qt's undo stack does not have:
// callers register the inverse of each change on a target; an action that runs during
// undo registers its own inverse onto the redo stack (and during redo onto the undo stack);
// registrations are collected into groups, explicit (begin/end) or, when groupsByEvent()
// is on, one per pass of the event loop; groups carry action names; the actions of one
// target can be removed; registration can be disabled.
//
// Main thread only.

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class UndoManager : public QObject {
    Q_OBJECT
public:
    using Action = std::function<void()>;

    explicit UndoManager(QObject* parent = nullptr);

    // Records action as the inverse of a change made on target. Ignored while registration
    // is disabled. A registration made outside undo and redo clears the redo stack.
    void registerUndoWithTarget(const void* target, Action action);

    void beginUndoGrouping();
    // Closes the innermost group; the outermost close makes the group one undo step.
    void endUndoGrouping();
    int groupingLevel() const { return level_; }

    // On by default: a registration outside any group opens a group that closes on the next
    // pass of the event loop (or at the next undo()).
    bool groupsByEvent() const { return groupsByEvent_; }
    void setGroupsByEvent(bool groupsByEvent) { groupsByEvent_ = groupsByEvent; }

    // Runs the actions of the newest group in reverse order of registration. Nothing when
    // there is nothing to undo. Throws std::logic_error when an explicit group is open.
    void undo();
    void redo();
    bool canUndo() const { return !undoStack_.empty(); }
    bool canRedo() const { return !redoStack_.empty(); }
    bool isUndoing() const { return undoing_; }
    bool isRedoing() const { return redoing_; }

    // Names the group being built, or else the newest group of the stack that registrations
    // go to now.
    void setActionName(const QString& name);
    QString undoActionName() const;
    QString redoActionName() const;

    void removeAllActions();
    void removeAllActionsWithTarget(const void* target);

    // Counted: registration resumes when every disable has been matched by an enable.
    void disableUndoRegistration() { ++disabled_; }
    void enableUndoRegistration();
    bool isUndoRegistrationEnabled() const { return disabled_ == 0; }

    // The most undo steps kept; 0 keeps all.
    void setLevelsOfUndo(int levels);
    int levelsOfUndo() const { return levels_; }

signals:
    // After any change of the undo or redo stacks.
    void changed();

private:
    struct Entry {
        const void* target;
        Action action;
    };
    struct Group {
        std::vector<Entry> entries;
        QString actionName;
    };

    void closeOpenGroup();
    void runGroup(Group group, bool& flag);
    void trim(std::vector<Group>& stack);

    std::vector<Group> undoStack_;
    std::vector<Group> redoStack_;
    std::optional<Group> open_;
    int level_ = 0;
    int disabled_ = 0;
    int levels_ = 0;
    bool groupsByEvent_ = true;
    bool implicitOpen_ = false;
    bool undoing_ = false;
    bool redoing_ = false;
};
