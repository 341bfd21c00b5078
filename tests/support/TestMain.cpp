// Main of the test programs that need no widgets: a QCoreApplication runs so that
// timers, queued calls and main-thread hops behave as in the program.
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    clipdeck::test::prepareEnvironment();
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    clipdeck::test::cleanUpEnvironment();
    return result;
}
