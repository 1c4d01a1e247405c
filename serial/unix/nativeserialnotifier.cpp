#include "nativeserialnotifier.h"

#include "nativeserialengine.h"
#include "nativeserialengine_p.h"

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>

#include <sys/epoll.h>
#include <unistd.h>

namespace {
constexpr int watchedLines =
    AbstractSerial::LineCTS | AbstractSerial::LineDSR | AbstractSerial::LineRI;
}

NativeSerialNotifier::NativeSerialNotifier(NativeSerialEngine *owner,
                                           NativeSerialEnginePrivate *ownerState)
    : QObject(owner)
    , engine(owner)
    , state(ownerState)
    , epollFd(epoll_create1(EPOLL_CLOEXEC))
{
    if (epollFd < 0)
        qCWarning(lcSerialEngine) << "NativeSerialNotifier: epoll_create1 failed, errno" << errno;
    socketNotifier = new QSocketNotifier(QSocketNotifier::Read, this);
    socketNotifier->setSocket(epollFd);
    socketNotifier->setEnabled(false);
    connect(socketNotifier, &QSocketNotifier::activated, this, &NativeSerialNotifier::onActivated);
    lineTimer = new QTimer(this);
    lineTimer->setInterval(linePollMsecs);
    connect(lineTimer, &QTimer::timeout, this, &NativeSerialNotifier::pollLines);
}

NativeSerialNotifier::~NativeSerialNotifier()
{
    socketNotifier->setEnabled(false);
    if (epollFd >= 0)
        ::close(epollFd);
}

void NativeSerialNotifier::attach(int fd)
{
    detach();
    descriptor = fd;
    const quint16 lines = state->nativeLineStatus();
    linesReadable = !(lines & AbstractSerial::LineError);
    lastLines = lines & watchedLines;
    update(true);
}

void NativeSerialNotifier::detach()
{
    if (registered && descriptor >= 0)
        epoll_ctl(epollFd, EPOLL_CTL_DEL, descriptor, nullptr);
    registered = false;
    registeredEvents = 0;
    descriptor = -1;
    update(false);
}

void NativeSerialNotifier::update(bool rearm)
{
    const bool watch =
        descriptor >= 0 && epollFd >= 0 && (readEnabled || writeEnabled || exceptionEnabled);
    if (watch) {
        unsigned events = EPOLLET;
        if (readEnabled || exceptionEnabled)
            events |= EPOLLIN;
        if (writeEnabled)
            events |= EPOLLOUT;
        struct epoll_event event = {};
        event.events = events;
        event.data.fd = descriptor;
        // Re-registering makes epoll look at the descriptor again, so bytes that
        // are already waiting are reported when reading is switched back on.
        if (!registered) {
            registered = epoll_ctl(epollFd, EPOLL_CTL_ADD, descriptor, &event) == 0;
            registeredEvents = events;
        } else if (events != registeredEvents || rearm) {
            epoll_ctl(epollFd, EPOLL_CTL_MOD, descriptor, &event);
            registeredEvents = events;
        }
    } else if (registered) {
        epoll_ctl(epollFd, EPOLL_CTL_DEL, descriptor, nullptr);
        registered = false;
        registeredEvents = 0;
    }
    if (socketNotifier->isEnabled() != watch)
        socketNotifier->setEnabled(watch);

    const bool pollLinesNow = descriptor >= 0 && lineEnabled && linesReadable;
    if (pollLinesNow && !lineTimer->isActive())
        lineTimer->start();
    else if (!pollLinesNow && lineTimer->isActive())
        lineTimer->stop();
}

bool NativeSerialNotifier::isReadNotificationEnabled() const
{
    return readEnabled;
}

void NativeSerialNotifier::setReadNotificationEnabled(bool enable)
{
    const bool rearm = enable && !readEnabled;
    readEnabled = enable;
    update(rearm);
}

bool NativeSerialNotifier::isWriteNotificationEnabled() const
{
    return writeEnabled;
}

void NativeSerialNotifier::setWriteNotificationEnabled(bool enable)
{
    writeEnabled = enable;
    if (enable) {
        // Deliver first: the handler usually sends everything and switches
        // writes off again, and then epoll never needs to hear of it.
        QPointer<NativeSerialNotifier> self(this);
        deliverWrite(this, engine);
        if (!self)
            return;
    }
    update(false);
}

bool NativeSerialNotifier::isExceptionNotificationEnabled() const
{
    return exceptionEnabled;
}

void NativeSerialNotifier::setExceptionNotificationEnabled(bool enable)
{
    exceptionEnabled = enable;
    update(false);
}

bool NativeSerialNotifier::isLineNotificationEnabled() const
{
    return lineEnabled;
}

void NativeSerialNotifier::setLineNotificationEnabled(bool enable)
{
    lineEnabled = enable;
    update(false);
}

void NativeSerialNotifier::onActivated()
{
    struct epoll_event event = {};
    if (epoll_wait(epollFd, &event, 1, 0) <= 0)
        return;
    const unsigned events = event.events;
    QPointer<NativeSerialNotifier> self(this);
    const auto gone = [&] { return !self || descriptor < 0; };

    if ((events & (EPOLLHUP | EPOLLERR)) && state->checkHangUp())
        return;
    if ((events & EPOLLIN) && readEnabled) {
        engine->readNotification();
        if (gone())
            return;
    }
    if ((events & EPOLLOUT) && writeEnabled) {
        deliverWrite(this, engine);
        if (gone())
            return;
    }
    if ((events & EPOLLIN) && exceptionEnabled && state->takeNotifierLineError()) {
        engine->exceptionNotification();
        if (gone())
            return;
    }
    // A hang-up seen while bytes were still waiting counts once they are read.
    if (state->hangUpSeen)
        state->checkHangUp();
}

void NativeSerialNotifier::pollLines()
{
    const quint16 lines = state->nativeLineStatus();
    if (lines & AbstractSerial::LineError) {
        linesReadable = false;
        lineTimer->stop();
        return;
    }
    if ((lines & watchedLines) == lastLines)
        return;
    lastLines = lines & watchedLines;
    engine->lineNotification();
}
