// Monitor.ini: written at the end of one run, read at the start of the next.
#include "corefixture.h"

#include <QTest>
#include <QTextCodec>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {
using State = StationCore::ConfigState;

const QByteArray channels = QStringLiteral("Датчик\t40\t10\t0\t").toUtf8().repeated(12);
const QByteArray head = "/nonexistent/COM1\t0\t/tmp/\t5\t";
const QByteArray whole = head + "1\t9\t" + channels + "/x.wav\t";
} // namespace

class TestStationConfig : public QObject
{
    Q_OBJECT

private slots:
    void roundTripRestoresEverythingAndConnects()
    {
        CoreFixture fixture;
        const QString port = fixture.simulate().portName();
        StationCore &core = fixture.create();
        QCOMPARE(fixture.started, State::Missing);
        core.setPortName(port);
        core.setSpeedIndex(3);
        core.setWorkingDirectory(QStringLiteral("/srv/my logs/"));
        core.setPollInterval(7);
        core.link().setDevices({5, 7, 254});
        core.alarms().restoreChannel(0, {QStringLiteral("Печь1"), 10.1f, -12.3f, 1, 0, 0});
        core.alarms().restoreChannel(5, {QString(), 120.0f, -50.0f, 7, 0, 0});
        core.alarms().restoreChannel(11, {QStringLiteral("Zone11"), 10.5f, 0.5f, 0, 0, 0});
        core.setSoundFile(QStringLiteral("/srv/sounds/big alarm.wav"));
        fixture.destroy();
        const QByteArray first = fixture.written();
        QVERIFY(first.startsWith(port.toUtf8() +
                                 "\t3\t/srv/my logs/\t7\t3\t5\t7\t254\tПечь1\t10.1\t"
                                 "-12.3\t1\t"));
        QVERIFY(first.contains("\t\t120\t-50\t7\t"));
        QVERIFY(first.endsWith("\tZone11\t10.5\t0.5\t0\t/srv/sounds/big alarm.wav\t"));

        StationCore &again = fixture.create();
        QCOMPARE(fixture.started, State::Read);
        // A stored configuration connects on its own.
        QVERIFY(again.link().isOpen());
        QCOMPARE(again.link().speed(), 57600);
        QVERIFY(again.alarms().channel(0).UpperLimit == 10.1f); // bit for bit, not merely close
        QVERIFY(again.alarms().channel(0).LowerLimit == -12.3f);
        fixture.destroy();
        QCOMPARE(fixture.written(), first);
    }

