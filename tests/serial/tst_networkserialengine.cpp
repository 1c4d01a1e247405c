// The network engine behind AbstractSerial: against Debian's ser2net between the line and the
// simulated devices, and against a scripted server for what ser2net never does.
#include "abstractserial.h"
#include "network/networkserialengine.h"
#include "network/telnetcodec.h"
#include "serialenginefactory_p.h"

#include "devicesimulator.h"
#include "ptypair.h"
#include "scriptedcomportserver.h"
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

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// Debug lines of the network engine, caught while the object lives.
class NetworkTraces
{
public:
    NetworkTraces()
    {
        lines().clear();
        previous = qInstallMessageHandler(&NetworkTraces::handle);
    }
    ~NetworkTraces() { qInstallMessageHandler(previous); }
    static QStringList &lines()
    {
        static QStringList caught;
        return caught;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext &context, const QString &text)
    {
        if (QLatin1String(context.category) == QLatin1String("grelvix.serial.network"))
            lines() << text;
    }
    QtMessageHandler previous = nullptr;
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
    void misbehavingServerIsDropped_data();
    void misbehavingServerIsDropped();
    void answersDecideSettings_data();
    void answersDecideSettings();
    void modemAndLineStates();
    void rawSettingsStayLocal();

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

void tst_NetworkSerialEngine::misbehavingServerIsDropped_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QString>("why");
    const QByteArray agreeing = ScriptedComPortServer::agreeingGreeting();
    QTest::newRow("IAC and no command") << agreeing + hex("41ff0542")
                                        << "protocol error: the peer sent IAC followed by a byte "
                                           "that is no telnet command";
    QTest::newRow("sub-negotiation never ended")
        << agreeing + hex("fffa2c65") + QByteArray(1000, '\0')
        << "protocol error: the peer sent a sub-negotiation longer than 256 bytes";
    QTest::newRow("binary refused") << hex("fffd2c fffc00 fffd00")
                                    << "the server refuses binary transmission, which RTU "
                                       "frames need";
    QTest::newRow("silent") << QByteArray() << "no connection within 5 s";
}

void tst_NetworkSerialEngine::misbehavingServerIsDropped()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QString, why);
    ScriptedComPortServer server(greeting);
    AbstractSerial serial;
    serial.setDeviceName(server.lineName("rfc2217"));
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QVERIFY(lastEngine);
    QTRY_COMPARE_WITH_TIMEOUT(lastEngine->linkError(), why, 7000);
    QVERIFY(!lastEngine->isLinkUp());
    QCOMPARE(serial.lineStatus(), quint16(AbstractSerial::LineError));
    // Tried again after a second, not at once and not in a loop.
    QTRY_VERIFY2_WITH_TIMEOUT(server.connectionTimes().size() >= 2, "a second connection", 8000);
    const QList<qint64> times = server.connectionTimes();
    QVERIFY2(times.at(1) - times.at(0) >= 900,
             qPrintable(QStringLiteral("%1 ms between attempts").arg(times.at(1) - times.at(0))));
    if (!greeting.isEmpty()) {
        // The pause doubles while no connection comes up.
        QTRY_VERIFY2_WITH_TIMEOUT(server.connectionTimes().size() >= 3, "a third connection", 4000);
        const qint64 gap = server.connectionTimes().at(2) - server.connectionTimes().at(1);
        QVERIFY2(gap >= 1900, qPrintable(QStringLiteral("%1 ms before the third").arg(gap)));
    }
}

void tst_NetworkSerialEngine::answersDecideSettings_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("answer"); // what the server applies; empty: no answer at all
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("shown"); // the setting as the device gives it afterwards

    QTest::newRow("baud taken") << "baud"
                                << "19200" << 1 << hex("00004b00") << true << "19200 baud";
    QTest::newRow("baud applied otherwise")
        << "baud"
        << "19200" << 1 << hex("00002580") << false << "9600 baud";
    QTest::newRow("data bits taken") << "data"
                                     << "7 bit" << 2 << hex("07") << true << "7 bit";
    QTest::newRow("data bits applied otherwise") << "data"
                                                 << "7 bit" << 2 << hex("08") << false << "8 bit";
    QTest::newRow("parity applied otherwise") << "parity"
                                              << "Even" << 3 << hex("01") << false << "None";
    QTest::newRow("stop bits unanswered") << "stop"
                                          << "2" << 4 << QByteArray() << false << "1";
    QTest::newRow("flow applied otherwise") << "flow"
                                            << "Hardware" << 5 << hex("01") << false << "Disable";
    QTest::newRow("flow taken") << "flow"
                                << "Xon/Xoff" << 5 << hex("02") << true << "Xon/Xoff";
}

