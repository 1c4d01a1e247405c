#include "quitonsignals.h"

#include <QCoreApplication>

#ifdef Q_OS_UNIX
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int wakeFds[2] = {-1, -1};

extern "C" void onSignal(int)
{
    // Only async-signal-safe work here, and errno left as the interrupted code had it; the
    // event loop does the rest.
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFds[1], &byte, 1);
    errno = saved;
}
} // namespace

bool quitOnTerminationSignals()
{
    if (wakeFds[0] >= 0)
        return true;
    if (::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    auto *notifier = new QSocketNotifier(wakeFds[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [] {
        char buffer[16];
        while (::read(wakeFds[0], buffer, sizeof(buffer)) > 0) {
        }
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    return true;
}
#else
bool quitOnTerminationSignals()
{
    return true;
}
#endif