    // What is read of a file, told by the bytes the station saves of it. A damaged file is kept
    // once as Monitor.ini.bad; what the station saved of it reads whole.
    void readsStationFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QByteArray>("saved"); // its start "*" its end, or all of it
        QTest::addColumn<QString>("warning");
        const auto row = [](const char *name, const QByteArray &content, bool damaged,
                            const QByteArray &saved, const char *warning = "") {
            QTest::newRow(name) << content << damaged << saved << QString::fromUtf8(warning);
        };
        // Eleven channels without a value, and no sound file.
        const QByteArray empty = QByteArray("\t0\t0\t0\t").repeated(11) + "\t";
        const QByteArray words = QByteArray(channels).replace('\t', ' ');
        row("whole", whole, false, whole);
        row("without tabs, read by words", "COM3 2 /var/log/ 4 1 9 " + words + "/a.wav\n", false,
            "COM3\t2\t/var/log/\t4\t1\t9\t" + channels + "/a.wav\t");
        QTextCodec *cp1251 = QTextCodec::codecForName("windows-1251");
        QVERIFY(cp1251);
        QByteArray windows = "COM1\t0\tC:\\Logs\\\t5\t0\t";
        for (int n = 0; n < 12; ++n)
            windows += cp1251->fromUnicode(QStringLiteral("Датчик%1\t40\t10\t1\t").arg(n));
        windows += cp1251->fromUnicode(QStringLiteral("C:\\Звук\\тревога.wav\t"));
        row("Windows station's names", windows, false,
            "COM1\t0\tC:\\Logs\\\t5\t0\tДатчик0\t*Датчик11\t40\t10\t1\tC:\\Звук\\тревога.wav\t");
        QByteArray many = head + "300\t";
        for (int i = 0; i < 300; ++i)
            many += QByteArray::number(i % 256) + '\t';
        // The addresses beyond the table are passed over, not taken for names.
        row("device count 300", many + channels + "/x.wav\t", true,
            head + "256\t0\t1\t*\t255\t" + channels + "/x.wav\t",
            "Monitor.ini: device count 300 out of range, using 256");
        row("device count -4", head + "-4\t" + channels + "/x.wav\t", true,
            head + "0\t" + channels + "/x.wav\t",
            "Monitor.ini: device count -4 out of range, using 0");
        row("device count 100000", head + "100000\t9\t" + channels, true,
            head + "256\t9\t0\t40\t10\t0\t0\t*" + empty,
            "Monitor.ini: device count 100000 out of range, using 256");
        row("cut after the device table", head + "2\t5\t7\t", true, head + "2\t5\t7\t*" + empty);
        row("cut in a channel", head + "1\t9\tДатчик\t40\t", true,
            head + "1\t9\tДатчик\t40\t0\t0\t\t*" + empty);
        row("word for a number", QByteArray(whole).replace("\t40\t", "\tforty\t"), true,
            QByteArray(whole).replace("\t40\t", "\t0\t"));
        row("values left over", whole + "extra\t", true, whole);
        row("speed index 9", QByteArray(whole).replace("COM1\t0", "COM1\t9"), true,
            QByteArray(whole).replace("COM1\t0", "COM1\t-1"));
        row("interval 11", QByteArray(whole).replace("/tmp/\t5", "/tmp/\t11"), true,
            QByteArray(whole).replace("/tmp/\t5", "/tmp/\t10"));
        // Not read at all: what is saved is the station's own default.
        row("over 1 MiB", whole + QByteArray(1 << 20, ' '), true,
            "COM12\t0\t*\t0\t" + channels + "\t",
            "Monitor.ini: larger than 1048576 bytes, not read");
    }
    void readsStationFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, damaged);
        QFETCH(QByteArray, saved);
        QFETCH(QString, warning);
        CoreFixture fixture;
        const QString bad = fixture.path(QStringLiteral("Monitor.ini.bad"));
        fixture.store(content);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        fixture.create();
        QCOMPARE(fixture.started, damaged ? State::Damaged : State::Read);
        fixture.destroy();
        const QByteArray written = fixture.written();
        const QList<QByteArray> ends = saved.split('*');
        QVERIFY2(ends.size() == 1 ? written == saved
                                  : written.startsWith(ends[0]) && written.endsWith(ends[1]),
                 written.constData());
        QCOMPARE(CoreFixture::contents(bad), damaged ? content : QByteArray("<missing>"));

        QVERIFY(!damaged || QFile::remove(bad));
        fixture.create();
        QCOMPARE(fixture.started, State::Read);
        QVERIFY(!QFile::exists(bad));
    }

    void damagedFileWithoutCopyIsNotOverwritten()
    {
        CoreFixture fixture;
        QVERIFY(QDir().mkdir(fixture.path(QStringLiteral("Monitor.ini.bad"))));
        fixture.store(head + "-4\t");
        fixture.create();
        QCOMPARE(fixture.started, State::Damaged);
        fixture.destroy();
        QCOMPARE(fixture.written(), head + "-4\t");
    }

    // Opening a FIFO would wait for a writer for ever; saving replaces it with a file.
    void unreadableFileLeavesDefaults_data()
    {
        QTest::addColumn<bool>("fifo");
        QTest::newRow("directory") << false;
        QTest::newRow("FIFO") << true;
    }
    void unreadableFileLeavesDefaults()
    {
        QFETCH(bool, fifo);
        CoreFixture fixture;
        const QString path = fixture.path(QStringLiteral("Monitor.ini"));
        QVERIFY(fifo ? ::mkfifo(qPrintable(path), 0600) == 0 : QDir().mkdir(path));
        QTest::ignoreMessage(QtWarningMsg, "Can not open file Monitor.ini to read");
        StationCore &core = fixture.create();
        QCOMPARE(fixture.started, State::Unreadable);
        QCOMPARE(core.alarms().channel(0).UpperLimit, 40.0f);
        QVERIFY(!core.link().isOpen());
        if (!fifo)
            QTest::ignoreMessage(QtWarningMsg, "Can not open file Monitor.ini to write");
        fixture.destroy();
        QCOMPARE(QFileInfo(path).isDir(), !fifo);
    }

    void saveLeftoversAreRemovedAtStart()
    {
        CoreFixture fixture;
        for (const char *name : {"Monitor.ini.qmOIwo", "Monitor.ini.backup", "Monitor.ini.bad"})
            fixture.store(QByteArray(), QLatin1String(name));
        fixture.create();
        QCOMPARE(QDir().entryList({QStringLiteral("Monitor.ini.*")}),
                 QStringList({"Monitor.ini.backup", "Monitor.ini.bad"}));
    }

    void failedWriteKeepsThePreviousFile()
    {
        CoreFixture fixture;
        fixture.create().setPortName(QStringLiteral("/nonexistent/port-a"));
        fixture.destroy();
        const QByteArray previous = fixture.written();
        QVERIFY(previous.size() > 200);

        fixture.create().setPortName(QStringLiteral("/nonexistent/port-b"));
        // A full disk, as far as this process can tell: writes past 100 bytes fail.
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = 100;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        QTest::ignoreMessage(QtWarningMsg, "Can not open file Monitor.ini to write");
        fixture.destroy();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, handler);
        QCOMPARE(fixture.written(), previous);
        QCOMPARE(QDir().entryList({QStringLiteral("Monitor.ini*")}), QStringList({"Monitor.ini"}));
    }
};

QTEST_GUILESS_MAIN(TestStationConfig)
#include "tst_stationconfig.moc"
