// AbstractSerial's own rules (statuses, buffering, guards) over a scripted
// engine, for the cases a real port cannot be made to produce.
#include "abstractserial.h"
#include "fakeserialengine.h"

#include <QSignalSpy>
#include <QTest>

class tst_AbstractSerialFake : public QObject
{
    Q_OBJECT

private:
    QString notOpen = QStringLiteral("Device is not open. Error!");

    struct Device
    {
        AbstractSerial serial;
        FakeSerialEngine *engine = FakeSerialEngine::last();
    };

private slots:
    void initTestCase();
    void cleanupTestCase();
    void deviceNameOnlyWhileClosed();
    void everyControlRefusedWhileClosed();
    void openRules();
    void openEnablesNotificationsByMode();
    void closeRules();
    void baudRateArguments();
    void settingsByText();
    void settingsAsText();
    void statusReporting();
    void lineStatusAndBreaks();
    void bufferedWriteReachesEngineAtOnce();
    void bufferedWriteWaitsForWriteNotification();
    void unbufferedWrite();
    void unbufferedRead();
    void lineErrorBringsNoReadyRead();
    void waitForReadyRead();
    void waitForBytesWritten();
    void flushAndReset();
    void lineNotificationsSharedByProcess();
};

void tst_AbstractSerialFake::initTestCase()
{
    FakeSerialEngine::install();
}

void tst_AbstractSerialFake::cleanupTestCase()
{
    FakeSerialEngine::uninstall();
}

void tst_AbstractSerialFake::deviceNameOnlyWhileClosed()
{
    Device d;
    QCOMPARE(d.serial.deviceName(), QStringLiteral("COM1"));
    d.serial.setDeviceName(QStringLiteral("COM12"));
    QCOMPARE(d.serial.deviceName(), QStringLiteral("COM12"));
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    d.serial.setDeviceName(QStringLiteral("COM3"));
    QCOMPARE(d.serial.deviceName(), QStringLiteral("COM12"));
    d.serial.close();
    d.serial.setDeviceName(QStringLiteral("COM3"));
    QCOMPARE(d.serial.deviceName(), QStringLiteral("COM3"));
}

void tst_AbstractSerialFake::everyControlRefusedWhileClosed()
{
    Device d;
    QVERIFY(!d.serial.setBaudRate(9600, AbstractSerial::BaudBoth));
    QVERIFY(!d.serial.setBaudRate(QStringLiteral("9600"), AbstractSerial::BaudBoth));
    QVERIFY(!d.serial.setDataBits(AbstractSerial::DataBits8));
    QVERIFY(!d.serial.setParity(QStringLiteral("None")));
    QVERIFY(!d.serial.setStopBits(AbstractSerial::StopBits1));
    QVERIFY(!d.serial.setFlowControl(AbstractSerial::FlowControlOff));
    QVERIFY(!d.serial.setDtr(true));
    QVERIFY(!d.serial.setRts(true));
    QVERIFY(!d.serial.sendBreak(10));
    QVERIFY(!d.serial.setBreak(true));
    QVERIFY(!d.serial.flush());
    QVERIFY(!d.serial.reset());
    QVERIFY(!d.serial.waitForReadyRead(10));
    QVERIFY(!d.serial.waitForBytesWritten(10));
    QCOMPARE(d.serial.lineStatus(), quint16(0x8000));
    d.serial.setCharIntervalTimeout(1000);
    d.serial.setTotalReadConstantTimeout(500);
    QCOMPARE(d.serial.errorString(), notOpen);

    // Nothing reached the engine.
    QVERIFY(d.engine->baudRates.isEmpty());
    QVERIFY(d.engine->dataBitsCalls.isEmpty() && d.engine->parityCalls.isEmpty());
    QVERIFY(d.engine->stopBitsCalls.isEmpty() && d.engine->flowCalls.isEmpty());
    QVERIFY(d.engine->breakDurations.isEmpty());
    QCOMPARE(d.engine->flushCalls + d.engine->resetCalls + d.engine->selectCalls, 0);
    QCOMPARE(d.engine->charIntervalTimeout(), 0);
    QCOMPARE(d.engine->totalReadConstantTimeout(), 0);
}

