// Monitor.ini: written at the end of one run, read at the start of the next.
#include "stationfixture.h"

#include "fakesoundoutput.h"
#include "settings.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>
#include <QStatusBar>
#include <QTextCodec>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

class TestConfig : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeSoundFactory> sounds;
    std::unique_ptr<StationFixture> fixture;

    Velunor &w() { return *fixture->station; }
    Settings &settings() { return *w().SettingsWindow; }

    template<typename T>
    T *child(const char *name)
    {
        return w().findChild<T *>(QLatin1String(name));
    }

    QByteArray written()
    {
        QFile file(fixture->path(QStringLiteral("Monitor.ini")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void store(const QByteArray &content)
    {
        QFile file(fixture->path(QStringLiteral("Monitor.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    static QByteArray defaultChannels()
    {
        QByteArray out;
        for (int n = 0; n < 12; ++n)
            out += QStringLiteral("Датчик\t40\t10\t0\t").toUtf8();
        return out;
    }

private slots:
    void init()
    {
        sounds = std::make_unique<FakeSoundFactory>();
        fixture = std::make_unique<StationFixture>();
    }
    void cleanup()
    {
        fixture.reset();
        sounds.reset();
    }

    void writesOneTabTerminatedLine_data()
    {
        QTest::addColumn<QList<int>>("devices");
        QTest::addColumn<QByteArray>("table");
        QTest::newRow("no devices") << QList<int>{} << QByteArray("0\t");
        QTest::newRow("two devices") << QList<int>{5, 7} << QByteArray("2\t5\t7\t");
    }
    void writesOneTabTerminatedLine()
    {
        QFETCH(QList<int>, devices);
        QFETCH(QByteArray, table);
        fixture->create();
        child<QLabel>("PathCurrentDirectory")->setText(QStringLiteral("/data/logs/"));
        for (int address : devices)
            w().DeviceAddress[w().DeviceCount++] = quint8(address);
        fixture->destroy();
        QCOMPARE(written(),
                 "COM12\t0\t/data/logs/\t5\t" + table + defaultChannels() + QByteArray("\t"));
    }

    void roundTripRestoresEverythingAndConnects()
    {
        PtyPair line;
        fixture->create();
        child<QLineEdit>("lePort")->setText(line.slavePath());
        child<QComboBox>("cbBaud")->setCurrentIndex(3);
        child<QLabel>("PathCurrentDirectory")->setText(QStringLiteral("/srv/my logs/"));
        child<QSpinBox>("SensorsReadInterval")->setValue(7);
        w().DeviceCount = 3;
        w().DeviceAddress[0] = 5;
        w().DeviceAddress[1] = 7;
        w().DeviceAddress[2] = 254;
        settings().Channel[0] = {QStringLiteral("Печь1"), 10.1f, -12.3f, 1, 0, 0};
        settings().Channel[5] = {QString(), 120.0f, -50.0f, 7, 0, 0};
        settings().Channel[11] = {QStringLiteral("Zone11"), 10.5f, 0.5f, 0, 0, 0};
        settings().SetSoundFile(QStringLiteral("/srv/sounds/big alarm.wav"));
        fixture->destroy();
        const QByteArray first = written();
        QVERIFY(first.contains("Печь1\t10.1\t-12.3\t1\t"));
        QVERIFY(first.contains("\t\t120\t-50\t7\t"));

        fixture->create();
        QCOMPARE(child<QLineEdit>("lePort")->text(), line.slavePath());
        QCOMPARE(child<QComboBox>("cbBaud")->currentIndex(), 3);
        QCOMPARE(child<QLabel>("PathCurrentDirectory")->text(), QStringLiteral("/srv/my logs/"));
        QCOMPARE(settings().WorkingDirectory, QStringLiteral("/srv/my logs/"));
        QCOMPARE(child<QSpinBox>("SensorsReadInterval")->value(), 7);
        QCOMPARE(w().DeviceCount, 3);
        QCOMPARE(w().DeviceAddress[2], quint8(254));
        QCOMPARE(child<QLCDNumber>("NumberOfDevices")->intValue(), 3);
        QCOMPARE(w().channelButton(5)->isEnabledTo(w().channelButton(5)->parentWidget()), true);
        QCOMPARE(w().channelButton(6)->isEnabledTo(w().channelButton(6)->parentWidget()), false);
        const ChannelSettings &oven = settings().Channel[0];
        QCOMPARE(oven.ChannelName, QStringLiteral("Печь1"));
        QVERIFY(oven.UpperLimit == 10.1f); // bit for bit, not merely close
        QVERIFY(oven.LowerLimit == -12.3f);
        QCOMPARE(oven.ChannelEnabled, 1);
        QCOMPARE(settings().Channel[5].ChannelName, QString());
        QCOMPARE(settings().Channel[5].ChannelEnabled, 7);
        QCOMPARE(settings().Channel[11].ChannelName, QStringLiteral("Zone11"));
        QVERIFY(settings().Channel[11].LowerLimit == 0.5f);
        QCOMPARE(settings().SoundFilePath, QStringLiteral("/srv/sounds/big alarm.wav"));
        QCOMPARE(sounds->current()->source(), QStringLiteral("/srv/sounds/big alarm.wav"));
        QCOMPARE(sounds->current()->loops(), 50);
        QCOMPARE(settings().findChild<QLineEdit *>(QStringLiteral("NameSensorT0"))->text(),
                 QStringLiteral("Печь1"));
        // A stored configuration connects on its own.
        QVERIFY(w().SerialDevice->isOpen());
        QCOMPARE(child<QPushButton>("pbPortOpen")->text(), QStringLiteral("Close"));

        fixture->destroy();
        QCOMPARE(written(), first);
    }

    void fileCutAfterTheDeviceTable()
    {
        PtyPair line;
        store(line.slavePath().toUtf8() + "\t1\t/tmp/\t3\t2\t5\t7\t");
        fixture->create();
        QCOMPARE(w().DeviceCount, 2);
        for (const ChannelSettings &channel : settings().Channel) {
            QCOMPARE(channel.ChannelName, QString());
            QCOMPARE(channel.UpperLimit, 0.0f);
            QCOMPARE(channel.LowerLimit, 0.0f);
            QCOMPARE(channel.ChannelEnabled, 0);
        }
        QCOMPARE(settings().SoundFilePath, QString());
        QVERIFY(w().SerialDevice->isOpen());
    }

    void fileWithoutTabsIsReadByWords()
    {
        store("/nonexistent/COM3 2 /var/log/ 4 1 9 " + defaultChannels().replace('\t', ' ') +
              "/a.wav\n");
        fixture->create();
        QCOMPARE(child<QLineEdit>("lePort")->text(), QStringLiteral("/nonexistent/COM3"));
        QCOMPARE(w().DeviceAddress[0], quint8(9));
        QCOMPARE(settings().Channel[11].ChannelName, QStringLiteral("Датчик"));
        QCOMPARE(settings().SoundFilePath, QStringLiteral("/a.wav"));
    }

    void windowsStationFileReadsBackItsNames()
    {
        QTextCodec *cp1251 = QTextCodec::codecForName("windows-1251");
        QVERIFY(cp1251);
        QByteArray content = "/nonexistent/COM1\t0\tC:\\Logs\\\t5\t0\t";
        for (int n = 0; n < 12; ++n)
            content += cp1251->fromUnicode(QStringLiteral("Датчик%1\t40\t10\t1\t").arg(n));
        content += cp1251->fromUnicode(QStringLiteral("C:\\Звук\\тревога.wav\t"));
        store(content);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Error opened serial device"));
        fixture->create();
        QCOMPARE(settings().Channel[4].ChannelName, QStringLiteral("Датчик4"));
        QCOMPARE(settings().SoundFilePath, QStringLiteral("C:\\Звук\\тревога.wav"));
        QCOMPARE(settings().Channel[4].ChannelEnabled, 1);
    }

    void deviceCountOutOfBoundsIsClamped()
    {
        QByteArray content = "/nonexistent/COM1\t0\t/tmp/\t5\t300\t";
        for (int i = 0; i < 300; ++i)
            content += QByteArray::number(i % 256) + '\t';
        content += defaultChannels() + "/x.wav\t";
        store(content);
        QTest::ignoreMessage(QtWarningMsg, "Monitor.ini: device count 300 out of range, using 256");
        fixture->create();
        QCOMPARE(w().DeviceCount, 256);
        QCOMPARE(w().DeviceAddress[255], quint8(255));
        // The addresses beyond the table are passed over, not taken for names.
        QCOMPARE(settings().Channel[0].ChannelName, QStringLiteral("Датчик"));
        QCOMPARE(settings().SoundFilePath, QStringLiteral("/x.wav"));
        fixture->destroy();
        QVERIFY(written().startsWith("/nonexistent/COM1\t0\t/tmp/\t5\t256\t0\t1\t"));
    }

    void negativeDeviceCountReadsAsNone()
    {
        store("/nonexistent/COM1\t0\t/tmp/\t5\t-4\t" + defaultChannels() + "\t");
        QTest::ignoreMessage(QtWarningMsg, "Monitor.ini: device count -4 out of range, using 0");
        fixture->create();
        QCOMPARE(w().DeviceCount, 0);
        QCOMPARE(settings().Channel[11].ChannelName, QStringLiteral("Датчик"));
    }

    void unreadableAndUnwritableFileLeaveDefaults()
    {
        QVERIFY(QDir(fixture->path(QString())).mkdir(QStringLiteral("Monitor.ini")));
        QTest::ignoreMessage(QtWarningMsg, "Can not open file Monitor.ini to read");
        fixture->create();
        QCOMPARE(settings().Channel[0].UpperLimit, 40.0f);
        QVERIFY(!w().SerialDevice->isOpen());
        QTest::ignoreMessage(QtWarningMsg, "Can not open file Monitor.ini to write");
        fixture->destroy();
        QVERIFY(QFileInfo(fixture->path(QStringLiteral("Monitor.ini"))).isDir());
    }

    void fifoIsNotWaitedFor()
    {
        QCOMPARE(::mkfifo(qPrintable(fixture->path(QStringLiteral("Monitor.ini"))), 0600), 0);
        QTest::ignoreMessage(QtWarningMsg, "Can not open file Monitor.ini to read");
        fixture->create();
        QCOMPARE(settings().Channel[0].UpperLimit, 40.0f);
    }

    void damagedFileIsKeptOnce_data()
    {
        const QByteArray head = "/nonexistent/COM1\t0\t/tmp/\t5\t";
        const QByteArray whole = head + "1\t9\t" + defaultChannels() + "/x.wav\t";
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("damaged");
        QTest::newRow("whole") << whole << false;
        QTest::newRow("count 100000") << head + "100000\t9\t" + defaultChannels() << true;
        QTest::newRow("cut short") << head + "1\t9\tДатчик\t40\t" << true;
        QTest::newRow("word for a number")
            << QByteArray(whole).replace("\t40\t", "\tforty\t") << true;
        QTest::newRow("values left over") << whole + "extra\t" << true;
        QTest::newRow("speed index 9") << QByteArray(whole).replace("COM1\t0", "COM1\t9") << true;
        QTest::newRow("over 1 MiB") << whole + QByteArray(1 << 20, ' ') << true;
    }
    void damagedFileIsKeptOnce()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, damaged);
        const QString bad = fixture->path(QStringLiteral("Monitor.ini.bad"));
        store(content);
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression("Error opened serial device"));
        fixture->create();
        QCOMPARE(QFile::exists(bad), damaged);
        QCOMPARE(w().statusBar()->currentMessage().contains("Monitor.ini.bad"), damaged);
        fixture->destroy();
        if (!damaged)
            return;
        QFile kept(bad);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), content);
        QVERIFY(written() != content);

        // What the station saved reads back whole: no second copy.
        QVERIFY(QFile::remove(bad));
        fixture->create();
        QVERIFY(!QFile::exists(bad));
    }

    void damagedFileWithoutCopyIsNotOverwritten()
    {
        QVERIFY(QDir(fixture->path(QString())).mkdir(QStringLiteral("Monitor.ini.bad")));
        store("/nonexistent/COM1\t0\t/tmp/\t5\t-4\t");
        fixture->create();
        fixture->destroy();
        QCOMPARE(written(), QByteArray("/nonexistent/COM1\t0\t/tmp/\t5\t-4\t"));
    }

    void saveLeftoversAreRemovedAtStart()
    {
        const QStringList names = {QStringLiteral("Monitor.ini.qmOIwo"),
                                   QStringLiteral("Monitor.ini.backup"),
                                   QStringLiteral("Monitor.ini.bad")};
        for (const QString &name : names) {
            QFile file(fixture->path(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        fixture->create();
        QCOMPARE(
            QDir(fixture->path(QString())).entryList({QStringLiteral("Monitor.ini.*")}),
            (QStringList{QStringLiteral("Monitor.ini.backup"), QStringLiteral("Monitor.ini.bad")}));
    }

    void failedWriteKeepsThePreviousFile()
    {
        fixture->create();
        child<QLineEdit>("lePort")->setText(QStringLiteral("/nonexistent/port-a"));
        fixture->destroy();
        const QByteArray previous = written();
        QVERIFY(previous.size() > 200);

        fixture->create();
        child<QLineEdit>("lePort")->setText(QStringLiteral("/nonexistent/port-b"));
        // A full disk, as far as this process can tell: writes past 100 bytes fail.
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 100;
        ::setrlimit(RLIMIT_FSIZE, &small);
        QTest::ignoreMessage(QtWarningMsg, "Can not open file Monitor.ini to write");
        fixture->destroy();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        QCOMPARE(written(), previous);
    }
};

QTEST_MAIN(TestConfig)
#include "tst_config.moc"
