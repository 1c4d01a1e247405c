// Poll cycle over a simulated bus of six devices at a poll period of 1 s:
//  - cycle duration: from the tick that sends the first request of a cycle to the first tick
//    that finds the cycle over (goal 6 x 45 ms +- 10 %),
//  - latency from the last byte of an answer written to its display being painted (goal
//    median below 1 ms), with the simulator in this process,
//  - both again with the devices behind a loopback ser2net, over RFC 2217 (goal: the cycle
//    within 5 % of the local one),
//  - the station's CPU use over a run against the simulator as a separate process, with every
//    device answering (goal below 2 % of one core), every device silent and the port gone
//    (goal at most 1.5 % each): the last two send a request every 45 ms without end; then with
//    every device answering and every channel published to a Mosquitto broker on the loopback
//    interface (goal: at most 0.3 % of one core more than the first run).
// Usage: bench_pollcycle [seconds of each CPU run, default 60] [path of grelvix-devsim]
#include "devicesimulator.h"
#include "ser2netserver.h"
#include "stationconfig.h"
#include "stationcore.h"
#include "stationpublisher.h"
#include "velunor.h"

#include "abstractserial.h"
#include "headless.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLCDNumber>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {
constexpr int deviceCount = 6;

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

// A stored configuration of six devices at 1 s, every channel watched as a station in service
// would be: the station opens the port and polls as it starts.
void configure(const QString &port)
{
    StationConfig config;
    config.port = port;
    config.pollInterval = 1;
    for (int i = 0; i < deviceCount; ++i)
        config.devices << quint8(2 + i);
    for (ChannelSettings &channel : config.channels) {
        channel.ChannelName = QStringLiteral("Датчик");
        channel.UpperLimit = 40.0f;
        channel.LowerLimit = 10.0f;
        channel.ChannelEnabled = 1;
    }
    QFile file(QStringLiteral("Monitor.ini"));
    if (file.open(QIODevice::WriteOnly))
        file.write(config.format());
}

// Paint times of the displays, to tell when a decoded value is on screen.
class PaintClock : public QObject
{
public:
    QElapsedTimer *clock = nullptr;
    qint64 lastPaintNs = -1;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            lastPaintNs = clock->nsecsElapsed();
        return false;
    }
};

// With `remote`, the devices are reached through ser2net over RFC 2217, as a device server's.
void measureCyclesAndLatency(int seconds, bool remote)
{
    DeviceSimulator bus;
    bus.setDriftInterval(0);
    if (!bus.openPty()) {
        std::fprintf(stderr, "no pty: %s\n", qPrintable(bus.errorString()));
        return;
    }
    for (int i = 0; i < deviceCount; ++i)
        bus.addDevice(quint8(2 + i))->setTemperatures(20.0 + i, 10.0 + i);

    Ser2NetServer server(bus.portName(), Ser2NetServer::Mode::Rfc2217);
    if (remote && !server.start()) {
        std::fprintf(stderr, "ser2net did not start: %s\n", qPrintable(server.output()));
        return;
    }
    configure(remote ? server.lineName() : bus.portName());
    Velunor station;
    station.show();
    std::printf("%s:\n", remote ? "over RFC 2217 through ser2net" : "local pseudo-terminal");

    QElapsedTimer clock;
    clock.start();
    PaintClock paints;
    paints.clock = &clock;
    for (int n = 0; n < 2 * deviceCount; ++n)
        station.display(n)->installEventFilter(&paints);

    std::vector<double> cycles;
    qint64 cycleStart = -1;
    bool cycleOver = false;
    const DeviceLink &link = station.station().link();
    QObject::connect(&link, &DeviceLink::requestSent, [&](quint8 address) {
        if (address == 2 && cycleStart < 0)
            cycleStart = clock.nsecsElapsed();
    });
    QObject::connect(&link, &DeviceLink::cycleFinished, [&] { cycleOver = cycleStart >= 0; });
    // Runs after the station's own slot: the first tick that finds the cycle over ends it.
    QObject::connect(
        station.station().findChild<StationTimer *>(QStringLiteral("TimerCommunication")),
        &StationTimer::timeout, [&] {
            if (!cycleOver)
                return;
            cycles.push_back(double(clock.nsecsElapsed() - cycleStart) / 1e6);
            cycleStart = -1;
            cycleOver = false;
        });

    // Answers change every time so that every display repaints.
    std::vector<double> latencies;
    qint64 written = -1;
    int step = 0;
    QObject::connect(&bus, &DeviceSimulator::answerWritten,
                     [&](quint8 address, const QByteArray &) {
                         written = clock.nsecsElapsed();
                         paints.lastPaintNs = -1;
                         ++step;
                         bus.device(address)->setTemperatures(20.0 + (step % 50) / 10.0,
                                                              10.0 + (step % 30) / 10.0);
                     });
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (written >= 0 && paints.lastPaintNs >= written) {
            latencies.push_back(double(paints.lastPaintNs - written) / 1e6);
            written = -1;
        }
    });
    probe.start(0);

    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    probe.stop();

    std::printf("cycle duration over %zu cycles: median %.1f ms, min %.1f ms, max %.1f ms "
                "(goal 270 ms +- 27)\n",
                cycles.size(), percentile(cycles, 0.5),
                cycles.empty() ? 0 : *std::min_element(cycles.begin(), cycles.end()),
                cycles.empty() ? 0 : *std::max_element(cycles.begin(), cycles.end()));
    std::printf(
        "answer to display over %zu answers: median %.3f ms, p99 %.3f ms (goal median < 1 ms)\n",
        latencies.size(), percentile(latencies, 0.5), percentile(latencies, 0.99));
}