void tst_AbstractSerialFake::openRules()
{
    Device d;
    QVERIFY(!d.serial.open(QIODevice::ReadWrite | QIODevice::Text));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Opened::Opened mode unsupported. Error!"));
    QVERIFY(!d.serial.open(QIODevice::NotOpen));
    QVERIFY(!d.serial.open(QIODevice::WriteOnly | QIODevice::Append));
    QCOMPARE(d.engine->openCalls, 0);

    d.engine->openResult = false;
    QVERIFY(!d.serial.open(QIODevice::ReadWrite));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Error opening. Error!"));
    QVERIFY(!d.serial.isOpen());

    d.engine->openResult = true;
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    QCOMPARE(d.engine->lastOpenMode, QIODevice::OpenMode(QIODevice::ReadWrite));
    QCOMPARE(d.serial.openMode(), QIODevice::OpenMode(QIODevice::ReadWrite));
    QVERIFY(!d.serial.open(QIODevice::ReadWrite));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Device is already open. Error!"));
    QVERIFY(d.serial.isOpen());
    QVERIFY(d.serial.isSequential());
}

void tst_AbstractSerialFake::openEnablesNotificationsByMode()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadOnly));
    QVERIFY(d.engine->isReadNotificationEnabled());
    QVERIFY(!d.engine->isWriteNotificationEnabled());
    QVERIFY(d.engine->isLineNotificationEnabled());
    QVERIFY(!d.engine->isExceptionNotificationEnabled());
    d.serial.close();

    // Writes: the immediate notification finds nothing to send and switches off.
    QVERIFY(d.serial.open(QIODevice::WriteOnly));
    QVERIFY(!d.engine->isReadNotificationEnabled());
    QVERIFY(!d.engine->isWriteNotificationEnabled());
    QVERIFY(d.engine->isLineNotificationEnabled());
}

void tst_AbstractSerialFake::closeRules()
{
    Device d;
    d.serial.setStatusSignalEnabled(true);
    QSignalSpy status(&d.serial, &AbstractSerial::signalStatus);
    d.serial.close();
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(), QStringLiteral("Closed::Fail close device. Error!"));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Closed::Fail close device. Error!"));
    QCOMPARE(d.engine->closeCalls, 0);

    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    d.engine->immediateWriteNotification = false;
    d.serial.write("pending", 7);
    d.engine->incoming = "abc";
    d.engine->readNotification();
    QCOMPARE(d.serial.bytesAvailable(), qint64(3));
    QCOMPARE(d.serial.bytesToWrite(), qint64(7));
    status.clear();
    d.serial.close();
    QCOMPARE(d.engine->releases, 3);
    QCOMPARE(d.engine->closeCalls, 1);
    QVERIFY(!d.engine->isReadNotificationEnabled() && !d.engine->isLineNotificationEnabled());
    QCOMPARE(d.serial.bytesToWrite(), qint64(0));
    QCOMPARE(d.serial.bytesAvailable(), qint64(0));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(),
             QStringLiteral("Closed::Device is successfully closed. OK!"));
}

void tst_AbstractSerialFake::baudRateArguments()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    QVERIFY(d.serial.setBaudRate(QStringLiteral("28800"), AbstractSerial::BaudBoth));
    QVERIFY(d.serial.setBaudRate(QStringLiteral("speed 19200 bps"), AbstractSerial::BaudBoth));
    QVERIFY(d.serial.setBaudRate(AbstractSerial::BaudRate9600, AbstractSerial::BaudBoth));
    QCOMPARE(d.engine->baudRates, QList<int>({28800, 19200, 9600}));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Unknown error"));

    QVERIFY(!d.serial.setBaudRate(QStringLiteral("fast"), AbstractSerial::BaudBoth));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Parameters::Set baud rate fail. Error!"));
    QVERIFY(!d.serial.setBaudRate(AbstractSerial::BaudRate(35), AbstractSerial::BaudBoth));
    QVERIFY(!d.serial.setBaudRate(0, AbstractSerial::BaudBoth));
    QCOMPARE(d.engine->baudRates.size(), 3);

    d.engine->settingResult = false;
    QVERIFY(!d.serial.setBaudRate(4800, AbstractSerial::BaudBoth));
    QCOMPARE(d.engine->baudRates.last(), 4800);
    QCOMPARE(d.serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("9600 baud"));
}

