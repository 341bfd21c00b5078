#pragma once
// Where a board announces its changes for the remote mirror: the remote's sync controller
// installs itself here and queues each change for the remotes while a session is active.
// Until one is installed the announcements go nowhere. Main thread.

#include <QString>
#include <QVariant>

#include <cstddef>
#include <memory>

class CKSoundSource;

class CKClipdeckSync {
public:
    virtual ~CKClipdeckSync() = default;

    // A board property changed: "name" (value the new name, clipdeckUUID the board's) or
    // "uuid" (value the new uuid, clipdeckUUID the old one).
    virtual void keyChangedInClipdeck(const QString& key, const QVariant& value, const QString& clipdeckUUID) = 0;
    // A mirrored property of a sound changed: value is the new value, soundUUID the sound's
    // (for "uuid", the old one, so that the mirror can still find it).
    virtual void keyChangedInSound(const QString& key, const QVariant& value, const QString& soundUUID) = 0;
    // A sound went into a cell.
    virtual void addSound(const std::shared_ptr<CKSoundSource>& sound, std::size_t index, const QString& clipdeckUUID) = 0;
    // A cell was emptied.
    virtual void soundDeleted(std::size_t index, const QString& clipdeckUUID) = 0;
    // Two cells exchanged their contents.
    virtual void swapSoundIndex(std::size_t index, std::size_t otherIndex, const QString& clipdeckUUID) = 0;

    // The installed sync (null when none); install(nullptr) removes it.
    static CKClipdeckSync* current();
    static void install(CKClipdeckSync* sync);
};
