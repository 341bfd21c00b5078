#include "clipdeck/CKKeyEventListener.h"

#include "clipdeck/CKKeyEventDispatch.h"

CKKeyEventListener::CKKeyEventListener(QObject* target, Action action, const QString& key, uint16_t keyCode,
                                       int32_t eventType)
    : target_(target),
      action_(std::move(action)),
      key_(CKKeyEventDispatch::processString(key)),
      keyCode_(keyCode),
      eventType_(eventType)
{
}

void CKKeyEventListener::call()
{
    if (registered_ && !target_.isNull() && action_)
        action_();
}

QString CKKeyEventListener::description() const
{
    return QString::asprintf("<CKKeyEventListener %p> key: %s keyCode: %d eventType: %d target: %p action: %s",
                             static_cast<const void*>(this), qPrintable(key_), int(keyCode_), int(eventType_),
                             static_cast<const void*>(target_.data()), action_ ? "set" : "none");
}