void tst_NetworkSerialEngine::answersDecideSettings()
{
    QFETCH(QString, setting);
    QFETCH(QString, value);
    QFETCH(int, command);
    QFETCH(QByteArray, answer);
    QFETCH(bool, ok);
    QFETCH(QString, shown);
    ScriptedComPortServer server(ScriptedComPortServer::agreeingGreeting());
    AbstractSerial serial;
    serial.setDeviceName(server.lineName("rfc2217"));
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QTRY_VERIFY2_WITH_TIMEOUT(lastEngine && lastEngine->isLinkUp(), "the connection", 5000);
    const QByteArray asked = hex("00000000");
    QTRY_VERIFY2_WITH_TIMEOUT(server.commands().contains(hex("01") + asked), "the speed asked",
                              3000);
    const auto set = [&](const QString &text) {
        if (setting == QLatin1String("baud"))
            return serial.setBaudRate(text, AbstractSerial::BaudBoth);
        if (setting == QLatin1String("data"))
            return serial.setDataBits(text);
        if (setting == QLatin1String("parity"))
            return serial.setParity(text);
        if (setting == QLatin1String("stop"))
            return serial.setStopBits(text);
        return serial.setFlowControl(text);
    };
    const auto get = [&] {
        if (setting == QLatin1String("baud"))
            return serial.baudRate(AbstractSerial::BaudBoth);
        if (setting == QLatin1String("data"))
            return serial.dataBits();
        if (setting == QLatin1String("parity"))
            return serial.parity();
        if (setting == QLatin1String("stop"))
            return serial.stopBits();
        return serial.flowControl();
    };
    server.answerNext(command, answer);
    const qsizetype before = server.commands().size();
    QCOMPARE(set(value), ok);
    QCOMPARE(get(), shown);
    const QByteArrayList sent = server.commands().mid(before);
    QVERIFY(!sent.isEmpty());
    QCOMPARE(quint8(sent.first().at(0)), quint8(command));
    // A value the server did not take is put back, as a refusing driver leaves the old one.
    QCOMPARE(sent.size(), !ok && !answer.isEmpty() ? 2 : 1);
}

void tst_NetworkSerialEngine::modemAndLineStates()
{
    ScriptedComPortServer server(ScriptedComPortServer::agreeingGreeting());
    AbstractSerial serial;
    serial.setDeviceName(server.lineName("rfc2217"));
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QTRY_VERIFY2_WITH_TIMEOUT(lastEngine && lastEngine->isLinkUp(), "the connection", 5000);
    // Masks for line errors and the four modem lines.
    QVERIFY(server.commands().contains(hex("0a1e")));
    QVERIFY(server.commands().contains(hex("0bf0")));
    QCOMPARE(serial.lineStatus(), quint16(0));

    QSignalSpy cts(&serial, &AbstractSerial::ctsChanged);
    QSignalSpy dsr(&serial, &AbstractSerial::dsrChanged);
    QSignalSpy exception(&serial, &AbstractSerial::exception);
    server.send(TelnetCodec::comPortCommand(107, hex("31"))); // CTS, DSR, delta CTS
    QTRY_COMPARE_WITH_TIMEOUT(cts.count(), 1, 3000);
    QCOMPARE(cts.at(0).at(0).toBool(), true);
    QCOMPARE(dsr.count(), 1);
    QCOMPARE(serial.lineStatus(), quint16(AbstractSerial::LineCTS | AbstractSerial::LineDSR));
    // The device does not ask for line errors itself; an engine user may.
    lastEngine->setExceptionNotificationEnabled(true);
    server.send(TelnetCodec::comPortCommand(106, hex("08"))); // framing error
    QTRY_COMPARE_WITH_TIMEOUT(exception.count(), 1, 3000);
    server.send(TelnetCodec::comPortCommand(106, hex("60"))); // transmitter empty: no error
    server.send(TelnetCodec::comPortCommand(107, hex("00")));
    QTRY_COMPARE_WITH_TIMEOUT(cts.count(), 2, 3000);
    QCOMPARE(exception.count(), 1);

    QVERIFY(serial.setDtr(true));
    QVERIFY(serial.setRts(false));
    QCOMPARE(serial.lineStatus(), quint16(AbstractSerial::LineDTR));
    QVERIFY(serial.reset());
    QVERIFY(server.commands().endsWith(hex("0c03")));
    QVERIFY(serial.setBreak(true));
    QVERIFY(server.commands().endsWith(hex("0505")));
}

void tst_NetworkSerialEngine::rawSettingsStayLocal()
{
    ScriptedComPortServer server(QByteArray{});
    AbstractSerial serial;
    serial.setDeviceName(server.lineName("tcp"));
    NetworkTraces traces;
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QTRY_VERIFY2_WITH_TIMEOUT(lastEngine && lastEngine->isLinkUp(), "the connection", 5000);
    QVERIFY(configureLikeStation(serial));
    QVERIFY(serial.setBaudRate(19200, AbstractSerial::BaudBoth));
    QVERIFY(serial.setParity(AbstractSerial::ParityEven));
    QCOMPARE(serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("19200 baud"));
    QCOMPARE(serial.parity(), QStringLiteral("Even"));
    QVERIFY(!serial.setBreak(true));
    // Bytes go as they are, 255 and telnet's codes included, and settings send nothing.
    const QByteArray frame = hex("fffa2cff01fff0ff");
    QCOMPARE(serial.write(frame), qint64(frame.size()));
    QTRY_COMPARE_WITH_TIMEOUT(server.received().toHex(' '), frame.toHex(' '), 3000);
    const QStringList notes =
        traces.lines().filter(QStringLiteral("the device server's own line settings apply"));
    QCOMPARE(notes.size(), 1);
}

QTEST_MAIN(tst_NetworkSerialEngine)
#include "tst_networkserialengine.moc"
