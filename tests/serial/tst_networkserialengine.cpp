// The network engine behind AbstractSerial: against Debian's ser2net between the line and the
// simulated devices, and against a scripted server for what ser2net never does.
#include "abstractserial.h"
#include "network/networkserialengine.h"
#include "network/telnetcodec.h"
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
#include <QThread>

#include <functional>
#include <optional>

#include <asm/termbits.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QPointer<NetworkSerialEngine> lastEngine;

AbstractSerialEngine *createRecordedEngine(AbstractSerial *owner)
{
    return lastEngine = new NetworkSerialEngine(owner);
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// What a server that agrees to everything a client asks greets with.
const QByteArray agreeing = QByteArray::fromHex("fffd2c fffd00 fffb00 fffd03 fffb03");

QByteArray temperatureRequest(quint8 address)
{
    return ModbusSlave::withCrc(QByteArray(1, char(address)) + hex("0300010002"));
}

// A tty's settings as its own side sees them; all zero when it cannot be read.
termios2 ttySettings(const QString &path)
{
    termios2 tio = {};
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0 && ::ioctl(fd, TCGETS2, &tio) != 0)
        tio = {};
    if (fd >= 0)
        ::close(fd);
    return tio;
}

// A device server scripted by a test, for what ser2net never does: answers of its own choosing,
// garbage, silence. It runs on a thread of its own, since a setting waits for its answer
// without an event loop; its state is only touched there. Each connection gets the greeting;
// COM-PORT commands are recorded (code, then value) and answered with the value they carried, an
// ask with 9600 8N1 and no flow control.
class ScriptedServer
{
public:
    struct Record
    {
        QByteArrayList commands;
        QByteArray received;           // by the current connection
        QList<qint64> connectionTimes; // from the server's start
    };

    explicit ScriptedServer(const QByteArray &greeting)
    {
        context->moveToThread(&thread);
        thread.start();
        onThread([this, greeting] {
            auto *listener = new QTcpServer(context);
            listener->listen(QHostAddress::LocalHost, 0);
            port = listener->serverPort();
            QElapsedTimer clock;
            clock.start();
            QObject::connect(listener, &QTcpServer::newConnection, context, [=] {
                delete client;
                client = listener->nextPendingConnection();
                QObject::connect(client, &QTcpSocket::readyRead, context,
                                 [this] { take(client->readAll()); });
                client->write(greeting);
                record.connectionTimes << clock.elapsed();
                record.received.clear();
                parsed = 0;
            });
        });
    }
    ~ScriptedServer()
    {
        onThread([this] { delete context; });
        thread.quit();
        if (!thread.wait(5000))
            qFatal("the scripted server's thread did not end within 5 s");
    }

    QString lineName(const char *scheme) const
    {
        return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(port);
    }
    void send(const QByteArray &bytes)
    {
        onThread([this, bytes] { client->write(bytes); });
    }
    // The next command is answered with this instead; empty: not at all.
    void answerNext(const QByteArray &answer)
    {
        onThread([this, answer] { nextAnswer = answer; });
    }
    Record snapshot()
    {
        Record copy;
        onThread([&] { copy = record; });
        return copy;
    }

private:
    void onThread(const std::function<void()> &work)
    {
        QMetaObject::invokeMethod(context, work, Qt::BlockingQueuedConnection);
    }
    void take(const QByteArray &bytes)
    {
        // An ask (a value of zeros) gets the line as a fresh device server has it, by code.
        static const QByteArrayList fresh = {{},        hex("00002580"), hex("08"),
                                             hex("01"), hex("01"),       hex("01")};
        record.received += bytes;
        for (;;) {
            const qsizetype begin = record.received.indexOf("\xff\xfa\x2c", parsed);
            const qsizetype end = begin < 0 ? -1 : record.received.indexOf("\xff\xf0", begin + 3);
            if (end < 0)
                return;
            parsed = end + 2;
            if (end == begin + 3)
                continue;
            const QByteArray command =
                record.received.mid(begin + 3, end - begin - 3).replace("\xff\xff", "\xff");
            record.commands << command;
            const int code = quint8(command.at(0));
            QByteArray answer = command.mid(1);
            if (nextAnswer)
                answer = *std::exchange(nextAnswer, std::nullopt);
            else if (answer.count('\0') == answer.size() && code < fresh.size())
                answer = fresh.at(code);
            if (!answer.isEmpty())
                client->write(TelnetCodec::comPortCommand(quint8(code + 100), answer));
        }
    }

