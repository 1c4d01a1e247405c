// The alarm tick: plausibility filter, thresholds, blinking and the alarm sound.
#include "stationfixture.h"

#include "fakesoundoutput.h"
#include "settings.h"

#include <QFile>
#include <QLineEdit>

namespace {
// The display styles by what they show on the black ground.
const QString normalStyle = QStringLiteral("green");
const QString litStyle = QStringLiteral("red");
const QString darkStyle = QStringLiteral("none");
} // namespace

class TestAlarms : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeSoundFactory> sounds;
    std::unique_ptr<PtyPair> line;
    std::unique_ptr<StationFixture> fixture;

    Velunor &w() { return *fixture->station; }
    Settings &settings() { return *w().SettingsWindow; }
    ChannelSettings &channel(int n) { return settings().Channel[n]; }
    // The display as drawn; it shows "88.8".
    QString style(int n) { return StationFixture::segmentColours(w().display(n)); }
    int plays() { return sounds->current() ? sounds->current()->plays() : -1; }

    void monitor(int n, float upper = 40.0f, float lower = 10.0f)
    {
        channel(n).UpperLimit = upper;
        channel(n).LowerLimit = lower;
        channel(n).ChannelEnabled = 1;
    }

    // Ticks with the reading held; returns the style of the channel after the last one.
    QString tickWith(int n, float reading, int ticks = 1)
    {
        for (int i = 0; i < ticks; ++i) {
            w().CurrentTemp[n] = reading;
            w().ControlTermoAlarm();
        }
        return style(n);
    }

