// Preloading the shown board's sounds, and the limit on loaded sounds across all boards.
#include "app/AppController.h"

#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKPlaybackController.h"
#include "clipdeck/CKSoundCachedFileSource.h"

#include <algorithm>

namespace {

// A sound the preloading leaves alone: its load failed (it is not tried again and again),
// its feed is on its way, or its audio is still being imported.
bool skipsPreloading(const CKSoundSource& sound)
{
    if (sound.isEditorLoaded() || sound.error() || sound.sharedEditor())
        return true;
    if (const auto* cached = dynamic_cast<const CKSoundCachedFileSource*>(&sound))
        return cached->isImporting() || cached->pendingImport();
    return false;
}

} // namespace

void AppController::setupEditorLoading()
{
    if (const std::shared_ptr<CKClipdeck> shown = shownClipdeck())
        loadEditorsOfClipdeck(shown.get());
}

void AppController::loadEditorsOfClipdeck(CKClipdeck* clipdeck)
{
    for (const std::shared_ptr<CKSoundSource>& sound : clipdeck->sounds()) {
        if (sound && !skipsPreloading(*sound) && !unloadedEditors_.contains(sound))
            unloadedEditors_.append(sound);
    }
    scheduleLoadNextEditor();
}

void AppController::scheduleLoadNextEditor()
{
    if (unloadedEditors_.isEmpty() || !isLoadingEditors_)
        return;
    loadEditorTimer_.setAction([this] { loadNextEditor(); });
    loadEditorTimer_.start(kEditorLoadInterval);
}

void AppController::loadNextEditor()
{
    if (unloadedEditors_.isEmpty()) {
        setupEditorLoading();
        return;
    }
    const std::shared_ptr<CKSoundSource> sound = unloadedEditors_.takeFirst();
    // Its state may have changed while it waited.
    if (!skipsPreloading(*sound))
        sound->editor();
    scheduleLoadNextEditor();
}

void AppController::setLoadingEditors(bool loading)
{
    const bool resumes = loading && !isLoadingEditors_;
    isLoadingEditors_ = loading;
    if (!loading)
        loadEditorTimer_.stop();
    if (resumes)
        setupEditorLoading();
}

void AppController::dropQueuedEditorsOf(const CKClipdeck* clipdeck)
{
    unloadedEditors_.removeIf([clipdeck](const std::shared_ptr<CKSoundSource>& sound) {
        return sound->parentClipdeck() == clipdeck || !sound->parentClipdeck();
    });
}

QList<std::shared_ptr<CKSoundSource>> AppController::loadedSounds() const
{
    QList<std::shared_ptr<CKSoundSource>> sounds;
    for (const std::shared_ptr<CKClipdeck>& clipdeck : clipdecks_) {
        for (const std::shared_ptr<CKSoundSource>& sound : clipdeck->sounds()) {
            if (sound && sound->isEditorLoaded())
                sounds.append(sound);
        }
    }
    return sounds;
}

QList<std::shared_ptr<CKSoundSource>> AppController::backgroundSounds() const
{
    const std::shared_ptr<CKClipdeck> shown = shownClipdeck();
    QList<std::shared_ptr<CKSoundSource>> sounds;
    for (const std::shared_ptr<CKClipdeck>& clipdeck : clipdecks_) {
        if (clipdeck == shown)
            continue;
        for (const std::shared_ptr<CKSoundSource>& sound : clipdeck->sounds()) {
            if (sound)
                sounds.append(sound);
        }
    }
    return sounds;
}

bool AppController::isSoundPlaying(const CKSoundSource& sound) const
{
    return sound.isPlaying() || (playbackController_ && playbackController_->soundIsPlaying(&sound));
}

void AppController::flushCache()
{
    qsizetype excess = loadedSounds().size() - kMaximumLoadedEditors;
    if (excess <= 0)
        return;
    QList<std::shared_ptr<CKSoundSource>> candidates = backgroundSounds();
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto& a, const auto& b) { return a->lastPlayID() < b->lastPlayID(); });
    for (const std::shared_ptr<CKSoundSource>& sound : std::as_const(candidates)) {
        if (excess == 0)
            break;
        if (sound->isEditorLoaded() && !isSoundPlaying(*sound)) {
            sound->unloadEditor();
            --excess;
        }
    }
}
