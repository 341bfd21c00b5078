#pragma once
// What run-loop sources and timers share: the loop and the set of modes they are scheduled
// in, and a serial number by which the loop finds them again after a handler ran (an item
// may be destroyed by any handler). Main thread only.

#include <QSet>
#include <QString>

#include <cstdint>

class RunLoop;

class RunLoopItem {
public:
    RunLoop* runLoop() const { return loop_; }
    const QSet<QString>& modes() const { return modes_; }
    bool isInMode(const QString& mode) const { return modes_.contains(mode); }

protected:
    RunLoopItem();
    ~RunLoopItem() = default;
    RunLoopItem(const RunLoopItem&) = delete;
    RunLoopItem& operator=(const RunLoopItem&) = delete;

    // True when one of the modes is served by Qt's loop.
    bool inSharedMode() const;
    // Brings the item's Qt-side watch in line after its loop or modes changed.
    virtual void scheduleChanged() = 0;

    const uint64_t serial_;

private:
    friend class RunLoop;
    RunLoop* loop_ = nullptr;
    QSet<QString> modes_;
};