void tst_AbstractSerialFake::settingsByText()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    QVERIFY(d.serial.setParity(QStringLiteral("Even")));
    QVERIFY(d.serial.setParity(QStringLiteral("None")));
    QCOMPARE(d.engine->parityCalls, QList<int>({2, 0}));
    QVERIFY(!d.serial.setParity(QStringLiteral("none")));
    QCOMPARE(d.engine->parityCalls.last(), -1);
    QCOMPARE(d.serial.errorString(), QStringLiteral("Parameters::Set parity fail. Error!"));
    QCOMPARE(d.serial.parity(), QStringLiteral("None"));

    QVERIFY(d.serial.setDataBits(QStringLiteral("7 bit")));
    QCOMPARE(d.engine->dataBits(), AbstractSerial::DataBits7);
    QVERIFY(!d.serial.setDataBits(QStringLiteral("7")));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Parameters::Set data bits fail. Error!"));
    QVERIFY(d.serial.setStopBits(QStringLiteral("2")));
    QCOMPARE(d.engine->stopBits(), AbstractSerial::StopBits2);
    QVERIFY(!d.serial.setStopBits(QStringLiteral("3")));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Parameters::Set stop bits fail. Error!"));
    QVERIFY(d.serial.setFlowControl(QStringLiteral("Xon/Xoff")));
    QCOMPARE(d.engine->flowControl(), AbstractSerial::FlowControlXonXoff);
    QVERIFY(!d.serial.setFlowControl(QStringLiteral("Off")));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Parameters::Set flow control fail. Error!"));
    QCOMPARE(d.serial.flowControl(), QStringLiteral("Xon/Xoff"));
}

void tst_AbstractSerialFake::settingsAsText()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    QVERIFY(d.serial.setBaudRate(9600, AbstractSerial::BaudBoth));
    QCOMPARE(d.serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("9600 baud"));
    d.engine->setRates(19200, 9600);
    QCOMPARE(d.serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("Undefined baud"));
    QCOMPARE(d.serial.baudRate(AbstractSerial::BaudInput), QStringLiteral("19200 baud"));
    // Rates outside the table are still shown.
    d.engine->setRates(28800, 28800);
    QCOMPARE(d.serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("28800 baud"));
    QCOMPARE(d.serial.dataBits(), QStringLiteral("8 bit"));
    QCOMPARE(d.serial.stopBits(), QStringLiteral("1"));
    QCOMPARE(d.serial.flowControl(), QStringLiteral("Disable"));
}

void tst_AbstractSerialFake::statusReporting()
{
    Device d;
    d.serial.setStatusSignalEnabled(true);
    QVERIFY(d.serial.isStatusSignalEnabled());
    QSignalSpy status(&d.serial, &AbstractSerial::signalStatus);
    const QDateTime before = QDateTime::currentDateTime();
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    QCOMPARE(status.count(), 1);
    QCOMPARE(status.at(0).at(0).toString(),
             QStringLiteral("Opened::Device is successfully opened. OK!"));
    QVERIFY(status.at(0).at(1).toDateTime() >= before);

    // An error stays the error string until the next error; successes leave it.
    d.engine->settingResult = false;
    QVERIFY(!d.serial.setStopBits(AbstractSerial::StopBits2));
    const QString error = d.serial.errorString();
    QCOMPARE(error, QStringLiteral("Parameters::Set stop bits fail. Error!"));
    d.engine->settingResult = true;
    QVERIFY(d.serial.setDataBits(AbstractSerial::DataBits8));
    QCOMPARE(d.serial.errorString(), error);
    QCOMPARE(status.last().at(0).toString(),
             QStringLiteral("Controls::Data bits is successfully set. OK!"));

    d.serial.setStatusSignalEnabled(false);
    status.clear();
    QVERIFY(d.serial.setParity(AbstractSerial::ParityNone));
    QCOMPARE(status.count(), 0);
}

