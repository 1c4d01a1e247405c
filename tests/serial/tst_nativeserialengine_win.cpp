// The Windows engine behind AbstractSerial, against the simulated COM ports of the Win32 stand-in.
#include "abstractserial.h"
#include "serialenginefactory_p.h"
#include "windows/nativeserialengine.h"

#include "simulatedcomport.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using Win32StandIn::SimulatedComPort;
using Engine = Win32StandIn::NativeSerialEngine;
using Action = std::function<bool(AbstractSerial &, Engine &)>;
using EngineAction = std::function<bool(Engine &)>;
Q_DECLARE_METATYPE(Action)
Q_DECLARE_METATYPE(EngineAction)

namespace {

QPointer<Engine> lastEngine;
QStringList traces;
QtMessageHandler previousHandler = nullptr;

AbstractSerialEngine *createEngine(AbstractSerial *owner)
{
    lastEngine = new Engine(owner);
    return lastEngine;
}

void catchTraces(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg && qstrcmp(context.category, "grelvix.serial") == 0)
        traces.append(message);
    else
        previousHandler(type, context, message);
}

// The station's own settings after an open.
bool configureStation(AbstractSerial &serial)
{
    return serial.setBaudRate(9600, AbstractSerial::BaudBoth) &&
           serial.setDataBits(AbstractSerial::DataBits8) &&
           serial.setParity(AbstractSerial::ParityNone) &&
           serial.setStopBits(AbstractSerial::StopBits1) &&
           serial.setFlowControl(AbstractSerial::FlowControlOff);
}

QString trace(const char *operation, const QString &detail)
{
    return QStringLiteral("Windows: NativeSerialEnginePrivate::%1 \n -> %2")
        .arg(QLatin1String(operation), detail);
}

} // namespace

class tst_NativeSerialEngineWin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void openTakesThePortAndCloseGivesItBack();
    void openFailures_data();
    void openFailures();
    void settings_data();
    void settings();
    void automaticReadTimeout_data();
    void automaticReadTimeout();
    void transfersInChunks_data();
    void transfersInChunks();
    void controls_data();
    void controls();
    void pendingLineErrorSkipsOneReadyRead();
    void portWithoutModemLinesStillReads();
    void givenUpOperationsNeverCompleteLater_data();
    void givenUpOperationsNeverCompleteLater();

private:
    SimulatedComPort *port = nullptr;
    AbstractSerial *openSerial(AbstractSerial &serial);
};

void tst_NativeSerialEngineWin::initTestCase()
{
    setSerialEngineCreator(&createEngine);
    previousHandler = qInstallMessageHandler(&catchTraces);
}

void tst_NativeSerialEngineWin::cleanupTestCase()
{
    qInstallMessageHandler(previousHandler);
    setSerialEngineCreator(nullptr);
}

void tst_NativeSerialEngineWin::init()
{
    Win32StandIn::reset();
    port = Win32StandIn::addPort(QStringLiteral("COM5"));
    traces.clear();
}

AbstractSerial *tst_NativeSerialEngineWin::openSerial(AbstractSerial &serial)
{
    serial.setDeviceName(QStringLiteral("COM5"));
    if (!serial.open(QIODevice::ReadWrite))
        return nullptr;
    traces.clear();
    return &serial;
}

