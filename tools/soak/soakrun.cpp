#include "soakrun.h"

#include "processusage.h"

#include <QDir>
#include <QTextStream>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr int firstAddress = 2;
constexpr int deviceCount = 6;
constexpr int periodMs = 1000;
constexpr int watchMs = 25;
constexpr int outageMaxMs = 10000;
constexpr int warmUpMs = 5000;
constexpr int minuteMs = 60000;

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

QString clockText(qint64 ms)
{
    return QStringLiteral("%1:%2").arg(ms / 60000).arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'));
}

// Distinct for every answer of a device over millions of answers, and within the range the
// station takes as valid: -50.0 to 119.9.
qint16 firstValue(quint64 n)
{
    return qint16(-500 + int(n % 1700));
}

qint16 secondValue(quint64 n, int device)
{
    return qint16(-500 + int((n / 1700 + quint64(device) * 211) % 1700));
}

quint64 valueKey(int device, qint16 first, qint16 second)
{
    return quint64(device) << 32 | quint64(quint16(first)) << 16 | quint16(second);
}

} // namespace

SoakRun::SoakRun(const Options &runOptions, QObject *parent)
    : QObject(parent)
    , options(runOptions)
    , random(runOptions.seed)
    , counters(deviceCount, 0)
{
    bus.setDriftInterval(0);
    connect(&bus, &DeviceSimulator::requestReceived, this,
            [this](quint8 address, ModbusSlave::RequestKind kind, const QByteArray &) {
                onRequest(address, kind);
            });
    connect(&bus, &DeviceSimulator::answerWritten, this, &SoakRun::onAnswer);
    connect(&phaseTimer, &QTimer::timeout, this, &SoakRun::nextPhase);
    connect(&watchTimer, &QTimer::timeout, this, &SoakRun::watchLog);
    connect(&sampleTimer, &QTimer::timeout, this, &SoakRun::sample);
    connect(&station, &QProcess::finished, this, &SoakRun::report);
    input.devices = deviceCount;
    input.periodMs = periodMs;
    input.gapMarginMs = runOptions.gapMarginMs;
}

SoakRun::~SoakRun()
{
    if (station.state() != QProcess::NotRunning) {
        station.kill();
        station.waitForFinished(5000);
    }
}

bool SoakRun::start()
{
    if (options.directory.isEmpty()) {
        temporary = std::make_unique<QTemporaryDir>();
        directory = temporary->path();
    } else {
        directory = QDir(options.directory).absolutePath();
    }
    portLink = directory + QStringLiteral("/ttySOAK");
    // A kept directory may hold the logs of an earlier run.
    QDir(directory + QStringLiteral("/logs")).removeRecursively();
    if (!QDir().mkpath(directory + QStringLiteral("/logs")) || !writeConfiguration()) {
        say(QStringLiteral("grelvix-soak: cannot set up %1").arg(directory));
        return false;
    }
    for (int device = 0; device < deviceCount; ++device) {
        bus.addDevice(quint8(firstAddress + device));
        setNextValues(device);
    }
    if (!bus.openPty() || !bus.createLink(portLink)) {
        say(QStringLiteral("grelvix-soak: %1").arg(bus.errorString()));
        return false;
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_QPA_GENERIC_PLUGINS"), QStringLiteral("grelvixsoakhook"));
    environment.insert(QStringLiteral("QT_PLUGIN_PATH"), options.pluginDir);
    // Three debug lines per answer would fill the disk on a long run.
    environment.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("*.debug=false"));
    // A sanitizer build's leak check at the station's exit knows Qt's own leaks from the tests.
    if (!environment.contains(QStringLiteral("LSAN_OPTIONS")))
        environment.insert(QStringLiteral("LSAN_OPTIONS"),
                           QStringLiteral("suppressions=") + options.leakSuppressions);
    station.setProcessEnvironment(environment);
    station.setWorkingDirectory(directory);
    station.setStandardOutputFile(directory + QStringLiteral("/station.out"));
    station.setStandardErrorFile(directory + QStringLiteral("/station.err"));
    clock.start();
    station.start(options.station, {});
    if (!station.waitForStarted(10000)) {
        say(QStringLiteral("grelvix-soak: cannot start %1: %2")
                .arg(options.station, station.errorString()));
        return false;
    }
    say(QStringLiteral("grelvix-soak: %1 s, %2 devices at %3 s, phases of %4 s, seed %5, in %6")
            .arg(options.seconds)
            .arg(deviceCount)
            .arg(periodMs / 1000)
            .arg(options.phaseSeconds)
            .arg(options.seed)
            .arg(directory));
    watchTimer.start(watchMs);
    sampleTimer.start(1000);
    phaseTimer.start(options.phaseSeconds * 1000);
    QTimer::singleShot(options.seconds * 1000, this, &SoakRun::stop);
    return true;
}

