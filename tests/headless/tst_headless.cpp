// The program grelvix --headless as a service runs it, against simulated devices in this
// process: it awaits a missing port, polls and records without a display and tells systemd; every
// kind of end leaves recording at the next start as the operator left it.
#include "corefixture.h"
#include "fakesoundoutput.h"
#include "headlessstation.h"
#include "notifysocket.h"
#include "statefile.h"
#include "stationconfig.h"
#include "velunor.h"

#include <QProcess>
#include <QRegularExpression>

#include <algorithm>
#include <functional>
#include <sys/stat.h>

namespace {
// A poll cycle comes every second; every wait below has a bound of its own.
constexpr int startMs = 5000;
constexpr int cyclesMs = 8000;

bool waitUntil(const std::function<bool()> &done, int ms, const char *what)
{
    if (QTest::qWaitFor(done, ms))
        return true;
    qWarning("waited %d ms for %s", ms, what);
    return false;
}

QString pair(double first, double second)
{
    return QStringLiteral("%1 %2").arg(first, 0, 'f', 1).arg(second, 0, 'f', 1);
}

// The records of a log file, each as the pairs of its devices; every token ends with a tab.
QList<QStringList> logRecords(const QString &path)
{
    const QList<QByteArray> tokens = CoreFixture::contents(path).split('\t');
    const int channels = tokens.value(0).toInt();
    QList<QStringList> records;
    for (qsizetype at = 2 + channels; channels > 0 && at + channels < tokens.size();
         at += 1 + channels) {
        QStringList pairs;
        for (int n = 0; n + 1 < channels; n += 2)
            pairs << pair(tokens[at + n].toDouble(), tokens[at + n + 1].toDouble());
        records << pairs;
    }
    return records;
}
} // namespace

