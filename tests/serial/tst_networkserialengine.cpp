// The network engine behind AbstractSerial: against Debian's ser2net between the line and the
// simulated devices, and against a scripted server for what ser2net never does.
#include "abstractserial.h"
#include "network/networkserialengine.h"
#include "serialenginefactory_p.h"

#include "devicesimulator.h"
#include "ptypair.h"
#include "ser2netserver.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QPointer<NetworkSerialEngine> lastEngine;

AbstractSerialEngine *createRecordedEngine(AbstractSerial *owner)
{
    auto *engine = new NetworkSerialEngine(owner);
    lastEngine = engine;
    return engine;
}

QByteArray temperatureRequest(quint8 address)
{
    QByteArray body("\x00\x03\x00\x01\x00\x02", 6);
    body[0] = char(address);
    return ModbusSlave::withCrc(body);
}

// The station's own sequence after a successful open.
bool configureLikeStation(AbstractSerial &serial)
{
    bool ok = serial.setBaudRate(QStringLiteral("9600"), AbstractSerial::BaudBoth);
    ok &= serial.setDataBits(AbstractSerial::DataBits8);
    ok &= serial.setParity(AbstractSerial::ParityNone);
    ok &= serial.setStopBits(AbstractSerial::StopBits1);
    ok &= serial.setFlowControl(AbstractSerial::FlowControlOff);
    return ok;
}

// The output speed of a tty as its own side sees it.
int outputSpeed(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    struct termios2 tio = {};
    const bool ok = fd >= 0 && ::ioctl(fd, TCGETS2, &tio) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok ? int(tio.c_ospeed) : -1;
}

// Three devices on a simulated bus, ser2net in front of them, and a device on the far end.
struct RemoteBus
{
    DeviceSimulator simulator;
    std::unique_ptr<Ser2NetServer> server;
    AbstractSerial serial;
    QByteArray received;
    QByteArray lastAnswer; // as the simulator wrote it

    explicit RemoteBus(Ser2NetServer::Mode mode)
    {
        if (!simulator.openPty())
            return;
        // 0xFF bytes in the answers: -0.1 °C is FFFF, -25.6 °C is FF00.
        simulator.addDevice(5)->setTemperatures(21.5, -0.1);
        simulator.addDevice(7)->setTemperatures(-25.6, 100.0);
        simulator.addDevice(9)->setTemperatures(0.0, 12.7);
        server = std::make_unique<Ser2NetServer>(simulator.portName(), mode);
        QObject::connect(&serial, &QIODevice::readyRead, &serial,
                         [this] { received += serial.readAll(); });
        QObject::connect(&simulator, &DeviceSimulator::answerWritten, &simulator,
                         [this](quint8, const QByteArray &answer) { lastAnswer = answer; });
    }
    bool isLinkUp()
    {
        return serial.isOpen() && !(serial.lineStatus() & AbstractSerial::LineError);
    }
};

} // namespace

class tst_NetworkSerialEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void portNames_data();
    void portNames();
    void pollsThreeDevices_data();
    void pollsThreeDevices();
    void speedReachesThePty_data();
    void speedReachesThePty();
    void restartedServerIsRecovered_data();
    void restartedServerIsRecovered();

private:
    // Asks one device through the line and checks the answer against what the simulator wrote.
    void poll(RemoteBus &bus, quint8 address);
};

void tst_NetworkSerialEngine::initTestCase()
{
    setSerialEngineCreator(&createRecordedEngine);
}

void tst_NetworkSerialEngine::cleanupTestCase()
{
    setSerialEngineCreator(nullptr);
}

void tst_NetworkSerialEngine::portNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("network"); // the factory picks the network engine
    QTest::addColumn<bool>("opens");   // the name is one the network engine can open

    QTest::newRow("rfc2217") << "rfc2217://127.0.0.1:7001" << true << true;
    QTest::newRow("tcp, host name") << "tcp://ser2net.example:4001" << true << true;
    QTest::newRow("upper case") << "RFC2217://Box.Localhost:4001" << true << true;
    QTest::newRow("IPv6 in brackets") << "tcp://[::1]:502" << true << true;
    QTest::newRow("no port") << "tcp://127.0.0.1" << true << false;
    QTest::newRow("port 0") << "tcp://127.0.0.1:0" << true << false;
    QTest::newRow("port past 65535") << "rfc2217://127.0.0.1:65536" << true << false;
    QTest::newRow("a path after the port") << "tcp://127.0.0.1:4001/x" << true << false;
    QTest::newRow("another scheme") << "telnet://127.0.0.1:23" << false << false;
    QTest::newRow("a local port") << "ttyUSB0" << false << false;
    QTest::newRow("a path") << "/dev/serial/by-id/usb-FTDI" << false << false;
}