void tst_NativeSerialEngineWin::openTakesThePortAndCloseGivesItBack()
{
    port->dcb.BaudRate = 19200;
    port->dcb.ByteSize = 7;
    port->dcb.Parity = EVENPARITY;
    port->dcb.fParity = TRUE;
    port->dcb.StopBits = TWOSTOPBITS;
    port->dcb.fOutX = port->dcb.fInX = port->dcb.fNull = port->dcb.fAbortOnError = TRUE;
    port->timeouts = {10, 20, 30, 40, 50};
    const DCB before = port->dcb;

    AbstractSerial serial;
    QCOMPARE(serial.deviceName(), QStringLiteral("COM1"));
    serial.setDeviceName(QStringLiteral("COM5"));
    QVERIFY(serial.open(QIODevice::ReadWrite));
    QCOMPARE(port->openedAccess, GENERIC_READ | GENERIC_WRITE);
    QCOMPARE(port->openedFlags, FILE_FLAG_OVERLAPPED);
    QCOMPARE(traces.value(0), trace("nativeOpen(AbstractSerial::OpenMode mode)",
                                    QStringLiteral("trying to open device: COM5")));
    QCOMPARE(traces.value(1),
             trace("detectDefaultFlowControl()",
                   QStringLiteral("undefined flow, this->cc.dcb.fOutxCtsFlow is: 0, "
                                  "this->cc.dcb.fRtsControl is: 1, this->cc.dcb.fInX is: 0, "
                                  "this->cc.dcb.fOutX is: 0 \n")));
    QVERIFY(traces.value(2).contains(QStringLiteral(" -> opened device: COM5 in mode: ")));

    // Raw transfer, no software flow control, reads that return at once; the rest is the port's.
    QVERIFY(port->dcb.fBinary && !port->dcb.fOutX && !port->dcb.fInX && !port->dcb.fNull);
    QVERIFY(!port->dcb.fAbortOnError);
    QCOMPARE(port->timeouts.ReadIntervalTimeout, MAXDWORD);
    QCOMPARE(port->timeouts.ReadTotalTimeoutConstant, 0u);
    QCOMPARE(port->timeouts.WriteTotalTimeoutConstant, 0u);
    QCOMPARE(serial.baudRate(AbstractSerial::BaudBoth), QStringLiteral("19200 baud"));
    QCOMPARE(serial.dataBits(), QStringLiteral("7 bit"));
    QCOMPARE(serial.parity(), QStringLiteral("Even"));
    QCOMPARE(serial.stopBits(), QStringLiteral("2"));
    // RTS_CONTROL_ENABLE without handshaking is no flow control of ours.
    QCOMPARE(serial.flowControl(), QStringLiteral("Undefined flow"));
    QVERIFY(serial.setFlowControl(AbstractSerial::FlowControlOff));
    QCOMPARE(serial.flowControl(), QStringLiteral("Disable"));

    // A round trip through the notifier.
    QSignalSpy ready(&serial, &QIODevice::readyRead);
    QCOMPARE(serial.write("ping"), 4);
    QCOMPARE(port->output, QByteArray("ping"));
    port->receive("pong");
    QVERIFY(ready.wait(5000));
    QCOMPARE(serial.readAll(), QByteArray("pong"));

    traces.clear();
    serial.close();
    QCOMPARE(std::memcmp(&port->dcb, &before, sizeof(DCB)), 0);
    QCOMPARE(port->timeouts.ReadTotalTimeoutConstant, 30u);
    QCOMPARE(port->timeouts.WriteTotalTimeoutConstant, 50u);
    QCOMPARE(traces, QStringList());
    QCOMPARE(Win32StandIn::openHandles(), 0);
    QCOMPARE(port->pendingOperations(), 0);
}

void tst_NativeSerialEngineWin::openFailures_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("failingCall");
    QTest::addColumn<QString>("detail");
    const auto createFailed = [](int error) {
        return QStringLiteral("function: ::CreateFile(...) returned: 0xffffffffffffffff,  last "
                              "error is: %1. Error! ")
            .arg(error);
    };
    QTest::newRow("no such port") << "COM9" << QByteArray() << createFailed(2);
    QTest::newRow("port in use") << "COM5" << QByteArray("CreateFileW") << createFailed(5);
    QTest::newRow("settings unreadable")
        << "COM5" << QByteArray("GetCommTimeouts")
        << QStringLiteral("function: saveOldSettings() returned: false. Error! ");
    QTest::newRow("settings refused")
        << "COM5" << QByteArray("SetCommState")
        << QStringLiteral("function: ::updateDcb() returned: false. Error! ");
    QTest::newRow("time-outs refused")
        << "COM5" << QByteArray("SetCommTimeouts")
        << QStringLiteral("function: updateCommTimeouts() returned: false. Error! ");
}

