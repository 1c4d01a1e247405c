// What the main window shows of its core: alarm styles as drawn, captions, the StartLog button,
// the log directory and the status bar messages.
#include "ptypair.h"
#include "settings.h"
#include "windowfixture.h"

#include <QDir>
#include <QLCDNumber>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

namespace {
// A window whose directory question the test answers.
class AnsweredWindow : public Velunor
{
public:
    using Velunor::Velunor;
    QString answer;

protected:
    QString AskLogDirectory() override { return answer; }
};

} // namespace

class TestAlarmView : public QObject
{
    Q_OBJECT

    std::unique_ptr<WindowFixture> fixture;
    PtyPair line;
    AnsweredWindow *window = nullptr;

    // A window logging into the scratch directory, its port open, with devices from address 5.
    StationCore &create(const QList<quint8> &devices)
    {
        window = &fixture->create<AnsweredWindow>();
        StationCore &core = window->station();
        core.setWorkingDirectory(fixture->path(QString()) + QLatin1Char('/'));
        core.setPortName(line.slavePath());
        core.TogglePort();
        core.link().setDevices(devices);
        return core;
    }
    QString message() const { return window->statusBar()->currentMessage(); }

private slots:
    void init() { fixture = std::make_unique<WindowFixture>(); }
    void cleanup() { fixture.reset(); }

    void alarmBlinksDarkThenLitAndSounds()
    {
        StationCore &core = create({5, 6});
        core.setChannelEnabled(4, true);
        core.setSoundFile(QStringLiteral("alarm.wav"));
        window->display(4)->display(QStringLiteral("88.8"));
        window->display(5)->display(QStringLiteral("88.8"));
        Station::Readings readings;
        readings.fill(20.0f);
        QStringList shown;
        for (float reading : {50.0f, 50.0f, 50.0f, 30.0f}) {
            readings[4] = reading;
            core.alarms().evaluate(readings);
            shown << WindowFixture::segmentColours(window->display(4)) + QLatin1Char('/') +
                         WindowFixture::segmentColours(window->display(5));
        }
        QCOMPARE(shown, QStringList({"none/green", "red/green", "none/green", "green/green"}));
        // The sound the core asked for, once, until the operator's reset.
        window->on_AlarmReset_clicked();
        QCOMPARE(fixture->sounds.events,
                 QStringList({"create alarm.wav", "play alarm.wav", "stop alarm.wav"}));
    }

    void captionsFollowTheTicks()
    {
        StationCore &core = create({5});
        core.setChannel(3, QStringLiteral("Печь"), 40.0f, 10.0f);
        core.ControlTermoAlarm();
        // A Latin T, whatever the form had.
        QCOMPARE(window->channelButton(0)->text(), QStringLiteral("T0 Датчик"));
        QCOMPARE(window->channelButton(3)->text(), QStringLiteral("T3 Печь"));
        QCOMPARE(window->channelButton(11)->text(), QStringLiteral("T11 Датчик"));

        auto *name = window->settingsWindow()->findChild<QLineEdit *>("NameSensorT3");
        name->setText(QStringLiteral("Камера2"));
        emit name->editingFinished();
        core.ControlTermoAlarm();
        QCOMPARE(window->channelButton(3)->text(), QStringLiteral("T3 Камера2"));
    }

    void startLogButtonFollowsRecording()
    {
        StationCore &core = create({});
        auto *start = window->findChild<QToolButton *>("StartLog");
        auto *stop = window->findChild<QToolButton *>("StopLog");
        QString states;
        const auto click = [&](QToolButton *button) {
            QTest::mouseClick(button, Qt::LeftButton);
            states += QLatin1String(core.recorder().isRecording() ? "R" : "-") +
                      QLatin1String(start->isChecked() ? "v " : "_ ");
        };
        // Nobody to record: the press is ignored and the button stays out.
        click(start);
        core.link().setDevices({5});
        click(start);
        click(start);
        click(start);
        click(stop);
        // Stop while idle only unchecks.
        start->setChecked(true);
        click(stop);
        QCOMPARE(states, QStringLiteral("-_ Rv -_ Rv -_ -_ "));

        // A press dragged off the button still starts, and the button shows it.
        window->show();
        QTest::mousePress(start, Qt::LeftButton);
        QTest::mouseMove(start, QPoint(-20, -20));
        QTest::mouseRelease(start, Qt::LeftButton, {}, QPoint(-20, -20));
        QVERIFY(core.recorder().isRecording());
        QVERIFY(start->isChecked());
    }

