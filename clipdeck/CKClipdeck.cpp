// The board's cells and model: sounds coming and going, the next free cell, the board's name
// and uuid, and what it tells observers and the remote mirror.
#include "clipdeck/CKClipdeck.h"

#include "clipdeck/CKClipdeckSync.h"
#include "clipdeck/CKKeyEventDispatch.h"
#include "clipdeck/CKSoundCachedFileSource.h"

#include "platform/FoundationExtensions.h"
#include "platform/NotificationCenter.h"
#include "platform/ZEPAppKitConstants.h"

namespace {

const QString kImportingKey = QStringLiteral("importing");
const QString kGridKeys = QStringLiteral("12345678qwertyuiasdfghjkzxcvbnm,");

CKSoundCachedFileSource* cachedSound(const std::shared_ptr<CKSoundSource>& sound)
{
    return dynamic_cast<CKSoundCachedFileSource*>(sound.get());
}

} // namespace

CKClipdeck::CKClipdeck() : mSounds(kDefaultRows * kDefaultColumns)
{
    mSaveTimer.setAction([this] { performSave(); });
    addObservers();
}

CKClipdeck::~CKClipdeck()
{
    removeObservers();
    setSavingDisabled(true);
    for (const std::shared_ptr<CKSoundSource>& sound : mSounds) {
        if (!sound)
            continue;
        stopObservingSound(sound.get());
        sound->removeTriggers();
        // A sound that still plays outlives its board in the playback controller.
        if (sound->parentClipdeck() == this)
            sound->setParentClipdeck(nullptr);
    }
}

void CKClipdeck::addObservers()
{
    if (mDidAddObservers)
        return;
    mDidAddObservers = true;
    NotificationCenter::defaultCenter().addObserver(this, NSApplicationWillTerminateNotification, nullptr,
                                                    [this](const Notification&) { saveIfNeeded(); });
}

void CKClipdeck::removeObservers()
{
    if (!mDidAddObservers)
        return;
    mDidAddObservers = false;
    NotificationCenter::defaultCenter().removeObserver(this);
}

// Model ------------------------------------------------------------------------------------

void CKClipdeck::setName(const QString& name)
{
    if (changeValue(QStringLiteral("name"), mName, name)) {
        if (CKClipdeckSync* sync = CKClipdeckSync::current())
            sync->keyChangedInClipdeck(QStringLiteral("name"), mName, uuid());
    }
    setNeedsSave();
}

QString CKClipdeck::uuid()
{
    if (mUuid.isEmpty())
        setUuid(stringWithNewUUID());
    return mUuid;
}

void CKClipdeck::setUuid(const QString& uuid)
{
    const QString old = mUuid;
    // A uuid made on first request is no change for the mirror.
    if (changeValue(QStringLiteral("uuid"), mUuid, uuid) && !uuid.isEmpty() && !old.isEmpty()) {
        if (CKClipdeckSync* sync = CKClipdeckSync::current())
            sync->keyChangedInClipdeck(QStringLiteral("uuid"), uuid, old);
    }
}

// Cells ------------------------------------------------------------------------------------

void CKClipdeck::addSound(const std::shared_ptr<CKSoundSource>& sound, std::size_t index, bool save)
{
    if (index < numberOfCells()) {
        if (mSounds.size() <= index)
            mSounds.resize(numberOfCells());
        if (sound)
            sound->setParentClipdeck(this);
        const std::shared_ptr<CKSoundSource> previous = mSounds[index];
        if (previous)
            stopObservingSound(previous.get());
        mSounds[index] = sound;
        if (sound) {
            sound->setIndex(index);
            observeSound(sound.get());
            sound->addObservers();
        }
        postCellNotification(SoundAddedNotification, index, sound);
        if (CKClipdeckSync* sync = CKClipdeckSync::current(); sync && sound)
            sync->addSound(sound, index, uuid());
    }
    if (save)
        setNeedsSave();
}

std::shared_ptr<CKSoundCachedFileSource> CKClipdeck::createSoundFromPath(const QString& path, std::size_t index)
{
    std::shared_ptr<CKSoundCachedFileSource> sound = CKSoundCachedFileSource::initWithPath(path, this);
    if (!sound)
        return nullptr;
    addSound(sound, index, true);
    sound->editor();
    return sound;
}

void CKClipdeck::removeSoundAtIndex(std::size_t index, bool deleteFiles)
{
    if (index >= numberOfCells() || !soundExistsAtIndex(index))
        return;
    // Held here: the cell may have been its last owner.
    const std::shared_ptr<CKSoundSource> sound = mSounds[index];
    stopObservingSound(sound.get());
    mSounds[index] = nullptr;
    sound->removeObservers();
    sound->removeTriggers();
    if (deleteFiles) {
        if (CKSoundCachedFileSource* cached = cachedSound(sound))
            cached->deleteFile();
    }
    setNeedsSave();
    postCellNotification(SoundRemovedNotification, index, sound);
    sound->setParentClipdeck(nullptr);
    if (CKClipdeckSync* sync = CKClipdeckSync::current())
        sync->soundDeleted(index, uuid());
}