    QThread thread;
    QObject *context = new QObject; // lives on the thread, as do the sockets
    QTcpSocket *client = nullptr;
    quint16 port = 0;
    Record record;
    qsizetype parsed = 0;
    std::optional<QByteArray> nextAnswer;
};

// Makes the setting RFC 2217 command `code` is about, from its text.
bool setLine(AbstractSerial &serial, int code, const QString &value)
{
    if (code == TelnetCodec::SetBaudRate)
        return serial.setBaudRate(value, AbstractSerial::BaudBoth);
    if (code == TelnetCodec::SetDataSize)
        return serial.setDataBits(value);
    if (code == TelnetCodec::SetParity)
        return serial.setParity(value);
    if (code == TelnetCodec::SetStopSize)
        return serial.setStopBits(value);
    return serial.setFlowControl(value);
}

QStringList lineSettings(AbstractSerial &serial)
{
    return {serial.baudRate(AbstractSerial::BaudBoth), serial.dataBits(), serial.parity(),
            serial.stopBits(), serial.flowControl()};
}

bool isLinkUp(AbstractSerial &serial)
{
    return serial.isOpen() && !(serial.lineStatus() & AbstractSerial::LineError);
}

bool openLine(AbstractSerial &serial, const QString &name)
{
    serial.setDeviceName(name);
    return serial.open(QIODevice::ReadWrite) &&
           QTest::qWaitFor([&] { return isLinkUp(serial); }, 5000);
}

// Three devices on a simulated bus behind ser2net, and the line to them open.
struct RemoteBus
{
    DeviceSimulator simulator;
    std::unique_ptr<Ser2NetServer> server;
    AbstractSerial serial;
    QByteArray received;
    QByteArray lastRequest; // as the simulator read it
    QByteArray lastAnswer;  // as the simulator wrote it
    QString failure;        // why the line is not up

    explicit RemoteBus(Ser2NetServer::Mode mode, const QString &host = QStringLiteral("127.0.0.1"))
    {
        if (!simulator.openPty()) {
            failure = simulator.errorString();
            return;
        }
        // 0xFF bytes in the answers: -0.1 °C is FFFF, -25.6 °C is FF00.
        simulator.addDevice(5)->setTemperatures(21.5, -0.1);
        simulator.addDevice(7)->setTemperatures(-25.6, 100.0);
        simulator.addDevice(9)->setTemperatures(0.0, 12.7);
        QObject::connect(&serial, &QIODevice::readyRead, &serial,
                         [this] { received += serial.readAll(); });
        QObject::connect(&simulator, &DeviceSimulator::answerWritten, &simulator,
                         [this](quint8, const QByteArray &answer) { lastAnswer = answer; });
        QObject::connect(&simulator, &DeviceSimulator::requestReceived, &simulator,
                         [this](quint8, ModbusSlave::RequestKind, const QByteArray &request) {
                             lastRequest = request;
                         });
        server = std::make_unique<Ser2NetServer>(simulator.portName(), mode);
        if (!server->start()) {
            failure = server->output();
            return;
        }
        // Set up while the connection is still being made, as the station does it.
        serial.setDeviceName(server->lineName().replace(QLatin1String("127.0.0.1"), host));
        if (!serial.open(QIODevice::ReadWrite) ||
            !serial.setBaudRate(9600, AbstractSerial::BaudBoth))
            failure = QStringLiteral("the line did not open");
        else if (!QTest::qWaitFor([this] { return isLinkUp(serial); }, 5000))
            failure = QStringLiteral("no connection to ser2net within 5 s");
    }
};

} // namespace

class tst_NetworkSerialEngine : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { setSerialEngineCreator(&createRecordedEngine); }
    void cleanupTestCase() { setSerialEngineCreator(nullptr); }
    void portNames_data();
    void portNames();
    void pollsThreeDevices_data();
    void pollsThreeDevices();
    void restartedServerIsRecovered();
    void misbehavingServerIsDropped_data();
    void misbehavingServerIsDropped();
    void otherAnswersUndoSettings_data();
    void otherAnswersUndoSettings();
    void modemAndLineStates();
    void rawLineSendsBytesAsTheyAre();

private:
    // Asks one device through the line and checks the answer against what the simulator wrote.
    void poll(RemoteBus &bus, const QByteArray &request);
};

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
}

void tst_NetworkSerialEngine::portNames()
{
    QFETCH(QString, name);
    QFETCH(bool, opens);
    QTEST(serialEngineKind(name) == SerialEngineKind::Network, "network");
    // Opening only starts connecting, so a name that parses opens whatever the host.
    AbstractSerial serial;
    serial.setDeviceName(name);
    QCOMPARE(serial.open(QIODevice::ReadWrite), opens);
    if (!opens)
        QCOMPARE(serial.errorString(), QStringLiteral("Error opening. Error!"));
}

