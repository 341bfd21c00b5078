// What killed JACK test servers leave behind is cleared before the next one starts, and
// nothing of a server that may still be running.
#include "support/JackTestServer.h"
#include "support/ServerRequirement.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

using namespace clipdeck::test;

namespace {

void plant(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("left over");
}

} // namespace

TEST(JackLeftovers, AreClearedOnlyWhenNoServerRuns)
{
    const QStringList stale = {"jack-shm-registry", "jack-0-0", "jack-0-2", "jack_clipdeck-415-0_0_0",
                               "jack_sem.0_clipdeck-10133-0_Clipdeck MIDI", "jack_sem.0_clipdeck-9-1_system"};
    const QStringList others = {"jack-1000-0", "jack_default_0_0", "jack_sem.1000_default_system", "pulse-shm-1"};
    for (const bool noServerRuns : {false, true}) {
        TempFolder folder;
        for (const QString& name : stale + others)
            plant(folder.file(name));
        ASSERT_TRUE(QDir(folder.path()).mkpath("jack_db-0"));
        plant(folder.file("jack_db-0/__db.001")); // a damaged database, once mapped, kills clients

        const int removed = removeJackLeftovers(folder.path(), 0, noServerRuns);
        EXPECT_EQ(removed, noServerRuns ? stale.size() + 1 : 0);
        for (const QString& name : stale)
            EXPECT_EQ(QFile::exists(folder.file(name)), !noServerRuns) << name.toStdString();
        EXPECT_EQ(QDir(folder.file("jack_db-0")).exists(), !noServerRuns);
        for (const QString& name : others)
            EXPECT_TRUE(QFile::exists(folder.file(name))) << name.toStdString();
    }
}

// Without anything a killed server left, the shared registry and database stay: clients of
// other tests may be opening them.
TEST(JackLeftovers, TheSharedRegistryStaysWhenNoKilledServerLeftAnything)
{
    TempFolder folder;
    plant(folder.file("jack-shm-registry"));
    ASSERT_TRUE(QDir(folder.path()).mkpath("jack_db-0"));
    plant(folder.file("jack_db-0/__db.001"));
    EXPECT_EQ(removeJackLeftovers(folder.path(), 0, true), 0);
    EXPECT_TRUE(QFile::exists(folder.file("jack-shm-registry")));
    EXPECT_TRUE(QFile::exists(folder.file("jack_db-0/__db.001")));
}

TEST(JackLeftovers, ARunningServerIsSeen)
{
    JackTestServer server;
    CLIPDECK_REQUIRE_SERVER(server.running(), "jackd");
    EXPECT_FALSE(noJackServerRuns());
}
