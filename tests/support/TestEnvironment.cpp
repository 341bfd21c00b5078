#include "support/TestEnvironment.h"
#include "support/ServerRequirement.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QThread>

#include <atomic>
#include <memory>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <stdexcept>
#include <unistd.h>

namespace clipdeck::test {
namespace {
QString g_home;
// The home's path for the removal at exit (g_home is cleared by cleanUpEnvironment()).
std::string g_homeAtExit;
std::atomic<int> g_folderCounter{0};

void setFolderVariable(const char* name, const QString& relative)
{
    const QString folder = g_home + "/" + relative;
    QDir().mkpath(folder);
    setenv(name, folder.toLocal8Bit().constData(), 1);
}
} // namespace

void prepareEnvironment()
{
    QByteArray base = qgetenv("TMPDIR");
    if (base.isEmpty())
        base = "/tmp";
    QByteArray pattern = base + "/clipdeck-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary home for the tests");
    g_home = QString::fromLocal8Bit(pattern);
    // Settings held in statics are written out once more as the process exits, after main
    // has removed the home: the home goes again after them (a handler registered before they
    // are made runs after their destructors).
    g_homeAtExit = pattern.toStdString();
    std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(g_homeAtExit, ignored);
    });
    setenv("HOME", pattern.constData(), 1);
    setFolderVariable("XDG_CONFIG_HOME", ".config");
    setFolderVariable("XDG_DATA_HOME", ".local/share");
    setFolderVariable("XDG_STATE_HOME", ".local/state");
    setFolderVariable("XDG_CACHE_HOME", ".cache");
    // The system bus of a test process is its own (AvahiTestDaemon.h starts one there when a
    // test needs it): no test reaches the machine's DNS-SD daemon, so nothing a test
    // publishes leaves the machine.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + pattern + "/system_bus_socket").constData(), 1);
}

void cleanUpEnvironment()
{
    if (!g_home.isEmpty())
        QDir(g_home).removeRecursively();
    g_home.clear();
}

QString homeFolder() { return g_home; }

TempFolder::TempFolder()
{
    path_ = QString("%1/tmp-%2").arg(g_home).arg(g_folderCounter.fetch_add(1));
    QDir(path_).removeRecursively();
    QDir().mkpath(path_);
}

TempFolder::~TempFolder() { QDir(path_).removeRecursively(); }

QString TempFolder::file(const QString& name) const { return path_ + "/" + name; }

bool waitUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

bool runningUnderContinuousIntegration() { return qgetenv("CI").toLower() == "true"; }

QString dataFolder() { return QString::fromLocal8Bit(qgetenv("CLIPDECK_TEST_DATA")); }

} // namespace clipdeck::test