private slots:
    void init()
    {
        std::fill(std::begin(AcceptedTemp), std::end(AcceptedTemp), Velunor::NoReading);
        std::fill(std::begin(OutOfRangeCount), std::end(OutOfRangeCount), 0);
        sounds = std::make_unique<FakeSoundFactory>();
        line = std::make_unique<PtyPair>();
        fixture = std::make_unique<StationFixture>();
        fixture->create();
        QVERIFY(fixture->open(line->slavePath()));
        w().findChild<QLCDNumber *>(QStringLiteral("NumberOfDevices"))->display(2);
        settings().SetSoundFile(QStringLiteral("alarm.wav"));
        for (int n = 0; n < Velunor::ChannelCount; ++n) {
            w().CurrentTemp[n] = 20.0f;
            w().display(n)->display(QStringLiteral("88.8"));
        }
    }
    void cleanup()
    {
        fixture.reset();
        line.reset();
        sounds.reset();
    }

    void firstTickWritesConfiguredCaptionsWithLatinT()
    {
        channel(3).ChannelName = QStringLiteral("Печь");
        w().ControlTermoAlarm();
        QCOMPARE(w().channelButton(0)->text(), QStringLiteral("T0 Датчик"));
        QCOMPARE(w().channelButton(3)->text(), QStringLiteral("T3 Печь"));
        QCOMPARE(w().channelButton(11)->text(), QStringLiteral("T11 Датчик"));
        QCOMPARE(settings().SettingsChanged, 0);
    }

    void thresholdsAreStrict_data()
    {
        QTest::addColumn<float>("reading");
        QTest::addColumn<bool>("alarm");
        QTest::newRow("at upper") << 40.0f << false;
        QTest::newRow("above upper") << 40.1f << true;
        QTest::newRow("at lower") << 10.0f << false;
        QTest::newRow("below lower") << 9.9f << true;
        QTest::newRow("between") << 25.0f << false;
    }
    void thresholdsAreStrict()
    {
        QFETCH(float, reading);
        QFETCH(bool, alarm);
        monitor(0);
        tickWith(0, reading);
        QCOMPARE(channel(0).AlarmState, alarm ? 1 : 0);
        QCOMPARE(style(0), alarm ? darkStyle : normalStyle);
        QCOMPARE(plays(), alarm ? 1 : 0);
    }

    void implausibleReadingsAreHeldBackFiftyTicks()
    {
        monitor(0, 120.0f, -50.0f);
        monitor(1, 120.0f, -50.0f);
        // The ends of the plausible band are taken at once.
        tickWith(0, 124.0f);
        QCOMPARE(AcceptedTemp[0], 124.0f);
        tickWith(1, -54.0f);
        QCOMPARE(AcceptedTemp[1], -54.0f);

        tickWith(2, 30.0f);
        tickWith(2, 124.1f, 50);
        QCOMPARE(AcceptedTemp[2], 30.0f);
        QCOMPARE(OutOfRangeCount[2], 50);
        tickWith(2, 124.1f);
        QCOMPARE(AcceptedTemp[2], 124.1f);

        // A plausible reading in between starts the count again.
        tickWith(3, 125.0f, 30);
        tickWith(3, 31.0f);
        tickWith(3, 125.0f, 50);
        QCOMPARE(AcceptedTemp[3], 31.0f);
        tickWith(3, 125.0f);
        QCOMPARE(AcceptedTemp[3], 125.0f);
    }

    void noReadingIsADeadSensor()
    {
        monitor(0);
        tickWith(0, 20.0f);
        QCOMPARE(tickWith(0, Velunor::NoReading, 50), normalStyle);
        QCOMPARE(AcceptedTemp[0], 20.0f);
        QVERIFY(tickWith(0, Velunor::NoReading) != normalStyle);
        QCOMPARE(channel(0).AlarmState, 1);
        QCOMPARE(plays(), 1);
    }

    void alarmBlinksDarkThenLit()
    {
        monitor(4);
        QCOMPARE(tickWith(4, 50.0f), darkStyle);
        QCOMPARE(tickWith(4, 50.0f), litStyle);
        QCOMPARE(tickWith(4, 50.0f), darkStyle);
        QCOMPARE(tickWith(4, 30.0f), normalStyle);
        QCOMPARE(channel(4).AlarmState, 0);
        // Channels never enabled stay green on every tick.
        QCOMPARE(style(5), normalStyle);
    }

    void twoChannelsEnteringTogetherSoundOnce()
    {
        monitor(0);
        monitor(7);
        w().CurrentTemp[0] = 45.0f;
        w().CurrentTemp[7] = 5.0f;
        w().ControlTermoAlarm();
        QCOMPARE(plays(), 1);
        QCOMPARE(w().AlarmSoundStarted, 1);
        w().ControlTermoAlarm();
        QCOMPARE(plays(), 1);
    }

    void resetSilencesUntilANewAlarm()
    {
        monitor(0);
        monitor(1);
        tickWith(0, 50.0f);
        QCOMPARE(plays(), 1);
        w().on_AlarmReset_clicked();
        QCOMPARE(sounds->current()->stops(), 1);
        QCOMPARE(w().AlarmSoundStarted, 0);
        // Still in alarm, still blinking, but silent.
        QCOMPARE(tickWith(0, 50.0f), litStyle);
        QCOMPARE(tickWith(0, 50.0f), darkStyle);
        QCOMPARE(plays(), 1);
        tickWith(1, 0.0f);
        QCOMPARE(plays(), 2);
    }

    void alarmWhileSoundingIsNeverHeard()
    {
        monitor(0);
        monitor(1);
        tickWith(0, 50.0f);
        QCOMPARE(plays(), 1);
        tickWith(1, 50.0f);
        QCOMPARE(channel(1).AlarmState, 1);
        QCOMPARE(plays(), 1);
        w().on_AlarmReset_clicked();
        tickWith(1, 50.0f, 3);
        QCOMPARE(plays(), 1);
    }

    void noEvaluationWithoutLinkButCaptionsFollow()
    {
        monitor(2);
        tickWith(2, 50.0f);
        tickWith(2, 50.0f);
        QCOMPARE(style(2), litStyle);
        const int phase = w().BlinkPhase;

        w().findChild<QLCDNumber *>(QStringLiteral("NumberOfDevices"))->display(0);
        channel(2).ChannelName = QStringLiteral("Холод");
        settings().SettingsChanged = 1;
        tickWith(2, 20.0f, 3);
        QCOMPARE(style(2), litStyle);
        QCOMPARE(w().BlinkPhase, phase);
        QCOMPARE(channel(2).AlarmState, 1);
        QCOMPARE(w().channelButton(2)->text(), QStringLiteral("T2 Холод"));

        w().findChild<QLCDNumber *>(QStringLiteral("NumberOfDevices"))->display(2);
        w().on_pbPortOpen_clicked(); // closes the port
        QVERIFY(!w().SerialDevice->isOpen());
        channel(2).ChannelName = QStringLiteral("Тепло");
        settings().SettingsChanged = 1;
        tickWith(2, 20.0f);
        QCOMPARE(style(2), litStyle);
        QCOMPARE(w().channelButton(2)->text(), QStringLiteral("T2 Тепло"));
    }

    void renamingInTheSettingsWindowReachesTheButton()
    {
        auto *name = settings().findChild<QLineEdit *>(QStringLiteral("NameSensorT3"));
        name->setText(QStringLiteral("Камера2"));
        emit name->editingFinished();
        w().ControlTermoAlarm();
        QCOMPARE(w().channelButton(3)->text(), QStringLiteral("T3 Камера2"));
    }

    void reEnablingAChannelBeyondItsThresholdSoundsAgain()
    {
        monitor(6);
        tickWith(6, 50.0f);
        QCOMPARE(plays(), 1);
        w().on_AlarmReset_clicked();
        channel(6).ChannelEnabled = 0;
        QCOMPARE(tickWith(6, 50.0f), normalStyle);
        QCOMPARE(channel(6).AlarmState, 0);
        channel(6).ChannelEnabled = 1;
        tickWith(6, 50.0f);
        QCOMPARE(plays(), 2);
    }

    // A station started with a stored configuration: T0 and T1 watched from 10 to 40, the first
    // alarm ticks come before any answer. Script: one token per tick, "-" for no reading, "x*n"
    // for n ticks of x.
    void startJudgesOnlyMeasuredValues_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("alarmFrom"); // first tick in alarm, 0 for none
        QTest::newRow("first readings after two ticks") << "- - 21.5*5" << 0;
        QTest::newRow("no reading at all") << "-*52" << 51;
        QTest::newRow("below threshold after a valid one") << "- 21.5*3 5*2" << 5;
        QTest::newRow("out of range after a valid one") << "21.5 125*52" << 52;
    }
    void startJudgesOnlyMeasuredValues()
    {
        QFETCH(QString, script);
        QFETCH(int, alarmFrom);
        fixture.reset();
        fixture = std::make_unique<StationFixture>();
        QFile ini(fixture->path(QStringLiteral("Monitor.ini")));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        QByteArray content = (line->slavePath() + "\t0\t/tmp/\t1\t1\t5\t").toUtf8();
        for (int n = 0; n < Velunor::ChannelCount; ++n)
            content += n < 2 ? "A\t40\t10\t1\t" : "B\t40\t10\t0\t";
        ini.write(content + "alarm.wav\t");
        ini.close();
        fixture->create();
        QVERIFY(w().SerialDevice->isOpen());

        int tick = 0;
        QList<int> alarmTicks;
        for (const QString &token : script.split(QLatin1Char(' '))) {
            const QStringList parts = token.split(QLatin1Char('*'));
            const float reading =
                parts[0] == QLatin1String("-") ? Velunor::NoReading : parts[0].toFloat();
            for (int i = 0; i < parts.value(1, QStringLiteral("1")).toInt(); ++i) {
                w().CurrentTemp[0] = w().CurrentTemp[1] = reading;
                w().ControlTermoAlarm();
                ++tick;
                if (channel(0).AlarmState != 0)
                    alarmTicks << tick;
            }
        }
        QList<int> expected;
        for (int t = alarmFrom; alarmFrom > 0 && t <= tick; ++t)
            expected << t;
        QCOMPARE(alarmTicks, expected);
        QCOMPARE(channel(1).AlarmState, channel(0).AlarmState);
        QCOMPARE(plays(), alarmFrom > 0 ? 1 : 0);
    }

    void withoutSoundFileTheStateStillFollows()
    {
        settings().AlarmSound.reset();
        monitor(0);
        tickWith(0, 50.0f);
        QCOMPARE(w().AlarmSoundStarted, 1);
        w().on_AlarmReset_clicked();
        QCOMPARE(w().AlarmSoundStarted, 0);
    }
};

QTEST_MAIN(TestAlarms)
#include "tst_alarms.moc"
