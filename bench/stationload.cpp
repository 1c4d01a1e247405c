// What a station costs at six devices polled every second, recording: CPU (share of one core)
// and resident memory of the headless station (grelvix --headless) beside the window's
// (grelvix, on the platform QT_QPA_PLATFORM names, offscreen by default), each run as its own
// process against grelvix-devsim, from 5 s after its start on. Goal for the headless station: at
// most 0.3 % of a core and 25 MB.
// Usage: bench_stationload [seconds of each run, default 60]
#include "processusage.h"
#include "stationconfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {
constexpr int deviceCount = 6;
constexpr int warmUpMs = 5000;

qsizetype tokensIn(const QString &directory)
{
    qsizetype tokens = 0;
    for (const QFileInfo &log : QDir(directory).entryInfoList({QStringLiteral("Log_*.dat")})) {
        QFile file(log.filePath());
        if (file.open(QIODevice::ReadOnly))
            tokens += file.readAll().count('\t');
    }
    return tokens;
}

struct Load
{
    double cpuPercent = -1;
    double rssMb = -1;
    double peakMb = -1;
    qsizetype records = 0;
};

Load measure(const QString &station, const QStringList &options, const QString &directory,
             int seconds)
{
    Load load;
    const QString logs = directory + QStringLiteral("/logs");
    QDir(logs).removeRecursively();
    QDir().mkpath(logs);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("default.debug=false"));
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(directory);
    process.setStandardOutputFile(directory + QStringLiteral("/station.out"));
    process.setStandardErrorFile(directory + QStringLiteral("/station.err"));
    process.start(station, options);
    if (!process.waitForStarted())
        return load;
    QTest::qWait(warmUpMs);
    const qint64 pid = process.processId();
    const qint64 before = ProcessUsage::cpuTicks(pid);
    const qsizetype tokensBefore = tokensIn(logs);
    QTest::qWait(seconds * 1000);
    const qint64 after = ProcessUsage::cpuTicks(pid);
    load.rssMb = double(ProcessUsage::statusKb(pid, "VmRSS")) / 1024.0;
    load.peakMb = double(ProcessUsage::statusKb(pid, "VmHWM")) / 1024.0;
    load.records = (tokensIn(logs) - tokensBefore) / (2 * deviceCount + 1);
    if (before >= 0 && after >= before)
        load.cpuPercent = 100.0 * double(after - before) / double(::sysconf(_SC_CLK_TCK)) / seconds;
    process.terminate();
    process.waitForFinished(10000);
    return load;
}

void report(const char *name, const Load &load, int seconds)
{
    std::printf("%-10s CPU %.2f %% of a core, RSS %.1f MB (peak %.1f MB), %lld records in %d s\n",
                name, load.cpuPercent, load.rssMb, load.peakMb,
                static_cast<long long>(load.records), seconds);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    QTemporaryDir dir;
    const QString port = dir.filePath(QStringLiteral("ttyBENCH"));

    QProcess simulator;
    simulator.setStandardOutputFile(QProcess::nullDevice());
    simulator.start(QStringLiteral(GRELVIX_DEVSIM),
                    {QStringLiteral("--pty"), QStringLiteral("--link"), port,
                     QStringLiteral("--quiet"), QStringLiteral("--drift"),
                     QStringLiteral("--devices"), QStringLiteral("2,3,4,5,6,7")});
    if (!QTest::qWaitFor([&] { return QFileInfo(port).isSymLink(); }, 5000)) {
        std::fputs("bench_stationload: the simulator did not start\n", stderr);
        return 1;
    }
    StationConfig config;
    config.port = port;
    config.directory = dir.filePath(QStringLiteral("logs/"));
    config.pollInterval = 1;
    config.devices = {2, 3, 4, 5, 6, 7};
    for (ChannelSettings &channel : config.channels)
        channel = {QStringLiteral("Sensor"), 120.0f, -50.0f, 1, 0, 0};
    QFile ini(dir.filePath(QStringLiteral("Monitor.ini")));
    if (!ini.open(QIODevice::WriteOnly) || ini.write(config.format()) < 0)
        return 1;
    ini.close();

    std::printf("%d devices at 1 s, recording, %d s each after %d s: %s --headless --record, then "
                "%s --record\n",
                deviceCount, seconds, warmUpMs / 1000, GRELVIX_BINARY, GRELVIX_BINARY);
    const Load headless =
        measure(QStringLiteral(GRELVIX_BINARY),
                {QStringLiteral("--headless"), QStringLiteral("--record")}, dir.path(), seconds);
    report("headless", headless, seconds);
    const Load window =
        measure(QStringLiteral(GRELVIX_BINARY), {QStringLiteral("--record")}, dir.path(), seconds);
    report("window", window, seconds);
    const bool met = headless.cpuPercent >= 0 && headless.cpuPercent <= 0.3 &&
                     headless.rssMb <= 25.0 && headless.records > 0;
    std::printf("goal (headless at most 0.3 %% of a core and 25 MB, recording): %s\n",
                met ? "met" : "missed");
    simulator.terminate();
    simulator.waitForFinished(5000);
    return 0;
}
