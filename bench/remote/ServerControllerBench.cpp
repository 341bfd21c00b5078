// The server controller on loopback with eight remotes: three paired, three waiting for a
// passcode and two sending garbage all the while (DNS-SD faked, real clock and timers).
//  - ChangeToMirrors: one master-volume change and one board rename per iteration, until all
//    three paired mirrors hold both; the median and 99th percentile of that latency
//    (milliseconds, about one 0.05 s posting tick) and the commits each paired remote
//    applied per second.
//  - CompleteStateAndChecksum: the complete state of 64 boards of 32 sounds and its MD5.
#include "bench/support/BenchApplication.h"
#include "clipdeck/CKClipdeck.h"
#include "clipdeck/CKSoundSource.h"
#include "platform/ObservableObject.h"
#include "platform/UserDefaults.h"
#include "remote/CKClipdeckParent.h"
#include "remote/CKRemoteServer.h"
#include "remote/CKServerController.h"
#include "remote/RemoteTestClient.h"
#include "support/FakeDNSServices.h"
#include "support/TestEnvironment.h"

#include <QEventLoop>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

using remotetest::RemoteTestClient;

namespace {

class Boards : public CKClipdeckParent {
public:
    Boards(int boards, int sounds)
    {
        for (int b = 0; b < boards; ++b) {
            auto board = std::make_shared<CKClipdeck>();
            board->setUuid(QStringLiteral("BOARD-%1").arg(b));
            board->setName(QStringLiteral("Board %1").arg(b));
            for (int s = 0; s < sounds; ++s) {
                auto sound = std::make_shared<CKSoundSource>();
                sound->setName(QStringLiteral("Sound %1").arg(s));
                sound->setUuid(QStringLiteral("SOUND-%1-%2").arg(b).arg(s));
                board->addSound(sound, std::size_t(s), false);
            }
            list << board;
        }
    }
    QList<std::shared_ptr<CKClipdeck>> clipdecks() const override { return list; }
    std::optional<std::size_t> selectedClipdeckIndex() const override { return 0; }
    QList<std::shared_ptr<CKClipdeck>> list;
};

// Stands in for the playback controller: the master controls the remotes mirror.
class Controls : public ObservableObject {
public:
    QVariant valueForKey(const QString& key) const override
    {
        return key == QLatin1String("masterVolume") ? QVariant(volume) : QVariant(false);
    }
    void setVolume(float value)
    {
        const float old = volume;
        volume = value;
        didChangeValueForKey(QStringLiteral("masterVolume"), old, value);
    }
    float volume = 1.0f;
};

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[std::size_t(fraction * double(values.size() - 1))];
}

void ChangeToMirrors(benchmark::State& state)
{
    clipdeck::bench::ensureApplication();
    clipdeck::test::TempFolder folder;
    clipdeck::test::FakeDNSServices dns;
    UserDefaults preferences(folder.file(QStringLiteral("preferences.plist")));
    preferences.setDouble(0.33, QStringLiteral("duckingVolume"));
    preferences.setDouble(1.0, QStringLiteral("duckingDuration"));
    Boards boards(4, 32);
    Controls controls;
    CKServerController controller;
    controller.setListeningInterface(QStringLiteral("localhost"));
    controller.setMasterControls(&controls);
    controller.setPreferences(&preferences);
    controller.setClipdeckParent(&boards);
    controller.setRemoteEnabled(true);
    clipdeck::test::waitUntil([&] { return controller.isEnabled(); });
    const uint16_t port = controller.server()->port();

    std::vector<std::unique_ptr<RemoteTestClient>> paired, waiting, garbage;
    for (int i = 0; i < 3; ++i) {
        const QByteArray source = QStringLiteral("127.0.0.%1").arg(2 + i).toLatin1();
        auto client = std::make_unique<RemoteTestClient>("127.0.0.1", port, source.constData());
        const QString name = QStringLiteral("Paired %1").arg(i);
        client->send(RemoteTestClient::connectVerify(name, name, 1000 + i));
        clipdeck::test::waitUntil([&] { return controller.pendingClient(QString::fromLatin1(source)); });
        controller.clientName(name, 1000 + i);
        client->waitFor([&] { return client->count(QStringLiteral("ConnectAccept")) == 1; });
        paired.push_back(std::move(client));
    }
    for (int i = 0; i < 3; ++i) {
        const QByteArray source = QStringLiteral("127.0.0.%1").arg(10 + i).toLatin1();
        waiting.push_back(std::make_unique<RemoteTestClient>("127.0.0.1", port, source.constData()));
        waiting.back()->send(RemoteTestClient::connectVerify("w", QStringLiteral("Waiting %1").arg(i), 1));
    }
    for (int i = 0; i < 2; ++i) {
        const QByteArray source = QStringLiteral("127.0.0.%1").arg(20 + i).toLatin1();
        garbage.push_back(std::make_unique<RemoteTestClient>("127.0.0.1", port, source.constData()));
    }

    std::vector<double> latencies;
    int64_t changes = 0;
    const auto started = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ++changes;
        const int before = paired.front()->commitsApplied;
        const auto t0 = std::chrono::steady_clock::now();
        controls.setVolume(float(changes % 100) / 100.0f);
        boards.list[0]->setName(QStringLiteral("Board %1").arg(changes));
        for (const auto& client : garbage)
            client->sendRaw(QByteArray(97, char(changes)) + QByteArray("\xFA\xDE\xDE\xAD", 4));
        clipdeck::test::waitUntil([&] {
            for (const auto& client : paired)
                client->poll();
            return std::all_of(paired.begin(), paired.end(),
                               [&](const auto& client) { return client->commitsApplied >= before + 2; });
        }, 10000);
        latencies.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    state.counters["latency_median_ms"] = percentile(latencies, 0.5);
    state.counters["latency_p99_ms"] = percentile(latencies, 0.99);
    state.counters["commits_per_s_each"] = double(paired.front()->commitsApplied) / seconds;
    state.counters["mirror_matches"] = paired.front()->mirror == controller.completeState() ? 1 : 0;
    controller.setRemoteEnabled(false);
}
BENCHMARK(ChangeToMirrors)->Iterations(100)->Unit(benchmark::kMillisecond);

void CompleteStateAndChecksum(benchmark::State& state)
{
    clipdeck::bench::ensureApplication();
    clipdeck::test::TempFolder folder;
    UserDefaults preferences(folder.file(QStringLiteral("preferences.plist")));
    Boards boards(64, 32);
    Controls controls;
    CKServerController controller;
    controller.setMasterControls(&controls);
    controller.setPreferences(&preferences);
    controller.setClipdeckParent(&boards);
    for (auto _ : state) {
        QVariantMap complete = controller.completeState();
        benchmark::DoNotOptimize(complete);
        QByteArray checksum = controller.performChecksumOfState();
        benchmark::DoNotOptimize(checksum);
    }
}
BENCHMARK(CompleteStateAndChecksum)->Unit(benchmark::kMillisecond);

} // namespace
