// The about box, the splash screen and the text viewer.
#include "platform/ui/ZEPAboutBox.h"
#include "platform/ui/ZEPSplashScreen.h"
#include "platform/ui/ZEPTextViewer.h"

#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

using clipdeck::test::TempFolder;
using clipdeck::test::waitUntil;

TEST(ZEPTextViewer, ShowsHtmlMarkdownOrPlainTextByTheFilesKindAndSaysWhyAFileCannotBeRead)
{
    TempFolder folder;
    const struct {
        const char* name;
        QByteArray contents;
        const char* shown;
        bool bold; // the markup was read, not shown as text
    } cases[] = {
        {"Release Notes.html", "<p>Version <b>2.1</b> plays <i>faster</i>.</p>", "Version 2.1 plays faster.", true},
        {"Release Notes.md", "Version **2.1** plays faster.", "Version 2.1 plays faster.", true},
        {"Release Notes.txt", "Version **2.1** plays faster.", "Version **2.1** plays faster.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile file(folder.file(c.name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(c.contents);
        file.close();
        ZEPTextViewer viewer(file.fileName());
        viewer.setTitle("Clipdeck Release Notes");
        EXPECT_EQ(viewer.windowTitle(), "Clipdeck Release Notes");
        EXPECT_TRUE(viewer.hasText());
        EXPECT_EQ(viewer.textView()->toPlainText().trimmed(), c.shown);
        EXPECT_EQ(viewer.textView()->toHtml().contains("font-weight:700"), c.bold);
        EXPECT_TRUE(viewer.textView()->isReadOnly());
    }

    ZEPTextViewer missing(folder.file("Nothing Here.rtf"));
    EXPECT_FALSE(missing.hasText());
    EXPECT_TRUE(missing.textView()->toPlainText().contains("Nothing Here.rtf"));
}

namespace {
struct NamingDelegate : ZEPAboutBoxDelegate {
    QString aboutBoxController(ZEPAboutBox*, const QString& name) override { return name + QStringLiteral("®"); }
};
} // namespace

TEST(ZEPAboutBox, ShowsTheNameTheDelegateGivesAndTheLinksTheProgramAdds)
{
    QCoreApplication::setApplicationName("Clipdeck");
    QCoreApplication::setApplicationVersion("2.1");
    ZEPAboutBox& box = ZEPAboutBox::sharedAboutBox();
    EXPECT_EQ(&box, &ZEPAboutBox::sharedAboutBox());
    NamingDelegate delegate;
    box.setController(&delegate);
    box.likeMenu().setProductPageURL(QUrl("https://example.org/clipdeck"));
    box.likeMenu().addItem({"Get Clipdeck Remote for iPad", QUrl("https://example.org/remote"), QImage()});
    box.show();
    ASSERT_TRUE(waitUntil([&] { return box.isVisible(); }));
    EXPECT_EQ(box.displayedAppName(), QStringLiteral("Clipdeck®"));
    EXPECT_TRUE(box.findChildren<QLabel*>().size() >= 3);
    const QList<QAction*> links = box.linksMenu()->actions();
    ASSERT_EQ(links.size(), 2);
    EXPECT_EQ(links.at(1)->text(), "Get Clipdeck Remote for iPad");
    box.setController(nullptr);
    box.close();
}

namespace {
struct SplashDelegate : ZEPSplashScreenDelegate {
    // The program's own delegate stores that the screen was closed once.
    explicit SplashDelegate(UserDefaults* defaults = nullptr) : defaults(defaults) {}
    void launchVideoURL(ZEPSplashScreen*) override { calls << "video"; }
    void launchWebSiteURL(ZEPSplashScreen* sender) override
    {
        calls << "web";
        sender->close(); // the program opens the page and closes the screen
    }
    void splashScreenWillClose(ZEPSplashScreen*) override { calls << "will close"; }
    void splashScreenDidClose() override
    {
        calls << "did close";
        if (defaults)
            defaults->setBool(true, ZEPSplashScreen::OnStartupKey);
    }
    UserDefaults* defaults;
    QStringList calls;
};
} // namespace

TEST(ZEPSplashScreen, ButtonsReachTheDelegateAndEveryWayOfClosingTellsItOnce)
{
    ZEPSplashScreen& splash = ZEPSplashScreen::sharedController();
    SplashDelegate delegate;
    splash.setDelegate(&delegate);

    // Run modally: the tutorial button, then the close button ends the run.
    QTimer::singleShot(0, &splash, [&] {
        QTest::mouseClick(splash.tutorialButton(), Qt::LeftButton);
        QTest::mouseClick(splash.closeButton(), Qt::LeftButton);
    });
    splash.runModal();
    EXPECT_FALSE(splash.isVisible());
    EXPECT_EQ(delegate.calls, (QStringList{"video", "will close", "did close"}));

    // Shown without blocking: the web site button, whose delegate closes the screen.
    delegate.calls.clear();
    splash.run();
    EXPECT_TRUE(splash.isVisible());
    QTest::mouseClick(splash.webSiteButton(), Qt::LeftButton);
    EXPECT_FALSE(splash.isVisible());
    EXPECT_EQ(delegate.calls, (QStringList{"web", "will close", "did close"}));

    // Escape closes too; closing a closed screen tells nobody.
    delegate.calls.clear();
    splash.run();
    QTest::keyClick(&splash, Qt::Key_Escape);
    splash.close();
    EXPECT_EQ(delegate.calls, (QStringList{"will close", "did close"}));
    splash.setDelegate(nullptr);
}

TEST(ZEPSplashScreen, RunsAtLaunchUntilItHasBeenClosedOnce)
{
    TempFolder folder;
    UserDefaults defaults(folder.file("defaults.plist"));
    ZEPSplashScreen& splash = ZEPSplashScreen::sharedController();
    SplashDelegate delegate(&defaults);
    splash.setDelegate(&delegate);
    QTimer::singleShot(0, &splash, [&] { QTest::mouseClick(splash.closeButton(), Qt::LeftButton); });
    EXPECT_TRUE(splash.runModalIfNeeded(defaults));
    EXPECT_TRUE(defaults.boolForKey(ZEPSplashScreen::OnStartupKey));
    EXPECT_FALSE(splash.runModalIfNeeded(defaults)); // the next launch: not again
    EXPECT_FALSE(splash.isVisible());
    splash.setDelegate(nullptr);
}