bool SoakRun::writeConfiguration()
{
    QFile file(directory + QStringLiteral("/Monitor.ini"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&file);
    const QChar tab = QLatin1Char('\t');
    out << portLink << tab << 0 << tab << directory << "/logs/" << tab << periodMs / 1000 << tab
        << deviceCount << tab;
    for (int device = 0; device < deviceCount; ++device)
        out << firstAddress + device << tab;
    // Every channel watched, as in service, with thresholds the values stay within: only a
    // channel without a reading goes into alarm. There is no sound file.
    for (int channel = 0; channel < 2 * deviceCount; ++channel)
        out << QStringLiteral("Датчик%1").arg(channel) << tab << 120 << tab << -50 << tab << 1
            << tab;
    out << tab;
    return out.status() == QTextStream::Ok;
}

void SoakRun::setNextValues(int device)
{
    const quint64 n = counters[device]++;
    bus.device(quint8(firstAddress + device))
        ->setTemperatures(firstValue(n) / 10.0, secondValue(n, device) / 10.0);
}

void SoakRun::onRequest(quint8 address, ModbusSlave::RequestKind kind)
{
    const int device = address - firstAddress;
    if (kind != ModbusSlave::TemperatureRequest || device < 0 || device >= deviceCount)
        return;
    input.requests.append({now(), device});
    // The answer to this request is already made; the next one gets values of its own.
    SimulatedDevice *simulated = bus.device(address);
    if (simulated->fault().kind == SimulatedDevice::Fault::Gap)
        gappedRequests.insert(
            valueKey(device, simulated->rawTemperature(0), simulated->rawTemperature(1)),
            int(input.requests.size()));
    setNextValues(device);
}

void SoakRun::onAnswer(quint8 address, const QByteArray &answer)
{
    const int device = address - firstAddress;
    if (device < 0 || device >= deviceCount)
        return;
    SoakCheck::Answer seen;
    seen.ms = now();
    seen.device = device;
    seen.requestsBefore = seen.requestsAtFirstByte = int(input.requests.size());
    seen.intact = answer.size() == 9 && ModbusSlave::hasValidCrc(answer) &&
                  quint8(answer[1]) == 0x03 && quint8(answer[2]) == 4;
    if (answer.size() == 9) {
        seen.first = qint16(quint8(answer[3]) << 8 | quint8(answer[4]));
        seen.second = qint16(quint8(answer[5]) << 8 | quint8(answer[6]));
    }
    // A gapped answer was on the line from its request on, at the latest.
    const quint64 key = valueKey(device, seen.first, seen.second);
    if (gappedRequests.contains(key))
        seen.requestsAtFirstByte = gappedRequests.take(key);
    input.answers.append(seen);
}

QStringList SoakRun::pickDevices(int count, QList<int> *devices)
{
    QList<int> all;
    for (int device = 0; device < deviceCount; ++device)
        all.append(device);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        const int device = all.takeAt(int(random.bounded(quint32(all.size()))));
        devices->append(device);
        names.append(QString::number(firstAddress + device));
    }
    return names;
}

