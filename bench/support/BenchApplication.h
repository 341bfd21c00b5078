#pragma once
// A Qt application for benchmarks whose objects need one (main-thread timers, queued calls):
// made once, on the first call, by the benchmark's own thread, which becomes the main thread.

#include <QCoreApplication>

namespace clipdeck::bench {

inline void ensureApplication()
{
    static int argc = 1;
    static char name[] = "clipdeck_bench";
    static char* argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
}

} // namespace clipdeck::bench
