// Main of the shell's test programs: the program's own application object, on the offscreen
// platform, with the defaults registered as the program registers them. Launching is left
// to each test (AppTestSupport.h), as each test runs in a process of its own.
#include "app/ClipdeckApplication.h"
#include "app/ClipdeckDefaults.h"

#include "platform/UserDefaults.h"
#include "platform/ui/ZEPSplashScreen.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    clipdeck::test::prepareEnvironment();
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ClipdeckRegisterDefaults();
    // The splash screen has been closed once: launching does not wait for a click.
    UserDefaults::standardUserDefaults().setBool(true, ZEPSplashScreen::OnStartupKey);
    // The remote service stays off (it would publish on the machine's network): the tests of
    // the remote switch it on themselves.
    UserDefaults::standardUserDefaults().setBool(false, QStringLiteral("RemoteEnabled"));
    int result = 0;
    {
        ClipdeckApplication application(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Clipdeck"));
        QCoreApplication::setApplicationVersion(QStringLiteral("0.1-test"));
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    clipdeck::test::cleanUpEnvironment();
    return result;
}
