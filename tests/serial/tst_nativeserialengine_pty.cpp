// The Linux engine behind AbstractSerial, against real pseudo-terminals.
#include "abstractserial.h"
#include "abstractserialenginereceiver.h"
#include "serialenginefactory_p.h"
#include "unix/nativeserialengine.h"

#include "ptypair.h"

#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

QPointer<NativeSerialEngine> lastEngine;

AbstractSerialEngine *createRecordedEngine(AbstractSerial *owner)
{
    auto *engine = new NativeSerialEngine(owner);
    lastEngine = engine;
    return engine;
}

struct CountingReceiver : AbstractSerialEngineReceiver
{
    int reads = 0;
    int writes = 0;
    int exceptions = 0;
    int lines = 0;
    bool handleReadNotification() override { return ++reads; }
    bool handleWriteNotification() override { return ++writes; }
    void handleExceptionNotification() override { ++exceptions; }
    bool handleLineNotification() override { return ++lines; }
};

// The station's own sequence after a successful open.
bool configureLikeStation(AbstractSerial &serial, const QString &speed)
{
    bool ok = serial.setBaudRate(speed, AbstractSerial::BaudBoth);
    ok &= serial.setDataBits(AbstractSerial::DataBits8);
    ok &= serial.setParity(AbstractSerial::ParityNone);
    ok &= serial.setStopBits(AbstractSerial::StopBits1);
    ok &= serial.setFlowControl(AbstractSerial::FlowControlOff);
    return ok;
}

} // namespace

class tst_NativeSerialEnginePty : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void portNames();
    void openCloseReopen();
    void openFailures();
    void exclusiveOpen();
    void rawModeAndSettingsRestoredAtClose();
    void inputQueuedBeforeOpenIsDiscarded();
    void stationSettingsReachThePort();
    void parameterRefusals();
    void automaticReadTimeout();
    void frameRules();
    void readyReadOncePerArrivalNeverRecursive();
    void slotSeesEverythingWaiting();
    void write1200Bytes();
    void waitForWithTimeouts();
    void readBufferLimitOf10With25Waiting();
    void notifierSwitching();
    void noNotifierWithoutEventDispatcher();
    void hangUpStopsWatchingWithoutSpinning();
    void portComesBackWithSameSettings();
};

void tst_NativeSerialEnginePty::initTestCase()
{
    setSerialEngineCreator(&createRecordedEngine);
}

void tst_NativeSerialEnginePty::cleanupTestCase()
{
    setSerialEngineCreator(nullptr);
}

void tst_NativeSerialEnginePty::portNames()
{
    QCOMPARE(NativeSerialEngine::portPath(QStringLiteral("ttyUSB0")),
             QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(NativeSerialEngine::portPath(QStringLiteral("COM12")), QStringLiteral("/dev/ttyS11"));
    QCOMPARE(NativeSerialEngine::portPath(QStringLiteral("com1")), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(NativeSerialEngine::portPath(QStringLiteral("COM0")), QStringLiteral("/dev/COM0"));
    QCOMPARE(NativeSerialEngine::portPath(QStringLiteral("/dev/pts/3")),
             QStringLiteral("/dev/pts/3"));
    QCOMPARE(NativeSerialEngine::portPath(QStringLiteral("serial/by-id/x")),
             QStringLiteral("serial/by-id/x"));

    // A new device has no name yet and shows the engine's starting values.
    AbstractSerial serial;
    QCOMPARE(serial.deviceName(), QString());
    QCOMPARE(serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("9600 baud"));
    QCOMPARE(serial.dataBits(), QStringLiteral("8 bit"));
    QCOMPARE(serial.parity(), QStringLiteral("None"));
    QCOMPARE(serial.stopBits(), QStringLiteral("1"));
    QCOMPARE(serial.flowControl(), QStringLiteral("Disable"));
    serial.setDeviceName(QStringLiteral("COM12"));
    QCOMPARE(serial.deviceName(), QStringLiteral("COM12"));
}

void tst_NativeSerialEnginePty::openCloseReopen()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    AbstractSerial serial;
    serial.setDeviceName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QCOMPARE(serial.deviceName(), pty.slavePath());
    // The port's own settings are taken over: a fresh pty runs at 38400 8N1.
    QCOMPARE(serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("38400 baud"));
    QCOMPARE(serial.dataBits(), QStringLiteral("8 bit"));
    QCOMPARE(serial.parity(), QStringLiteral("None"));
    serial.close();
    QVERIFY(!serial.isOpen());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QVERIFY(pty.write("ping"));
    QSignalSpy ready(&serial, &QIODevice::readyRead);
    QVERIFY(ready.wait(5000));
    QCOMPARE(serial.readAll(), QByteArray("ping"));
    serial.close();
    QCOMPARE(serial.errorString(), QStringLiteral("Unknown error"));
}

void tst_NativeSerialEnginePty::openFailures()
{
    AbstractSerial serial;
    serial.setDeviceName(QStringLiteral("/nonexistent/ttyXYZ"));
    QVERIFY(!serial.open(QIODevice::ReadWrite));
    QCOMPARE(serial.errorString(), QStringLiteral("Error opening. Error!"));

    // Not a terminal: refused, and nothing stays open.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("plain"));
    QFile plain(file);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    serial.setDeviceName(file);
    QVERIFY(!serial.open(QIODevice::ReadWrite));
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY);
    QVERIFY(fd >= 0);
    QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);

    serial.setDeviceName(QString());
    QVERIFY(!serial.open(QIODevice::ReadWrite));
}

