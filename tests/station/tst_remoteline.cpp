// The station on a remote line: its devices behind Debian's ser2net, reached over RFC 2217 and
// over raw TCP. It scans and polls as on a local port, and a device server that goes away and
// comes back is taken up again without the operator.
#include "corefixture.h"
#include "ser2netserver.h"

#include <QSignalSpy>

class TestRemoteLine : public QObject
{
    Q_OBJECT

private slots:
    void scansPollsAndRecovers_data();
    void scansPollsAndRecovers();
};

void TestRemoteLine::scansPollsAndRecovers_data()
{
    QTest::addColumn<Ser2NetServer::Mode>("mode");
    QTest::newRow("rfc2217") << Ser2NetServer::Mode::Rfc2217;
    QTest::newRow("raw tcp") << Ser2NetServer::Mode::Raw;
}

void TestRemoteLine::scansPollsAndRecovers()
{
    QFETCH(Ser2NetServer::Mode, mode);
    CoreFixture fixture;
    DeviceSimulator &bus = fixture.simulate();
    // Readings whose answers hold 0xFF bytes (negative tenths), which RFC 2217 escapes.
    const QList<quint8> addresses = {20, 21, 30};
    for (quint8 address : addresses)
        bus.addDevice(address)->setTemperatures(-0.1 * address, 20.0 + address);
    Ser2NetServer server(bus.portName(), mode);
    QVERIFY2(server.start(), qPrintable(server.output()));

    // Stored: the remote line, and one device polled every second to tell when the line is up.
    StationConfig config;
    config.port = server.lineName();
    config.pollInterval = 1;
    config.devices = {20};
    fixture.store(config.format());
    StationCore &core = fixture.create(StationTimer::Mode::Running);
    const DeviceLink &link = core.link();
    QSignalSpy answered(&link, &DeviceLink::deviceAnswered);
    QVERIFY2(answered.wait(10000), "no answer over the remote line within 10 s");

    QSignalSpy searched(&link, &DeviceLink::searchFinished);
    core.StartSearch();
    QVERIFY2(searched.wait(30000), "the search did not end within 30 s");
    QCOMPARE(link.devices(), addresses);

    QSignalSpy cycles(&core, &StationCore::pollCycleFinished);
    QVERIFY2(cycles.wait(5000), "no poll cycle within 5 s of the search");
    const QList<float> values = cycles.takeLast().at(0).value<QList<float>>();
    QCOMPARE(values, (QList<float>{-2.0f, 40.0f, -2.1f, 41.0f, -3.0f, 50.0f}));

    // The device server loses its power, then comes back.
    QSignalSpy silent(&link, &DeviceLink::deviceFellSilent);
    QSignalSpy lost(&link, &DeviceLink::portLostChanged);
    server.kill();
    QVERIFY2(silent.wait(10000), "no device reported silent within 10 s of the server's end");
    QVERIFY2(server.start(), qPrintable(server.output()));
    answered.clear();
    QVERIFY2(QTest::qWaitFor([&] { return answered.size() >= 3; }, 20000),
             "polling did not resume within 20 s of the server's return");
    QCOMPARE(lost, (QList<QList<QVariant>>{{true}, {false}}));
}

QTEST_GUILESS_MAIN(TestRemoteLine)
#include "tst_remoteline.moc"
