#include "support/AvahiTestDaemon.h"

#include "support/TestEnvironment.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <cctype>
#include <csignal>
#include <cstring>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace clipdeck::test {
namespace {

constexpr int kStartTimeoutMs = 30000;

// The children die with the test process, whatever ends it.
void dieWithParent()
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
}

std::unique_ptr<QProcess> makeProcess()
{
    auto process = std::make_unique<QProcess>();
    process->setChildProcessModifier(dieWithParent);
    process->setProcessChannelMode(QProcess::MergedChannels);
    return process;
}

void stop(std::unique_ptr<QProcess>& process)
{
    if (!process)
        return;
    if (process->state() != QProcess::NotRunning) {
        ::kill(pid_t(process->processId()), SIGTERM);
        if (!process->waitForFinished(5000)) {
            ::kill(pid_t(process->processId()), SIGKILL);
            process->waitForFinished(5000);
        }
    }
    process.reset();
}

bool socketAnswers(const QString& path)
{
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = path.toLocal8Bit();
    if (probe < 0 || bytes.size() >= int(sizeof address.sun_path)) {
        if (probe >= 0)
            ::close(probe);
        return false;
    }
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    const bool answers = ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return answers;
}


// Waits, reading the process's output, until pattern matches it; the match or nothing.
std::optional<QRegularExpressionMatch> waitForOutput(QProcess& process, const QRegularExpression& pattern,
                                                     QByteArray& output)
{
    QDeadlineTimer deadline(kStartTimeoutMs);
    while (!deadline.hasExpired()) {
        const auto match = pattern.match(QString::fromLocal8Bit(output));
        if (match.hasMatch())
            return match;
        if (process.state() == QProcess::NotRunning)
            break;
        process.waitForReadyRead(100);
        output += process.readAll();
    }
    output += process.readAll();
    return std::nullopt;
}

} // namespace

AvahiTestDaemon::AvahiTestDaemon()
{
    const QString address = QString::fromLocal8Bit(qgetenv("DBUS_SYSTEM_BUS_ADDRESS"));
    if (!address.startsWith("unix:path=")) {
        error_ = "DBUS_SYSTEM_BUS_ADDRESS names no socket path: " + address;
        return;
    }
    folder_ = homeFolder() + "/avahi-test";
    QDir().mkpath(folder_);
    running_ = startBus(address.mid(int(strlen("unix:path="))).section(',', 0, 0)) && startDaemon();
}

AvahiTestDaemon::~AvahiTestDaemon()
{
    stop(daemon_);
    stop(bus_);
}

QString AvahiTestDaemon::writeConfig(const QString& name, const QByteArray& text)
{
    const QString path = folder_ + "/" + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size())
        return path;
    error_ = "cannot write " + path;
    return {};
}

bool AvahiTestDaemon::startBus(const QString& socketPath)
{
    if (socketAnswers(socketPath))
        return true; // a bus of this process runs already
    QFile::remove(socketPath);
    // A system bus that lets everyone own and call everything: only this test's daemon and
    // this test's process ever connect to it.
    const QByteArray config = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                              " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                              "<busconfig>\n"
                              "  <type>system</type>\n"
                              "  <listen>unix:path=" +
                              socketPath.toLocal8Bit() +
                              "</listen>\n"
                              "  <auth>EXTERNAL</auth>\n"
                              "  <policy context=\"default\">\n"
                              "    <allow user=\"*\"/>\n"
                              "    <allow own=\"*\"/>\n"
                              "    <allow send_destination=\"*\"/>\n"
                              "    <allow receive_sender=\"*\"/>\n"
                              "  </policy>\n"
                              "</busconfig>\n";
    const QString configPath = writeConfig("bus.conf", config);
    if (configPath.isEmpty())
        return false;
    bus_ = makeProcess();
    bus_->start("dbus-daemon", {"--config-file=" + configPath, "--nofork", "--print-address=1"});
    QByteArray output;
    if (!waitForOutput(*bus_, QRegularExpression("unix:path="), output) || !socketAnswers(socketPath)) {
        error_ = "dbus-daemon did not start: " + QString::fromLocal8Bit(output) + bus_->errorString();
        return false;
    }
    return true;
}

