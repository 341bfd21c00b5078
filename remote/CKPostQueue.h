#pragma once
// The queue of messages waiting for the next posting tick of a session. Bursts coalesce:
// a new modify of a master control or preference replaces the queued one of the same key,
// a new volume of a sound replaces that sound's queued volume, and a new progress update
// replaces the queued one; every other change is kept, each as often as it happened. A
// replacing message goes to the end of the queue.
//
// Main thread (it belongs to the controller that posts it); no lock.

#include <QList>
#include <QVariantMap>

#include <optional>

class CKPostQueue {
public:
    // Queues message, dropping the queued messages it replaces.
    void post(const QVariantMap& message);

    bool isEmpty() const { return theMessages.isEmpty(); }
    const QList<QVariantMap>& messages() const { return theMessages; }
    void clear() { theMessages.clear(); }

    // What one posting tick sends for the queue: nothing when it is empty, the one message
    // when it holds one, else a "CompositeMessage" of all of them in order.
    std::optional<QVariantMap> outgoingMessage() const;

private:
    QList<QVariantMap> theMessages;
};
