#include "support/SettleEventLoop.h"

#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace clipdeck::test {

void settleEventLoop(int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        bool reached = false;
        QMetaObject::invokeMethod(QCoreApplication::instance(), [&reached] { reached = true; }, Qt::QueuedConnection);
        waitUntil([&reached] { return reached; });
    }
}

} // namespace clipdeck::test