// Devices 5 and 7 on a simulated bus behind a link, and a station directory whose Monitor.ini
// polls them every second, logging there; the station's standard error goes to a file beside it.
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
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QLatin1String(name));
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
    // A log file not among `before` with at least `count` records.
    bool newLogRecorded(const QStringList &before, int count) const
    {
        const QStringList now = logs();
        return std::any_of(now.cbegin(), now.cend(), [&](const QString &log) {
            return !before.contains(log) && logRecords(dir + '/' + log).size() >= count;
        });
    }

    void start(QProcess &station, const QStringList &options = {}) const
    {
        station.setProcessEnvironment(env);
        station.setStandardErrorFile(errors, QIODevice::Append);
        station.start(QStringLiteral(GRELVIX_BINARY),
                      QStringList{QStringLiteral("--headless"), QStringLiteral("--dir"), dir} +
                          options);
        QVERIFY(station.waitForStarted());
    }
    bool ended(QProcess &station) const
    {
        return waitUntil([&] { return station.state() == QProcess::NotRunning; }, 10000,
                         "the station to end");
    }
    // SIGTERM, as systemd stops it: it ends of itself, with status 0.
    bool stopped(QProcess &station) const
    {
        station.terminate();
        return ended(station) && station.exitStatus() == QProcess::NormalExit &&
               station.exitCode() == 0;
    }

    QTemporaryDir root;
    const QString port = root.filePath(QStringLiteral("ttySIM"));
    const QString dir = root.filePath(QStringLiteral("station"));
    const QString errors = root.filePath(QStringLiteral("station.err"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    DeviceSimulator bus;
    StationConfig config;
};

class TestHeadless : public QObject
{
    Q_OBJECT

private slots:
    void restartKeepsRecordingAsLeft_data()
    {
        QTest::addColumn<bool>("records");
        QTest::newRow("window closed") << true;
        QTest::newRow("SIGTERM") << true;
        QTest::newRow("SIGKILL") << true;
        QTest::newRow("stopped by the operator") << false;
    }
    void restartKeepsRecordingAsLeft()
    {
        QFETCH(bool, records);
        const QByteArray end = QTest::currentDataTag();
        Site site;
        site.store();
        QProcess station;
        ScratchDirectory back; // to the test's own directory, however this ends
        FakeSoundFactory sounds;
        std::unique_ptr<Velunor> window;
        if (!end.startsWith("SIG")) {
            // The operator presses the record button, maybe the stop button, and closes it.
            QVERIFY(QDir::setCurrent(site.dir));
            window =
                std::make_unique<Velunor>(nullptr, StationTimer::Mode::Running, sounds.factory());
            window->on_StartLog_pressed();
        } else {
            site.start(station, {QStringLiteral("--record")});
        }
        QVERIFY(waitUntil([&] { return site.newLogRecorded({}, 1); }, cyclesMs, "a first record"));
        if (!records)
            window->on_StopLog_clicked();
        window.reset();
        if (end == "SIGTERM") {
            QVERIFY(site.stopped(station));
            QCOMPARE(CoreFixture::contents(site.dir + QStringLiteral("/Monitor.ini")),
                     site.config.format());
        } else if (end == "SIGKILL") {
            station.kill();
            QVERIFY(site.ended(station));
            // The kernel keeps a pseudo-terminal exclusive while its other end is open, where a
            // real port's last close frees it: the killed station's lock would outlive it.
            site.plugIn();
        }
        QCOMPARE(StateFile::readRecording(site.dir + QStringLiteral("/Grelvix.state")), records);

        const QStringList before = site.logs();
        site.start(station);
        if (records) {
            QVERIFY(waitUntil([&] { return site.newLogRecorded(before, 2); }, cyclesMs,
                              "two records in a new log file"));
        } else {
            const auto answers = [&] { return site.bus.answerCount(5) + site.bus.answerCount(7); };
            const quint64 answered = answers();
            QVERIFY(waitUntil([&] { return answers() >= answered + 6; }, cyclesMs,
                              "three poll cycles"));
            QCOMPARE(site.logs(), before);
        }
        QVERIFY(site.stopped(station));
    }

    void pollsAndRecordsWithoutDisplay()
    {
        Site site;
        // T0 watched with its upper threshold below the device's readings: an alarm.
        site.config.channels[0].UpperLimit = 15.0f;
        site.config.channels[0].ChannelEnabled = 1;
        site.store();
        // Every answer carries values none before it carried.
        QStringList served[2];
        QObject::connect(&site.bus, &DeviceSimulator::answerWritten,
                         [&](quint8 address, const QByteArray &answer) {
                             SimulatedDevice *device = site.bus.device(address);
                             const double first = device->temperature(0);
                             const double second = device->temperature(1);
                             if (answer.size() == 9) // a reading, not an exception
                                 served[address == 5 ? 0 : 1] << pair(first, second);
                             device->setTemperatures(first + 0.1, second - 0.1);
                         });
        NotifySocket notify(site.root.filePath(QStringLiteral("notify")));
        QVERIFY(notify.bound);
        struct stat errors = {};
        QVERIFY(QFile(site.errors).open(QIODevice::WriteOnly) &&
                ::stat(qPrintable(site.errors), &errors) == 0);
        site.env.insert(QStringLiteral("NOTIFY_SOCKET"), notify.path);
        site.env.insert(QStringLiteral("JOURNAL_STREAM"),
                        QStringLiteral("%1:%2").arg(errors.st_dev).arg(errors.st_ino));

        // The port is not there at start: the station is ready all the same, and waits for it.
        site.bus.close();
        QProcess station;
        site.start(station, {QStringLiteral("--record")});
        QVERIFY(notify.waitFor("READY=1\nSTATUS=waiting for port", startMs));
        QVERIFY(site.logs().isEmpty());
        site.plugIn();
        QVERIFY(waitUntil([&] { return site.newLogRecorded({}, 4); }, cyclesMs, "four records"));

        // No window system is loaded: not Qt Gui, nor what it would bring.
        const QByteArray maps =
            CoreFixture::contents(QStringLiteral("/proc/%1/maps").arg(station.processId()));
        QVERIFY(maps.contains("libQt6Core.so"));
        for (const char *library : {"libQt6Gui", "libX11", "libxcb", "libwayland"})
            QVERIFY2(!maps.contains(library), library);

        QVERIFY(site.stopped(station));
        QVERIFY(notify.waitFor("STOPPING=1", startMs));

        // Each record holds answers its devices served, later ones than the record before.
        QCOMPARE(site.logs().size(), 1);
        qsizetype last[2] = {-1, -1};
        for (const QStringList &record : logRecords(site.dir + '/' + site.logs()[0])) {
            QCOMPARE(record.size(), 2);
            for (int device = 0; device < 2; ++device) {
                last[device] = served[device].indexOf(record[device], last[device] + 1);
                QVERIFY2(last[device] >= 0, qPrintable(record[device] + " was never served"));
            }
        }

        // Standard error is the journal: every line has its priority.
        const QString said = QString::fromUtf8(CoreFixture::contents(site.errors));
        for (const QString &line : said.trimmed().split(QLatin1Char('\n')))
            QVERIFY2(line.contains(QRegularExpression(QStringLiteral("^<[0-7]>"))),
                     qPrintable(line));
        QVERIFY(said.contains(QStringLiteral("<3>Port %1 cannot be opened").arg(site.port)));
        QVERIFY(
            said.contains(QRegularExpression(QStringLiteral("<4>[-0-9: ]+ alarm_on T0 Sensor "))));
    }

    void withoutConfigurationEndsAtOnce()
    {
        Site site;
        QProcess station;
        site.start(station);
        QVERIFY(site.ended(station));
        QCOMPARE(station.exitCode(), HeadlessStation::NoConfiguration);
        QVERIFY(CoreFixture::contents(site.errors).contains("No readable Monitor.ini in"));
        QCOMPARE(QDir(site.dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
    }
};

QTEST_MAIN(TestHeadless)
#include "tst_headless.moc"
