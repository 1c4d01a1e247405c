// The device link of the station's core with held timers: the poll cycle, the search and link
// health against the simulated devices; the receive path with the test at the far end of a line.
#include "bytes.h"
#include "corefixture.h"
#include "modbus.h"
#include "ptypair.h"

#include <cmath>

namespace {
QByteArray frame(std::initializer_list<int> values)
{
    return Modbus::withCrc(bytes(values));
}
QByteArray answerOf(quint8 address, qint16 first, qint16 second)
{
    return frame(
        {address, 3, 4, quint16(first) >> 8, first & 0xFF, quint16(second) >> 8, second & 0xFF});
}

// The receive path's debug lines tell how many bytes were waiting when the line was ready.
QStringList debugLines;
QtMessageHandler testHandler = nullptr;
void keepDebugLines(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtDebugMsg)
        debugLines << text.simplified();
    testHandler(type, context, text);
}
} // namespace

class TestDeviceLink : public QObject
{
    Q_OBJECT

    std::unique_ptr<CoreFixture> f;
    std::unique_ptr<PtyPair> line;
    QList<int> blocks;
    qsizetype taken = 0;
    qsizetype written = 0;

    DeviceLink &link() { return f->core->link(); }
    DeviceSimulator &bus() { return *f->bus; }
    StationTimer *timer(const char *name)
    {
        return link().findChild<StationTimer *>(QLatin1String(name));
    }
    // Devices answering 20 + address and -address / 10 degrees.
    void serve(const QList<quint8> &served)
    {
        f->simulate();
        for (quint8 a : served)
            bus().addDevice(a)->setTemperatures(20.0 + a, -(a / 10.0));
        QVERIFY(f->open(bus().portName()));
    }
    void setFault(quint8 address, const QString &fault)
    {
        bus().device(address)->setFault(*SimulatedDevice::Fault::fromString(fault));
    }
    QString requests(const QList<quint8> &served)
    {
        QStringList out;
        for (quint8 a : served)
            out << QStringLiteral("%1:%2").arg(a).arg(bus().requestCount(a));
        return out.join(QLatin1Char(' '));
    }

    // A cycle over device 5 on a bare line, its request read off the line.
    void pollFive()
    {
        line = std::make_unique<PtyPair>();
        QVERIFY(f->open(line->slavePath()));
        link().setDevices({5});
        QCOMPARE(f->periodsUntilCycle(), 1);
        QVERIFY(f->tick());
        QCOMPARE(line->read(8), Modbus::withCrc(Modbus::temperatureRequest(5)));
    }
    // Writes at the device's end; waits until the station read it, or left it waiting.
    void send(const QByteArray &data)
    {
        written += data.size();
        debugLines.clear();
        QVERIFY(line->write(data));
        const auto done = [&] {
            return taken == written ||
                   debugLines.contains(QStringLiteral("Recieved bytes: %1").arg(written - taken));
        };
        QVERIFY2(QTest::qWaitFor(done, 5000), "5 s for the station to take the bytes written");
    }

private slots:
    void initTestCase() { testHandler = qInstallMessageHandler(keepDebugLines); }
    void cleanupTestCase() { qInstallMessageHandler(testHandler); }
    void init()
    {
        f = std::make_unique<CoreFixture>();
        f->create();
        blocks.clear();
        taken = written = 0;
        connect(&link(), &DeviceLink::bytesReceived, this, [this](qsizetype n) {
            blocks << int(n);
            taken += n;
        });
    }
    void cleanup()
    {
        f.reset();
        line.reset();
    }