void tst_NetworkSerialEngine::portNames()
{
    QFETCH(QString, name);
    QFETCH(bool, network);
    QFETCH(bool, opens);
    QCOMPARE(serialEngineKind(name) == SerialEngineKind::Network, network);
    // Opening only starts connecting, so a name that parses opens whatever the host.
    AbstractSerial serial;
    serial.setDeviceName(name);
    QCOMPARE(serial.deviceName(), name);
    QCOMPARE(serial.open(QIODevice::ReadWrite), opens);
    if (!opens)
        QCOMPARE(serial.errorString(), QStringLiteral("Error opening. Error!"));
}

void tst_NetworkSerialEngine::poll(RemoteBus &bus, quint8 address)
{
    bus.received.clear();
    bus.lastAnswer.clear();
    QCOMPARE(bus.serial.write(temperatureRequest(address)), qint64(8));
    QTRY_VERIFY2_WITH_TIMEOUT(!bus.lastAnswer.isEmpty(), "the simulator to answer", 3000);
    QTRY_VERIFY2_WITH_TIMEOUT(bus.received.size() >= bus.lastAnswer.size(),
                              "the answer to come through the line", 3000);
    QCOMPARE(bus.received.toHex(' '), bus.lastAnswer.toHex(' '));
}

void tst_NetworkSerialEngine::pollsThreeDevices_data()
{
    QTest::addColumn<Ser2NetServer::Mode>("mode");
    QTest::addColumn<QString>("host"); // as the operator types it
    QTest::newRow("rfc2217") << Ser2NetServer::Mode::Rfc2217 << "127.0.0.1";
    QTest::newRow("raw tcp") << Ser2NetServer::Mode::Raw << "127.0.0.1";
    // Loopback without asking DNS, which knows no such name.
    QTest::newRow("rfc2217, name under .localhost")
        << Ser2NetServer::Mode::Rfc2217 << "grelvix-test.localhost";
}

void tst_NetworkSerialEngine::pollsThreeDevices()
{
    QFETCH(Ser2NetServer::Mode, mode);
    QFETCH(QString, host);
    RemoteBus bus(mode);
    QVERIFY2(bus.server, qPrintable(bus.simulator.errorString()));
    QVERIFY2(bus.server->start(), qPrintable(bus.server->output()));
    bus.serial.setDeviceName(bus.server->lineName().replace(QLatin1String("127.0.0.1"), host));
    QVERIFY(bus.serial.open(QIODevice::ReadWrite));
    QVERIFY(configureLikeStation(bus.serial));
    QTRY_VERIFY2_WITH_TIMEOUT(bus.isLinkUp(), "the connection to ser2net", 5000);
    QCOMPARE(bus.serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("9600 baud"));
    for (int round = 0; round < 3; ++round) {
        for (const quint8 address : {5, 7, 9}) {
            poll(bus, address);
            if (QTest::currentTestFailed())
                return;
        }
    }
    // The values the devices serve, decoded from what came through.
    poll(bus, 7);
    QCOMPARE(quint8(bus.received.at(3)), quint8(0xff));
    QCOMPARE(qint16(quint8(bus.received.at(3)) << 8 | quint8(bus.received.at(4))), qint16(-256));
    QCOMPARE(qint16(quint8(bus.received.at(5)) << 8 | quint8(bus.received.at(6))), qint16(1000));
}

void tst_NetworkSerialEngine::speedReachesThePty_data()
{
    QTest::addColumn<int>("rate");
    QTest::newRow("19200") << 19200;
    QTest::newRow("115200") << 115200;
    QTest::newRow("28800, no B constant") << 28800;
}