// A broker of the run's own on a free loopback port, and a Grelvix.conf naming it.
bool startBroker(QProcess &broker)
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return false;
    const quint16 port = probe.serverPort();
    probe.close();
    QFile config(QStringLiteral("mosquitto.conf"));
    QFile station(QStringLiteral("Grelvix.conf"));
    if (!config.open(QIODevice::WriteOnly) || !station.open(QIODevice::WriteOnly))
        return false;
    config.write(
        QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n").arg(port).toUtf8());
    station.write(
        QStringLiteral("[mqtt]\nhost=127.0.0.1\nport=%1\nstation=bench\n").arg(port).toUtf8());
    config.close();
    station.close();
    broker.start(QStringLiteral("mosquitto"),
                 {QStringLiteral("-c"), QFileInfo(config).absoluteFilePath()});
    QElapsedTimer waited;
    waited.start();
    while (broker.waitForStarted() && waited.elapsed() < 5000) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (socket.waitForConnected(200))
            return true;
    }
    return false;
}

enum class Bus { Answering, Silent, Gone, Publishing };

void measureCpu(int seconds, const QString &simulator, Bus state)
{
    QProcess broker;
    if (state == Bus::Publishing && !startBroker(broker)) {
        std::fprintf(stderr, "mosquitto did not start\n");
        return;
    }
    // The station opens a link to the pty, which the simulator removes when it ends: a port that
    // is gone stays gone, even when another program gets a pty of the same number.
    const QString port = QDir::current().absoluteFilePath(QStringLiteral("ttyBENCH"));
    QStringList arguments = {
        QStringLiteral("--pty"),     QStringLiteral("--link"),      port,
        QStringLiteral("--devices"), QStringLiteral("2,3,4,5,6,7"), QStringLiteral("--drift"),
        QStringLiteral("--quiet")};
    if (state == Bus::Silent)
        arguments << QStringLiteral("--fault") << QStringLiteral("all=silent");
    QProcess bus;
    bus.start(simulator, arguments);
    if (!bus.waitForStarted() || !bus.waitForReadyRead(5000)) {
        std::fprintf(stderr, "simulator %s did not start\n", qPrintable(simulator));
        return;
    }

    configure(port);
    Velunor station;
    station.show();
    std::unique_ptr<StationPublisher> publisher;
    if (state == Bus::Publishing) {
        publisher = std::make_unique<StationPublisher>(station.station());
        publisher->start();
    }
    if (!station.station().link().isOpen()) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(port));
        return;
    }
    if (state == Bus::Gone) {
        bus.terminate();
        bus.waitForFinished();
    }
    const double before = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    const double used = cpuSeconds() - before;
    static const char *const cases[] = {"answering (goal < 2 %)", "all silent (goal <= 1.5 %)",
                                        "port gone (goal <= 1.5 %)",
                                        "answering, publishing to MQTT (goal: answering + 0.3 %)"};
    std::printf("station CPU over %.0f s, 6 devices at 1 s, %s: %.3f s, %.2f %% of one core\n",
                double(wall.elapsed()) / 1000.0, cases[int(state)], used,
                100.0 * used / (double(wall.elapsed()) / 1000.0));
    if (publisher)
        std::printf("  messages acknowledged by the broker: %llu, still queued: %lld\n",
                    static_cast<unsigned long long>(publisher->client()->delivered()),
                    static_cast<long long>(publisher->client()->queued()));
    publisher.reset();
    broker.terminate();
    broker.waitForFinished();
    bus.terminate();
    bus.waitForFinished();
}
} // namespace

int main(int argc, char *argv[])
{
    prepareHeadlessRun();
    QApplication app(argc, argv);
    const int cpuRun = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    const QString simulator = argc > 2 ? QString::fromLocal8Bit(argv[2])
                                       : QCoreApplication::applicationDirPath() +
                                             QStringLiteral("/../tools/grelvix-devsim");
    // Each run in a directory of its own: a station saves its Monitor.ini when it closes.
    for (bool remote : {false, true}) {
        QTemporaryDir cycleDir;
        QDir::setCurrent(cycleDir.path());
        measureCyclesAndLatency(std::min(cpuRun, 20), remote);
    }
    for (Bus state : {Bus::Answering, Bus::Silent, Bus::Gone, Bus::Publishing}) {
        QTemporaryDir cpuDir;
        QDir::setCurrent(cpuDir.path());
        measureCpu(cpuRun, simulator, state);
    }
    return 0;
}
