// Main of the widget test programs: a QApplication on the offscreen platform, so the
// tests need no display.
#include "support/TestEnvironment.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    clipdeck::test::prepareEnvironment();
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int result = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    clipdeck::test::cleanUpEnvironment();
    return result;
}