void tst_NativeSerialEnginePty::exclusiveOpen()
{
    PtyPair pty;
    AbstractSerial first;
    AbstractSerial second;
    first.setDeviceName(pty.slavePath());
    second.setDeviceName(pty.slavePath());
    QVERIFY(first.open(QIODevice::ReadWrite));
    QVERIFY(!second.open(QIODevice::ReadWrite));
    QCOMPARE(second.errorString(), QStringLiteral("Error opening. Error!"));

    // Another program asking for the port the usual way is refused too.
    const QByteArray path = QFile::encodeName(pty.slavePath());
    int other = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(other >= 0);
    QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), -1);
    ::close(other);

    first.close();
    QVERIFY(second.open(QIODevice::ReadWrite));
    second.close();

    // And we stay out while another program holds it.
    other = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
    QVERIFY(!first.open(QIODevice::ReadWrite));
    ::close(other);
    QVERIFY(first.open(QIODevice::ReadWrite));
}

void tst_NativeSerialEnginePty::rawModeAndSettingsRestoredAtClose()
{
    PtyPair pty;
    struct termios2 before = pty.settings();
    before.c_cflag = (before.c_cflag & ~tcflag_t(CBAUD)) | B4800 | CSTOPB;
    before.c_ispeed = before.c_ospeed = 4800;
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_iflag |= ICRNL | IXON;
    QVERIFY(pty.setSettings(before));
    before = pty.settings();

    AbstractSerial serial;
    serial.setDeviceName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QCOMPARE(serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("4800 baud"));
    QCOMPARE(serial.stopBits(), QStringLiteral("2"));
    QCOMPARE(serial.flowControl(), QStringLiteral("Disable"));
    const struct termios2 open = pty.settings();
    QCOMPARE(open.c_lflag & (ICANON | ECHO | ISIG), tcflag_t(0));
    QCOMPARE(open.c_iflag & (ICRNL | IXON | IXOFF), tcflag_t(0));
    QCOMPARE(open.c_oflag & OPOST, tcflag_t(0));
    QVERIFY(open.c_cflag & CLOCAL);
    QCOMPARE(open.c_ospeed, 4800u);

    // Bytes the line discipline would otherwise translate arrive untouched.
    QVERIFY(pty.write(QByteArray("\r\n\x03\x11\x13\x7f", 6)));
    QSignalSpy ready(&serial, &QIODevice::readyRead);
    QVERIFY(ready.wait(5000));
    QCOMPARE(serial.readAll(), QByteArray("\r\n\x03\x11\x13\x7f", 6));

    QVERIFY(configureLikeStation(serial, QStringLiteral("9600")));
    serial.close();
    const struct termios2 after = pty.settings();
    QCOMPARE(after.c_cflag, before.c_cflag);
    QCOMPARE(after.c_iflag, before.c_iflag);
    QCOMPARE(after.c_lflag, before.c_lflag);
    QCOMPARE(after.c_oflag, before.c_oflag);
    QCOMPARE(after.c_ospeed, 4800u);
}