void tst_NetworkSerialEngine::speedReachesThePty()
{
    QFETCH(int, rate);
    RemoteBus bus(Ser2NetServer::Mode::Rfc2217);
    QVERIFY2(bus.server && bus.server->start(), qPrintable(bus.simulator.errorString()));
    bus.serial.setDeviceName(bus.server->lineName());
    QVERIFY(bus.serial.open(QIODevice::ReadWrite));
    QTRY_VERIFY2_WITH_TIMEOUT(bus.isLinkUp(), "the connection to ser2net", 5000);
    QCOMPARE(outputSpeed(bus.simulator.portName()), 9600);
    QVERIFY(bus.serial.setBaudRate(rate, AbstractSerial::BaudBoth));
    QCOMPARE(bus.serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("%1 baud").arg(rate));
    QTRY_COMPARE_WITH_TIMEOUT(outputSpeed(bus.simulator.portName()), rate, 3000);
    poll(bus, 9);
}

void tst_NetworkSerialEngine::restartedServerIsRecovered_data()
{
    QTest::addColumn<Ser2NetServer::Mode>("mode");
    QTest::newRow("rfc2217") << Ser2NetServer::Mode::Rfc2217;
    QTest::newRow("raw tcp") << Ser2NetServer::Mode::Raw;
}

void tst_NetworkSerialEngine::restartedServerIsRecovered()
{
    QFETCH(Ser2NetServer::Mode, mode);
    RemoteBus bus(mode);
    QVERIFY2(bus.server && bus.server->start(), qPrintable(bus.simulator.errorString()));
    bus.serial.setDeviceName(bus.server->lineName());
    QVERIFY(bus.serial.open(QIODevice::ReadWrite));
    QVERIFY(configureLikeStation(bus.serial));
    QVERIFY(bus.serial.setBaudRate(19200, AbstractSerial::BaudBoth));

    // Polled every 100 ms like the station does, answered or not.
    quint64 answers = 0;
    quint8 next = 5;
    QTimer poller;
    QObject::connect(&poller, &QTimer::timeout, [&] {
        if (bus.received.size() >= 9)
            ++answers;
        bus.received.clear();
        bus.serial.write(temperatureRequest(next));
        next = next == 9 ? 5 : quint8(next + 2);
    });
    poller.start(100);
    QTRY_VERIFY2_WITH_TIMEOUT(answers >= 3, "answers before ser2net goes", 5000);

    bus.server->kill();
    QTRY_VERIFY2_WITH_TIMEOUT(!bus.isLinkUp(), "the engine to notice ser2net is gone", 3000);
    QVERIFY(lastEngine);
    QVERIFY(!lastEngine->linkError().isEmpty());
    // An unplugged adapter's failures, and no spinning while the server is away.
    bus.serial.setStatusSignalEnabled(true);
    QSignalSpy status(&bus.serial, &AbstractSerial::signalStatus);
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(1500);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    QVERIFY2(cpuUsed < 0.3, qPrintable(QStringLiteral("CPU %1 s while away").arg(cpuUsed)));
    QVERIFY(!status.isEmpty());
    QCOMPARE(status.last().at(0).toString(),
             QStringLiteral("Controls::Write data to device - i/o problem. Error!"));
    QVERIFY(!bus.serial.waitForReadyRead(10));
    QCOMPARE(bus.serial.errorString(),
             QStringLiteral("Controls::Wait for ready read timeout. Error!"));
    QVERIFY(bus.serial.readAll().isEmpty()); // a read switches notifications on again
    QVERIFY(bus.serial.isOpen());

    const quint64 before = answers;
    QVERIFY2(bus.server->start(), qPrintable(bus.server->output()));
    // Attempts come 1, 2, 4 s apart: the next one is due within 4 s of the restart.
    QTRY_VERIFY2_WITH_TIMEOUT(bus.isLinkUp(), "the engine to reconnect by itself", 8000);
    QTRY_VERIFY2_WITH_TIMEOUT(answers >= before + 3, "answers after the restart", 5000);
    if (mode == Ser2NetServer::Mode::Rfc2217)
        QCOMPARE(outputSpeed(bus.simulator.portName()), 19200);
}

QTEST_MAIN(tst_NetworkSerialEngine)
#include "tst_networkserialengine.moc"