QString SoakRun::applyPhase(Phase phase)
{
    for (int device = 0; device < deviceCount; ++device)
        bus.device(quint8(firstAddress + device))->setFault({});
    static const int delays[] = {60, 100, 150, 190};
    QList<int> devices;
    QStringList faults;
    const auto set = [&](int i, const QString &fault) {
        bus.device(quint8(firstAddress + devices[i]))
            ->setFault(*SimulatedDevice::Fault::fromString(fault));
        faults.append(QStringLiteral("%1 on %2").arg(fault).arg(firstAddress + devices[i]));
    };
    const auto delay = [&] { return QStringLiteral("delay %1").arg(delays[random.bounded(4)]); };
    const auto gap = [&] { return QStringLiteral("gap %1").arg(1 + random.bounded(3)); };

    switch (phase) {
    case Healthy:
        return QStringLiteral("all healthy");
    case Silent:
        pickDevices(2, &devices);
        set(0, QStringLiteral("silent"));
        set(1, QStringLiteral("silent"));
        break;
    case Delay:
        pickDevices(2, &devices);
        set(0, delay());
        set(1, delay());
        break;
    case Gap:
        pickDevices(2, &devices);
        set(0, gap());
        set(1, gap());
        break;
    case BadCrc:
        pickDevices(1, &devices);
        set(0, QStringLiteral("badcrc"));
        break;
    case Range:
        pickDevices(1, &devices);
        set(0, QStringLiteral("range"));
        break;
    case SlowBytes:
        pickDevices(1, &devices);
        set(0, QStringLiteral("gap 15"));
        break;
    case Mixed:
        pickDevices(4, &devices);
        set(0, QStringLiteral("silent"));
        set(1, delay());
        set(2, gap());
        set(3, QStringLiteral("badcrc"));
        break;
    case PortGone:
        removePort();
        QTimer::singleShot(qMin(outageMaxMs, options.phaseSeconds * 500), this,
                           &SoakRun::restorePort);
        return QStringLiteral("port removed");
    }
    return faults.join(QStringLiteral(", "));
}

void SoakRun::nextPhase()
{
    static const Phase order[] = {Silent,   Delay,     Gap,   BadCrc, Range,
                                  PortGone, SlowBytes, Mixed, Healthy};
    const Phase phase = order[phaseNumber++ % int(std::size(order))];
    say(QStringLiteral("%1 %2").arg(clockText(now()), applyPhase(phase)));
}

void SoakRun::removePort()
{
    if (portAway)
        return;
    bus.close();
    portAway = true;
    input.outages.append({now(), -1});
}

void SoakRun::restorePort()
{
    if (!portAway)
        return;
    if (!bus.openPty() || !bus.createLink(portLink)) {
        fail(QStringLiteral("cannot bring the port back: %1").arg(bus.errorString()));
        return;
    }
    portAway = false;
    input.outages.last().toMs = now();
    say(QStringLiteral("%1 port back").arg(clockText(now())));
}

void SoakRun::watchLog()
{
    if (logPath.isEmpty()) {
        const QStringList logs = QDir(directory + QStringLiteral("/logs"))
                                     .entryList({QStringLiteral("Log_*.dat")}, QDir::Files);
        if (logs.isEmpty()) {
            if (now() > 30000)
                fail(QStringLiteral("recording did not start within 30 s"));
            return;
        }
        logPath = directory + QStringLiteral("/logs/") + logs.first();
    }
    parseLog();
}

void SoakRun::parseLog()
{
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const qint64 previousReadMs = lastReadMs;
    lastReadMs = now();
    if (file.size() <= logOffset)
        return;
    file.seek(logOffset);
    const QByteArray bytes = file.readAll();
    logOffset += bytes.size();
    logPending += bytes;

    const auto formatError = [this](const QString &what) {
        if (formatExamples.size() < 10)
            formatExamples.append(what);
        ++formatErrors;
    };
    QList<QByteArray> tokens = logPending.split('\t');
    logPending = tokens.takeLast(); // not yet followed by its tab
    qsizetype used = 0;
    if (logChannels < 0 && !tokens.isEmpty()) {
        logChannels = tokens[used++].toInt();
        if (logChannels != 2 * deviceCount)
            formatError(QStringLiteral("header counts %1 channels").arg(logChannels));
    }
    for (; logNames < logChannels && used < tokens.size(); ++logNames)
        ++used;
    while (logChannels > 0 && tokens.size() - used >= 1 + logChannels) {
        SoakCheck::Record record;
        record.ms = lastReadMs;
        record.afterMs = previousReadMs;
        bool ok = false;
        record.stamp = tokens[used++].toUInt(&ok);
        if (!ok)
            formatError(QStringLiteral("time stamp '%1'").arg(QString::fromUtf8(tokens[used - 1])));
        for (int i = 0; i < logChannels; ++i) {
            record.values.append(tokens[used++].toFloat(&ok));
            if (!ok)
                formatError(QStringLiteral("value '%1'").arg(QString::fromUtf8(tokens[used - 1])));
        }
        if (!input.records.isEmpty() && record.stamp < input.records.last().stamp)
            formatError(QStringLiteral("time stamp %1 after %2")
                            .arg(record.stamp)
                            .arg(input.records.last().stamp));
        input.records.append(record);
    }
    // Tokens of a record not complete yet go back in front of the rest.
    for (qsizetype i = tokens.size() - 1; i >= used; --i)
        logPending.prepend(tokens[i] + '\t');
}