void tst_NetworkSerialEngine::poll(RemoteBus &bus, const QByteArray &request)
{
    bus.received.clear();
    bus.lastRequest.clear();
    bus.lastAnswer.clear();
    QCOMPARE(bus.serial.write(request), qint64(request.size()));
    QTRY_VERIFY2_WITH_TIMEOUT(!bus.lastAnswer.isEmpty(), "the simulator to answer", 3000);
    QCOMPARE(bus.lastRequest.toHex(' '), request.toHex(' '));
    QTRY_VERIFY2_WITH_TIMEOUT(bus.received.size() >= bus.lastAnswer.size(),
                              "the answer to come through the line", 3000);
    QCOMPARE(bus.received.toHex(' '), bus.lastAnswer.toHex(' '));
}

void tst_NetworkSerialEngine::pollsThreeDevices_data()
{
    QTest::addColumn<Ser2NetServer::Mode>("mode");
    QTest::addColumn<QString>("host"); // as the operator types it
    QTest::newRow("raw tcp") << Ser2NetServer::Mode::Raw << "127.0.0.1";
    // Loopback without asking DNS, which knows no such name.
    QTest::newRow("rfc2217, a name under .localhost")
        << Ser2NetServer::Mode::Rfc2217 << "grelvix-test.localhost";
}

void tst_NetworkSerialEngine::pollsThreeDevices()
{
    QFETCH(Ser2NetServer::Mode, mode);
    QFETCH(QString, host);
    RemoteBus bus(mode, host);
    QVERIFY2(bus.failure.isEmpty(), qPrintable(bus.failure));
    // The last asks for register 0x00FF: a 255 going out, answered with an exception.
    QByteArray answers;
    for (const QByteArray &request :
         {temperatureRequest(5), temperatureRequest(7), temperatureRequest(9),
          ModbusSlave::withCrc(hex("050300ff0002"))}) {
        poll(bus, request);
        if (QTest::currentTestFailed())
            return;
        answers += bus.received;
    }
    QVERIFY2(answers.contains('\xff'), "no 0xFF byte came through");
    // Only RFC 2217 carries a break; a purge is answered there and local on raw TCP.
    QCOMPARE(bus.serial.setBreak(true), mode == Ser2NetServer::Mode::Rfc2217);
    QVERIFY(bus.serial.reset());
    // A read wait that sees nothing leaves the connection up; a read turns notifications on.
    QVERIFY(!bus.serial.waitForReadyRead(200));
    QVERIFY2(isLinkUp(bus.serial), "the line went down after a read wait that saw nothing");
    QVERIFY(bus.serial.readAll().isEmpty());
    poll(bus, temperatureRequest(9));
}

void tst_NetworkSerialEngine::restartedServerIsRecovered()
{
    RemoteBus bus(Ser2NetServer::Mode::Rfc2217);
    QVERIFY2(bus.failure.isEmpty(), qPrintable(bus.failure));
    // Settings reach the tty; 28800 has no B constant. A pty keeps no data bits or parity.
    const auto ttyTookSettings = [&] {
        const termios2 tio = ttySettings(bus.simulator.portName());
        return tio.c_ospeed == 28800 && (tio.c_cflag & CSTOPB);
    };
    QVERIFY2(!ttyTookSettings(), "the tty had the settings before they were made");
    QVERIFY(bus.serial.setBaudRate(28800, AbstractSerial::BaudBoth));
    QVERIFY(bus.serial.setStopBits(AbstractSerial::StopBits2));
    QTRY_VERIFY2_WITH_TIMEOUT(ttyTookSettings(), "28800 baud and 2 stop bits on the tty", 3000);

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
    QTRY_VERIFY2_WITH_TIMEOUT(!isLinkUp(bus.serial), "the engine to notice ser2net is gone", 3000);
    QVERIFY(lastEngine && !lastEngine->linkError().isEmpty());
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
    QTRY_VERIFY2_WITH_TIMEOUT(isLinkUp(bus.serial), "the engine to reconnect by itself", 8000);
    QTRY_VERIFY2_WITH_TIMEOUT(answers >= before + 3, "answers after the restart", 5000);
    QTRY_VERIFY2_WITH_TIMEOUT(ttyTookSettings(), "the settings told to the new connection", 3000);
}