bool AvahiTestDaemon::startDaemon()
{
    const QByteArray config = "[server]\n"
                              "use-ipv4=yes\n"
                              "use-ipv6=no\n"
                              "allow-interfaces=lo\n"
                              "enable-dbus=yes\n"
                              "[wide-area]\n"
                              "enable-wide-area=no\n"
                              "[publish]\n"
                              "publish-hinfo=no\n"
                              "publish-workstation=no\n"
                              "[reflector]\n"
                              "enable-reflector=no\n";
    const QString configPath = writeConfig("avahi-daemon.conf", config);
    if (configPath.isEmpty())
        return false;
    // unshare execs its command in the same process, and sh execs the daemon: the process
    // started here is the daemon, in its own network and mount namespaces.
    const QString script = "ip link set lo up && ip link set lo multicast on && mount -t tmpfs tmpfs /run && "
                           "exec avahi-daemon -f '" +
                           configPath +
                           "' --no-drop-root --no-chroot --no-rlimits --no-proc-title";
    daemon_ = makeProcess();
    daemon_->start("unshare", {"--net", "--mount", "sh", "-c", script});
    QByteArray output;
    const auto started =
        waitForOutput(*daemon_, QRegularExpression("Server startup complete\\. Host name is ([^ ]+)\\."), output);
    if (!started) {
        error_ = "avahi-daemon did not start: " + QString::fromLocal8Bit(output) + daemon_->errorString();
        return false;
    }
    hostName_ = started->captured(1);
    return true;
}

// The browser

namespace {

// avahi-browse writes a name's dots, backslashes and other bytes as \. \\ and \DDD.
QString unescape(const QString& text)
{
    QByteArray bytes;
    const QByteArray in = text.toUtf8();
    for (int i = 0; i < in.size(); ++i) {
        if (in[i] == '\\' && i + 3 < in.size() && std::isdigit(uchar(in[i + 1])) && std::isdigit(uchar(in[i + 2])) &&
            std::isdigit(uchar(in[i + 3]))) {
            bytes += char(in.mid(i + 1, 3).toInt());
            i += 3;
        } else if (in[i] == '\\' && i + 1 < in.size()) {
            bytes += in[++i];
        } else {
            bytes += in[i];
        }
    }
    return QString::fromUtf8(bytes);
}

} // namespace

AvahiBrowser::AvahiBrowser(const QString& type)
{
    process_ = makeProcess();
    process_->setProcessChannelMode(QProcess::SeparateChannels);
    process_->start("avahi-browse", {"--resolve", "--parsable", "--no-db-lookup", type});
}

AvahiBrowser::~AvahiBrowser()
{
    stop(process_);
}

void AvahiBrowser::readLines()
{
    pending_ += process_->readAllStandardOutput();
    for (int end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
        const QStringList fields = QString::fromUtf8(pending_.left(end)).split(';');
        pending_.remove(0, end + 1);
        // =;iface;proto;name;type;domain;host;address;port;txt   -;iface;proto;name;type;domain
        if (fields.size() >= 9 && fields[0] == "=") {
            events_.push_back({unescape(fields[3]), Service{unescape(fields[3]), fields[6], fields[7],
                                                            uint16_t(fields[8].toUInt())}});
        } else if (fields.size() >= 4 && fields[0] == "-") {
            events_.push_back({unescape(fields[3]), std::nullopt});
        }
    }
}

std::optional<AvahiBrowser::Service> AvahiBrowser::resolved(const QString& name)
{
    readLines();
    for (auto event = events_.rbegin(); event != events_.rend(); ++event) {
        if (event->first == name)
            return event->second;
    }
    return std::nullopt;
}

bool AvahiBrowser::removed(const QString& name)
{
    readLines();
    bool seen = false;
    for (const auto& event : events_) {
        if (event.first == name && event.second)
            seen = true;
    }
    return seen && !resolved(name);
}

} // namespace clipdeck::test