void tst_NativeSerialEngineWin::openFailures()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, failingCall);
    QFETCH(QString, detail);
    if (!failingCall.isEmpty())
        port->failingCalls.insert(failingCall);
    const DCB before = port->dcb;

    AbstractSerial serial;
    serial.setDeviceName(name);
    QVERIFY(!serial.open(QIODevice::ReadWrite));
    QCOMPARE(serial.errorString(), QStringLiteral("Error opening. Error!"));
    QVERIFY(traces.contains(trace("nativeOpen(AbstractSerial::OpenMode mode)", detail)));
    // Nothing stays open, and the port keeps its settings.
    QCOMPARE(Win32StandIn::openHandles(), 0);
    QCOMPARE(port->openedAs, nullptr);
    QCOMPARE(std::memcmp(&port->dcb, &before, sizeof(DCB)), 0);
    port->failingCalls.clear();
    serial.setDeviceName(QStringLiteral("COM5"));
    QVERIFY(serial.open(QIODevice::ReadWrite));
}

void tst_NativeSerialEngineWin::settings_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("detail"); // the refusal's trace; empty for none
    QTest::addColumn<Action>("check");

    using S = AbstractSerial;
    const auto dcbIs = [](std::function<bool(const DCB &)> test) {
        return Action([test](S &, Engine &) {
            return test(Win32StandIn::findPort(QStringLiteral("COM5"))->dcb);
        });
    };
    QTest::newRow("rate for both directions")
        << Action([](S &s, Engine &) { return s.setBaudRate(28800, S::BaudBoth); }) << true
        << QString() << dcbIs([](const DCB &d) { return d.BaudRate == 28800; });
    QTest::newRow("rate for one direction")
        << Action([](S &s, Engine &) { return s.setBaudRate(19200, S::BaudInput); }) << false
        << QString() << dcbIs([](const DCB &d) { return d.BaudRate == 9600; });
    QTest::newRow("rate the driver refuses")
        << Action([](S &s, Engine &) {
               Win32StandIn::findPort(QStringLiteral("COM5"))->refusedBaudRates.insert(14400);
               return s.setBaudRate(14400, S::BaudBoth);
           })
        << false << QStringLiteral("function: ::updateDcb() returned: false. Error! ")
        << Action([](S &s, Engine &) {
               return s.baudRate(S::BaudBoth) == QStringLiteral("9600 baud");
           });
    QTest::newRow("5 data bits, then 2 stop bits")
        << Action([](S &s, Engine &) {
               return s.setDataBits(S::DataBits5) && s.setStopBits(S::StopBits2);
           })
        << false << QStringLiteral("5 data bits cannot be used with 2 stop bits. Error! ")
        << dcbIs([](const DCB &d) { return d.ByteSize == 5 && d.StopBits == ONESTOPBIT; });
    QTest::newRow("2 stop bits, then 5 data bits")
        << Action([](S &s, Engine &) {
               return s.setStopBits(S::StopBits2) && s.setDataBits(S::DataBits5);
           })
        << false << QStringLiteral("5 data bits cannot be used with 2 stop bits. Error! ")
        << dcbIs([](const DCB &d) { return d.ByteSize == 8 && d.StopBits == TWOSTOPBITS; });
    QTest::newRow("8 data bits, then 1.5 stop bits")
        << Action([](S &s, Engine &) { return s.setStopBits(S::StopBits1_5); }) << false
        << QStringLiteral("8 data bits cannot be used with 1.5 stop bits. Error! ")
        << dcbIs([](const DCB &d) { return d.StopBits == ONESTOPBIT; });
    QTest::newRow("5 data bits with 1.5 stop bits, then 1") << Action([](S &s, Engine &) {
        return s.setDataBits(S::DataBits5) && s.setStopBits(S::StopBits1_5) &&
               s.setStopBits(S::StopBits1);
    }) << true << QString() << dcbIs([](const DCB &d) {
        return d.ByteSize == 5 && d.StopBits == ONESTOPBIT;
    });
    QTest::newRow("data bits outside the enumeration")
        << Action([](S &, Engine &e) { return e.setDataBits(S::DataBitsUndefined); }) << false
        << QStringLiteral("dataBits: DataBits( \"Undefined\" ) is not supported by the class "
                          "NativeSerialEnginePrivate, see enum AbstractSerial::DataBits. Error! ")
        << dcbIs([](const DCB &d) { return d.ByteSize == 8; });
    QTest::newRow("parity the name of which matches nothing")
        << Action([](S &s, Engine &) { return s.setParity(QStringLiteral("none")); }) << false
        << QStringLiteral("parity: Parity( \"Undefined\" ) is not supported by the class "
                          "NativeSerialEnginePrivate, see enum AbstractSerial::Parity. Error! ")
        << dcbIs([](const DCB &d) { return d.Parity == NOPARITY && !d.fParity; });
    QTest::newRow("mark parity") << Action([](S &s, Engine &) {
        return s.setParity(S::ParityMark);
    }) << true << QString() << dcbIs([](const DCB &d) {
        return d.Parity == MARKPARITY && d.fParity;
    });
    QTest::newRow("odd parity, then none") << Action([](S &s, Engine &) {
        return s.setParity(S::ParityOdd) && s.setParity(S::ParityNone);
    }) << true << QString() << dcbIs([](const DCB &d) {
        return d.Parity == NOPARITY && !d.fParity;
    });
    QTest::newRow("hardware flow")
        << Action([](S &s, Engine &) { return s.setFlowControl(S::FlowControlHardware); }) << true
        << QString() << dcbIs([](const DCB &d) {
               return d.fOutxCtsFlow && d.fRtsControl == RTS_CONTROL_HANDSHAKE && !d.fOutX &&
                      !d.fInX && d.fDtrControl == DTR_CONTROL_ENABLE;
           });
    QTest::newRow("xon/xoff flow")
        << Action([](S &s, Engine &) { return s.setFlowControl(S::FlowControlXonXoff); }) << true
        << QString() << dcbIs([](const DCB &d) {
               return !d.fOutxCtsFlow && d.fRtsControl == RTS_CONTROL_DISABLE && d.fOutX && d.fInX;
           });
    QTest::newRow("flow outside the enumeration")
        << Action([](S &, Engine &e) { return e.setFlowControl(S::Flow(7)); }) << false
        << QStringLiteral("flow: Flow( \"\" ) is not supported by the class "
                          "NativeSerialEnginePrivate, see enum AbstractSerial::Flow. Error! ")
        << dcbIs([](const DCB &d) { return d.fRtsControl == RTS_CONTROL_ENABLE; });
}

