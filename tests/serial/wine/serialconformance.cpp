// Checks the serial layer's Windows engine against a real Win32 implementation. Each step is
// one run, on a COM port whose other end an echoing peer holds:
//   serialconformance roundtrip <port>  a station request and 1200 bytes, echoed back
//   serialconformance settings <port>   prints the settings found at open, applies 19200 with
//                                       1 stop bit and Xon/Xoff, says "applied" and holds the
//                                       port until a line arrives on standard input
//   serialconformance timeouts <port>   a select time-out, the automatic read time-out, and a
//                                       read given up after 5000 ms
//   serialconformance vanish <port>     says "ready", then expects the port to go away
//   serialconformance enumerate         lists the ports the enumerator finds and checks that
//                                       a change under the services key is reported
// Lines start with PASS or FAIL; the exit code is the number of failures.
#include "abstractserial.h"
#include "portrecord.h"
#include "serialdeviceenumerator.h"
#include "windows/nativedeviceenumerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace {

int failures = 0;

void report(bool ok, const char *what, const QString &detail = QString())
{
    std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", what, detail.isEmpty() ? "" : ": ",
                qPrintable(detail));
    std::fflush(stdout);
    if (!ok)
        ++failures;
}

// Runs the event loop until `size` bytes have been read or `msecs` have passed.
QByteArray receive(AbstractSerial &serial, qint64 size, int msecs)
{
    QByteArray got;
    QEventLoop loop;
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    // Only what is waiting: under Wine a read with nothing waiting stays pending even with
    // the time-outs that make Windows return at once.
    const auto take = [&] {
        got += serial.read(serial.bytesAvailable());
        if (got.size() >= size)
            loop.quit();
    };
    QObject::connect(&serial, &QIODevice::readyRead, &loop, take);
    take();
    if (got.size() < size)
        loop.exec();
    return got;
}

// Without the read notification (a failed waitForReadyRead leaves it off in unbuffered mode):
// whether `size` bytes are waiting within `msecs`.
bool waitForBytes(AbstractSerial &serial, qint64 size, int msecs)
{
    QElapsedTimer clock;
    clock.start();
    while (serial.bytesAvailable() < size && clock.elapsed() < msecs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return serial.bytesAvailable() >= size;
}

bool open(AbstractSerial &serial, const QString &port, QIODevice::OpenMode mode)
{
    serial.setDeviceName(port);
    const bool ok = serial.open(mode);
    report(ok, "open", serial.errorString());
    return ok;
}

bool configure(AbstractSerial &serial)
{
    const bool ok = serial.setBaudRate(QStringLiteral("9600"), AbstractSerial::BaudBoth) &&
                    serial.setDataBits(AbstractSerial::DataBits8) &&
                    serial.setParity(AbstractSerial::ParityNone) &&
                    serial.setStopBits(AbstractSerial::StopBits1) &&
                    serial.setFlowControl(AbstractSerial::FlowControlOff);
    report(ok, "station settings", serial.errorString());
    return ok;
}

void roundTrip(const QString &port)
{
    AbstractSerial serial;
    if (!open(serial, port, QIODevice::ReadWrite) || !configure(serial))
        return;
    const QByteArray request = QByteArray::fromHex("0503000100029582");
    report(serial.write(request) == request.size(), "station request written");
    const QByteArray answer = receive(serial, request.size(), 5000);
    report(answer == request, "station request echoed", QString::fromLatin1(answer.toHex()));

    QByteArray block(1200, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i * 13 + 1);
    report(serial.write(block) == block.size(), "1200 bytes written");
    const QByteArray back = receive(serial, block.size(), 10000);
    report(back == block, "1200 bytes echoed", QStringLiteral("%1 bytes").arg(back.size()));
    serial.close();
    report(serial.errorString() == QStringLiteral("Unknown error"), "close");
}

QString settingsText(const AbstractSerial &serial)
{
    return QStringLiteral("%1, %2, %3, %4, %5")
        .arg(serial.baudRate(AbstractSerial::BaudBoth), serial.dataBits(), serial.parity(),
             serial.stopBits(), serial.flowControl());
}

void settings(const QString &port)
{
    AbstractSerial serial;
    if (!open(serial, port, QIODevice::ReadWrite))
        return;
    std::printf("found %s\n", qPrintable(settingsText(serial)));
    const bool ok = serial.setBaudRate(19200, AbstractSerial::BaudBoth) &&
                    serial.setStopBits(AbstractSerial::StopBits1) &&
                    serial.setFlowControl(AbstractSerial::FlowControlXonXoff);
    report(ok, "19200, 1 stop bit, Xon/Xoff set", settingsText(serial));
    // 1.5 stop bits with 8 data bits are refused before they reach the port.
    report(!serial.setStopBits(AbstractSerial::StopBits1_5), "1.5 stop bits refused");
    std::printf("applied\n");
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof(line), stdin))
        report(false, "no go-ahead on standard input");
    serial.close();
}