    void pollCycle_data()
    {
        QTest::addColumn<quint8>("address");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QString>("requests");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("values");
        const auto row = [](const char *name, quint8 address, const char *fault, int ticks,
                            const char *requests, int status, const char *values) {
            QTest::newRow(name) << address << fault << ticks << requests << status << values;
        };
        row("all answer", 5, "none", 2, "5:2 7:2", 0, "25 -0.5 27 -0.7");
        row("gaps", 5, "gap:2", 2, "5:2 7:2", 0, "25 -0.5 27 -0.7");
        row("late", 7, "delay:20", 2, "5:2 7:2", 0, "25 -0.5 27 -0.7");
        // A device is given up after 21 requests without an answer, its readings forgotten.
        row("first silent", 5, "silent", 22, "5:22 7:2", 0, "nan nan 27 -0.7");
        row("first garbled", 5, "badcrc", 22, "5:22 7:2", 0, "nan nan 27 -0.7");
        row("last silent", 7, "silent", 23, "5:2 7:22", 2, "25 -0.5 nan nan");
    }
    // A first cycle with both devices answering, then one with the row's fault; both recorded.
    void pollCycle()
    {
        QFETCH(quint8, address);
        QFETCH(QString, fault);
        QFETCH(int, ticks);
        serve({5, 7});
        QCOMPARE(timer("TimerRequest")->interval(), 1000);
        QCOMPARE(timer("TimerCommunication")->interval(), 100);
        QVERIFY(timer("TimerRequest")->isActive() && timer("TimerCommunication")->isActive());
        link().setDevices({5, 7});
        f->core->setWorkingDirectory(f->path(QString()) + QLatin1Char('/'));
        f->core->ToggleRecording();
        QCOMPARE(f->periodsUntilCycle(), 1);
        QCOMPARE(f->ticksWhile(&DeviceLink::isPolling), 2);
        QCOMPARE(timer("TimerCommunication")->interval(), 45);

        setFault(address, fault);
        QSignalSpy statuses(&link(), &DeviceLink::statusChanged);
        QSignalSpy readings(&link(), &DeviceLink::readingArrived);
        QCOMPARE(f->periodsUntilCycle(), 5);
        QVERIFY(f->tick());
        QCOMPARE(statuses.value(0).value(0).toInt(), int(DeviceLink::StatusRequest));
        QCOMPARE(f->ticksWhile(&DeviceLink::isPolling), ticks - 1);
        QTEST(requests({5, 7}), "requests");
        QTEST(statuses.last().at(0).toInt(), "status");
        QStringList shown(4);
        for (const QList<QVariant> &reading : readings)
            shown[reading[0].toInt()] = LogRecorder::LoggedValue(reading[1].toFloat());
        QTEST(shown.join(QLatin1Char(' ')), "values");
        const QList<QByteArray> log =
            CoreFixture::contents(f->core->recorder().logFilePath()).split('\t');
        QCOMPARE(log.size(), 16); // a header and two records of four channels
        QTEST(QString::fromLatin1(log.mid(11, 4).join(' ')), "values");

        // Nothing goes out between cycles; the next starts on time with the first device.
        const QString before = requests({5, 7});
        QVERIFY(f->tick());
        QCOMPARE(requests({5, 7}), before);
        QCOMPARE(f->periodsUntilCycle(), 5);
        const quint64 first = bus().requestCount(5);
        QVERIFY(f->tick());
        QCOMPARE(bus().requestCount(5), first + 1);
    }

    void periodTickDuringACycleLetsItFinish_data()
    {
        QTest::addColumn<quint8>("silent");
        QTest::newRow("first silent") << quint8(5);
        QTest::newRow("middle silent") << quint8(7);
    }
    void periodTickDuringACycleLetsItFinish()
    {
        QFETCH(quint8, silent);
        serve({5, 7, 9});
        setFault(silent, QStringLiteral("silent"));
        link().setDevices({5, 7, 9});
        f->core->setPollInterval(1);
        // Periods of 22 pacing ticks; a cycle takes 23 or 24, so all period ticks but the first
        // fall into a running cycle.
        for (int period = 0; period < 20; ++period) {
            link().SendRequestReadTemperature();
            for (int i = 0; i < 22; ++i)
                QVERIFY(f->tick());
        }
        for (quint8 a : {5, 7, 9})
            QVERIFY2(a == silent || bus().answerCount(a) >= 17, qPrintable(QString::number(a)));
    }

