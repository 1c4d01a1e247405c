// The journal: the lines that events on the bus, at the alarm tick and from the operator give,
// and how a journal file is read back and appended to after a power loss.
#include "corefixture.h"
#include "stationconfig.h"

#include <QSignalSpy>
#include <QTest>

namespace {
// 2026-12-15 12:00:00 UTC: December in every time zone.
constexpr qint64 base = 1797336000;

// Lines as "seconds after base|event|source|name|value|details".
QStringList journalLines(const QStringList &shorthand, const QString &port)
{
    QStringList lines;
    for (QString line : shorthand) {
        line.replace(QLatin1String("{port}"), port);
        const QString offset = line.section(QLatin1Char('|'), 0, 0);
        lines << QString::number(base + offset.toLongLong()) + QLatin1Char('\t') +
                     line.section(QLatin1Char('|'), 1).replace(QLatin1Char('|'), QLatin1Char('\t'));
    }
    return lines;
}
} // namespace

class TestJournal : public QObject
{
    Q_OBJECT

    std::unique_ptr<CoreFixture> fixture;
    qint64 now = base;
    QString port;
    QString log; // the log file recording went to

    // A journal file of `content` in a scratch directory, the current one.
    QString journal(CoreFixture &files, const QByteArray &content)
    {
        const QString name = JournalFile::path({}, quint32(base));
        files.store(content, name);
        return files.path(name);
    }

    // Devices 5 and 7 on a port behind a link, so that it can go and come back. Stored: T2
    // "Печь" watched from 10 to 60, T3 "Холод" from 2 to 8, a sound file, the journal here.
    StationCore &start(bool damaged)
    {
        fixture = std::make_unique<CoreFixture>();
        now = base;
        fixture->clock = [this] { return now; };
        DeviceSimulator &bus = fixture->simulate();
        bus.addDevice(5)->setTemperatures(20.0, 20.0);
        bus.addDevice(7)->setTemperatures(50.0, 5.0);
        port = fixture->path(QStringLiteral("ttyBUS"));
        [&] { QVERIFY(bus.createLink(port)); }();
        StationConfig config;
        config.port = port;
        config.directory = QDir::currentPath() + QLatin1Char('/');
        config.pollInterval = 1;
        config.devices = {5, 7};
        config.channels[2] = {QStringLiteral("Печь"), 60.0f, 10.0f, 1, 0, 0};
        config.channels[3] = {QStringLiteral("Холод"), 8.0f, 2.0f, 1, 0, 0};
        config.soundFile = QStringLiteral("/srv/alarm.wav");
        fixture->store(config.format() + (damaged ? "left over\t" : ""));
        return fixture->create();
    }

    // Waits up to 3 s for the port to be told lost or back.
    bool portTold(bool lost)
    {
        DeviceSimulator &bus = *fixture->bus;
        QSignalSpy told(&fixture->core->link(), &DeviceLink::portLostChanged);
        if (lost)
            bus.close();
        else if (bus.openPty())
            bus.createLink(port);
        if (QTest::qWaitFor([&] { return !told.isEmpty(); }, 3000))
            return told.first().first().toBool() == lost;
        qWarning("the port was not told %s within 3 s", lost ? "lost" : "back");
        return false;
    }

    bool step(const QString &token)
    {
        StationCore &core = *fixture->core;
        const QString value = token.section(QLatin1Char('='), 1);
        const int n = token.section(QLatin1Char('='), 0, 0).right(1).toInt();
        const auto is = [&token](const char *word) {
            return token.startsWith(QLatin1String(word));
        };
        SimulatedDevice *device = fixture->bus->device(n < 2 ? 5 : 7);
        if (is("+"))
            now += token.mid(1).toLongLong();
        else if (is("T"))
            device->setTemperatures(n % 2 ? device->temperature(0) : value.toDouble(),
                                    n % 2 ? value.toDouble() : device->temperature(1));
        else if (is("cycle"))
            return fixture->cycle();
        else if (is("tick"))
            core.ControlTermoAlarm();
        else if (is("upper"))
            core.setChannel(n, core.alarms().channel(n).ChannelName, value.toFloat(),
                            core.alarms().channel(n).LowerLimit);
        else if (is("record") || is("stop")) {
            is("record") ? core.ToggleRecording() : core.StopRecording();
            log = core.recorder().logFilePath();
        } else if (is("reset"))
            core.AlarmReset();
        else if (is("passes"))
            core.AlarmSoundEnded(50);
        else if (is("silent") || is("answer"))
            fixture->bus->device(quint8(n))->setFault(
                {is("silent") ? SimulatedDevice::Fault::Silent : SimulatedDevice::Fault::None});
        else if (is("unplug") || is("plug"))
            return portTold(is("unplug"));
        else if (is("end"))
            fixture->core.reset();
        else
            qFatal("unknown step %s", qPrintable(token));
        return true;
    }

private slots:
    void cleanup() { fixture.reset(); }

