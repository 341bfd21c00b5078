#include "app/CKEditorController.h"

CKEditorController& CKEditorController::sharedEditorController()
{
    static CKEditorController* controller = new CKEditorController;
    return *controller;
}

void CKEditorController::editSoundSource(const std::shared_ptr<CKSoundSource>& sound, void*)
{
    if (sound)
        emit editRequested(sound);
}
