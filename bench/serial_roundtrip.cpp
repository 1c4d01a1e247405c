// Round trip through AbstractSerial over a pseudo-terminal: an 8-byte request
// written, a 9-byte answer from the other side, to readyRead and readAll.
// Then the CPU an open, idle port costs. Prints its figures; not a test.
//
//   bench_serial_roundtrip [rounds] [idle seconds]     (defaults 10000 and 10)
#include "abstractserial.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

double percentile(std::vector<double> sorted, double fraction)
{
    const size_t index = std::min(sorted.size() - 1, size_t(fraction * double(sorted.size())));
    return sorted[index];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const double idleSeconds = argc > 2 ? std::max(0.1, std::atof(argv[2])) : 10.0;

    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char slave[128] = {};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, slave, sizeof slave) != 0) {
        std::fprintf(stderr, "cannot make a pseudo-terminal\n");
        return 1;
    }

    AbstractSerial serial;
    serial.setDeviceName(QString::fromLocal8Bit(slave));
    if (!serial.open(QIODevice::ReadWrite)) {
        std::fprintf(stderr, "cannot open %s: %s\n", slave, qPrintable(serial.errorString()));
        return 1;
    }
    serial.setBaudRate(QStringLiteral("9600"), AbstractSerial::BaudBoth);
    serial.setDataBits(AbstractSerial::DataBits8);
    serial.setParity(AbstractSerial::ParityNone);
    serial.setStopBits(AbstractSerial::StopBits1);
    serial.setFlowControl(AbstractSerial::FlowControlOff);

    std::atomic<bool> stop{false};
    std::thread device(answer, master, std::cref(stop));

    const QByteArray request("\x01\x03\x00\x01\x00\x02\x95\xcb", 8);
    QEventLoop loop;
    QElapsedTimer clock;
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
        std::fprintf(stderr, "no answer within 5 s\n");
        std::exit(1);
    });

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
    stop = true;
    device.join();

    std::sort(samples.begin(), samples.end());
    std::printf("round trips: %d (8-byte write, 9-byte answer over a pty)\n", rounds);
    std::printf("median: %.1f us\n", percentile(samples, 0.5));
    std::printf("p99: %.1f us\n", percentile(samples, 0.99));
    std::printf("max: %.1f us\n", samples.back());
    std::printf("CPU per round trip, both sides: %.1f us\n", cpuPerRound);

    const double before = cpuSeconds();
    QTimer::singleShot(int(idleSeconds * 1000), &loop, &QEventLoop::quit);
    loop.exec();
    const double used = cpuSeconds() - before;
    std::printf("idle open port: %.4f s CPU in %.1f s (%.4f %%)\n", used, idleSeconds,
                100.0 * used / idleSeconds);

    serial.close();
    ::close(master);
    return 0;
}
