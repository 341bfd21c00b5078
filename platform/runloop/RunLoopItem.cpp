#include "platform/runloop/RunLoopItem.h"

#include "platform/runloop/RunLoop.h"

namespace {
uint64_t nextSerial = 1;
} // namespace

RunLoopItem::RunLoopItem() : serial_(nextSerial++) {}

bool RunLoopItem::inSharedMode() const
{
    for (const QString& mode : modes_)
        if (RunLoop::isSharedMode(mode))
            return true;
    return false;
}