void tst_NativeSerialEngineWin::settings()
{
    QFETCH(Action, action);
    QFETCH(bool, accepted);
    QFETCH(QString, detail);
    QFETCH(Action, check);
    AbstractSerial serial;
    QVERIFY(openSerial(serial));
    QCOMPARE(action(serial, *lastEngine), accepted);
    QVERIFY(check(serial, *lastEngine));
    if (detail.isEmpty())
        QCOMPARE(traces, QStringList());
    else
        QCOMPARE(traces.value(0).section(QStringLiteral("\n -> "), 1), detail);
}

void tst_NativeSerialEngineWin::automaticReadTimeout_data()
{
    QTest::addColumn<Action>("action");
    QTest::addColumn<uint>("constant");

    using S = AbstractSerial;
    QTest::newRow("9600 8N1") << Action([](S &, Engine &) { return true; }) << 266u;
    QTest::newRow("character interval 1000 us") << Action([](S &s, Engine &) {
        s.setCharIntervalTimeout(1000);
        return true;
    }) << 521u;
    QTest::newRow("even parity, 2 stop bits") << Action([](S &s, Engine &) {
        return s.setParity(S::ParityEven) && s.setStopBits(S::StopBits2);
    }) << 320u;
    QTest::newRow("a fixed constant stays") << Action([](S &s, Engine &) {
        s.setTotalReadConstantTimeout(500);
        return s.setBaudRate(1200, S::BaudBoth);
    }) << 500u;
    QTest::newRow("automatic again, at once") << Action([](S &s, Engine &) {
        s.setTotalReadConstantTimeout(500);
        s.setTotalReadConstantTimeout(-1);
        return true;
    }) << 266u;
}