    // Steps, one per token: "+s" s seconds pass; "Tn=x" channel n reads x; "cycle" a poll
    // cycle; "tick" an alarm tick; "reset" the operator's reset; "passes" the sound played its
    // passes out; "silentA"/"answerA" device A falls silent or answers again; "unplug"/"plug"
    // the port goes away or comes back; "upperN=x" the operator's edit; "record"/"stop"
    // recording; "end" the station ends.
    void eventsGiveLines_data()
    {
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("unacknowledged"); // the counts told, in order
        const QString started = QStringLiteral("0|station_start||||Monitor.ini прочитан");
        const QString furnace = QStringLiteral("0|alarm_on|T2|Печь|65|выше верхнего порога 60");
        const QString sound = QStringLiteral("0|sound_start||||файл /srv/alarm.wav");
        QTest::newRow("two alarms, one sound, a reset while in alarm")
            << false << "T2=65 T3=1.5 cycle tick +60 reset +60 T2=50 cycle tick"
            << QStringList{started,
                           furnace,
                           "0|alarm_on|T3|Холод|1.5|ниже нижнего порога 2",
                           sound,
                           "60|alarm_reset|T2,T3|Печь, Холод||в тревоге: T2, T3; подтверждены: "
                           "T2, T3; звук выключен",
                           "120|alarm_off|T2|Печь|50|длилась 00:02:00"}
            << "1 2 0";
        QTest::newRow("back before a reset, the sound played out")
            << false << "T2=65 cycle tick +90 passes +210 T2=50 cycle tick +60 reset"
            << QStringList{started,
                           furnace,
                           sound,
                           "90|sound_stop||||отзвучал 50 раз",
                           "300|alarm_off|T2|Печь|50|длилась 00:05:00",
                           "360|alarm_reset|T2|Печь||в тревоге: нет; подтверждены: T2; звук не "
                           "звучал"}
            << "1 0";
        QTest::newRow("silence, then an answer")
            << false << "silent7 cycle +600 answer7 cycle"
            << QStringList{started,
                           "0|link_lost|7|||21 запрос без ответа (порт {port}, 9600 бит/с)",
                           "600|link_back|7|||молчало 00:10:00"}
            << "";
        QTest::newRow("port lost and back")
            << false << "unplug +120 plug"
            << QStringList{started, "0|port_lost|{port}|||порт пропал, ожидается его возвращение",
                           "120|port_back|{port}|||порта не было 00:02:00"}
            << "";
        QTest::newRow("an edit, recording")
            << false << "upper2=70 record +5 stop"
            << QStringList{started, "0|setting_changed|T2|Печь||верхний порог: 60 -> 70",
                           "0|recording_start||||{log}", "5|recording_stop||||{log}"}
            << "";
        QTest::newRow("damaged Monitor.ini, then the end")
            << true << "+30 end"
            << QStringList{"0|station_start||||Monitor.ini повреждён",
                           "0|config_damaged||||Monitor.ini повреждён, копия сохранена в "
                           "Monitor.ini.bad",
                           "30|station_end||||"}
            << "";
    }
    void eventsGiveLines()
    {
        QFETCH(bool, damaged);
        QFETCH(QString, steps);
        QFETCH(QStringList, lines);
        QFETCH(QString, unacknowledged);
        StationCore &core = start(damaged);
        QVERIFY(core.link().isOpen());
        const QString path = JournalFile::path(core.workingDirectory(), quint32(base));
        QStringList told;
        QStringList counts;
        // Gone before what it fills.
        QObject listener;
        connect(&core.journal(), &AlarmJournal::recorded, &listener,
                [&](const QString &, const JournalEntry &entry) { told << entry.line(); });
        connect(&core.journal(), &AlarmJournal::unacknowledgedChanged, &listener,
                [&](int n) { counts << QString::number(n); });
        for (const QString &token : steps.split(QLatin1Char(' ')))
            QVERIFY2(step(token), qPrintable(token));
        int skipped = -1;
        QStringList written;
        for (const JournalEntry &entry : JournalFile::read(path, &skipped))
            written << entry.line();
        QCOMPARE(written, journalLines(lines, port).replaceInStrings(QStringLiteral("{log}"), log));
        QCOMPARE(skipped, 0);
        // The signal tells every line as it is written; those of the start came before the test
        // listened.
        QVERIFY(!told.isEmpty());
        QCOMPARE(told, written.mid(written.size() - told.size()));
        QCOMPARE(counts.join(QLatin1Char(' ')), unacknowledged);
    }

    // What a reader takes of a file: whole lines; a line the power cut short is skipped.
    void readerSkipsCutLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("skipped");
        const QByteArray first = "1797336000\talarm_on\tT2\tПечь\t65\tвыше верхнего порога 60\n";
        const QByteArray second = "1797336060\talarm_off\tT2\tГорн\t50\tдлилась 00:01:00\n";
        QTest::newRow("whole") << first + second << QStringList{"Печь", "Горн"} << 0;
        QTest::newRow("last line cut") << first + second.left(20) << QStringList{"Печь"} << 1;
        QTest::newRow("a line of something else")
            << "Log_101010.dat\n" + second << QStringList{"Горн"} << 1;
        QTest::newRow("from a Windows station")
            << QByteArray("1797336000\talarm_on\tT2\t\xcf\xe5\xf7\xfc\t65\t\n")
            << QStringList{"Печь"} << 0;
    }
    void readerSkipsCutLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, names);
        QFETCH(int, skipped);
        CoreFixture files;
        const QString path = journal(files, content);
        int bad = -1;
        QStringList read;
        for (const JournalEntry &entry : JournalFile::read(path, &bad))
            read << entry.name;
        QCOMPARE(read, names);
        QCOMPARE(bad, skipped);
    }

    // After a power loss the next event does not run on from the cut line.
    void appendCutsATornLineOff()
    {
        CoreFixture files;
        const QString path =
            journal(files, "1797336000\tstation_start\t\t\t\t\n1797336050\talarm_o");
        const JournalEntry entry{quint32(base + 60), QStringLiteral("station_end"), {}, {}, {}, {}};
        QVERIFY(JournalFile().append(QDir::currentPath() + QLatin1Char('/'), entry));
        QCOMPARE(CoreFixture::contents(path),
                 "1797336000\tstation_start\t\t\t\t\n" + entry.line().toUtf8() + '\n');
    }
};

QTEST_GUILESS_MAIN(TestJournal)
#include "tst_journal.moc"
