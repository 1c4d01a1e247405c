// What a headless station tells systemd, against a socket of the test's own. The timers are held:
// nothing but the poll path the test ticks may ping, however long the event loop turns.
#include "corefixture.h"
#include "notifysocket.h"
#include "servicenotifier.h"

#include <QTest>

namespace {
constexpr int watchdogMs = 2000;
} // namespace

class TestServiceNotifier : public QObject
{
    Q_OBJECT

    QTemporaryDir socketDir;
    NotifySocket socket{socketDir.filePath(QStringLiteral("notify"))};

private slots:
    void initTestCase()
    {
        QVERIFY(socket.bound);
        qputenv("NOTIFY_SOCKET", socket.path.toLocal8Bit());
        qputenv("WATCHDOG_USEC", QByteArray::number(watchdogMs * 1000));
    }

    void watchdogFollowsThePollCycle()
    {
        CoreFixture fixture;
        StationConfig config;
        config.port = fixture.simulate().portName();
        config.pollInterval = 1;
        config.devices = {5};
        fixture.bus->addDevice(5);
        fixture.store(config.format());
        StationCore &core = fixture.create();
        ServiceNotifier notifier(core);
        const qsizetype start = socket.mark();
        notifier.ready();
        QVERIFY(socket.waitFor("READY=1\nSTATUS=polling 1 device, answers —, not recording", 2000));
        for (int cycle = 1; cycle <= 3; ++cycle) {
            QVERIFY(fixture.cycle());
            QCOMPARE(socket.count("WATCHDOG=1", start), cycle);
        }
        core.ToggleRecording();
        QVERIFY(socket.waitFor("STATUS=polling 1 device, answers 100 %, recording", 2000));

        // A cycle that hangs while the event loop turns for an interval and a half: only the
        // period tick that started it pings.
        qsizetype from = socket.mark();
        for (int tick = 0; tick < 6; ++tick) {
            QTest::qWait(watchdogMs / 4);
            core.link().SendRequestReadTemperature();
        }
        QVERIFY(core.link().isPolling());
        QCOMPARE(socket.count("WATCHDOG=1", from), 1);
        // Paced again: the hung cycle ends, then the one that fell due meanwhile; one ping each.
        from = socket.mark();
        QVERIFY(fixture.ticksWhile(&DeviceLink::isPolling) > 0);
        QCOMPARE(socket.count("WATCHDOG=1", from), 2);

        notifier.stopping();
        QVERIFY(socket.waitFor("STOPPING=1", 2000));
    }

    // Tries to open a missing port ping, at most once a quarter interval.
    void missingPortPingsFromItsRetries()
    {
        CoreFixture fixture;
        StationConfig config;
        config.port = fixture.path(QStringLiteral("ttyGONE"));
        fixture.store(config.format());
        StationCore &core = fixture.create();
        core.setReopenMissingPort(true);
        core.TogglePort();
        QVERIFY(core.link().isReopening());
        ServiceNotifier notifier(core);
        const qsizetype from = socket.mark();
        notifier.ready();
        QVERIFY(socket.waitFor("STATUS=waiting for port " + config.port.toUtf8(), 2000));
        QTest::qWait(watchdogMs / 4);
        core.link().RetryOpen();
        core.link().RetryOpen();
        QCOMPARE(socket.count("WATCHDOG=1", from), 1);
    }
};

QTEST_GUILESS_MAIN(TestServiceNotifier)
#include "tst_servicenotifier.moc"