void tst_NativeSerialEngineWin::automaticReadTimeout()
{
    QFETCH(Action, action);
    QFETCH(uint, constant);
    AbstractSerial serial;
    QVERIFY(openSerial(serial));
    QCOMPARE(port->timeouts.ReadTotalTimeoutConstant, 0u);
    QVERIFY(configureStation(serial));
    serial.setTotalReadConstantTimeout(-1);
    QVERIFY(action(serial, *lastEngine));
    QCOMPARE(port->timeouts.ReadTotalTimeoutConstant, constant);
    QCOMPARE(serial.totalReadConstantTimeout(), int(constant));
}

void tst_NativeSerialEngineWin::transfersInChunks_data()
{
    QTest::addColumn<int>("waiting");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("reading");
    QTest::addColumn<qint64>("result");
    QTest::addColumn<QList<DWORD>>("chunks");
    QTest::newRow("write 1200") << 0 << 1200 << false << qint64(1200)
                                << QList<DWORD>{512, 512, 176};
    QTest::newRow("write nothing") << 0 << 0 << false << qint64(-1) << QList<DWORD>{};
    QTest::newRow("read 300 of 300") << 300 << 300 << true << qint64(300) << QList<DWORD>{256, 44};
    QTest::newRow("read 600, 300 waiting")
        << 300 << 600 << true << qint64(300) << QList<DWORD>{256, 256};
}

void tst_NativeSerialEngineWin::transfersInChunks()
{
    QFETCH(int, waiting);
    QFETCH(int, size);
    QFETCH(bool, reading);
    QFETCH(qint64, result);
    QFETCH(QList<DWORD>, chunks);
    AbstractSerial serial;
    QVERIFY(openSerial(serial));
    QByteArray data(size, '\0');
    for (int i = 0; i < size; ++i)
        data[i] = char(i * 7);
    port->receive(data.left(waiting));
    QByteArray buffer(size, '\0');
    if (reading) {
        QCOMPARE(lastEngine->read(buffer.data(), size), result);
        QCOMPARE(port->readSizes, chunks);
        QCOMPARE(buffer.left(waiting), data.left(waiting));
        QCOMPARE(Win32StandIn::now(), 0); // no read waited for more
    } else {
        QCOMPARE(lastEngine->write(data.constData(), size), result);
        QCOMPARE(port->writeSizes, chunks);
        QCOMPARE(port->output, data);
    }
}

