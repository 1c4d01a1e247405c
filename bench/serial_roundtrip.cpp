// Round trip through AbstractSerial: an 8-byte request written, a 9-byte answer from the other
// side, to readyRead and readAll; over a pseudo-terminal, and over the network engine through
// a loopback ser2net (RFC 2217 and raw TCP) in front of another one. Then the CPU an open, idle
// line costs. Prints its figures; not a test.
//
//   bench_serial_roundtrip [rounds] [idle seconds]     (defaults 10000 and 10)
#include "abstractserial.h"
#include "ser2netserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace {

double cpuSeconds()
{
    struct timespec now = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The device at the other end: answers every 8 bytes with 9.
void answer(int master, const std::atomic<bool> &stop)
{
    const char reply[9] = {0x01, 0x03, 0x04, 0x00, char(0xfa), 0x01, 0x2c, 0x3a, 0x11};
    char request[8];
    int have = 0;
    while (!stop.load()) {
        struct pollfd p = {master, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        const ssize_t n = ::read(master, request + have, size_t(8 - have));
        if (n <= 0) {
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            return;
        }
        have += int(n);
        if (have < 8)
            continue;
        have = 0;
        if (::write(master, reply, sizeof reply) != ssize_t(sizeof reply))
            return;
    }
}

double percentile(const std::vector<double> &sorted, double fraction)
{
    const size_t index = std::min(sorted.size() - 1, size_t(fraction * double(sorted.size())));
    return sorted[index];
}

// A pseudo-terminal with the answering device on its master side. The slave stays open here
// as well, so that the master does not hang up while nobody else holds it.
class Device
{
public:
    Device()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
            ptsname_r(master, name, sizeof name) != 0)
            return;
        path = QString::fromLocal8Bit(name);
        slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        thread = std::thread(answer, master, std::cref(stop));
    }
    ~Device()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
        if (slave >= 0)
            ::close(slave);
        if (master >= 0)
            ::close(master);
    }
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    QString path;

private:
    int master = -1;
    int slave = -1;
    std::atomic<bool> stop{false};
    std::thread thread;
};

// Opens and configures a line, waits until it carries bytes, and measures it.
bool measure(const char *label, const QString &name, int rounds, double idleSeconds)
{
    AbstractSerial serial;
    serial.setDeviceName(name);
    if (!serial.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(name),
                     qPrintable(serial.errorString()));
        return false;
    }
    serial.setBaudRate(QStringLiteral("9600"), AbstractSerial::BaudBoth);
    serial.setDataBits(AbstractSerial::DataBits8);
    serial.setParity(AbstractSerial::ParityNone);
    serial.setStopBits(AbstractSerial::StopBits1);
    serial.setFlowControl(AbstractSerial::FlowControlOff);

    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    // A network line is still connecting; a pty reports no lines at all.
    while (name.contains(QLatin1String("://")) &&
           (serial.lineStatus() & AbstractSerial::LineError) && clock.elapsed() < 10000) {
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }

    QByteArray received;
    std::vector<double> samples;
    samples.reserve(size_t(rounds));
    bool counting = false;
    QObject::connect(&serial, &QIODevice::readyRead, &loop, [&] {
        // As the station does it: how much is there, then take it all.
        if (serial.bytesAvailable() > 0)
            received += serial.readAll();
        if (received.size() < 9)
            return;
        if (counting)
            samples.push_back(double(clock.nsecsElapsed()) / 1000.0);
        received.clear();
        loop.quit();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&] {
        std::fprintf(stderr, "%s: no answer within 5 s\n", label);
        std::exit(1);
    });

    const QByteArray request("\x01\x03\x00\x01\x00\x02\x95\xcb", 8);
    const int warmUp = std::min(200, rounds);
    double cpuAtStart = 0;
    for (int i = 0; i < warmUp + rounds; ++i) {
        counting = i >= warmUp;
        if (i == warmUp)
            cpuAtStart = cpuSeconds();
        watchdog.start(5000);
        clock.start();
        serial.write(request);
        loop.exec();
    }
    const double cpuPerRound = (cpuSeconds() - cpuAtStart) / rounds * 1e6;
    watchdog.stop();

    std::sort(samples.begin(), samples.end());
    std::printf("%-9s median %7.1f us   p99 %7.1f us   max %8.1f us   CPU/round %6.1f us\n", label,
                percentile(samples, 0.5), percentile(samples, 0.99), samples.back(), cpuPerRound);

    const double before = cpuSeconds();
    QTimer::singleShot(int(idleSeconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double used = cpuSeconds() - before;
    std::printf("%-9s idle open line: %.4f s CPU in %.1f s (%.4f %%)\n", label, used, idleSeconds,
                100.0 * used / idleSeconds);
    serial.close();
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const double idleSeconds = argc > 2 ? std::max(0.1, std::atof(argv[2])) : 10.0;

    std::printf("round trips: %d per line (8-byte write, 9-byte answer); CPU of both sides "
                "except ser2net\n",
                rounds);
    {
        Device device;
        if (device.path.isEmpty() || !measure("pty", device.path, rounds, idleSeconds))
            return 1;
    }
    const struct
    {
        const char *label;
        Ser2NetServer::Mode mode;
    } remote[] = {{"rfc2217", Ser2NetServer::Mode::Rfc2217}, {"raw tcp", Ser2NetServer::Mode::Raw}};
    for (const auto &line : remote) {
        Device device;
        // ser2net's character delay (two characters, at least 1 ms) is the server's choice
        // for a real line, not the engine's cost.
        Ser2NetServer server(device.path, line.mode, false);
        if (device.path.isEmpty() || !server.start()) {
            std::fprintf(stderr, "%s: ser2net did not start: %s\n", line.label,
                         qPrintable(server.output()));
            return 1;
        }
        if (!measure(line.label, server.lineName(), rounds, idleSeconds))
            return 1;
    }
    return 0;
}