void tst_AbstractSerialFake::lineStatusAndBreaks()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    d.engine->lines = AbstractSerial::LineCTS | AbstractSerial::LineDTR;
    QCOMPARE(d.serial.lineStatus(), quint16(AbstractSerial::LineCTS | AbstractSerial::LineDTR));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Unknown error"));
    d.engine->lines = AbstractSerial::LineError;
    QCOMPARE(d.serial.lineStatus(), quint16(0x8000));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Controls::Get lines status fail. Error!"));

    QVERIFY(d.serial.sendBreak(-5));
    QVERIFY(d.serial.sendBreak(20));
    QCOMPARE(d.engine->breakDurations, QList<int>({0, 20}));

    d.engine->controlResult = false;
    QVERIFY(!d.serial.setDtr(false));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Controls::Set DTR fail. Error!"));
    QVERIFY(!d.serial.setRts(false));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Controls::Set RTS fail. Error!"));
    QVERIFY(!d.serial.sendBreak(1));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Controls::Send break fail. Error!"));
    QVERIFY(!d.serial.setBreak(true));
    QCOMPARE(d.serial.errorString(), QStringLiteral("Controls::Set break fail. Error!"));
}

void tst_AbstractSerialFake::bufferedWriteReachesEngineAtOnce()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    QSignalSpy written(&d.serial, &QIODevice::bytesWritten);
    const QByteArray request("\x01\x03\x00\x01\x00\x02\x95\xcb", 8);
    QCOMPARE(d.serial.write(request), qint64(8));
    QCOMPARE(d.engine->written, request);
    QCOMPARE(d.serial.bytesToWrite(), qint64(0));
    QCOMPARE(written.count(), 1);
    QCOMPARE(written.at(0).at(0).toLongLong(), qint64(8));
    QVERIFY(!d.engine->isWriteNotificationEnabled());

    // Larger than one block: handed over block by block, still before write returns.
    const QByteArray big(40000, 'x');
    QCOMPARE(d.serial.write(big), qint64(big.size()));
    QCOMPARE(d.engine->written.size(), qint64(8 + big.size()));
    QCOMPARE(d.engine->writeCalls.size(), 4);
    QCOMPARE(d.engine->writeCalls.at(1).size(), 16384);
}

void tst_AbstractSerialFake::bufferedWriteWaitsForWriteNotification()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    d.engine->immediateWriteNotification = false;
    QCOMPARE(d.serial.write("hello", 5), qint64(5));
    QCOMPARE(d.serial.bytesToWrite(), qint64(5));
    QVERIFY(d.engine->isWriteNotificationEnabled());
    QVERIFY(d.engine->written.isEmpty());

    // The port takes 3 now, the rest on the next notification.
    d.engine->writeLimit = 3;
    d.engine->writeNotification();
    QCOMPARE(d.engine->written, QByteArray("hel"));
    QVERIFY(d.engine->isWriteNotificationEnabled());
    d.engine->writeNotification();
    QCOMPARE(d.engine->written, QByteArray("hello"));
    QVERIFY(!d.engine->isWriteNotificationEnabled());
}

void tst_AbstractSerialFake::unbufferedWrite()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QSignalSpy written(&d.serial, &QIODevice::bytesWritten);
    QCOMPARE(d.serial.write("abc", 3), qint64(3));
    QCOMPARE(d.engine->written, QByteArray("abc"));
    QCOMPARE(written.count(), 1);
    d.engine->writeFails = true;
    QCOMPARE(d.serial.write("def", 3), qint64(-1));
    QCOMPARE(d.serial.errorString(),
             QStringLiteral("Controls::Write data to device - i/o problem. Error!"));
}

void tst_AbstractSerialFake::unbufferedRead()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
    QSignalSpy ready(&d.serial, &QIODevice::readyRead);
    d.engine->incoming = "0123456789";
    QCOMPARE(d.serial.bytesAvailable(), qint64(10));
    d.engine->readNotification();
    QCOMPARE(ready.count(), 1);
    // Nothing was moved: the reader takes it straight from the port.
    QCOMPARE(d.engine->incoming.size(), 10);
    QCOMPARE(d.serial.read(4), QByteArray("0123"));
    QCOMPARE(d.serial.readAll(), QByteArray("456789"));
    // A line error counts as nothing waiting, not as a negative amount.
    d.engine->bytesAvailableOverride = -1;
    QCOMPARE(d.serial.bytesAvailable(), qint64(0));
}

void tst_AbstractSerialFake::lineErrorBringsNoReadyRead()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    QSignalSpy ready(&d.serial, &QIODevice::readyRead);
    d.engine->incoming = "data";
    d.engine->bytesAvailableOverride = -1;
    d.engine->readNotification();
    QCOMPARE(ready.count(), 0);
    d.engine->readNotification();
    QCOMPARE(ready.count(), 1);
    QCOMPARE(d.serial.readAll(), QByteArray("data"));
}