void CKClipdeck::removeAllSounds()
{
    for (const std::shared_ptr<CKSoundSource>& sound : mSounds) {
        if (!sound)
            continue;
        stopObservingSound(sound.get());
        sound->removeObservers();
        sound->removeTriggers();
        sound->setTriggerKey(QString(), 0);
        sound->setParentClipdeck(nullptr);
    }
    mSounds.clear();
}

void CKClipdeck::swapCellAtIndex(std::size_t index, std::size_t otherIndex)
{
    if (index >= mSounds.size() || otherIndex >= mSounds.size())
        return;
    std::swap(mSounds[index], mSounds[otherIndex]);
    if (mSounds[index])
        mSounds[index]->setIndex(index);
    if (mSounds[otherIndex])
        mSounds[otherIndex]->setIndex(otherIndex);
    setNeedsSave();
    if (CKClipdeckSync* sync = CKClipdeckSync::current())
        sync->swapSoundIndex(index, otherIndex, uuid());
}

std::size_t CKClipdeck::indexOfSound(const CKSoundSource* sound) const
{
    if (!sound)
        return kNotFound;
    for (std::size_t i = 0; i < mSounds.size(); ++i) {
        if (mSounds[i].get() == sound)
            return i;
    }
    return kNotFound;
}

std::size_t CKClipdeck::numberOfSounds() const
{
    return std::size_t(std::count_if(mSounds.begin(), mSounds.end(), [](const auto& sound) { return bool(sound); }));
}

bool CKClipdeck::soundExistsAtIndex(std::size_t index) const { return index < mSounds.size() && mSounds[index]; }

std::shared_ptr<CKSoundSource> CKClipdeck::soundAtIndex(std::size_t index) const
{
    return soundExistsAtIndex(index) ? mSounds[index] : nullptr;
}

void CKClipdeck::playSoundAtIndex(std::size_t index)
{
    if (index < numberOfCells()) {
        if (const std::shared_ptr<CKSoundSource> sound = soundAtIndex(index))
            sound->play();
    }
}

std::shared_ptr<CKSoundSource> CKClipdeck::soundForKey(const QString& key) const
{
    const QString processed = CKKeyEventDispatch::processString(key);
    if (processed.isEmpty())
        return nullptr;
    const qsizetype position = kGridKeys.indexOf(processed);
    return position < 0 ? nullptr : soundAtIndex(std::size_t(position));
}

std::size_t CKClipdeck::nextAvailableCellFromIndex(std::size_t index) const
{
    const std::size_t total = numberOfCells();
    if (total == 0)
        return kNotFound;
    const auto isEmpty = [this](std::size_t cell) { return !soundExistsAtIndex(cell); };
    const std::size_t start = index < total ? index : 0;
    if (isEmpty(start))
        return start;
    std::size_t cell = start;
    for (std::size_t step = 0; step < total; ++step) {
        cell = cell + 1 < total ? cell + 1 : 0;
        if (cell == index)
            return kNotFound;
        if (isEmpty(cell))
            return cell;
    }
    return kNotFound;
}

bool CKClipdeck::isImporting() const
{
    return std::any_of(mSounds.begin(), mSounds.end(), [](const std::shared_ptr<CKSoundSource>& sound) {
        const CKSoundCachedFileSource* cached = cachedSound(sound);
        return cached && cached->isImporting();
    });
}

void CKClipdeck::cancelAllImports()
{
    for (const std::shared_ptr<CKSoundSource>& sound : mSounds) {
        if (CKSoundCachedFileSource* cached = cachedSound(sound))
            cached->cancelImport();
    }
}

void CKClipdeck::updateUUIDs()
{
    for (const std::shared_ptr<CKSoundSource>& sound : mSounds) {
        if (sound)
            sound->resetUUID();
    }
}

// Observation ------------------------------------------------------------------------------

void CKClipdeck::observeSound(CKSoundSource* sound)
{
    sound->observeKey(kImportingKey, this, [this, sound](const QVariant&, const QVariant&) {
        soundImportingChanged(sound);
    });
}

void CKClipdeck::stopObservingSound(CKSoundSource* sound) { QObject::disconnect(sound, nullptr, this, nullptr); }

void CKClipdeck::soundImportingChanged(CKSoundSource* sound)
{
    const bool wasImporting = mWasImporting;
    mWasImporting = isImporting();
    didChangeValueForKey(kImportingKey, wasImporting, mWasImporting);
    const auto* cached = dynamic_cast<const CKSoundCachedFileSource*>(sound);
    if (cached && cached->isImporting())
        mIsPreImporting = false;
}

void CKClipdeck::postCellNotification(const QString& name, std::size_t index, const std::shared_ptr<CKSoundSource>& sound)
{
    NotificationCenter::defaultCenter().post(
        name, this, {{QStringLiteral("index"), qulonglong(index)}, {QStringLiteral("sound"), QVariant::fromValue(sound)}});
}
