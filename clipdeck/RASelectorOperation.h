#pragma once
// Ready-made operations that call a method of an object by name: an invokable method or slot
// (Q_INVOKABLE) of a QObject taking no argument or one argument (the argument is converted to
// the parameter's type). A target without such a method makes run() do nothing. A method
// with a result keeps it as result() (an empty QVariant for a method that answers nothing).
//
// RAWaitableSelectorOperation also lets one other thread wait until run() has completed
// (waitUntilDone() returns at once when it already has).
//
// Threads: made on any thread; run() on the queue's worker; result() after run() has
// completed (waitUntilDone() orders the two). The target is held while the operation lives.

#include "clipdeck/RAOperation.h"

#include "platform/RALatchTrigger.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>

#include <memory>

class RASelectorOperation : public RAOperation {
public:
    RASelectorOperation(std::shared_ptr<QObject> target, QByteArray selector, QVariant argument = {});

    void run() override;
    QVariant result() const { return mResult; }
    // "<RASelectorOperation:0x...: target selector argument>".
    QString description() const;

private:
    std::shared_ptr<QObject> mTarget;
    QByteArray mSelector;
    QVariant mArgument;
    QVariant mResult;
};

class RAWaitableSelectorOperation : public RASelectorOperation {
public:
    using RASelectorOperation::RASelectorOperation;

    void run() override;
    void waitUntilDone() { mTrigger.wait(); }

private:
    RALatchTrigger mTrigger;
};
