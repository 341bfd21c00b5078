#include "app/CKGraphConfigurationController.h"

CKGraphConfigurationController::CKGraphConfigurationController(ZEPAudioGraph* graph, QObject* parent)
    : QObject(parent), graph_(graph), view_(new QWidget)
{
    view_->setObjectName(QStringLiteral("CKGraphConfigurationView"));
    view_->setFocusPolicy(Qt::NoFocus);
    view_->resize(kWidth, 179);
}

// The view belongs to the drawer it was put in; one never put anywhere goes with us.
CKGraphConfigurationController::~CKGraphConfigurationController()
{
    if (view_ && !view_->parent())
        delete view_;
}
