#include "clipdeck/CKKeyEventDispatch.h"

#include "clipdeck/CKModifierToggles.h"
#include "platform/MainThread.h"
#include "platform/keys/KeyCodeTranslation.h"
#include "platform/keys/ModifierFlags.h"
#include "platform/keys/VirtualKeyCodes.h"

#include <QKeyEvent>

#include <algorithm>

CKKeyEventDispatch& CKKeyEventDispatch::sharedDispatcher()
{
    static CKKeyEventDispatch dispatcher;
    return dispatcher;
}

std::map<uint16_t, std::vector<CKKeyEventDispatch::ListenerPtr>>& CKKeyEventDispatch::tableForType(int32_t eventType)
{
    return eventType == CKKeyEventListener::kKeyDown ? keyDownTable_ : keyUpTable_;
}

const std::map<uint16_t, std::vector<CKKeyEventDispatch::ListenerPtr>>&
CKKeyEventDispatch::tableForType(int32_t eventType) const
{
    return eventType == CKKeyEventListener::kKeyDown ? keyDownTable_ : keyUpTable_;
}

CKKeyEventDispatch::ListenerPtr CKKeyEventDispatch::addListener(QObject* target, CKKeyEventListener::Action action,
                                                                const QString& key, uint16_t keyCode,
                                                                int32_t eventType)
{
    auto listener = std::make_shared<CKKeyEventListener>(target, std::move(action), key, keyCode, eventType);
    listener->setRegistered(true);
    tableForType(eventType)[keyCode].push_back(listener);
    return listener;
}

bool CKKeyEventDispatch::removeListener(const ListenerPtr& listener, const QString&, uint16_t keyCode,
                                        int32_t eventType)
{
    auto& table = tableForType(eventType);
    auto list = table.find(keyCode);
    if (list == table.end())
        return false;
    auto it = std::find(list->second.begin(), list->second.end(), listener);
    if (it == list->second.end())
        return false;
    list->second.erase(it);
    if (list->second.empty())
        table.erase(list);
    listener->setRegistered(false);
    return true;
}

void CKKeyEventDispatch::updateKeyMasks()
{
    const CKModifierToggles* toggles = CKModifierToggles::shared();
    toggleLoopingKeyMask_ = toggles ? toggles->toggleLoopingKeyMask() : 0;
    stopOnLiftKeyMask_ = toggles ? toggles->stopOnLiftKeyMask() : 0;
    restartOnPressKeyMask_ = toggles ? toggles->restartOnPressKeyMask() : 0;
}

uint16_t CKKeyEventDispatch::keyCodeForEvent(const QKeyEvent* event)
{
    return keys::virtualKeyCodeForScanCode(event->nativeScanCode());
}

bool CKKeyEventDispatch::canHandleEvent(const QKeyEvent* event)
{
    if (!event || (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease))
        return false;
    // A key is up once released, whether or not anyone handles the release (refused for its
    // modifiers, or heard by nobody): else its next press would pass for a repeat.
    if (event->type() == QEvent::KeyRelease && !event->isAutoRepeat())
        keysDown_.erase(keyCodeForEvent(event));
    updateKeyMasks();
    const uint32_t flags = keys::modifierFlags(event->modifiers());
    const uint32_t toggleMasks = toggleLoopingKeyMask_ | stopOnLiftKeyMask_ | restartOnPressKeyMask_;
    if ((flags & toggleMasks) == 0 && (flags & keys::kModifierKeysMask) != 0)
        return false;
    const int32_t type = event->type() == QEvent::KeyPress ? CKKeyEventListener::kKeyDown : CKKeyEventListener::kKeyUp;
    return hasHandlersForKey(charValueForEvent(event), keyCodeForEvent(event), type);
}

void CKKeyEventDispatch::handleEvent(const QKeyEvent* event)
{
    // A held key repeats as pairs of release and press; neither is a new press or a release.
    if (event->isAutoRepeat())
        return;
    const int32_t type = event->type() == QEvent::KeyPress ? CKKeyEventListener::kKeyDown : CKKeyEventListener::kKeyUp;
    handleKey(charValueForEvent(event), keyCodeForEvent(event), type);
}

bool CKKeyEventDispatch::handleWindowEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* keyEvent = static_cast<QKeyEvent*>(event);
        if (!canHandleEvent(keyEvent))
            return false;
        handleEvent(keyEvent);
        return true;
    }
    case QEvent::FocusOut:
    case QEvent::WindowDeactivate:
        releaseAllKeys();
        return false;
    default:
        return false;
    }
}

void CKKeyEventDispatch::clearKeyState()
{
    keysDown_.clear();
}

void CKKeyEventDispatch::releaseAllKeys()
{
    const std::set<uint16_t> held = keysDown_;
    for (uint16_t keyCode : held)
        handleKey(QString(), keyCode, CKKeyEventListener::kKeyUp);
    keysDown_.clear();
}

bool CKKeyEventDispatch::hasHandlersForKey(const QString&, uint16_t keyCode, int32_t eventType) const
{
    const auto& table = tableForType(eventType);
    const auto list = table.find(keyCode);
    return list != table.end() && !list->second.empty();
}

void CKKeyEventDispatch::handleKey(const QString&, uint16_t keyCode, int32_t eventType)
{
    if (eventType == CKKeyEventListener::kKeyDown) {
        if (!keysDown_.insert(keyCode).second)
            return; // already down
    } else {
        keysDown_.erase(keyCode);
    }
    const auto& table = tableForType(eventType);
    const auto list = table.find(keyCode);
    if (list == table.end())
        return;
    for (const ListenerPtr& listener : list->second)
        mainthread::post([listener] { listener->call(); });
}

QString CKKeyEventDispatch::charValueForEvent(const QKeyEvent* event) const
{
    QString characters = event->text();
    // With command or control held the text is a control character; the key's own
    // character is the layout's.
    if (!characters.isEmpty() && !characters.at(0).isPrint())
        characters = keys::keyPressedWithEvent(event);
    if (characters.isEmpty())
        return {};
    QString character = characters.left(1);
    if (keys::modifierFlags(event->modifiers()) & keys::kShiftKeyMask) {
        const int digit = QStringLiteral("!@#$%^&*").indexOf(character);
        if (digit >= 0)
            character = QString::number(digit + 1);
    }
    return character;
}

QString CKKeyEventDispatch::processString(const QString& key)
{
    return key.left(1).toLower();
}
