#pragma once
// The shell's controller with its real window, built and launched as main does, for the
// tests of the shell.

#include "app/AppController.h"
#include "app/CKClipdeckWindow.h"
#include "app/CKTabBarView.h"

#include "AppTestSupport.h"
#include "clipdeck/CKPlaybackController.h"
#include "support/SettleEventLoop.h"

#include <QMouseEvent>

#include <memory>

namespace clipdeck::test {

inline const QString kCannotPlay = QStringLiteral("Clipdeck cannot play sound.");

class BusyAppController : public AppController {
public:
    bool isBusyImportingSounds() const override { return true; }
};

class Shell : public ::testing::Test {
protected:
    void TearDown() override
    {
        while (QDialog* sheet = CKSheetPresenter::shared().currentSheet())
            sheet->done(0);
        application().setDelegate(nullptr);
        controller.reset();
    }

    // Builds the program as main does.
    void awake(std::unique_ptr<AppController> made = std::make_unique<AppController>())
    {
        controller = std::move(made);
        application().setDelegate(controller.get());
        controller->awakeFromNib();
        window = controller->mainWindow();
    }
    // Ends launching: the window shows. The alerts that waited for it (expectedErrors of
    // them, and without a sound output the one that says so) are answered here, their
    // texts kept in launchErrors as "text|informative text".
    void launch(int expectedErrors = 0)
    {
        finishLaunching();
        ASSERT_TRUE(waitUntil([&] { return window->isVisible(); }));
        const bool outputRuns = CKPlaybackController::sharedPlaybackController()->outputAudioPlayer()->isRunning();
        int saidCannotPlay = 0;
        while (saidCannotPlay < (outputRuns ? 0 : 1) || launchErrors.size() < expectedErrors) {
            CKAlert* alert = waitForAlert();
            ASSERT_NE(alert, nullptr);
            if (alert->text() == kCannotPlay)
                ++saidCannotPlay;
            else
                launchErrors << alert->text() + QLatin1Char('|') + alert->informativeText();
            alert->pressButtonWithReturnCode(CKAlert::FirstButtonReturn);
        }
        ASSERT_FALSE(CKSheetPresenter::shared().isShowingSheet());
        window->activateWindow();
        QApplication::setActiveWindow(window);
    }

    CKTabBarView* bar() const { return window->tabBar(); }
    void doubleClickTab(qsizetype position)
    {
        const QPointF point =
            bar()->convertPointToQt(QPointF(bar()->rectOfTabAtIndex(position).center().x(), 10));
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                  QEvent::MouseButtonRelease}) {
            const bool down = type != QEvent::MouseButtonRelease;
            QMouseEvent event(type, point, bar()->mapToGlobal(point), Qt::LeftButton,
                              down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(bar(), &event);
        }
    }

    std::unique_ptr<AppController> controller;
    QStringList launchErrors;
    CKClipdeckWindow* window = nullptr;
};

} // namespace clipdeck::test