void SoakRun::sample()
{
    const qint64 pid = station.processId();
    if (pid <= 0)
        return;
    const qint64 ms = now();
    if (cpuStartTicks < 0 && ms >= warmUpMs) {
        cpuStartTicks = ProcessUsage::cpuTicks(pid);
        cpuStartMs = ms;
    }
    if (rssMinuteKb < 0 && ms >= minuteMs)
        rssMinuteKb = ProcessUsage::statusKb(pid, "VmRSS");
}

void SoakRun::stop()
{
    if (stopping)
        return;
    stopping = true;
    phaseTimer.stop();
    sampleTimer.stop();
    watchTimer.stop();
    const qint64 pid = station.processId();
    if (pid > 0) {
        cpuEndTicks = ProcessUsage::cpuTicks(pid);
        cpuEndMs = now();
        rssEndKb = ProcessUsage::statusKb(pid, "VmRSS");
    }
    parseLog();
    input.endMs = now();
    if (portAway)
        input.outages.last().toMs = input.endMs;
    if (pid > 0)
        ::kill(pid_t(pid), SIGTERM);
    // The station saves its configuration and ends; one that hangs is a failure too.
    QTimer::singleShot(15000, this, [this] {
        if (station.state() != QProcess::NotRunning) {
            fail(QStringLiteral("station did not end within 15 s of SIGTERM"));
            station.kill();
        }
    });
}

void SoakRun::fail(const QString &why)
{
    say(QStringLiteral("FAIL: ") + why);
    failed = true;
    stop();
}

void SoakRun::report(int exitStatus, QProcess::ExitStatus how)
{
    if (!stopping) {
        fail(QStringLiteral("station ended at %1").arg(clockText(now())));
        input.endMs = now();
    }
    const bool stationOk = reportStation(exitStatus, how);
    failed = failed || !stationOk;
    // Records written after the stop are left out: they would be seen late.
    reportLog();
    if (!options.directory.isEmpty())
        writeTrace();
    say(failed ? QStringLiteral("result: FAIL") : QStringLiteral("result: PASS"));
    emit finished();
}

bool SoakRun::reportStation(int exitStatus, QProcess::ExitStatus how)
{
    QFile errors(directory + QStringLiteral("/station.err"));
    QByteArray text;
    if (errors.open(QIODevice::ReadOnly))
        text = errors.readAll();
    const bool sanitizer = text.contains("ERROR: AddressSanitizer") ||
                           text.contains("ERROR: LeakSanitizer") || text.contains("runtime error:");
    const bool ok = how == QProcess::NormalExit && exitStatus == 0 && !sanitizer;
    say(QStringLiteral("station: %1, exit %2%3")
            .arg(ok ? QStringLiteral("no crash") : QStringLiteral("FAILED"))
            .arg(how == QProcess::NormalExit ? QString::number(exitStatus)
                                             : QStringLiteral("by signal"))
            .arg(sanitizer ? QStringLiteral(", sanitizer report in %1").arg(errors.fileName())
                           : QStringLiteral(", no sanitizer report")));

    if (rssMinuteKb > 0 && rssEndKb > 0)
        say(QStringLiteral("RSS: %1 MB after the first minute, %2 MB at the end: %3%4 MB")
                .arg(rssMinuteKb / 1024.0, 0, 'f', 1)
                .arg(rssEndKb / 1024.0, 0, 'f', 1)
                .arg(rssEndKb >= rssMinuteKb ? QStringLiteral("+") : QString())
                .arg((rssEndKb - rssMinuteKb) / 1024.0, 0, 'f', 1));
    else
        say(QStringLiteral("RSS: %1 MB at the end (run shorter than a minute)")
                .arg(rssEndKb / 1024.0, 0, 'f', 1));
    if (cpuStartTicks >= 0 && cpuEndTicks >= cpuStartTicks && cpuEndMs > cpuStartMs) {
        const double seconds = double(cpuEndTicks - cpuStartTicks) / double(::sysconf(_SC_CLK_TCK));
        say(QStringLiteral("CPU: mean %1 % of one core from %2 to the end")
                .arg(100.0 * seconds * 1000.0 / double(cpuEndMs - cpuStartMs), 0, 'f', 2)
                .arg(clockText(cpuStartMs)));
    }
    return ok;
}