void tst_NativeSerialEnginePty::inputQueuedBeforeOpenIsDiscarded()
{
    // The kernel drops input for a pty nobody holds open, so another holder
    // keeps the stale bytes queued until we open.
    PtyPair pty;
    const int holder =
        ::open(QFile::encodeName(pty.slavePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(holder >= 0);
    QVERIFY(pty.write("stale\n")); // a whole line: the holder's tty is canonical
    const auto queued = [holder] {
        int n = 0;
        ::ioctl(holder, FIONREAD, &n);
        return n;
    };
    QTRY_COMPARE(queued(), 6);

    AbstractSerial serial;
    serial.setDeviceName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    ::close(holder);
    QVERIFY(pty.write("fresh"));
    QSignalSpy ready(&serial, &QIODevice::readyRead);
    QVERIFY(ready.wait(5000));
    QCOMPARE(serial.readAll(), QByteArray("fresh"));
}

void tst_NativeSerialEnginePty::stationSettingsReachThePort()
{
    PtyPair pty;
    AbstractSerial serial;
    serial.setDeviceName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QVERIFY(configureLikeStation(serial, QStringLiteral("19200")));
    struct termios2 t = pty.settings();
    QCOMPARE(t.c_ospeed, 19200u);
    QCOMPARE(t.c_ispeed, 19200u);
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));

    // The station offers 28800, which has no Bxxx constant.
    QVERIFY(serial.setBaudRate(QStringLiteral("28800"), AbstractSerial::BaudBoth));
    QCOMPARE(pty.settings().c_ospeed, 28800u);
    QCOMPARE(serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("28800 baud"));

    QVERIFY(serial.setStopBits(AbstractSerial::StopBits2));
    QVERIFY(pty.settings().c_cflag & CSTOPB);
    QVERIFY(serial.setFlowControl(AbstractSerial::FlowControlHardware));
    QVERIFY(pty.settings().c_cflag & CRTSCTS);
    QVERIFY(serial.setFlowControl(AbstractSerial::FlowControlXonXoff));
    t = pty.settings();
    QCOMPARE(t.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(IXON | IXOFF));
    QCOMPARE(serial.flowControl(), QStringLiteral("Xon/Xoff"));
}

void tst_NativeSerialEnginePty::parameterRefusals()
{
    PtyPair pty;
    AbstractSerial serial;
    serial.setDeviceName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QVERIFY(configureLikeStation(serial, QStringLiteral("9600")));
    const struct termios2 before = pty.settings();

    QVERIFY(!serial.setBaudRate(9600, AbstractSerial::BaudInput));
    QVERIFY(!serial.setBaudRate(9600, AbstractSerial::BaudOutput));
    QCOMPARE(serial.errorString(), QStringLiteral("Parameters::Set baud rate fail. Error!"));
    QVERIFY(!serial.setStopBits(AbstractSerial::StopBits1_5));
    QCOMPARE(serial.errorString(), QStringLiteral("Parameters::Set stop bits fail. Error!"));
    QVERIFY(!serial.setDataBits(AbstractSerial::DataBits(4)));
    QCOMPARE(serial.errorString(), QStringLiteral("Parameters::Set data bits fail. Error!"));
    QVERIFY(!serial.setParity(AbstractSerial::Parity(5)));
    QCOMPARE(serial.errorString(), QStringLiteral("Parameters::Set parity fail. Error!"));
    QVERIFY(!serial.setStopBits(AbstractSerial::StopBits(3)));
    QVERIFY(!serial.setFlowControl(AbstractSerial::Flow(3)));
    QCOMPARE(serial.errorString(), QStringLiteral("Parameters::Set flow control fail. Error!"));

    // A pseudo-terminal always carries 8 bits without parity; a setting the
    // driver does not keep is refused, not reported as done.
    QVERIFY(!serial.setDataBits(AbstractSerial::DataBits7));
    QVERIFY(!serial.setParity(AbstractSerial::ParityEven));
    QCOMPARE(serial.dataBits(), QStringLiteral("8 bit"));
    QCOMPARE(serial.parity(), QStringLiteral("None"));

    const struct termios2 after = pty.settings();
    QCOMPARE(after.c_cflag, before.c_cflag);
    QCOMPARE(after.c_iflag, before.c_iflag);
    QCOMPARE(serial.stopBits(), QStringLiteral("1"));
    QCOMPARE(serial.flowControl(), QStringLiteral("Disable"));
}