    void search_data()
    {
        QTest::addColumn<QList<quint8>>("served");
        QTest::addColumn<int>("idlePeriods");
        QTest::addColumn<int>("periods");
        QTest::newRow("1 is never probed") << QList<quint8>{1, 5, 9} << 0 << 1;
        QTest::newRow("seven, six shown") << QList<quint8>{2, 3, 4, 6, 8, 10, 12} << 0 << 1;
        // The period counter is signed 8-bit and goes on counting while no device is known.
        QTest::newRow("period counter wraps") << QList<quint8>{5} << 130 << 127;
    }
    void search()
    {
        QFETCH(QList<quint8>, served);
        QFETCH(int, idlePeriods);
        serve(served);
        for (int i = 0; i < idlePeriods; ++i)
            link().SendRequestReadTemperature();
        QVERIFY(!link().isPolling());
        QSignalSpy statuses(&link(), &DeviceLink::statusChanged);
        QSignalSpy progress(&link(), &DeviceLink::searchProgress);
        QSignalSpy changed(&link(), &DeviceLink::devicesChanged);
        f->core->StartSearch();
        QCOMPARE(statuses.value(0).value(0).toInt(), int(DeviceLink::StatusSearch));
        QCOMPARE(f->ticksWhile(&DeviceLink::isSearching), 254);
        QList<quint8> found = served;
        found.removeAll(1);
        QCOMPARE(link().devices(), found);
        QCOMPARE(changed, (QList<QList<QVariant>>{{int(found.size())}}));
        QCOMPARE(statuses.last()[0].toInt(), int(DeviceLink::StatusWaiting));
        QCOMPARE(progress.count(), 253);
        QCOMPARE(progress.first(), (QList<QVariant>{2, 0}));
        QCOMPARE(progress.last(), (QList<QVariant>{254, int(found.size())}));
        for (int a = 0; a < 256; ++a)
            QVERIFY2(bus().requestCount(quint8(a)) == (a >= 2 && a <= 254 ? 1u : 0u),
                     qPrintable(QString::number(a)));
        QVERIFY(timer("TimerRequest")->isActive());

        QSignalSpy readings(&link(), &DeviceLink::readingArrived);
        QTEST(f->periodsUntilCycle(), "periods");
        QCOMPARE(f->ticksWhile(&DeviceLink::isPolling), int(found.size()));
        QCOMPARE(readings.count(), 2 * qMin(found.size(), qsizetype(6)));
        for (const QList<QVariant> &reading : readings) {
            const int a = found[reading[0].toInt() / 2];
            QCOMPARE(reading[1].toFloat(), reading[0].toInt() % 2 ? -(a / 10.0f) : 20.0f + a);
        }
        QCOMPARE(bus().requestCount(found.last()), quint64(2));
    }

    // Closing interrupts a search and the cycle it holds; both go on after the next open.
    void closingInterrupts()
    {
        serve({5, 9});
        link().setDevices({5});
        QCOMPARE(f->periodsUntilCycle(), 1);
        f->core->StartSearch();
        for (int i = 0; i < 6; ++i)
            QVERIFY(f->tick());
        QCOMPARE(requests({5, 7, 8}), QStringLiteral("5:1 7:1 8:0"));
        f->core->TogglePort();
        QVERIFY(!link().isOpen());
        QVERIFY(!timer("TimerRequest")->isActive() && !timer("TimerCommunication")->isActive());
        QVERIFY(link().isSearching() && link().isPolling());
        QVERIFY(f->open(bus().portName()));
        QVERIFY(f->tick());
        QCOMPARE(requests({7, 8}), QStringLiteral("7:1 8:1"));
        QVERIFY(f->ticksWhile(&DeviceLink::isSearching) > 0);
        QCOMPARE(link().devices(), (QList<quint8>{5, 9}));
        QCOMPARE(f->ticksWhile(&DeviceLink::isPolling), 2);
        QCOMPARE(requests({5, 9}), QStringLiteral("5:2 9:2"));
    }

    // The answer rate and silences; a new search starts the counts afresh.
    void linkHealth()
    {
        serve({5, 7});
        setFault(7, QStringLiteral("silent"));
        link().setDevices({5, 7});
        QSignalSpy silent(&link(), &DeviceLink::deviceFellSilent);
        QSignalSpy rate(&link(), &DeviceLink::answerRateChanged);
        for (int cycle = 0; cycle < 2; ++cycle) {
            QCOMPARE(f->periodsUntilCycle(), cycle ? 5 : 1);
            QCOMPARE(f->ticksWhile(&DeviceLink::isPolling), 23);
            QCOMPARE(silent, (QList<QList<QVariant>>{{QVariant::fromValue(quint8(7))}}));
            if (!cycle)
                QCOMPARE(rate.last()[0].toInt(), 4); // 1 answer of 22 settled requests
        }
        // A garbled answer, then an answer: the next silence is a new one.
        QCOMPARE(f->periodsUntilCycle(), 5);
        QVERIFY(f->tick());
        setFault(7, QStringLiteral("badcrc"));
        QVERIFY(f->tick());
        setFault(7, QStringLiteral("none"));
        QCOMPARE(f->ticksWhile(&DeviceLink::isPolling), 1);
        setFault(7, QStringLiteral("silent"));
        QCOMPARE(f->periodsUntilCycle(), 5);
        QCOMPARE(f->ticksWhile(&DeviceLink::isPolling), 23);
        QCOMPARE(silent.count(), 2);
        // Requests, answers, check failures, no answer.
        QList<quint64> counts;
        for (const LinkHealth::Device &d : link().health().devices())
            counts << d.address << d.requests << d.answers << d.checkFailures << d.missing;
        QCOMPARE(counts, (QList<quint64>{5, 4, 4, 0, 0, 7, 65, 1, 1, 64}));

        f->core->StartSearch();
        QCOMPARE(rate.last()[0].toInt(), -1);
        QVERIFY(link().health().devices().isEmpty());
    }