    void chosenDirectoryEndsWithSlash()
    {
        StationCore &core = create({5});
        auto *label = window->findChild<QLabel *>("PathCurrentDirectory");
        const QString before = label->text();
        window->on_CurrentDirectory_clicked();
        QCOMPARE(label->text(), before);

        window->answer = fixture->path(QStringLiteral("logs"));
        window->on_CurrentDirectory_clicked();
        QCOMPARE(label->text(), window->answer + '/');
        QCOMPARE(core.workingDirectory(), window->answer + '/');
    }

    // Steps: "damaged" starts from a damaged Monitor.ini, "nocopy" with no room for its copy;
    // "missing" logs into a directory not there, "mkdir" makes it, "two" gives the station two
    // devices, "start"/"stop" recording, "cycle" a poll cycle of devices that never answer.
    // %1 is the log file.
    void statusBarMessages_data()
    {
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("expected");
        const QString again =
            QStringLiteral("Запись в файл регистрации %1 возобновлена, потеряно записей: 0");
        const QString fresh = QStringLiteral("Новый файл регистрации %1");
        QTest::newRow("damaged Monitor.ini")
            << "damaged"
            << "Файл Monitor.ini повреждён, копия сохранена в Monitor.ini.bad";
        QTest::newRow("damaged, no copy") << "nocopy damaged"
                                          << "Файл Monitor.ini повреждён и не будет перезаписан";
        QTest::newRow("failure") << "missing start"
                                 << "Не удалось записать файл регистрации %1";
        QTest::newRow("written again") << "missing start mkdir cycle" << again;
        QTest::newRow("started after a failure") << "missing start stop mkdir start" << again;
        QTest::newRow("a start clears it") << "missing start mkdir cycle stop start" << QString();
        QTest::newRow("new devices") << "start two cycle" << fresh;
        QTest::newRow("new devices after a failure") << "missing start two mkdir cycle" << fresh;
    }
    void statusBarMessages()
    {
        QFETCH(QString, steps);
        QFETCH(QString, expected);
        QVERIFY(!steps.contains("nocopy") || QDir().mkdir(QStringLiteral("Monitor.ini.bad")));
        QFile stored(QStringLiteral("Monitor.ini"));
        QVERIFY(!steps.contains("damaged") ||
                (stored.open(QIODevice::WriteOnly) && stored.write("COM1\t0\t/tmp/\t5\t-4\t") > 0));
        stored.close();
        StationCore &core = create({5});
        DeviceLink &link = core.link();
        const QString missing = fixture->path(QStringLiteral("missing"));
        for (const QString &step : steps.split(QLatin1Char(' '))) {
            if (step == QLatin1String("missing"))
                core.setWorkingDirectory(missing + '/');
            else if (step == QLatin1String("mkdir"))
                QVERIFY(QDir().mkdir(missing));
            else if (step == QLatin1String("two"))
                link.setDevices({5, 6});
            else if (step == QLatin1String("stop"))
                core.StopRecording();
            else if (step == QLatin1String("start"))
                core.ToggleRecording();
            // Each device is given up after 21 requests.
            for (int i = 0; step == QLatin1String("cycle") && i < 22 * link.deviceCount(); ++i) {
                if (i == 0)
                    link.SendRequestReadTemperature();
                link.ProccessCommunication();
            }
        }
        QCOMPARE(message(),
                 expected.isEmpty() ? expected : expected.arg(core.recorder().logFilePath()));
    }
};

QTEST_MAIN(TestAlarmView)
#include "tst_alarmview.moc"
