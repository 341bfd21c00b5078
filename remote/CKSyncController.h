#pragma once
// Keeps the remotes' mirrors in step with the program's state: turns local model changes
// into incremental changes, queues them (coalescing bursts, CKPostQueue) and posts the queue
// every 0.05 s of a session, builds the complete state and its checksum, and applies the
// changes remotes vote for.
//
// The model it mirrors: the master controls (an ObservableObject with "masterVolume",
// "paused" and "ducked"), the ducking preferences ("duckingVolume", "duckingDuration" in a
// UserDefaults) and the boards of a CKClipdeckParent. The boards announce their own changes
// through CKClipdeckSync (this class installs itself there); the master controls and the
// preferences are observed while a session runs.
//
// Announcements are built only while a session is active and no received message is being
// handled, so a change made on a remote's behalf is not voted back as a new change.
//
// What a remote may change: one mirrored property of its target, with the type the
// property has ("uuid", "index" and "sounds" excepted: identity and structure). Additions,
// moves and deletions are refused, as is anything malformed; nothing changes then.
//
// The subclass (CKServerController) supplies the model and the handling of each received
// message, and sends the queue. Main thread only; received messages are handed over to the
// main thread's queue and handled on a later pass of the loop, in order of arrival.

#include "clipdeck/CKClipdeckSync.h"
#include "platform/TimeSource.h"
#include "remote/CKCloseReasons.h"
#include "remote/CKPostQueue.h"
#include "remote/CKRemoteTerminalDelegate.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include <memory>

class CKClipdeck;
class CKClipdeckParent;
class ObservableObject;
class UserDefaults;

class CKSyncController : public QObject, public CKRemoteTerminalDelegate, public CKClipdeckSync {
    Q_OBJECT
public:
    static constexpr double kPostingInterval = 0.05;

    CKSyncController();
    ~CKSyncController() override;

    bool isEnabled() const { return theIsEnabled; }
    bool isHandlingAnExternalChange() const { return theIsHandlingAnExternalChange; }
    bool isActive() const { return theIsActive; }
    const CKPostQueue& postQueue() const { return thePostQueue; }
    const CKCloseReasons& reasons() const { return theReasons; }
    const Timer& postingTimer() const { return thePostingTimer; }

    // Sessions: the 0.05 s posting timer runs between the two.
    virtual void beginSession();
    virtual void endSession();

    // The model (the subclass supplies it; null: none).
    virtual ObservableObject* getMasterControls() const { return nullptr; }
    virtual UserDefaults* getPreferences() const { return nullptr; }
    virtual CKClipdeckParent* getClipdeckParent() const { return nullptr; }

    // Announcements of the list of boards (the boards announce through CKClipdeckSync).
    void addClipdeck(const std::shared_ptr<CKClipdeck>& clipdeck, std::size_t withIndex);
    void clipdeckDeleted(std::size_t index);
    void swapClipdeckIndex(std::size_t index, std::size_t withIndex);
    // CKClipdeckSync
    void keyChangedInClipdeck(const QString& key, const QVariant& value, const QString& clipdeckUUID) override;
    void keyChangedInSound(const QString& key, const QVariant& value, const QString& soundUUID) override;
    void addSound(const std::shared_ptr<CKSoundSource>& sound, std::size_t index, const QString& clipdeckUUID) override;
    void soundDeleted(std::size_t index, const QString& clipdeckUUID) override;
    void swapSoundIndex(std::size_t index, std::size_t otherIndex, const QString& clipdeckUUID) override;

    // Queues message (coalescing); with no session it is posted at once.
    virtual void postDictionary(const QVariantMap& message);
    // Sends the queue (the subclass) and empties it (here).
    virtual void performScheduledPostings();

    // The complete state of the model, and the MD5 of its binary property-list form.
    QVariantMap completeState() const;
    QByteArray performChecksumOfState() const;
    // The dictionary of a board or a sound as the complete state holds it.
    static QVariantMap dictionaryOfClipdeck(CKClipdeck& clipdeck);
    static QVariantMap dictionaryOfSound(const CKSoundSource& sound);
    // The first board (target "ClipdeckChange") or sound ("SoundChange", boards in list order,
    // cells in order) whose uuid is uuid; null when none.
    ObservableObject* findTarget(const QString& target, const QString& uuid) const;
    std::shared_ptr<CKClipdeck> findClipdeck(const QString& uuid) const;

    // Applies one received vote; true when it was applied (a modify of a known kind whose
    // target is gone counts as applied: nothing changes).
    bool applyIncrementalChange(const QVariantMap& change);

    // CKRemoteTerminalDelegate: queues each message (composites unpacked) for handleDictionary.
    void dictionaryReceived(const std::optional<QVariantMap>& dictionary, const QString& fromHost) override;

protected:
    // Handles one received message (main thread, a later pass of the loop).
    virtual void handleDictionary(const QVariantMap& message) { (void)message; }
    // Queues message for handleDictionary on the main thread.
    void queueForHandling(const QVariantMap& message);

    void addAllObservers();
    void removeAllObservers();
    void setEnabled(bool enabled) { theIsEnabled = enabled; }
    void setHandlingAnExternalChange(bool handling) { theIsHandlingAnExternalChange = handling; }
    CKPostQueue& mutablePostQueue() { return thePostQueue; }

private:
    bool announcing() const { return theIsActive && !theIsHandlingAnExternalChange; }
    void keyChanged(const QString& key, const QVariant& value, const QString& target, const QString& uuid);

    bool theIsEnabled = false;
    bool theIsHandlingAnExternalChange = false;
    bool theIsActive = false;
    Timer thePostingTimer;
    CKPostQueue thePostQueue;
    CKCloseReasons theReasons;
    QList<QMetaObject::Connection> theObservers;
    // Guards queued hand-overs against the controller's end.
    std::shared_ptr<bool> theAlive = std::make_shared<bool>(true);
};
