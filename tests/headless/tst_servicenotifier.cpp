// What a headless station tells systemd, against a socket of the test's own: READY=1, its state,
// WATCHDOG=1 from the poll path only, and STOPPING=1. The timers are held: nothing but the poll
// path the test ticks may ping, however long the event loop turns.
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
    std::unique_ptr<NotifySocket> socket;

    // A station polling one device, or naming a port that is not there.
    StationCore &station(CoreFixture &fixture, bool portThere)
    {
        StationConfig config;
        config.port = portThere ? fixture.simulate().portName() : fixture.path("ttyGONE");
        config.pollInterval = 1;
        config.devices = {5};
        if (portThere)
            fixture.bus->addDevice(5);
        fixture.store(config.format());
        StationCore &core = fixture.create();
        if (!portThere) {
            // As a headless station starts: the missing port is awaited.
            core.setReopenMissingPort(true);
            core.TogglePort();
        }
        return core;
    }

private slots:
    void initTestCase()
    {
        socket = std::make_unique<NotifySocket>(socketDir.filePath(QStringLiteral("notify")));
        QVERIFY(socket->isValid());
        qputenv("NOTIFY_SOCKET", socket->path().toLocal8Bit());
        qputenv("WATCHDOG_USEC", QByteArray::number(watchdogMs * 1000));
    }

    void watchdogFollowsThePollCycle()
    {
        CoreFixture fixture;
        StationCore &core = station(fixture, true);
        ServiceNotifier notifier(core);
        QCOMPARE(notifier.watchdogInterval(), quint64(watchdogMs) * 1000);
        const qsizetype start = socket->mark();
        notifier.ready();
        QVERIFY(
            socket->waitFor("READY=1\nSTATUS=polling 1 device, answers —, not recording", 2000));

        for (int cycle = 1; cycle <= 3; ++cycle) {
            QVERIFY(fixture.cycle());
            QCOMPARE(socket->count("WATCHDOG=1", start), cycle);
        }
        core.ToggleRecording();
        QVERIFY(socket->waitFor("STATUS=polling 1 device, answers 100 %, recording", 2000));

        // Held: the event loop turns for an interval and a half, the poll path does not.
        qsizetype from = socket->mark();
        QTest::qWait(watchdogMs * 3 / 2);
        QCOMPARE(socket->count("WATCHDOG=1", from), 0);

        // A cycle that hangs: the period ticks on, and only the tick that started it pings.
        from = socket->mark();
        for (int tick = 0; tick < 6; ++tick) {
            core.link().SendRequestReadTemperature();
            QTest::qWait(watchdogMs / 4);
        }
        QVERIFY(core.link().isPolling());
        QCOMPARE(socket->count("WATCHDOG=1", from), 1);
        // Paced again: the hung cycle ends, then the one that fell due meanwhile; one ping each.
        from = socket->mark();
        QVERIFY(fixture.ticksWhile(&DeviceLink::isPolling) > 0);
        QCOMPARE(socket->count("WATCHDOG=1", from), 2);

        notifier.stopping();
        QVERIFY(socket->waitFor("STOPPING=1", 2000));
    }

    void missingPortPingsFromItsRetries()
    {
        CoreFixture fixture;
        StationCore &core = station(fixture, false);
        QVERIFY(core.link().isReopening());
        ServiceNotifier notifier(core);
        const qsizetype from = socket->mark();
        notifier.ready();
        QVERIFY(socket->waitFor("STATUS=waiting for port " + fixture.path("ttyGONE").toUtf8() +
                                    ", not recording",
                                2000));
        // At most one ping a quarter interval: a retry at once after another does not ping.
        QTest::qWait(watchdogMs / 4);
        core.link().RetryOpen();
        core.link().RetryOpen();
        QCOMPARE(socket->count("WATCHDOG=1", from), 1);
        QTest::qWait(watchdogMs);
        QCOMPARE(socket->count("WATCHDOG=1", from), 1);
    }
};

QTEST_GUILESS_MAIN(TestServiceNotifier)
#include "tst_servicenotifier.moc"