void tst_NetworkSerialEngine::misbehavingServerIsDropped_data()
{
    QTest::addColumn<QByteArray>("greeting");
    QTest::addColumn<QString>("why"); // in the engine's link error
    QTest::newRow("IAC and no command") << agreeing + hex("41ff0542") << "IAC followed by a byte";
    QTest::newRow("sub-negotiation never ended")
        << agreeing + hex("fffa2c65") + QByteArray(1000, '\0') << "longer than 256 bytes";
    QTest::newRow("binary refused") << hex("fffd2c fffc00 fffd00") << "refuses binary";
    QTest::newRow("silent") << QByteArray() << "no connection within 5 s";
}

void tst_NetworkSerialEngine::misbehavingServerIsDropped()
{
    QFETCH(QByteArray, greeting);
    QFETCH(QString, why);
    ScriptedServer server(greeting);
    AbstractSerial serial;
    serial.setDeviceName(server.lineName("rfc2217"));
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QTRY_VERIFY2_WITH_TIMEOUT(lastEngine && lastEngine->linkError().contains(why),
                              qPrintable(QStringLiteral("the link error \"%1\"").arg(why)), 7000);
    QCOMPARE(serial.lineStatus(), quint16(AbstractSerial::LineError));
    // Tried again after a second, not at once and not in a loop, then after two.
    const int wanted = greeting.isEmpty() ? 2 : 3; // a silent server takes 5 s per attempt
    QTRY_VERIFY2_WITH_TIMEOUT(server.snapshot().connectionTimes.size() >= wanted,
                              "more connections", 10000);
    const QList<qint64> times = server.snapshot().connectionTimes;
    for (int i = 1; i < wanted; ++i) {
        const qint64 gap = times.at(i) - times.at(i - 1);
        QVERIFY2(gap >= 1000 * i - 100,
                 qPrintable(QStringLiteral("%1 ms before attempt %2").arg(gap).arg(i + 1)));
    }
}

void tst_NetworkSerialEngine::otherAnswersUndoSettings_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("command"); // as the server gets it: code, then value
    QTest::addColumn<QByteArray>("answer");  // what the server applies; empty: no answer at all
    QTest::newRow("baud") << "19200" << hex("0100004b00") << hex("00002580");
    QTest::newRow("data bits") << "7 bit" << hex("0207") << hex("08");
    QTest::newRow("parity") << "Even" << hex("0303") << hex("01");
    QTest::newRow("flow") << "Hardware" << hex("0503") << hex("01");
    QTest::newRow("stop bits unanswered") << "2" << hex("0402") << QByteArray();
}

// A value the server did not take is put back, as a refusing driver leaves the old one.
void tst_NetworkSerialEngine::otherAnswersUndoSettings()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, answer);
    ScriptedServer server(agreeing);
    AbstractSerial serial;
    QVERIFY2(openLine(serial, server.lineName("rfc2217")), "no connection within 5 s");
    const QStringList settings = lineSettings(serial);
    const qsizetype before = server.snapshot().commands.size();
    server.answerNext(answer);
    QVERIFY(!setLine(serial, quint8(command.at(0)), value));
    QCOMPARE(lineSettings(serial), settings);
    QByteArrayList expected{command};
    if (!answer.isEmpty())
        expected << command.left(1) + answer;
    QCOMPARE(server.snapshot().commands.mid(before), expected);
}

void tst_NetworkSerialEngine::modemAndLineStates()
{
    ScriptedServer server(agreeing);
    AbstractSerial serial;
    QVERIFY2(openLine(serial, server.lineName("rfc2217")), "no connection within 5 s");
    // Masks for line errors and the four modem lines, and the speed asked, not told.
    for (const char *command : {"0a1e", "0bf0", "0100000000"})
        QVERIFY2(server.snapshot().commands.contains(hex(command)), command);
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
}

void tst_NetworkSerialEngine::rawLineSendsBytesAsTheyAre()
{
    ScriptedServer server(QByteArray{});
    AbstractSerial serial;
    QVERIFY2(openLine(serial, server.lineName("tcp")), "no connection within 5 s");
    // Settings are kept here and send nothing.
    QVERIFY(serial.setParity(AbstractSerial::ParityEven));
    QCOMPARE(serial.parity(), QStringLiteral("Even"));
    const QByteArray frame = hex("fffa2cff01fff0ff"); // 255 and telnet's codes
    QCOMPARE(serial.write(frame), qint64(frame.size()));
    QTRY_COMPARE_WITH_TIMEOUT(server.snapshot().received.toHex(' '), frame.toHex(' '), 3000);
}

QTEST_MAIN(tst_NetworkSerialEngine)
#include "tst_networkserialengine.moc"