void SoakRun::reportLog()
{
    const QList<SoakCheck::Record> &records = input.records;
    say(QStringLiteral("log: %1 records of 1 + %2 tokens, %3 format errors%4")
            .arg(records.size())
            .arg(logChannels)
            .arg(formatErrors)
            .arg(formatErrors == 0 ? QStringLiteral(", time stamps in order") : QString()));
    for (const QString &example : formatExamples)
        say(QStringLiteral("  ") + example);
    if (records.isEmpty() || formatErrors > 0) {
        failed = true;
        return;
    }

    const SoakCheck::Result result = SoakCheck::check(input);
    say(QStringLiteral("values: %1 checked against the simulator's answers: %2 readings, %3 "
                       "without a reading, %4 mismatches (%5 not answered in their cycle, %6 "
                       "answers lost)")
            .arg(records.size() * qsizetype(logChannels))
            .arg(result.numbers)
            .arg(result.noReadings)
            .arg(result.mismatches)
            .arg(result.notAnswered)
            .arg(result.lost));
    for (const QString &example : result.examples)
        say(QStringLiteral("  ") + example);
    QStringList gaps;
    for (int channel = 0; channel < logChannels; ++channel)
        gaps.append(QStringLiteral("T%1 %2").arg(channel).arg(result.longestGapMs[channel] / 1000.0,
                                                              0, 'f', 2));
    say(QStringLiteral("longest time without a record, per channel (s): ") +
        gaps.join(QStringLiteral(", ")));
    say(QStringLiteral("closest to the goal: %1 s between two records against %2 s (the period, "
                       "the second record's cycle%3): %4")
            .arg(result.worstGapMs / 1000.0, 0, 'f', 2)
            .arg(result.worstGoalMs / 1000.0, 0, 'f', 2)
            .arg(options.gapMarginMs > 0
                     ? QStringLiteral(" and a margin of %1 ms").arg(options.gapMarginMs)
                     : QString())
            .arg(result.gapsWithinGoal ? QStringLiteral("within") : QStringLiteral("PAST")));
    failed = failed || result.mismatches > 0 || !result.gapsWithinGoal;
}

// Everything the check works on, for a look at a failure: soak-trace.txt in a kept directory.
void SoakRun::writeTrace() const
{
    QFile file(directory + QStringLiteral("/soak-trace.txt"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QTextStream out(&file);
    out << "# request MS DEVICE | answer MS REQUESTS_AT_FIRST_BYTE DEVICE T1 T2 INTACT "
           "REQUESTS_BEFORE | "
           "outage FROM TO | "
           "record MS AFTER_MS STAMP VALUES\n";
    for (const SoakCheck::Request &r : input.requests)
        out << "request " << r.ms << ' ' << r.device << '\n';
    for (const SoakCheck::Answer &a : input.answers)
        out << "answer " << a.ms << ' ' << a.requestsAtFirstByte << ' ' << a.device << ' '
            << a.first << ' ' << a.second << ' ' << int(a.intact) << ' ' << a.requestsBefore
            << '\n';
    for (const SoakCheck::Outage &o : input.outages)
        out << "outage " << o.fromMs << ' ' << o.toMs << '\n';
    for (const SoakCheck::Record &r : input.records) {
        out << "record " << r.ms << ' ' << r.afterMs << ' ' << r.stamp;
        for (float value : r.values)
            out << ' ' << value;
        out << '\n';
    }
}