void tst_NativeSerialEngineWin::controls_data()
{
    QTest::addColumn<QByteArray>("failingCall");
    QTest::addColumn<Action>("action");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("detail");

    using S = AbstractSerial;
    const auto lineStatusIs = [](quint16 word) {
        return Action([word](S &s, Engine &) {
            Win32StandIn::findPort(QStringLiteral("COM5"))->modemStatus = MS_CTS_ON | MS_RLSD_ON;
            return s.setDtr(true) && s.lineStatus() == word;
        });
    };
    QTest::newRow("modem lines") << QByteArray()
                                 << lineStatusIs(S::LineCTS | S::LineDCD | S::LineDTR) << true
                                 << QString();
    QTest::newRow("modem lines, outputs unknown")
        << QByteArray("DeviceIoControl") << lineStatusIs(S::LineCTS | S::LineDCD) << true
        << QString();
    QTest::newRow("modem lines unreadable")
        << QByteArray("GetCommModemStatus") << lineStatusIs(S::LineError) << true
        << QStringLiteral("function: ::GetCommModemStatus(...) returned: 0. Error! ");
    QTest::newRow("RTS refused") << QByteArray("EscapeCommFunction")
                                 << Action([](S &s, Engine &) { return s.setRts(false); }) << false
                                 << QStringLiteral("function: ::EscapeCommFunction(...) returned: "
                                                   "0. Error! ");
    QTest::newRow("reset") << QByteArray() << Action([](S &s, Engine &) {
        SimulatedComPort *p = Win32StandIn::findPort(QStringLiteral("COM5"));
        p->receive("stale");
        return s.reset() && p->input.isEmpty() && p->purges == QList<DWORD>{0x000F};
    }) << true << QString();
    QTest::newRow("reset refused")
        << QByteArray("PurgeComm") << Action([](S &s, Engine &) { return s.reset(); }) << false
        << QStringLiteral("function: ::PurgeComm(...) returned: 0. Error! ");
    QTest::newRow("flush refused")
        << QByteArray("FlushFileBuffers") << Action([](S &s, Engine &) { return s.flush(); })
        << false
        << QStringLiteral("function:: ::FlushFileBuffers(this->descriptor) returned: 0. Error! ");
    QTest::newRow("break for a negative time") << QByteArray() << Action([](S &s, Engine &) {
        const qint64 start = Win32StandIn::now();
        return s.sendBreak(-5) && Win32StandIn::now() == start &&
               !Win32StandIn::findPort(QStringLiteral("COM5"))->breakOn;
    }) << true << QString();
    QTest::newRow("break held 30 ms") << QByteArray() << Action([](S &s, Engine &) {
        const qint64 start = Win32StandIn::now();
        return s.sendBreak(30) && Win32StandIn::now() == start + 30;
    }) << true << QString();
    QTest::newRow("break refused")
        << QByteArray("SetCommBreak") << Action([](S &s, Engine &) { return s.sendBreak(10); })
        << false
        << QStringLiteral("function: ::SetCommBreak(this->descriptor) returned: 0. Error! ");
}

void tst_NativeSerialEngineWin::controls()
{
    QFETCH(QByteArray, failingCall);
    QFETCH(Action, action);
    QFETCH(bool, result);
    QFETCH(QString, detail);
    AbstractSerial serial;
    QVERIFY(openSerial(serial));
    if (!failingCall.isEmpty())
        port->failingCalls.insert(failingCall);
    QCOMPARE(action(serial, *lastEngine), result);
    if (detail.isEmpty())
        QCOMPARE(traces, QStringList());
    else
        QCOMPARE(traces.value(0).section(QStringLiteral("\n -> "), 1), detail);
}

void tst_NativeSerialEngineWin::pendingLineErrorSkipsOneReadyRead()
{
    AbstractSerial serial;
    QVERIFY(openSerial(serial));
    QSignalSpy ready(&serial, &QIODevice::readyRead);
    port->lineErrors = CE_FRAME;
    port->receive("ab");
    // The notification is over when the notifier waits again.
    QTRY_VERIFY(port->isWatched());
    QCOMPARE(ready.count(), 0);
    QCOMPARE(traces,
             QStringList{trace("nativeBytesAvailable(bool wait)",
                               QStringLiteral("function: ::ClearCommError(this->descriptor, "
                                              "&err, &cs) output parameter: err: 8. "
                                              "Error! "))});
    QCOMPARE(port->lineErrors, 0u);

    port->receive("cd");
    QVERIFY(ready.wait(5000));
    QCOMPARE(ready.count(), 1);
    QCOMPARE(serial.readAll(), QByteArray("abcd"));
}

// A pseudo-terminal under Wine: every wait that asks for line changes is refused.
void tst_NativeSerialEngineWin::portWithoutModemLinesStillReads()
{
    port->failingCalls.insert("GetCommModemStatus");
    AbstractSerial serial;
    QVERIFY(openSerial(serial));
    QVERIFY(serial.isOpen());
    QSignalSpy ready(&serial, &QIODevice::readyRead);
    // Once the waits of the open are over, one for the other kinds stays.
    QTRY_VERIFY(port->isWatched());
    port->receive("abc");
    QVERIFY(ready.wait(5000));
    QCOMPARE(serial.readAll(), QByteArray("abc"));
    QCOMPARE(serial.lineStatus(), quint16(AbstractSerial::LineError));
}

