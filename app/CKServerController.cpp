#include "app/CKServerController.h"

#include "platform/ApplicationNotifications.h"
#include "platform/NotificationCenter.h"

CKServerController* CKServerController::sharedSyncController()
{
    static CKServerController* controller = new CKServerController;
    return controller;
}

CKServerController::CKServerController()
{
    NotificationCenter::defaultCenter().addObserver(this, ApplicationWillTerminateNotification, nullptr,
                                                    [this](const Notification&) { setRemoteEnabled(false); });
}

void CKServerController::setRemoteEnabled(bool enabled)
{
    enabled_ = enabled;
}

// No remote is paired: there is nobody to tell yet.
void CKServerController::addClipdeck(CKClipdeck*, qsizetype) {}
void CKServerController::clipdeckDeleted(qsizetype) {}
void CKServerController::swapClipdeckIndex(qsizetype, qsizetype) {}
