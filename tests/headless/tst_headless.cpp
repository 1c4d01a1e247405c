// The station as a service runs it: the program grelvix --headless against simulated devices in
// this process. It awaits a missing port, polls and records without a display and tells systemd;
// every kind of end (window closed, SIGTERM, SIGKILL, recording stopped by the operator) leaves
// recording at the next start as the operator left it.
#include "devicesimulator.h"
#include "fakesoundoutput.h"
#include "headlessstation.h"
#include "notifysocket.h"
#include "statefile.h"
#include "stationconfig.h"
#include "velunor.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <sys/stat.h>

namespace {
// A poll cycle comes every second; every wait below has a bound of its own.
constexpr int startMs = 5000;
constexpr int cyclesMs = 8000;
constexpr int endMs = 10000;

bool waitUntil(const std::function<bool()> &done, int ms, const char *what)
{
    if (QTest::qWaitFor(done, ms))
        return true;
    qWarning("waited %d ms for %s", ms, what);
    return false;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The records of a log file, each the values of its channels.
QList<QList<double>> logRecords(const QString &path)
{
    QList<QByteArray> tokens = contents(path).split('\t');
    tokens.removeLast(); // every token ends with a tab
    const int channels = tokens.value(0).toInt();
    QList<QList<double>> records;
    for (qsizetype at = 1 + channels; channels > 0 && at + channels < tokens.size();
         at += 1 + channels) {
        QList<double> values;
        for (int n = 1; n <= channels; ++n)
            values << tokens[at + n].toDouble();
        records << values;
    }
    return records;
}

enum class End { WindowClosed, Terminated, Killed, StoppedByOperator };
} // namespace

Q_DECLARE_METATYPE(End)

// Devices 5 and 7 on a simulated bus behind a link, and a station directory whose Monitor.ini
// polls them every second, logging into that directory; the station's standard error goes to a
// file beside it.
class Site
{
public:
    Site()
    {
        bus.setDriftInterval(0);
        bus.addDevice(5)->setTemperatures(20.0, 21.0);
        bus.addDevice(7)->setTemperatures(22.0, 23.0);
        plugIn();
        QDir(root.path()).mkdir(QStringLiteral("station"));
        config.port = port;
        config.directory = dir + QLatin1Char('/');
        config.pollInterval = 1;
        config.devices = {5, 7};
        for (ChannelSettings &channel : config.channels)
            channel = {QStringLiteral("Sensor"), 40.0f, 10.0f, 0, 0, 0};
        config.soundFile = dir + QStringLiteral("/alarm.wav");
    }

    // A new pseudo-terminal behind the link, as an adapter plugged in again.
    void plugIn()
    {
        bus.close();
        QVERIFY2(bus.openPty() && bus.createLink(port), qPrintable(bus.errorString()));
    }

