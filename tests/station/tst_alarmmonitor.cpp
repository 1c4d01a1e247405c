// The alarm evaluation: plausibility filter, strict thresholds, one sound start per alarm, and the
// gate of the core's alarm tick.
#include "corefixture.h"

#include <QSignalSpy>
#include <QTest>

namespace {
const QList<bool> noAlarm(Station::ChannelCount, false);

QList<bool> inAlarm(const QList<QVariant> &evaluated)
{
    return evaluated.at(0).value<QList<bool>>();
}
} // namespace

class TestAlarmMonitor : public QObject
{
    Q_OBJECT

private slots:
    // A monitor as a station starts it: T0 and T1 watched from 10 to 40 (the default), the first
    // ticks come before any answer. Script: one token per tick, "-" for no reading, "x*n" for n
    // ticks of x.
    void startJudgesOnlyMeasuredValues_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("alarmFrom"); // first tick in alarm, 0 for none
        QTest::addColumn<float>("accepted");
        const float none = Station::NoReading;
        QTest::newRow("first readings after two ticks") << "- - 21.5*5" << 0 << 21.5f;
        QTest::newRow("no reading at all") << "-*52" << 51 << none;
        QTest::newRow("below threshold after a valid one") << "- 21.5*3 5*2" << 5 << 5.0f;
        QTest::newRow("out of range after a valid one") << "21.5 125*52" << 52 << 125.0f;
        QTest::newRow("at upper") << "40" << 0 << 40.0f;
        QTest::newRow("above upper") << "40.1" << 1 << 40.1f;
        QTest::newRow("at lower") << "10" << 0 << 10.0f;
        QTest::newRow("below lower") << "9.9" << 1 << 9.9f;
        QTest::newRow("upper end of the band at once") << "124" << 1 << 124.0f;
        QTest::newRow("lower end of the band at once") << "-54" << 1 << -54.0f;
        QTest::newRow("plausible reading restarts the count") << "125*30 31 125*51" << 82 << 125.0f;
        QTest::newRow("plausible reading still believed") << "125*30 31 125*50" << 0 << 31.0f;
        QTest::newRow("dead sensor after 50 ticks") << "20 -*51" << 52 << none;
        QTest::newRow("sensor silent for 50 ticks") << "20 -*50" << 0 << 20.0f;
    }
    void startJudgesOnlyMeasuredValues()
    {
        QFETCH(QString, script);
        QFETCH(int, alarmFrom);
        QFETCH(float, accepted);
        AlarmMonitor monitor;
        monitor.setChannelEnabled(0, 1);
        monitor.setChannelEnabled(1, 1);
        QSignalSpy evaluated(&monitor, &AlarmMonitor::alarmsEvaluated);
        QSignalSpy sound(&monitor, &AlarmMonitor::alarmSoundRequested);
        QList<bool> both = noAlarm;
        both[0] = both[1] = true;

        int tick = 0;
        QList<int> alarmTicks;
        for (const QString &token : script.split(QLatin1Char(' '))) {
            const QStringList parts = token.split(QLatin1Char('*'));
            Station::Readings readings;
            readings.fill(parts[0] == QLatin1String("-") ? Station::NoReading : parts[0].toFloat());
            for (int i = 0; i < parts.value(1, QStringLiteral("1")).toInt(); ++i) {
                monitor.evaluate(readings);
                ++tick;
                // Channels never enabled are never in alarm, whatever they read.
                const QList<bool> alarms = inAlarm(evaluated.takeFirst());
                QVERIFY2(alarms == noAlarm || alarms == both, qPrintable(QString::number(tick)));
                if (alarms == both)
                    alarmTicks << tick;
            }
        }
        QList<int> expected;
        for (int t = alarmFrom; alarmFrom > 0 && t <= tick; ++t)
            expected << t;
        QCOMPARE(alarmTicks, expected);
        QCOMPARE(monitor.acceptedValue(0), accepted);
        QCOMPARE(sound.size(), alarmFrom > 0 ? 1 : 0);
    }

    // Every channel watched from 10 to 40 and reading 20. Script: "n=x" channel n reads x,
    // "t" a tick, "reset" the operator's reset, "offn"/"onn" channel n disabled/enabled.
    // Events: "+n"/"-n" channel n enters/leaves alarm, "play"/"stop" the sound requests.
    void soundStartsOncePerAlarm_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("events");
        QTest::newRow("two at once") << "0=45 7=5 t t"
                                     << "+0 +7 play";
        QTest::newRow("reset, then a new alarm") << "0=50 t reset t t 1=0 t"
                                                 << "+0 play stop +1 play";
        QTest::newRow("alarm while sounding") << "0=50 t 1=50 t reset t t t"
                                              << "+0 play +1 stop";
        QTest::newRow("leaving alarm") << "4=50 t 4=30 t t"
                                       << "+4 play -4";
        QTest::newRow("re-enabled in alarm") << "6=50 t reset off6 t on6 t"
                                             << "+6 play stop -6 +6 play";
    }
    void soundStartsOncePerAlarm()
    {
        QFETCH(QString, script);
        QFETCH(QString, events);
        AlarmMonitor monitor;
        QStringList seen;
        connect(&monitor, &AlarmMonitor::alarmChanged, this, [&](int n, bool alarm) {
            seen << (alarm ? QStringLiteral("+") : QStringLiteral("-")) + QString::number(n);
        });
        connect(&monitor, &AlarmMonitor::alarmSoundRequested, this, [&](bool play) {
            seen << (play ? QStringLiteral("play") : QStringLiteral("stop"));
        });
        Station::Readings readings;
        readings.fill(20.0f);
        for (int n = 0; n < Station::ChannelCount; ++n)
            monitor.setChannelEnabled(n, 1);
        for (const QString &step : script.split(QLatin1Char(' '))) {
            if (step == QLatin1String("t"))
                monitor.evaluate(readings);
            else if (step == QLatin1String("reset"))
                monitor.AlarmReset();
            else if (step.contains(QLatin1Char('=')))
                readings[step.section(QLatin1Char('='), 0, 0).toInt()] =
                    step.section(QLatin1Char('='), 1).toFloat();
            else
                monitor.setChannelEnabled(step.right(1).toInt(),
                                          step.startsWith(QLatin1String("on")));
        }
        QCOMPARE(seen.join(QLatin1Char(' ')), events);
    }

    // The alarm tick evaluates only with the port open and devices announced; the captions
    // follow a rename either way. T0 is watched and its device answers 50.
    void tickEvaluatesOnlyWhileMonitoring_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<int>("devices");
        QTest::newRow("port open, one device") << true << 1;
        QTest::newRow("port closed") << false << 1;
        QTest::newRow("no devices announced") << true << 0;
    }
    void tickEvaluatesOnlyWhileMonitoring()
    {
        QFETCH(bool, open);
        QFETCH(int, devices);
        CoreFixture fixture;
        fixture.simulate().addDevice(5)->setTemperatures(50.0, 20.0);
        StationCore &core = fixture.create();
        QVERIFY(fixture.open(fixture.bus->portName()));
        core.link().setDevices(QList<quint8>({5}).mid(0, devices));
        core.setChannelEnabled(0, true);
        QVERIFY(devices == 0 || fixture.cycle());
        if (!open)
            core.TogglePort();

        QSignalSpy evaluated(&core.alarms(), &AlarmMonitor::alarmsEvaluated);
        QSignalSpy captions(&core, &StationCore::channelNamesChanged);
        core.ControlTermoAlarm();
        core.setChannel(2, QStringLiteral("Холод"), 40.0f, 10.0f);
        core.ControlTermoAlarm();
        core.ControlTermoAlarm();
        QCOMPARE(captions.size(), 2);
        QCOMPARE(captions.at(1).at(0).toStringList().value(2), QStringLiteral("Холод"));

        const bool monitoring = open && devices > 0;
        QCOMPARE(core.MonitoringActive(), monitoring);
        QList<bool> lit;
        for (const QList<QVariant> &tick : evaluated) {
            QCOMPARE(inAlarm(tick), QList<bool>({true}) + noAlarm.mid(1));
            lit << tick.at(1).toBool();
        }
        // An alarm shows dark first, then lit.
        QCOMPARE(lit, monitoring ? QList<bool>({false, true, false}) : QList<bool>());
    }
};

QTEST_GUILESS_MAIN(TestAlarmMonitor)
#include "tst_alarmmonitor.moc"