void tst_NativeSerialEnginePty::automaticReadTimeout()
{
    PtyPair pty;
    AbstractSerial serial;
    serial.setDeviceName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QVERIFY(configureLikeStation(serial, QStringLiteral("9600")));
    QCOMPARE(serial.totalReadConstantTimeout(), 0);
    serial.setTotalReadConstantTimeout(-1);
    QCOMPARE(serial.totalReadConstantTimeout(), 266);
    serial.setCharIntervalTimeout(1000);
    QCOMPARE(serial.charIntervalTimeout(), 1000);
    QCOMPARE(serial.totalReadConstantTimeout(), 521);
    QVERIFY(serial.setStopBits(AbstractSerial::StopBits2));
    QCOMPARE(serial.totalReadConstantTimeout(), 11 * 256000 / 9600 + 255);
    QVERIFY(serial.setBaudRate(19200, AbstractSerial::BaudBoth));
    QCOMPARE(serial.totalReadConstantTimeout(), 11 * 256000 / 19200 + 255);

    serial.setTotalReadConstantTimeout(500);
    QCOMPARE(serial.totalReadConstantTimeout(), 500);
    QVERIFY(serial.setBaudRate(9600, AbstractSerial::BaudBoth));
    QCOMPARE(serial.totalReadConstantTimeout(), 500);

    // Every open starts without the automatic mode again.
    serial.close();
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QCOMPARE(serial.totalReadConstantTimeout(), 0);
}

void tst_NativeSerialEnginePty::frameRules()
{
    using S = AbstractSerial;
    QVERIFY(!AbstractSerialEngine::acceptsDataBits(S::DataBits5, S::StopBits2));
    QVERIFY(AbstractSerialEngine::acceptsDataBits(S::DataBits5, S::StopBits1_5));
    QVERIFY(!AbstractSerialEngine::acceptsDataBits(S::DataBits6, S::StopBits1_5));
    QVERIFY(!AbstractSerialEngine::acceptsDataBits(S::DataBits8, S::StopBits1_5));
    QVERIFY(AbstractSerialEngine::acceptsDataBits(S::DataBits8, S::StopBits2));
    QVERIFY(AbstractSerialEngine::acceptsDataBits(S::DataBits7, S::StopBitsUndefined));
    QVERIFY(!AbstractSerialEngine::acceptsDataBits(S::DataBitsUndefined, S::StopBits1));
    QVERIFY(!AbstractSerialEngine::acceptsDataBits(S::DataBits(4), S::StopBits1));
    QVERIFY(!AbstractSerialEngine::acceptsStopBits(S::StopBits2, S::DataBits5));
    QVERIFY(AbstractSerialEngine::acceptsStopBits(S::StopBits1_5, S::DataBits5));
    QVERIFY(!AbstractSerialEngine::acceptsStopBits(S::StopBits1_5, S::DataBits7));
    QVERIFY(AbstractSerialEngine::acceptsStopBits(S::StopBits1, S::DataBits5));
    QVERIFY(!AbstractSerialEngine::acceptsStopBits(S::StopBitsUndefined, S::DataBits8));
    QVERIFY(!AbstractSerialEngine::acceptsStopBits(S::StopBits(3), S::DataBits8));

    QCOMPARE(AbstractSerialEngine::autoReadTotalConstant(9600, S::DataBits8, S::ParityNone,
                                                         S::StopBits1, 0),
             266);
    QCOMPARE(AbstractSerialEngine::autoReadTotalConstant(9600, S::DataBits8, S::ParityNone,
                                                         S::StopBits1, 1000),
             521);
    QCOMPARE(AbstractSerialEngine::autoReadTotalConstant(9600, S::DataBits8, S::ParityEven,
                                                         S::StopBits2, 0),
             320);
    QCOMPARE(AbstractSerialEngine::autoReadTotalConstant(9600, S::DataBits5, S::ParityNone,
                                                         S::StopBits1_5, 0),
             186);
    QCOMPARE(AbstractSerialEngine::autoReadTotalConstant(9600, S::DataBitsUndefined, S::ParityNone,
                                                         S::StopBits1, 0),
             266);
}