    // Written by hand, by words: the station writes it back with tabs.
    void store() const
    {
        QFile file(dir + QStringLiteral("/Monitor.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(config.format().replace('\t', ' '));
    }
    QStringList logs() const
    {
        return QDir(dir).entryList({QStringLiteral("Log_*.dat")}, QDir::Files, QDir::Name);
    }
    quint64 answers() const { return bus.answerCount(5) + bus.answerCount(7); }
    // A log file not among `before` with at least `count` records.
    bool newLogRecorded(const QStringList &before, int count) const
    {
        for (const QString &log : logs()) {
            if (!before.contains(log) && logRecords(dir + '/' + log).size() >= count)
                return true;
        }
        return false;
    }

    // With no display, and `variables` ("NAME=value") added to the environment.
    void start(QProcess &station, const QStringList &options,
               const QStringList &variables = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
        for (const QString &variable : variables)
            env.insert(variable.section(QLatin1Char('='), 0, 0),
                       variable.section(QLatin1Char('='), 1));
        station.setProcessEnvironment(env);
        station.setStandardErrorFile(errors, QIODevice::Append);
        station.start(QStringLiteral(GRELVIX_BINARY),
                      QStringList{QStringLiteral("--headless"), QStringLiteral("--dir"), dir} +
                          options);
        QVERIFY(station.waitForStarted());
    }
    bool ended(QProcess &station) const
    {
        return waitUntil([&] { return station.state() == QProcess::NotRunning; }, endMs,
                         "the station to end");
    }

    QTemporaryDir root;
    const QString port = root.filePath(QStringLiteral("ttySIM"));
    const QString dir = root.filePath(QStringLiteral("station"));
    const QString errors = root.filePath(QStringLiteral("station.err"));
    DeviceSimulator bus;
    StationConfig config;
};

class TestHeadless : public QObject
{
    Q_OBJECT

    // The window's life: it opens the port, the operator presses the record button and, when
    // asked, the stop button, then closes the window.
    void windowLife(Site &site, bool stop)
    {
        const QString previous = QDir::currentPath();
        QDir::setCurrent(site.dir);
        {
            FakeSoundFactory sounds;
            Velunor window(nullptr, StationTimer::Mode::Running, sounds.factory());
            window.on_StartLog_pressed();
            QVERIFY(waitUntil([&] { return site.newLogRecorded({}, 1); }, cyclesMs,
                              "a record of the window's station"));
            if (stop)
                window.on_StopLog_clicked();
        }
        QDir::setCurrent(previous);
    }

    void headlessLife(Site &site, End end)
    {
        QProcess station;
        site.start(station, {QStringLiteral("--record")});
        QVERIFY(waitUntil([&] { return site.newLogRecorded({}, 1); }, cyclesMs,
                          "a record of the headless station"));
        if (end == End::Killed) {
            station.kill();
            QVERIFY(site.ended(station));
            // The kernel keeps a pseudo-terminal exclusive while its other end is open, where a
            // real port's last close frees it: the killed station's lock would outlive it.
            site.plugIn();
            return;
        }
        station.terminate();
        QVERIFY(site.ended(station));
        QCOMPARE(station.exitStatus(), QProcess::NormalExit);
        QCOMPARE(station.exitCode(), 0);
        QCOMPARE(contents(site.dir + QStringLiteral("/Monitor.ini")), site.config.format());
    }

private slots:
    void restartKeepsRecordingAsLeft_data()
    {
        QTest::addColumn<End>("end");
        QTest::addColumn<bool>("records");
        QTest::newRow("window closed") << End::WindowClosed << true;
        QTest::newRow("SIGTERM") << End::Terminated << true;
        QTest::newRow("SIGKILL") << End::Killed << true;
        QTest::newRow("stopped by the operator") << End::StoppedByOperator << false;
    }
    void restartKeepsRecordingAsLeft()
    {
        QFETCH(End, end);
        QFETCH(bool, records);
        Site site;
        site.store();
        if (end == End::WindowClosed || end == End::StoppedByOperator)
            windowLife(site, end == End::StoppedByOperator);
        else
            headlessLife(site, end);
        QCOMPARE(StateFile::readRecording(site.dir + QStringLiteral("/Grelvix.state")), records);

        const QStringList before = site.logs();
        QProcess station;
        site.start(station, {});
        if (records) {
            QVERIFY(waitUntil([&] { return site.newLogRecorded(before, 2); }, cyclesMs,
                              "two records in a new log file"));
        } else {
            const quint64 answered = site.answers();
            QVERIFY(waitUntil([&] { return site.answers() >= answered + 6; }, cyclesMs,
                              "three poll cycles"));
            QCOMPARE(site.logs(), before);
        }
        station.terminate();
        QVERIFY(site.ended(station));
        QCOMPARE(station.exitCode(), 0);
    }

    void pollsAndRecordsWithoutDisplay()
    {
        QList<QList<double>> served[2];
        Site site;
        // T0 watched with its upper threshold below the device's readings: an alarm.
        site.config.channels[0].UpperLimit = 15.0f;
        site.config.channels[0].ChannelEnabled = 1;
        site.store();
        // Every answer carries values none before it carried.
        QObject::connect(
            &site.bus, &DeviceSimulator::answerWritten,
            [&site, &served](quint8 address, const QByteArray &answer) {
                if (answer.size() != 9)
                    return;
                const auto tenths = [&answer](int at) {
                    return qint16(quint8(answer[at]) << 8 | quint8(answer[at + 1]));
                };
                served[address == 5 ? 0 : 1] << QList<double>{tenths(3) / 10.0, tenths(5) / 10.0};
                SimulatedDevice *device = site.bus.device(address);
                device->setTemperatures(device->temperature(0) + 0.1, device->temperature(1) - 0.1);
            });
        NotifySocket notify(site.root.filePath(QStringLiteral("notify")));
        QVERIFY(notify.isValid());
        QFile errorFile(site.errors);
        QVERIFY(errorFile.open(QIODevice::WriteOnly));
        struct stat errors = {};
        QCOMPARE(::stat(qPrintable(site.errors), &errors), 0);

        // The port is not there at start: the station is ready all the same, and waits for it.
        site.bus.close();
        QProcess station;
        site.start(station, {QStringLiteral("--record")},
                   {QStringLiteral("NOTIFY_SOCKET=") + notify.path(),
                    QStringLiteral("JOURNAL_STREAM=%1:%2").arg(errors.st_dev).arg(errors.st_ino)});
        QVERIFY(notify.waitFor("READY=1\nSTATUS=waiting for port", startMs));
        QVERIFY(site.logs().isEmpty());
        site.plugIn();
        QVERIFY(waitUntil([&] { return site.newLogRecorded({}, 4); }, cyclesMs, "four records"));

        // No window system is loaded: not Qt Gui, nor what it would bring.
        const QByteArray maps = contents(QStringLiteral("/proc/%1/maps").arg(station.processId()));
        QVERIFY(maps.contains("libQt6Core.so"));
        for (const char *library : {"libQt6Gui", "libX11", "libxcb", "libwayland"})
            QVERIFY2(!maps.contains(library), library);

        station.terminate();
        QVERIFY(site.ended(station));
        QCOMPARE(station.exitCode(), 0);
        QVERIFY(notify.waitFor("STOPPING=1", startMs));

        // Each record holds answers its devices served, later ones than the record before.
        QCOMPARE(site.logs().size(), 1);
        const QList<QList<double>> records = logRecords(site.dir + '/' + site.logs()[0]);
        qsizetype last[2] = {-1, -1};
        for (const QList<double> &record : records) {
            QCOMPARE(record.size(), 4);
            for (int device = 0; device < 2; ++device) {
                const QList<double> pair = record.mid(2 * device, 2);
                qsizetype found = last[device] + 1;
                while (found < served[device].size() &&
                       (qAbs(served[device][found][0] - pair[0]) > 0.05 ||
                        qAbs(served[device][found][1] - pair[1]) > 0.05))
                    ++found;
                QVERIFY2(found < served[device].size(), "a record of values never served");
                last[device] = found;
            }
        }

        // Standard error is the journal: every line has its priority.
        const QByteArray said = contents(site.errors);
        const QRegularExpression priority(QStringLiteral("^<[0-7]>"));
        for (const QByteArray &line : said.trimmed().split('\n'))
            QVERIFY2(priority.match(QString::fromUtf8(line)).hasMatch(), line.constData());
        QVERIFY(said.contains("<3>Port " + site.port.toUtf8() + " cannot be opened"));
        QVERIFY(QRegularExpression(QStringLiteral("<4>[-0-9: ]+ alarm_on T0 Sensor "))
                    .match(QString::fromUtf8(said))
                    .hasMatch());
        QVERIFY(said.contains("<6>No alarm sound without a window (" +
                              site.config.soundFile.toUtf8() + " is not played)"));
    }

    void withoutConfigurationEndsAtOnce()
    {
        Site site;
        QProcess station;
        site.start(station, {});
        QVERIFY(site.ended(station));
        QCOMPARE(station.exitCode(), HeadlessStation::NoConfiguration);
        QVERIFY(contents(site.errors).contains("No readable Monitor.ini in"));
        QCOMPARE(QDir(site.dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_MAIN(TestHeadless)
#include "tst_headless.moc"