void timeouts(const QString &port)
{
    AbstractSerial serial;
    if (!open(serial, port, QIODevice::ReadWrite | QIODevice::Unbuffered) || !configure(serial))
        return;
    QElapsedTimer clock;
    clock.start();
    const bool ready = serial.waitForReadyRead(300);
    qint64 took = clock.elapsed();
    report(!ready && took >= 250 && took < 2000, "nothing to read within 300 ms",
           QStringLiteral("%1 ms, %2").arg(took).arg(serial.errorString()));

    // 9600 8N1: 256 characters take 266 ms; a read for 10 with 4 waiting ends then.
    serial.setTotalReadConstantTimeout(-1);
    report(serial.totalReadConstantTimeout() == 266, "automatic read time-out",
           QString::number(serial.totalReadConstantTimeout()));
    serial.write("abcd", 4);
    waitForBytes(serial, 4, 5000);
    char buffer[10] = {};
    clock.restart();
    qint64 got = serial.read(buffer, sizeof(buffer));
    took = clock.elapsed();
    report(got == 4 && QByteArray(buffer, 4) == "abcd" && took >= 200 && took < 2000,
           "short read ends after the read time-out",
           QStringLiteral("%1 bytes in %2 ms").arg(got).arg(took));

    // With a longer time-out the read stays pending; the engine gives up after 5000 ms,
    // cancels it and keeps what had arrived.
    serial.setTotalReadConstantTimeout(20000);
    serial.write("wxyz", 4);
    waitForBytes(serial, 4, 5000);
    clock.restart();
    got = serial.read(buffer, sizeof(buffer));
    took = clock.elapsed();
    report(took >= 4900 && took < 9000, "pending read given up after 5000 ms",
           QStringLiteral("%1 bytes (%2) in %3 ms")
               .arg(got)
               .arg(QString::fromLatin1(QByteArray(buffer, int(qMax<qint64>(got, 0)))))
               .arg(took));
    report(got == 4 && QByteArray(buffer, 4) == "wxyz", "bytes of the cancelled read kept",
           QString::number(got));
    // The cancelled read is over: later bytes wait in the port for the next one, which
    // returns at once without a read time-out.
    serial.setTotalReadConstantTimeout(0);
    serial.write("late", 4);
    waitForBytes(serial, 4, 5000);
    clock.restart();
    const QByteArray late = serial.read(serial.bytesAvailable());
    took = clock.elapsed();
    report(late == "late" && took < 1000, "bytes after the cancel, at once",
           QStringLiteral("%1 in %2 ms").arg(QString::fromLatin1(late)).arg(took));
    serial.close();
}

void vanish(const QString &port)
{
    AbstractSerial serial;
    if (!open(serial, port, QIODevice::ReadWrite | QIODevice::Unbuffered) || !configure(serial))
        return;
    serial.write("ping", 4);
    report(receive(serial, 4, 5000) == "ping", "echo before");
    std::printf("ready\n");
    std::fflush(stdout);

    // The peer goes away now; give it time, keep the event loop (and the notifier) running.
    QElapsedTimer clock;
    clock.start();
    qint64 written = 4;
    while (written > 0 && clock.elapsed() < 15000) {
        receive(serial, 1, 500);
        written = serial.write("gone?", 5);
    }
    report(written < 0, "writes fail once the port is gone",
           QStringLiteral("after %1 ms, %2").arg(clock.elapsed()).arg(serial.errorString()));
    clock.restart();
    const bool ready = serial.waitForReadyRead(500);
    report(!ready && clock.elapsed() < 5000, "waiting for data returns",
           QStringLiteral("%1 ms, %2").arg(clock.elapsed()).arg(serial.errorString()));
    std::printf("line status 0x%x, bytes available %lld\n", serial.lineStatus(),
                serial.bytesAvailable());
    serial.close();
    report(!serial.isOpen(), "closed");
}

void enumerate()
{
    SerialDeviceEnumerator *ports = SerialDeviceEnumerator::instance();
    const QStringList names = ports->portNames();
    std::printf("ports %d\n", int(names.size()));
    for (const QString &name : names) {
        ports->selectPort(name);
        const QStringList fields = portRecord(*ports);
        std::printf("port %s | in use %d\n", qPrintable(fields.join(QLatin1String(" | "))),
                    int(ports->isInUse()));
    }
    report(ports->isWatching(), "watching the services key");

    // A value written under the services key comes back as a change from the event loop.
    NativeDeviceEnumerator engine;
    bool told = false;
    QObject::connect(&engine, &SerialDeviceEnumeratorEngine::changed, [&told] { told = true; });
    engine.setWatching(true);
    engine.rearm();
    const wchar_t *path = L"SYSTEM\\CurrentControlSet\\services\\GrelvixCheck";
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        const DWORD start = 3;
        RegSetValueExW(key, L"Start", 0, REG_DWORD, reinterpret_cast<const BYTE *>(&start),
                       sizeof(start));
        RegCloseKey(key);
    }
    QElapsedTimer clock;
    clock.start();
    while (!told && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
    report(told, "a change under the services key is reported",
           QStringLiteral("%1 ms").arg(clock.elapsed()));
}

// The engine's traces, among the results.
void printTrace(QtMsgType, const QMessageLogContext &, const QString &message)
{
    std::printf("trace %s\n", qPrintable(message));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(&printTrace);
    const QStringList args = app.arguments();
    if (args.size() == 2 && args.at(1) == QLatin1String("enumerate")) {
        enumerate();
        return failures;
    }
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: serialconformance roundtrip|settings|timeouts|vanish COMn\n"
                             "       serialconformance enumerate\n");
        return 100;
    }
    const QString step = args.at(1);
    const QString port = args.at(2);
    if (step == QLatin1String("roundtrip"))
        roundTrip(port);
    else if (step == QLatin1String("settings"))
        settings(port);
    else if (step == QLatin1String("timeouts"))
        timeouts(port);
    else if (step == QLatin1String("vanish"))
        vanish(port);
    else
        return 100;
    return failures;
}