void tst_NativeSerialEngineWin::givenUpOperationsNeverCompleteLater_data()
{
    QTest::addColumn<EngineAction>("action");
    QTest::addColumn<QString>("detail");

    QTest::newRow("read waiting for more")
        << EngineAction([](Engine &e) {
               Win32StandIn::findPort(QStringLiteral("COM5"))->receive("abcd");
               e.setTotalReadConstantTimeout(20000);
               char buffer[10] = {};
               // What arrived before the wait gave up is handed over, not lost.
               return e.read(buffer, sizeof(buffer)) == 4 && QByteArray(buffer, 4) == "abcd" &&
                      Win32StandIn::now() == 5000;
           })
        << QStringLiteral("function: ::::WaitForSingleObject(this->oRead.hEvent, 5000) returned: "
                          "258. Error! ");
    QTest::newRow("write that never leaves")
        << EngineAction([](Engine &e) {
               SimulatedComPort *p = Win32StandIn::findPort(QStringLiteral("COM5"));
               p->writeCompletesAfter = -1;
               const QByteArray data("stuck");
               return e.write(data.constData(), data.size()) == -1 && p->output.isEmpty();
           })
        << QStringLiteral("function: ::::WaitForSingleObject(this->oWrite.hEvent, 5000) returned: "
                          "258. Error! ");
    QTest::newRow("wait for data")
        << EngineAction([](Engine &e) {
               bool readable = false;
               bool writable = false;
               return !e.select(&readable, &writable, true, false, 200) &&
                      Win32StandIn::now() == 200;
           })
        << QStringLiteral("function: ::WaitForSingleObject(this->oSelect.hEvent, timeout < 0 ? 0 : "
                          "timeout),  returned: WAIT_TIMEOUT: 258. Warning! ");
    QTest::newRow("wait for data while watched")
        << EngineAction([](Engine &e) {
               bool readable = false;
               bool writable = false;
               e.setReadNotificationEnabled(true);
               const bool failed = !e.select(&readable, &writable, true, false, 200);
               // The notifier waits again, and is released without leaving its wait behind.
               const bool watching =
                   Win32StandIn::findPort(QStringLiteral("COM5"))->pendingOperations() == 1;
               e.setReadNotificationEnabled(false, true);
               return failed && watching && e.select(&readable, &writable, true, false, 0) == false;
           })
        << QStringLiteral("function: ::WaitForSingleObject(this->oSelect.hEvent, timeout < 0 ? 0 : "
                          "timeout),  returned: WAIT_TIMEOUT: 258. Warning! ");
    QTest::newRow("port closed while watched") << EngineAction([](Engine &e) {
        SimulatedComPort *p = Win32StandIn::findPort(QStringLiteral("COM5"));
        e.setLineNotificationEnabled(true);
        const bool watching = p->pendingOperations() == 1;
        e.close();
        return watching && p->abortedByClose == 0 && e.open(QIODevice::ReadWrite);
    }) << QString();
}

// The engine gives up on a simulated port that never finishes; the operation must be over
// before the call returns, or it would later complete into memory the caller has moved on from.
void tst_NativeSerialEngineWin::givenUpOperationsNeverCompleteLater()
{
    QFETCH(EngineAction, action);
    QFETCH(QString, detail);
    Engine engine;
    engine.setDeviceName(QStringLiteral("COM5"));
    QVERIFY(engine.open(QIODevice::ReadWrite));
    traces.clear();
    QVERIFY(action(engine));
    QCOMPARE(port->pendingOperations(), 0);
    if (!detail.isEmpty())
        QCOMPARE(traces.value(0).section(QStringLiteral("\n -> "), 1), detail);

    // Late bytes wait in the port for the next read.
    port->receive("late");
    QCOMPARE(engine.bytesAvailable(), 4);
}

QTEST_GUILESS_MAIN(tst_NativeSerialEngineWin)
#include "tst_nativeserialengine_win.moc"