void tst_NativeSerialEnginePty::readyReadOncePerArrivalNeverRecursive()
{
    PtyPair pty;
    AbstractSerial serial;
    serial.setDeviceName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    int depth = 0;
    int deepest = 0;
    int emissions = 0;
    QByteArray received;
    connect(&serial, &QIODevice::readyRead, this, [&] {
        ++depth;
        ++emissions;
        deepest = std::max(deepest, depth);
        received += serial.readAll();
        if (emissions == 1) {
            pty.write("second");
            if (serial.waitForReadyRead(5000))
                received += serial.readAll();
            QCoreApplication::processEvents();
        }
        --depth;
    });
    QVERIFY(pty.write("first"));
    QTRY_COMPARE(received, QByteArray("firstsecond"));
    QCOMPARE(deepest, 1);
    QCOMPARE(emissions, 1);

    // Unread bytes are not announced again and again: the notification is for
    // arrivals, so an idle slot costs nothing.
    disconnect(&serial, nullptr, this, nullptr);
    QSignalSpy ready(&serial, &QIODevice::readyRead);
    serial.close();
    QVERIFY(serial.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QVERIFY(pty.write("x"));
    QVERIFY(ready.wait(5000));
    QVERIFY(pty.write("y"));
    QTRY_COMPARE(ready.count(), 2);
    QCOMPARE(serial.readAll(), QByteArray("xy"));
}

void tst_NativeSerialEnginePty::slotSeesEverythingWaiting()
{
    PtyPair pty;
    AbstractSerial serial;
    serial.setDeviceName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QList<QByteArray> reads;
    connect(&serial, &QIODevice::readyRead, this,
            [&] { reads.append(serial.read(serial.bytesAvailable())); });
    // More than one engine read chunk of 256.
    QByteArray block(700, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i);
    QVERIFY(pty.write(block));
    QTRY_VERIFY(!reads.isEmpty());
    QCOMPARE(reads.first(), block);
}

void tst_NativeSerialEnginePty::write1200Bytes()
{
    PtyPair pty;
    AbstractSerial serial;
    serial.setDeviceName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QSignalSpy written(&serial, &QIODevice::bytesWritten);
    QByteArray data(1200, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    QCOMPARE(serial.write(data), qint64(1200));
    // Handed to the port before write() returned.
    QCOMPARE(serial.bytesToWrite(), qint64(0));
    QCOMPARE(written.count(), 1);
    QCOMPARE(pty.read(1200), data);

    serial.close();
    QVERIFY(serial.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QCOMPARE(serial.write(data), qint64(1200));
    QCOMPARE(pty.read(1200), data);
}

void tst_NativeSerialEnginePty::waitForWithTimeouts()
{
    PtyPair pty;
    AbstractSerial serial;
    serial.setDeviceName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QVERIFY(!serial.waitForReadyRead(20));
    QCOMPARE(serial.errorString(), QStringLiteral("Controls::Wait for ready read timeout. Error!"));
    // A wait of -1 polls once.
    QVERIFY(!serial.waitForReadyRead(-1));

    std::thread answer([&pty] { pty.write("late"); });
    QVERIFY(serial.waitForReadyRead(5000));
    answer.join();
    QTRY_COMPARE(serial.bytesAvailable(), qint64(4));
    QCOMPARE(serial.readAll(), QByteArray("late"));

    // Buffered output went out with write(): nothing left to wait for.
    serial.write("out", 3);
    QVERIFY(!serial.waitForBytesWritten(20));
    QCOMPARE(pty.read(3), QByteArray("out"));
}

void tst_NativeSerialEnginePty::readBufferLimitOf10With25Waiting()
{
    PtyPair pty;
    AbstractSerial serial;
    serial.setDeviceName(pty.slavePath());
    QVERIFY(serial.open(QIODevice::ReadWrite));
    serial.setReadBufferSize(10);
    QSignalSpy ready(&serial, &QIODevice::readyRead);
    QVERIFY(pty.write("abcdefghijklmnopqrstuvwxy"));
    QVERIFY(ready.wait(5000));
    QCOMPARE(ready.count(), 1);
    QCOMPARE(serial.bytesAvailable(), qint64(10));
    QVERIFY(lastEngine);
    QVERIFY(!lastEngine->isReadNotificationEnabled());
    QCOMPARE(lastEngine->bytesAvailable(), qint64(15));

    QCOMPARE(serial.read(10), QByteArray("abcdefghij"));
    QVERIFY(lastEngine->isReadNotificationEnabled());
    QTRY_COMPARE(ready.count(), 2);
    QCOMPARE(serial.read(10), QByteArray("klmnopqrst"));
    QTRY_COMPARE(ready.count(), 3);
    QCOMPARE(serial.readAll(), QByteArray("uvwxy"));
    QVERIFY(lastEngine->isReadNotificationEnabled());
}

void tst_NativeSerialEnginePty::notifierSwitching()
{
    PtyPair pty;
    NativeSerialEngine engine;
    CountingReceiver receiver;
    engine.setReceiver(&receiver);
    engine.setDeviceName(pty.slavePath());
    QVERIFY(engine.open(QIODevice::ReadWrite));

    engine.setWriteNotificationEnabled(true);
    QCOMPARE(receiver.writes, 1); // before the switching call returned
    QVERIFY(engine.isWriteNotificationEnabled());
    engine.setWriteNotificationEnabled(false);

    engine.setReadNotificationEnabled(true);
    QVERIFY(engine.isReadNotificationEnabled());
    QPointer<QObject> notifier = engine.findChild<QObject *>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(notifier);
    QVERIFY(pty.write("a"));
    QTRY_COMPARE(receiver.reads, 1);

    // Release destroys the notifier; the next enabling makes a new one that
    // reports the byte still waiting.
    engine.setReadNotificationEnabled(true, true);
    QVERIFY(!notifier);
    QVERIFY(!engine.isReadNotificationEnabled());
    engine.setReadNotificationEnabled(true);
    QVERIFY(engine.isReadNotificationEnabled());
    QTRY_COMPARE(receiver.reads, 2);

    // Without a receiver the slots do nothing.
    engine.setReceiver(nullptr);
    engine.readNotification();
    engine.lineNotification();
    QCOMPARE(receiver.reads, 2);
    QCOMPARE(receiver.lines, 0);

    // Engine transfers: a zero-length write fails, reads never go negative.
    QCOMPARE(engine.write("", 0), qint64(-1));
    char byte = 0;
    QCOMPARE(engine.read(&byte, 1), qint64(1));
    QCOMPARE(engine.read(&byte, 1), qint64(0));
    QVERIFY(engine.close());
    QCOMPARE(engine.read(&byte, 1), qint64(0));
    QCOMPARE(engine.bytesAvailable(), qint64(-1));
    QCOMPARE(engine.lineStatus(), quint16(AbstractSerial::LineError));
}

void tst_NativeSerialEnginePty::noNotifierWithoutEventDispatcher()
{
    PtyPair pty;
    bool enabled = true;
    bool opened = false;
    std::thread plain([&] {
        NativeSerialEngine engine;
        engine.setDeviceName(pty.slavePath());
        opened = engine.open(QIODevice::ReadWrite);
        engine.setReadNotificationEnabled(true);
        enabled = engine.isReadNotificationEnabled();
    });
    plain.join();
    QVERIFY(opened);
    QVERIFY(!enabled);
}

void tst_NativeSerialEnginePty::hangUpStopsWatchingWithoutSpinning()
{
    // The station names the port through a link, as udev's by-id links do,
    // so that the test decides when "the same device" exists again.
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("port"));
    auto pty = std::make_unique<PtyPair>();
    QVERIFY(QFile::link(pty->slavePath(), link));
    AbstractSerial serial;
    serial.setDeviceName(link);
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QVERIFY(configureLikeStation(serial, QStringLiteral("9600")));
    QSignalSpy ready(&serial, &QIODevice::readyRead);
    QVERIFY(lastEngine);

    QVERIFY(QFile::remove(link)); // unplugged: the node goes away with it
    pty->closeMaster();
    QTRY_VERIFY(lastEngine->isPortLost());
    QVERIFY(serial.isOpen());

    // A notifier still watching a hung-up tty would burn a core here.
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(1000);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    QVERIFY2(cpuUsed < 0.2, qPrintable(QStringLiteral("CPU %1 s").arg(cpuUsed)));
    QCOMPARE(ready.count(), 0);

    // The failures surface as statuses of the calls the station makes.
    QCOMPARE(serial.write("\x01\x03\x00\x01\x00\x02\x95\xcb", 8), qint64(8));
    QCOMPARE(serial.errorString(),
             QStringLiteral("Controls::Write data to device - i/o problem. Error!"));
    QCOMPARE(serial.bytesToWrite(), qint64(0));
    QVERIFY(!serial.waitForReadyRead(10));
    QCOMPARE(serial.errorString(), QStringLiteral("Controls::Wait for ready read timeout. Error!"));
    QVERIFY(!serial.setBaudRate(9600, AbstractSerial::BaudBoth));
    QCOMPARE(serial.lineStatus(), quint16(AbstractSerial::LineError));

    serial.setStatusSignalEnabled(true);
    QSignalSpy status(&serial, &AbstractSerial::signalStatus);
    serial.close();
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(),
             QStringLiteral("Closed::Device is successfully closed. OK!"));
    QVERIFY(!serial.isOpen());
    QVERIFY(!lastEngine->isPortLost());
}

void tst_NativeSerialEnginePty::portComesBackWithSameSettings()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("port"));
    auto pty = std::make_unique<PtyPair>();
    QVERIFY(QFile::link(pty->slavePath(), link));
    AbstractSerial serial;
    serial.setDeviceName(link);
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QVERIFY(configureLikeStation(serial, QStringLiteral("19200")));
    QVERIFY(serial.setStopBits(AbstractSerial::StopBits2));
    QPointer<NativeSerialEngine> engine = lastEngine;
    QVERIFY(engine);

    QVERIFY(QFile::remove(link));
    pty->closeMaster();
    QTRY_VERIFY(engine->isPortLost());

    // Plugged in again: a new device behind the same name, with its own settings.
    auto again = std::make_unique<PtyPair>();
    const struct termios2 own = again->settings();
    QVERIFY(QFile::link(again->slavePath(), link));
    QVERIFY2(QTest::qWaitFor([&] { return !engine->isPortLost(); }, 10000),
             "not reopened within 10 s of coming back");
    QVERIFY(serial.isOpen());

    const struct termios2 t = again->settings();
    QCOMPARE(t.c_ospeed, 19200u);
    QVERIFY(t.c_cflag & CSTOPB);
    QCOMPARE(t.c_lflag & ICANON, tcflag_t(0));
    QCOMPARE(serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("19200 baud"));

    QSignalSpy ready(&serial, &QIODevice::readyRead);
    QVERIFY(again->write("back"));
    QVERIFY(ready.wait(5000));
    QCOMPARE(serial.readAll(), QByteArray("back"));
    QCOMPARE(serial.write("hello", 5), qint64(5));
    QCOMPARE(again->read(5), QByteArray("hello"));

    // Closing gives the new device back the settings it came with.
    serial.close();
    const struct termios2 after = again->settings();
    QCOMPARE(after.c_cflag, own.c_cflag);
    QCOMPARE(after.c_lflag, own.c_lflag);
    QCOMPARE(after.c_ospeed, own.c_ospeed);
}

QTEST_GUILESS_MAIN(tst_NativeSerialEnginePty)
#include "tst_nativeserialengine_pty.moc"
