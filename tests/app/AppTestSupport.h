#pragma once
// Helpers of the shell's tests: the running application, a tab bar delegate that records
// what it hears, key events as the window system sends them, and sheets answered as a
// user would.

#include "app/CKAlert.h"
#include "app/CKSheetPresenter.h"
#include "app/CKTabBarDelegate.h"
#include "app/CKTabBarView.h"
#include "app/ClipdeckApplication.h"

#include "support/TestEnvironment.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

#include "support/QStringPrinter.h"

namespace clipdeck::test {

inline ClipdeckApplication& application()
{
    ClipdeckApplication* app = ClipdeckApplication::sharedApplication();
    if (!app)
        throw std::runtime_error("the shell's tests run in a ClipdeckApplication");
    return *app;
}

// Ends launching (once per test process): key triggers go on, the delegate's last step runs.
inline void finishLaunching(ClipdeckApplicationDelegate* delegate = nullptr)
{
    if (delegate)
        application().setDelegate(delegate);
    application().finishLaunching();
}

// X11 scan codes (evdev + 8) of keys of a US layout.
constexpr uint32_t kScanCodeQ = 24;

// Sends a key event to receiver as the window system does (the receiver's parents hear it
// when the receiver leaves it), and lets the deferred calls run.
inline void sendKey(QWidget* receiver, QEvent::Type type, uint32_t scanCode, const QString& text = {},
                    int key = Qt::Key_unknown)
{
    QKeyEvent event(type, key, Qt::NoModifier, scanCode, 0, 0, text);
    QApplication::sendEvent(receiver, &event);
    QCoreApplication::processEvents();
}

// The sheet showing, once one shows.
inline QDialog* waitForSheet()
{
    waitUntil([] { return CKSheetPresenter::shared().currentSheet() != nullptr; });
    return CKSheetPresenter::shared().currentSheet();
}

inline CKAlert* waitForAlert()
{
    return qobject_cast<CKAlert*>(waitForSheet());
}

// Answers the alert showing with the button of returnCode.
inline void answerAlert(int returnCode)
{
    CKAlert* alert = waitForAlert();
    ASSERT_NE(alert, nullptr);
    ASSERT_NE(alert->buttonWithReturnCode(returnCode), nullptr);
    alert->pressButtonWithReturnCode(returnCode);
}

// A tab bar delegate that writes down what it hears.
class RecordingTabBarDelegate : public CKTabBarDelegate {
public:
    bool canAdd = true;
    bool showClose = true;
    bool acceptDrops = true;
    QStringList calls;
    CKSoundPasteboardItem droppedSound;

    void tabBarSelectionDidChange(CKTabBarView* tabBar) override
    {
        calls << QStringLiteral("select %1").arg(tabBar->selectedIndex());
    }
    void tabBarDidMoveTabAtIndex(CKTabBarView*, qsizetype from, qsizetype to) override
    {
        calls << QStringLiteral("move %1 %2").arg(from).arg(to);
    }
    void tabBarDidBeginEditingNameAtIndex(CKTabBarView*, qsizetype index) override
    {
        calls << QStringLiteral("begin editing %1").arg(index);
    }
    void tabBarDidEndEditingName(CKTabBarView*, const QString& name, qsizetype index) override
    {
        calls << QStringLiteral("end editing %1 %2").arg(index).arg(name);
    }
    void tabBarDidClickNewButton(CKTabBarView*) override { calls << QStringLiteral("new"); }
    bool tabBarCanAddTab(CKTabBarView*) override { return canAdd; }
    bool tabBarShouldShowCloseButtonAtIndex(CKTabBarView*, qsizetype) override { return showClose; }
    void tabBarDidClickCloseButtonAtIndex(CKTabBarView*, qsizetype index) override
    {
        calls << QStringLiteral("close %1").arg(index);
    }
    bool tabBarDidReceiveDroppedSound(CKTabBarView*, const CKSoundPasteboardItem& sound, qsizetype index,
                                      Qt::DropAction action) override
    {
        droppedSound = sound;
        calls << QStringLiteral("drop %1 %2").arg(index).arg(action == Qt::CopyAction ? "copy" : "move");
        return acceptDrops;
    }
};

} // namespace clipdeck::test
