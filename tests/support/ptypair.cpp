#include "ptypair.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    masterFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd < 0)
        return;
    char name[128] = {};
    if (grantpt(masterFd) != 0 || unlockpt(masterFd) != 0 ||
        ptsname_r(masterFd, name, sizeof name) != 0) {
        closeMaster();
        return;
    }
    slave = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair()
{
    closeMaster();
}

bool PtyPair::write(const QByteArray &data)
{
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(masterFd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

QByteArray PtyPair::read(qint64 size, int msecs)
{
    QByteArray data;
    QElapsedTimer clock;
    clock.start();
    while (data.size() < size) {
        const qint64 left = msecs - clock.elapsed();
        if (left <= 0)
            break;
        struct pollfd p = {masterFd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n =
            ::read(masterFd, buffer, std::min<size_t>(sizeof buffer, size_t(size - data.size())));
        if (n <= 0)
            break;
        data.append(buffer, int(n));
    }
    return data;
}

void PtyPair::closeMaster()
{
    if (masterFd >= 0)
        ::close(masterFd);
    masterFd = -1;
}

struct termios2 PtyPair::settings() const
{
    struct termios2 t = {};
    ::ioctl(masterFd, TCGETS2, &t);
    return t;
}

bool PtyPair::setSettings(const struct termios2 &settings)
{
    return ::ioctl(masterFd, TCSETS2, &settings) == 0;
}

double processCpuSeconds()
{
    struct timespec now = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}
