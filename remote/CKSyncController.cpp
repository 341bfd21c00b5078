#include "remote/CKSyncController.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKSoundSource.h"
#include "platform/MainThread.h"
#include "platform/ObservableObject.h"
#include "platform/UserDefaults.h"
#include "remote/CKClipdeckParent.h"
#include "remote/CKCompleteState.h"
#include "remote/CKRemoteProtocol.h"

namespace P = CKRemoteProtocol;

namespace {

const QStringList kMasterKeys{QStringLiteral("masterVolume"), QStringLiteral("paused"), QStringLiteral("ducked")};
const QStringList kPreferenceKeys{QStringLiteral("duckingVolume"), QStringLiteral("duckingDuration")};

} // namespace

CKSyncController::CKSyncController() : theReasons(CKCloseReasons::localized())
{
    thePostingTimer.setAction([this] { performScheduledPostings(); });
    CKClipdeckSync::install(this);
}

CKSyncController::~CKSyncController()
{
    *theAlive = false;
    if (CKClipdeckSync::current() == this)
        CKClipdeckSync::install(nullptr);
    removeAllObservers();
}

// Sessions -----------------------------------------------------------------------------------

void CKSyncController::beginSession()
{
    theIsActive = true;
    thePostingTimer.start(kPostingInterval, true);
}

void CKSyncController::endSession()
{
    theIsActive = false;
    thePostingTimer.stop();
}

void CKSyncController::addAllObservers()
{
    removeAllObservers();
    if (ObservableObject* controls = getMasterControls()) {
        for (const QString& key : kMasterKeys) {
            theObservers << controls->observeKey(key, this, [this, key](const QVariant&, const QVariant& newValue) {
                keyChanged(key, newValue, P::ControllerChange, QString());
            });
        }
    }
    if (UserDefaults* preferences = getPreferences()) {
        theObservers << connect(preferences, &UserDefaults::valueChanged, this, [this, preferences](const QString& key) {
            if (kPreferenceKeys.contains(key))
                keyChanged(key, preferences->objectForKey(key), P::PreferencesChange, QString());
        });
    }
}

void CKSyncController::removeAllObservers()
{
    for (const QMetaObject::Connection& connection : std::as_const(theObservers))
        disconnect(connection);
    theObservers.clear();
}

// Announcements ------------------------------------------------------------------------------

void CKSyncController::keyChanged(const QString& key, const QVariant& value, const QString& target, const QString& uuid)
{
    if (announcing())
        postDictionary(P::modifyChange(target, key, value, uuid));
}

void CKSyncController::addClipdeck(const std::shared_ptr<CKClipdeck>& clipdeck, std::size_t withIndex)
{
    if (announcing() && clipdeck)
        postDictionary(P::addChange(P::ClipdeckChange, dictionaryOfClipdeck(*clipdeck), withIndex));
}

void CKSyncController::clipdeckDeleted(std::size_t index)
{
    if (announcing())
        postDictionary(P::deleteChange(P::ClipdeckChange, index));
}

void CKSyncController::swapClipdeckIndex(std::size_t index, std::size_t withIndex)
{
    if (announcing())
        postDictionary(P::rearrangeChange(P::ClipdeckChange, index, withIndex));
}

void CKSyncController::keyChangedInClipdeck(const QString& key, const QVariant& value, const QString& clipdeckUUID)
{
    keyChanged(key, value, P::ClipdeckChange, clipdeckUUID);
}

void CKSyncController::keyChangedInSound(const QString& key, const QVariant& value, const QString& soundUUID)
{
    keyChanged(key, value, P::SoundChange, soundUUID);
}

void CKSyncController::addSound(const std::shared_ptr<CKSoundSource>& sound, std::size_t index, const QString& clipdeckUUID)
{
    if (announcing() && sound)
        postDictionary(P::addChange(P::SoundChange, dictionaryOfSound(*sound), index, clipdeckUUID));
}

void CKSyncController::soundDeleted(std::size_t index, const QString& clipdeckUUID)
{
    if (announcing())
        postDictionary(P::deleteChange(P::SoundChange, index, clipdeckUUID));
}

void CKSyncController::swapSoundIndex(std::size_t index, std::size_t otherIndex, const QString& clipdeckUUID)
{
    if (announcing())
        postDictionary(P::rearrangeChange(P::SoundChange, index, otherIndex, clipdeckUUID));
}

// Posting ------------------------------------------------------------------------------------

void CKSyncController::postDictionary(const QVariantMap& message)
{
    thePostQueue.post(message);
    if (!theIsActive)
        performScheduledPostings();
}

void CKSyncController::performScheduledPostings()
{
    thePostQueue.clear();
}

