#include "modbusslave.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray request(quint8 address, quint8 function, quint16 first, quint16 count)
{
    QByteArray body;
    body.append(static_cast<char>(address)).append(static_cast<char>(function));
    body.append(static_cast<char>(first >> 8)).append(static_cast<char>(first & 0xFF));
    body.append(static_cast<char>(count >> 8)).append(static_cast<char>(count & 0xFF));
    return ModbusSlave::withCrc(body);
}

} // namespace

class TestModbusSlave : public QObject
{
    Q_OBJECT

private slots:
    void frameCheck();
    void answers_data();
    void answers();
    void framing();
    void faults();
    void faultText_data();
    void faultText();
    void drift();
};

void TestModbusSlave::frameCheck()
{
    QCOMPARE(ModbusSlave::crc16("123456789", 9), quint16(0x4B37));
    QCOMPARE(ModbusSlave::withCrc("123456789").right(2), hex("374b"));
    QVERIFY(ModbusSlave::hasValidCrc(hex("05030400ebff9c8e5e")));
    QVERIFY(!ModbusSlave::hasValidCrc(hex("05030400ebff9c8e5f")));
    QVERIFY(!ModbusSlave::hasValidCrc(hex("ffff")));
}

void TestModbusSlave::answers_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("kind");

    // Frames checked against an independent CRC implementation.
    QTest::newRow("probe") << hex("050300000001858e") << hex("0503020002c845")
                           << int(ModbusSlave::ProbeRequest);
    QTest::newRow("temperature 23.5 -10.0") << hex("050300010002944f") << hex("05030400ebff9c8e5e")
                                            << int(ModbusSlave::TemperatureRequest);
    QTest::newRow("other function") << request(5, 0x04, 1, 2) << ModbusSlave::withCrc(hex("058401"))
                                    << int(ModbusSlave::OtherRequest);
    QTest::newRow("other register")
        << hex("050300040002844e") << hex("0583028130") << int(ModbusSlave::OtherRequest);
    QTest::newRow("probe of two registers")
        << request(5, 3, 0, 2) << ModbusSlave::withCrc(hex("058302"))
        << int(ModbusSlave::OtherRequest);
    QTest::newRow("not served") << request(6, 3, 1, 2) << QByteArray()
                                << int(ModbusSlave::TemperatureRequest);
    QTest::newRow("broadcast") << request(0, 3, 1, 2) << QByteArray()
                               << int(ModbusSlave::TemperatureRequest);
}

void TestModbusSlave::answers()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(int, kind);

    ModbusSlave slave;
    QVERIFY(!slave.addDevice(0));
    slave.addDevice(5)->setTemperatures(23.5, -10.0);
    const QList<ModbusSlave::Exchange> exchanges = slave.receive(request);
    QCOMPARE(exchanges.size(), 1);
    QCOMPARE(exchanges.first().address, quint8(request.at(0)));
    QCOMPARE(int(exchanges.first().kind), kind);
    QCOMPARE(exchanges.first().request, request);
    QCOMPARE(exchanges.first().answer, answer);
    QCOMPARE(exchanges.first().delayMs, 0);
    QCOMPARE(exchanges.first().gapMs, -1);
    QCOMPARE(slave.requestCount(quint8(request.at(0))), quint64(1));
}

void TestModbusSlave::framing()
{
    ModbusSlave slave;
    slave.addDevice(5);
    slave.addDevice(7);
    const QByteArray to5 = request(5, 3, 1, 2);
    const QByteArray to7 = request(7, 3, 0, 1);

    // A request split into single bytes is answered once, on its last byte.
    for (int i = 0; i < to5.size() - 1; ++i)
        QVERIFY(slave.receive(to5.mid(i, 1)).isEmpty());
    QCOMPARE(slave.receive(to5.right(1)).size(), 1);
    QCOMPARE(slave.pendingInput(), 0);

    // Noise, a request with a broken check and a truncated one before two good requests:
    // the good ones are found, in order, and exactly the bad bytes are dropped.
    QByteArray broken = to7;
    broken[7] = static_cast<char>(broken.at(7) ^ 0x01);
    const QByteArray noise = hex("0005ff03") + broken + to5.left(5);
    const QList<ModbusSlave::Exchange> exchanges = slave.receive(noise + to5 + to7);
    QCOMPARE(exchanges.size(), 2);
    QCOMPARE(exchanges.at(0).request, to5);
    QCOMPARE(exchanges.at(1).request, to7);
    QCOMPARE(slave.droppedBytes(), quint64(noise.size()));
    QCOMPARE(slave.requestCount(5), quint64(2));
    QCOMPARE(slave.requestCount(7), quint64(1));

    // Endless noise never piles up.
    QRandomGenerator random(1);
    for (int i = 0; i < 1000; ++i) {
        QByteArray junk(17, '\0');
        random.fillRange(reinterpret_cast<quint32 *>(junk.data()), 4);
        slave.receive(junk);
        QVERIFY(slave.pendingInput() < ModbusSlave::requestSize);
    }
    slave.resetCounters();
    slave.clearInput();
    QCOMPARE(slave.requestCount(5), quint64(0));
    QCOMPARE(slave.receive(to5).size(), 1);
}

