#include "controlchannel.h"
#include "devicesimulator.h"

#include <QTest>

class TestControlChannel : public QObject
{
    Q_OBJECT

private slots:
    void commands();
    void rejected_data();
    void rejected();
};

void TestControlChannel::commands()
{
    DeviceSimulator sim;
    ControlChannel channel(&sim);
    const QStringList ok{QStringLiteral("ok")};

    QCOMPARE(channel.execute(QStringLiteral("add 5")), ok);
    QCOMPARE(channel.execute(QStringLiteral("  ADD   7 23.5 -10  ")), ok);
    QCOMPARE(sim.addresses(), (QList<quint8>{5, 7}));
    QCOMPARE(sim.device(7)->rawTemperature(0), qint16(235));
    QCOMPARE(sim.device(7)->rawTemperature(1), qint16(-100));
    QVERIFY(!sim.device(5)->drift());

    QCOMPARE(channel.execute(QStringLiteral("temp 5 -0.5 100")), ok);
    QCOMPARE(sim.device(5)->rawTemperature(0), qint16(-5));
    QCOMPARE(sim.device(5)->rawTemperature(1), qint16(1000));
    QCOMPARE(channel.execute(QStringLiteral("drift 7 on")), ok);
    QVERIFY(sim.device(7)->drift() && !sim.device(5)->drift());
    QCOMPARE(channel.execute(QStringLiteral("fault 5 delay 200")), ok);
    QCOMPARE(sim.device(5)->fault().toString(), QStringLiteral("delay 200"));
    QCOMPARE(channel.execute(QStringLiteral("fault all range 130 -60")), ok);
    QCOMPARE(sim.device(7)->fault().toString(), QStringLiteral("range 130.0 -60.0"));
    QCOMPARE(sim.device(5)->fault(), sim.device(7)->fault());

    QCOMPARE(channel.execute(QStringLiteral("list")),
             (QStringList{"device 5 temp -0.5 100.0 drift off fault range 130.0 -60.0 requests 0 "
                          "answers 0",
                          "device 7 temp 23.5 -10.0 drift on fault range 130.0 -60.0 requests 0 "
                          "answers 0",
                          "ok 2 devices"}));

    channel.setDriftForNewDevices(true);
    QCOMPARE(channel.execute(QStringLiteral("add 9")), ok);
    QVERIFY(sim.device(9)->drift());
    QCOMPARE(channel.execute(QStringLiteral("remove 5")), ok);
    QCOMPARE(sim.addresses(), (QList<quint8>{7, 9}));

    QVERIFY(channel.execute(QString()).isEmpty());
    QVERIFY(channel.execute(QStringLiteral("# temp 7 0 0")).isEmpty());
    QCOMPARE(channel.execute(QStringLiteral("help")).last(), QStringLiteral("ok"));
    QVERIFY(!channel.quitRequested());
    QCOMPARE(channel.execute(QStringLiteral("quit")), ok);
    QVERIFY(channel.quitRequested());
}

void TestControlChannel::rejected_data()
{
    QTest::addColumn<QString>("line");
    QTest::newRow("unknown") << "tmep 5 1 2";
    QTest::newRow("address 0") << "add 0";
    QTest::newRow("address 256") << "add 256";
    QTest::newRow("added twice") << "add 5";
    QTest::newRow("add, one temperature") << "add 6 20";
    QTest::newRow("add, bad temperature") << "add 6 20 warm";
    QTest::newRow("temp, not served") << "temp 6 1 2";
    QTest::newRow("temp, one value") << "temp 5 1";
    QTest::newRow("temp, beyond register") << "temp 5 3300 0";
    QTest::newRow("temp, infinite") << "temp 5 inf 0";
    QTest::newRow("drift, neither on nor off") << "drift 5 yes";
    QTest::newRow("fault, no kind") << "fault 5";
    QTest::newRow("remove, not served") << "remove 6";
    QTest::newRow("list with argument") << "list 5";
    QTest::newRow("quit with argument") << "quit now";
}

void TestControlChannel::rejected()
{
    QFETCH(QString, line);
    DeviceSimulator sim;
    ControlChannel channel(&sim);
    QCOMPARE(channel.execute(QStringLiteral("add 5 23.5 -10")), QStringList{QStringLiteral("ok")});
    const QStringList before = channel.execute(QStringLiteral("list"));

    const QStringList answer = channel.execute(line);
    QCOMPARE(answer.size(), 1);
    QVERIFY2(answer.first().startsWith(QLatin1String("error: ")), qPrintable(answer.first()));
    QCOMPARE(channel.execute(QStringLiteral("list")), before);
    QVERIFY(!channel.quitRequested());
}

QTEST_GUILESS_MAIN(TestControlChannel)
#include "tst_controlchannel.moc"