void tst_AbstractSerialFake::waitForReadyRead()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    d.engine->incoming = "abc";
    d.engine->readNotification();
    // Data already buffered: no wait at all.
    QVERIFY(d.serial.waitForReadyRead(10));
    QCOMPARE(d.engine->selectCalls, 0);
}

void tst_AbstractSerialFake::waitForBytesWritten()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    // Everything went out with the write itself: nothing to wait for, no status.
    d.serial.write("now", 3);
    QVERIFY(!d.serial.waitForBytesWritten(10));
    QCOMPARE(d.engine->selectCalls, 0);
    QCOMPARE(d.serial.errorString(), QStringLiteral("Unknown error"));

    d.engine->immediateWriteNotification = false;
    d.serial.write("later", 5);
    d.engine->selectReadyWrite = true;
    QVERIFY(d.serial.waitForBytesWritten(10));
    QCOMPARE(d.engine->written, QByteArray("nowlater"));

    d.serial.write("never", 5);
    d.engine->selectResult = false;
    QVERIFY(!d.serial.waitForBytesWritten(10));
    QCOMPARE(d.serial.errorString(),
             QStringLiteral("Controls::Wait for bytes writtten timeout. Error!"));
}

void tst_AbstractSerialFake::flushAndReset()
{
    Device d;
    QVERIFY(d.serial.open(QIODevice::ReadWrite));
    QVERIFY(d.serial.flush());
    QCOMPARE(d.engine->flushCalls, 1);
    d.engine->controlResult = false;
    QVERIFY(!d.serial.flush());
    QCOMPARE(d.serial.errorString(), QStringLiteral("Controls::Flush fail. Error!"));

    // Buffered output to hand over: the engine's own flush is not needed.
    d.engine->immediateWriteNotification = false;
    d.serial.write("queued", 6);
    QVERIFY(d.serial.flush());
    QCOMPARE(d.engine->flushCalls, 2);
    QCOMPARE(d.engine->written, QByteArray("queued"));

    d.serial.write("dropped", 7);
    d.engine->incoming = "in";
    d.engine->readNotification();
    QVERIFY(!d.serial.reset());
    QCOMPARE(d.serial.errorString(), QStringLiteral("Controls::Reset fail. Error!"));
    QCOMPARE(d.serial.bytesToWrite(), qint64(0));
    QCOMPARE(d.serial.bytesAvailable(), qint64(0));
    d.engine->controlResult = true;
    QVERIFY(d.serial.reset());
    QCOMPARE(d.engine->resetCalls, 2);
}

void tst_AbstractSerialFake::lineNotificationsSharedByProcess()
{
    Device a;
    Device b;
    QVERIFY(a.serial.open(QIODevice::ReadWrite));
    QVERIFY(b.serial.open(QIODevice::ReadWrite));
    QSignalSpy ctsA(&a.serial, &AbstractSerial::ctsChanged);
    QSignalSpy dsrA(&a.serial, &AbstractSerial::dsrChanged);
    QSignalSpy ringA(&a.serial, &AbstractSerial::ringChanged);
    QSignalSpy ctsB(&b.serial, &AbstractSerial::ctsChanged);

    a.engine->lines = AbstractSerial::LineCTS | AbstractSerial::LineRI;
    a.engine->lineNotification();
    QCOMPARE(ctsA.count(), 1);
    QCOMPARE(ctsA.at(0).at(0).toBool(), true);
    QCOMPARE(ringA.count(), 1);
    QCOMPARE(dsrA.count(), 0);

    // The last reported states belong to the process, not to one device.
    b.engine->lines = AbstractSerial::LineCTS;
    b.engine->lineNotification();
    QCOMPARE(ctsB.count(), 0);

    a.engine->lines = 0;
    a.engine->lineNotification();
    QCOMPARE(ctsA.count(), 2);
    QCOMPARE(ctsA.at(1).at(0).toBool(), false);

    QSignalSpy exception(&a.serial, &AbstractSerial::exception);
    a.engine->exceptionNotification();
    QCOMPARE(exception.count(), 1);
}

QTEST_GUILESS_MAIN(tst_AbstractSerialFake)
#include "tst_abstractserial_fake.moc"