void TestModbusSlave::faults()
{
    using Fault = SimulatedDevice::Fault;
    ModbusSlave slave;
    slave.addDevice(5)->setTemperatures(23.5, -10.0);
    const QByteArray temperature = request(5, 3, 1, 2);
    const QByteArray probe = request(5, 3, 0, 1);
    const QByteArray healthy = slave.receive(temperature).first().answer;

    slave.device(5)->setFault(*Fault::fromString(QStringLiteral("silent")));
    QVERIFY(slave.receive(temperature).first().answer.isEmpty());
    QVERIFY(slave.receive(probe).first().answer.isEmpty());

    slave.device(5)->setFault(*Fault::fromString(QStringLiteral("badcrc")));
    QByteArray answer = slave.receive(temperature).first().answer;
    QCOMPARE(answer.size(), healthy.size());
    QCOMPARE(answer.left(8), healthy.left(8));
    QVERIFY(answer.at(8) != healthy.at(8));
    QVERIFY(!ModbusSlave::hasValidCrc(slave.receive(request(5, 6, 1, 2)).first().answer));

    slave.device(5)->setFault(*Fault::fromString(QStringLiteral("delay 200")));
    ModbusSlave::Exchange exchange = slave.receive(temperature).first();
    QCOMPARE(exchange.answer, healthy);
    QCOMPARE(exchange.delayMs, 200);
    QCOMPARE(exchange.gapMs, -1);

    slave.device(5)->setFault(*Fault::fromString(QStringLiteral("gap 0")));
    exchange = slave.receive(temperature).first();
    QCOMPARE(exchange.answer, healthy);
    QCOMPARE(exchange.delayMs, 0);
    QCOMPARE(exchange.gapMs, 0);

    slave.device(5)->setFault(*Fault::fromString(QStringLiteral("range")));
    QCOMPARE(slave.receive(temperature).first().answer,
             ModbusSlave::withCrc(hex("05030404e2fdda")));
    QCOMPARE(slave.receive(probe).first().answer, ModbusSlave::probeAnswer(5, 2));
    slave.device(5)->setFault(*Fault::fromString(QStringLiteral("range 130 -60.5")));
    QCOMPARE(slave.receive(temperature).first().answer,
             ModbusSlave::temperatureAnswer(5, 1300, -605));

    slave.device(5)->setFault(Fault());
    QCOMPARE(slave.receive(temperature).first().answer, healthy);
}

void TestModbusSlave::faultText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("normalised"); // empty: rejected
    const auto row = [](const char *text, const char *normalised) {
        QTest::newRow(text) << QString::fromLatin1(text) << QString::fromLatin1(normalised);
    };
    row("none", "none");
    row("SILENT", "silent");
    row("delay:200", "delay 200");
    row("gap 2", "gap 2");
    row("range", "range 125.0 -55.0");
    row("range:130,-60.5", "range 130.0 -60.5");
    row("loud", "");
    row("delay", "");
    row("delay -1", "");
    row("gap 600000", "");
    row("silent 5", "");
    row("range 130", "");
    row("range 4000 0", "");
    row("range nan 0", "");
}

void TestModbusSlave::faultText()
{
    QFETCH(QString, text);
    QFETCH(QString, normalised);
    const auto fault = SimulatedDevice::Fault::fromString(text);
    QCOMPARE(fault.has_value(), !normalised.isEmpty());
    if (fault) {
        QCOMPARE(fault->toString(), normalised);
        QCOMPARE(*SimulatedDevice::Fault::fromString(fault->toString()), *fault);
    }
}

void TestModbusSlave::drift()
{
    SimulatedDevice a(5);
    SimulatedDevice b(5);
    SimulatedDevice fixed(7);
    a.setTemperatures(20.0, -5.0);
    b.setTemperatures(20.0, -5.0);
    fixed.setTemperatures(20.0, -5.0);
    a.setDrift(true);
    b.setDrift(true);
    QRandomGenerator first(42);
    QRandomGenerator second(42);
    QRandomGenerator third(42);
    double lowest = 20.0;
    double highest = 20.0;
    for (int i = 0; i < 5000; ++i) {
        a.driftStep(first);
        b.driftStep(second);
        fixed.driftStep(third);
        QCOMPARE(a.temperature(0), b.temperature(0));
        QCOMPARE(a.temperature(1), b.temperature(1));
        QVERIFY(qAbs(a.temperature(0) - 20.0) <= SimulatedDevice::driftBound);
        QVERIFY(qAbs(a.temperature(1) + 5.0) <= SimulatedDevice::driftBound);
        lowest = qMin(lowest, a.temperature(0));
        highest = qMax(highest, a.temperature(0));
    }
    // It wanders, but plausibly slowly and not pinned to one side.
    QVERIFY(lowest < 19.7 && highest > 20.3);
    QCOMPARE(fixed.temperature(0), 20.0);
    QCOMPARE(a.setPoint(0), 20.0);

    a.setDrift(false);
    QCOMPARE(a.temperature(0), 20.0);
    QCOMPARE(a.rawTemperature(1), qint16(-50));
    a.setTemperatures(1e9, -1e9);
    QCOMPARE(a.rawTemperature(0), qint16(32767));
    QCOMPARE(a.rawTemperature(1), qint16(-32768));
}

QTEST_GUILESS_MAIN(TestModbusSlave)
#include "tst_modbusslave.moc"