// State --------------------------------------------------------------------------------------

QVariantMap CKSyncController::dictionaryOfSound(const CKSoundSource& sound)
{
    return CKCompleteState::soundDictionary([&sound](const QString& key) { return sound.valueForKey(key); });
}

QVariantMap CKSyncController::dictionaryOfClipdeck(CKClipdeck& clipdeck)
{
    QVariantList sounds;
    for (const std::shared_ptr<CKSoundSource>& sound : clipdeck.sounds()) {
        if (sound)
            sounds << dictionaryOfSound(*sound);
    }
    return CKCompleteState::clipdeckDictionary(clipdeck.name(), clipdeck.uuid(), sounds);
}

QVariantMap CKSyncController::completeState() const
{
    CKCompleteState::MasterValues master;
    if (const ObservableObject* controls = getMasterControls()) {
        master.masterVolume = controls->valueForKey(kMasterKeys[0]);
        master.paused = controls->valueForKey(kMasterKeys[1]);
        master.ducked = controls->valueForKey(kMasterKeys[2]);
    }
    CKCompleteState::PreferenceValues preferences;
    if (const UserDefaults* defaults = getPreferences()) {
        preferences.duckingVolume = defaults->objectForKey(kPreferenceKeys[0]);
        preferences.duckingDuration = defaults->objectForKey(kPreferenceKeys[1]);
    }
    QVariantList clipdecks;
    if (const CKClipdeckParent* parent = getClipdeckParent()) {
        for (const std::shared_ptr<CKClipdeck>& clipdeck : parent->clipdecks()) {
            if (clipdeck)
                clipdecks << dictionaryOfClipdeck(*clipdeck);
        }
    }
    return CKCompleteState::make(master, preferences, clipdecks);
}

QByteArray CKSyncController::performChecksumOfState() const
{
    return CKCompleteState::checksumOfState(completeState());
}

std::shared_ptr<CKClipdeck> CKSyncController::findClipdeck(const QString& uuid) const
{
    if (const CKClipdeckParent* parent = getClipdeckParent()) {
        for (const std::shared_ptr<CKClipdeck>& clipdeck : parent->clipdecks()) {
            if (clipdeck && clipdeck->uuid() == uuid)
                return clipdeck;
        }
    }
    return nullptr;
}

ObservableObject* CKSyncController::findTarget(const QString& target, const QString& uuid) const
{
    if (target == P::ClipdeckChange)
        return findClipdeck(uuid).get();
    if (target != P::SoundChange)
        return nullptr;
    if (const CKClipdeckParent* parent = getClipdeckParent()) {
        for (const std::shared_ptr<CKClipdeck>& clipdeck : parent->clipdecks()) {
            if (!clipdeck)
                continue;
            for (const std::shared_ptr<CKSoundSource>& sound : clipdeck->sounds()) {
                if (sound && sound->uuid() == uuid)
                    return sound.get();
            }
        }
    }
    return nullptr;
}

// Receiving ----------------------------------------------------------------------------------

bool CKSyncController::applyIncrementalChange(const QVariantMap& change)
{
    // Boards and the list of boards take no structure from a remote: additions, moves and
    // deletions are refused, as is every change that is not a well-formed modify.
    if (change.value(P::ChangeTypeKey) != P::IncChangeModify)
        return false;
    const std::optional<QVariant> value = P::acceptableModifyValue(change);
    if (!value)
        return false;
    const QString target = change.value(P::ChangeTargetKey).toString();
    const QString key = change.value(P::IncChangeModifyKeyKey).toString();

    if (target == P::PreferencesChange) {
        if (UserDefaults* preferences = getPreferences()) {
            if (preferences->objectForKey(key) != *value)
                preferences->setDouble(value->toDouble(), key);
        }
        return true;
    }
    ObservableObject* object = nullptr;
    if (target == P::ControllerChange) {
        object = getMasterControls();
    } else {
        const QVariant uuid = change.value(P::IncChangeUUIDKey);
        if (uuid.typeId() != QMetaType::QString)
            return false;
        object = findTarget(target, uuid.toString());
    }
    // A target that has gone meanwhile: nothing to change.
    if (object && object->valueForKey(key) != *value)
        object->setValueForKey(key, *value);
    return true;
}

void CKSyncController::dictionaryReceived(const std::optional<QVariantMap>& dictionary, const QString&)
{
    if (!dictionary)
        return;
    for (const QVariantMap& message : P::unpackedMessages(*dictionary))
        queueForHandling(message);
}

void CKSyncController::queueForHandling(const QVariantMap& message)
{
    mainthread::post([this, alive = theAlive, message] {
        if (*alive)
            handleDictionary(message);
    });
}