    void receive_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<int>>("read");
        // NaN: no answer to the request; the device's next answer is then taken.
        QTest::addColumn<float>("first");
        QTest::addColumn<float>("second");
        const auto row = [](const char *name, const QList<QByteArray> &chunks,
                            const QList<int> &read, float first = Station::NoReading,
                            float second = Station::NoReading) {
            QTest::newRow(name) << chunks << read << first << second;
        };
        QList<QByteArray> single;
        for (char b : answerOf(5, -123, 999))
            single << QByteArray(1, b);
        QByteArray altered = answerOf(5, 235, -100);
        altered[8] = char(altered[8] ^ 0x40);
        row("decoded", {answerOf(5, 235, -100)}, {9}, 23.5f, -10.0f);
        row("out of range, kept", {answerOf(5, 1250, -550)}, {9}, 125.0f, -55.0f);
        row("byte by byte", single, QList<int>(9, 1), -12.3f, 99.9f);
        row("stray byte first", {'\xFF' + answerOf(5, 200, 201)}, {10}, 20.0f, 20.1f);
        // 28 to 36 waiting bytes are read with what follows them.
        row("thirty waiting", {QByteArray(30, '\0'), answerOf(5, 215, 216)}, {39}, 21.5f, 21.6f);
        row("altered check", {altered}, {9});
        row("other address", {answerOf(6, 235, 100)}, {9});
        row("exception", {frame({5, 0x83, 2})}, {5});
        row("input registers", {frame({5, 4, 4, 0x00, 0xEB, 0xFF, 0x9C})}, {9});
        row("byte count 2", {frame({5, 3, 2, 0x00, 0xEB, 0xFF, 0x9C})}, {9});
        row("byte count 4, short", {frame({5, 3, 4, 0x00, 0xEB})}, {7});
        row("too short", {bytes({5, 3, 4})}, {3});
        row("noise", {QByteArray(40, '\xAA')}, {40});
    }
    void receive()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(float, first);
        QFETCH(float, second);
        pollFive();
        QSignalSpy readings(&link(), &DeviceLink::readingArrived);
        QSignalSpy statuses(&link(), &DeviceLink::statusChanged);
        for (const QByteArray &chunk : chunks) {
            QVERIFY(link().isPolling());
            send(chunk);
        }
        QTEST(blocks, "read");
        if (std::isnan(first)) {
            QCOMPARE(readings.count(), 0);
            QVERIFY(link().isPolling());
            QVERIFY(f->tick());
            QCOMPARE(line->read(8), Modbus::withCrc(Modbus::temperatureRequest(5)));
            send(answerOf(5, 235, -100));
            first = 23.5f;
            second = -10.0f;
        }
        QCOMPARE(readings, (QList<QList<QVariant>>{{0, first}, {1, second}}));
        QVERIFY(!link().isPolling());
        QCOMPARE(statuses.last()[0].toInt(), int(DeviceLink::StatusWaiting));
    }

    // During a search an answer of the address probed makes a device, once; none is a reading.
    void probeAnswers()
    {
        // Whatever its length and byte count, address and function code make a device.
        const QMap<int, QList<QByteArray>> answers{
            {4, {frame({4, 3, 2, 0, 0})}},
            {5, {answerOf(5, 235, 100)}},
            {8, {frame({8, 0x83, 2}), frame({10, 3, 2, 0, 2})}},
            {9, {frame({9, 3, 6, 0, 1, 2}), frame({9, 3, 2, 0, 2})}},
        };
        pollFive();
        QSignalSpy readings(&link(), &DeviceLink::readingArrived);
        QSignalSpy progress(&link(), &DeviceLink::searchProgress);
        f->core->StartSearch();
        for (int a = 2; a <= 10; ++a) {
            QVERIFY(f->tick());
            QCOMPARE(line->read(8), Modbus::withCrc(Modbus::probeRequest(quint8(a))));
            for (const QByteArray &answer : answers.value(a))
                send(answer);
        }
        QCOMPARE(progress.last(), (QList<QVariant>{10, 3}));
        QVERIFY(f->ticksWhile(&DeviceLink::isSearching) > 0);
        QCOMPARE(link().devices(), (QList<quint8>{4, 5, 9}));
        for (const QList<QVariant> &reading : readings)
            QVERIFY(std::isnan(reading[1].toFloat()));
        QVERIFY(link().isPolling());
    }
};

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_devicelink.moc"
