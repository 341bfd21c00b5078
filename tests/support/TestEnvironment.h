#pragma once
// Test helpers shared by every test program.

#include <QString>
#include <functional>

namespace clipdeck::test {

// Gives this test process a fresh temporary home: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME,
// XDG_STATE_HOME and XDG_CACHE_HOME all point into it, so no test reads or writes the
// real user's folders and test processes can run side by side; DBUS_SYSTEM_BUS_ADDRESS
// names a bus socket inside it, where only a test's own bus listens. Called by the test
// mains before the Qt application is created.
void prepareEnvironment();

// Removes the temporary home made by prepareEnvironment().
void cleanUpEnvironment();

// The temporary home of this process.
QString homeFolder();

// A fresh, empty folder for one test; removed with everything in it when destroyed.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    QString path() const { return path_; }
    // The path of a file called name inside the folder (not created).
    QString file(const QString& name) const;

private:
    QString path_;
};

// Runs the Qt event loop until condition() holds or timeoutMs has passed; returns condition().
// The default is long because a state reached returns at once, while a loaded two-core
// machine (ASan, a JACK server and other tests beside it) can take seconds to get there;
// a wait that must not succeed passes its own short limit.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 20000);

// The folder of checked-in test fixtures (tests/data).
QString dataFolder();

} // namespace clipdeck::test
