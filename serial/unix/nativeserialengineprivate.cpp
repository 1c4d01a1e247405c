#include "nativeserialengine.h"
#include "nativeserialengine_p.h"
#include "nativeserialnotifier.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcSerialEngine, "grelvix.serial")

namespace {

// One trace per failing system call, in two lines: the operation, then the call.
void trace(const char *operation, const char *call, int error)
{
    qCDebug(lcSerialEngine).noquote().nospace()
        << "Linux: NativeSerialEnginePrivate::" << operation << " \n -> function: " << call
        << " returned: -1, errno: " << error << " (" << qt_error_string(error) << "). Error! ";
}

void traceText(const char *operation, const QString &text)
{
    qCDebug(lcSerialEngine).noquote().nospace()
        << "Linux: NativeSerialEnginePrivate::" << operation << " \n -> " << text;
}

// Errors that mean the device itself is gone rather than one call failing.
bool isHangUpError(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

void sleepMsecs(int msecs)
{
    struct timespec wait = {msecs / 1000, long(msecs % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

// Waits for events on one descriptor, resuming after signals; -1 waits 0 ms.
int pollFor(int fd, short events, int msecs, short *revents)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        struct pollfd p = {fd, events, 0};
        const int left = int(std::max<qint64>(msecs - clock.elapsed(), 0));
        const int n = ::poll(&p, 1, left);
        if (n < 0 && errno == EINTR)
            continue;
        *revents = n > 0 ? p.revents : 0;
        return n;
    }
}

const struct
{
    int rate;
    tcflag_t code;
} standardRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000}};

// Drivers may settle on the nearest rate they can make; a UART copes with 2 %.
bool rateClose(unsigned got, int wanted)
{
    const qint64 diff = qint64(got) - wanted;
    return std::abs(diff) * 50 <= wanted;
}

} // namespace

NativeSerialEnginePrivate::NativeSerialEnginePrivate(NativeSerialEngine *engine)
    : q(engine)
{}

int NativeSerialEnginePrivate::openExclusive(const QString &portPath,
                                             const QIODevice::OpenMode &mode, bool quiet)
{
    const auto fail = [quiet](const char *call) {
        if (!quiet)
            trace("nativeOpen(AbstractSerial::OpenMode mode)", call, errno);
    };
    int flags = O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    if ((mode & QIODevice::ReadWrite) == QIODevice::ReadWrite)
        flags |= O_RDWR;
    else if (mode & QIODevice::WriteOnly)
        flags |= O_WRONLY;
    else if (mode & QIODevice::ReadOnly)
        flags |= O_RDONLY;
    else
        return -1;

    const int handle = ::open(QFile::encodeName(portPath).constData(), flags);
    if (handle < 0) {
        fail("::open(...)");
        return -1;
    }
    // TIOCEXCL does not stop root; the lock does, for every program that asks for it. A port
    // another program holds with TIOCEXCL alone is theirs too: taking it would also end
    // their exclusive hold when we let go.
    int heldExclusively = 0;
    if (::ioctl(handle, TIOCGEXCL, &heldExclusively) == 0 && heldExclusively) {
        errno = EBUSY;
        fail("::ioctl(TIOCGEXCL)");
        ::close(handle);
        return -1;
    }
    if (::flock(handle, LOCK_EX | LOCK_NB) != 0) {
        fail("::flock(LOCK_EX | LOCK_NB)");
        ::close(handle);
        return -1;
    }
    if (::ioctl(handle, TIOCEXCL) != 0) {
        fail("::ioctl(TIOCEXCL)");
        ::close(handle);
        return -1;
    }
    return handle;
}

bool NativeSerialEnginePrivate::closeExclusive(int handle)
{
    ::ioctl(handle, TIOCNXCL);
    return ::close(handle) == 0;
}

bool NativeSerialEnginePrivate::nativeOpen(const QIODevice::OpenMode &mode)
{
    if (fd() >= 0 || portLost)
        return false;
    path = NativeSerialEngine::portPath(deviceName);
    if (path.isEmpty())
        return false;
    const int handle = openExclusive(path, mode, false);
    if (handle < 0)
        return false;
    descriptor = handle;
    openMode = mode;

    if (::ioctl(descriptor, TCGETS2, &savedTio) != 0) {
        trace("nativeOpen(AbstractSerial::OpenMode mode)", "::ioctl(TCGETS2) saveOldSettings()",
              errno);
        return false;
    }
    settingsSaved = true;

    // Raw bytes both ways, no software flow control, the receiver on, modem lines
    // ignored for opening; reads return at once (the descriptor never blocks).
    // Speed and character format stay as the port had them.
    tio = savedTio;
    tio.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC |
                             IXON | IXOFF | IXANY | INPCK | IMAXBEL);
    tio.c_oflag &= ~tcflag_t(OPOST);
    tio.c_lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (::ioctl(descriptor, TCSETS2, &tio) != 0) {
        trace("nativeOpen(AbstractSerial::OpenMode mode)", "::ioctl(TCSETS2) updateTermios()",
              errno);
        return false;
    }
    ::ioctl(descriptor, TCFLSH, TCIFLUSH);

    autoTotalReadConstant = false;
    readTotalConstant = 0;
    dtrWanted = -1;
    rtsWanted = -1;
    hangUpSeen = false;
    detectDefaultCurrentSettings();
    baselineLineErrors();
    if (notifier)
        notifier->attach(descriptor);
    return true;
}

bool NativeSerialEnginePrivate::closeDescriptor()
{
    if (notifier)
        notifier->detach();
    bool closed = true;
    if (fd() >= 0) {
        closed = closeExclusive(fd());
        if (!closed)
            trace("nativeClose()", "::close(this->descriptor)", errno);
    }
    descriptor = -1;
    return closed;
}

bool NativeSerialEnginePrivate::nativeClose()
{
    if (reopenTimer)
        reopenTimer->stop();
    if (portLost) {
        // Nothing of the port is left to give back.
        portLost = false;
        settingsSaved = false;
        return true;
    }
    if (fd() < 0)
        return true;
    if (settingsSaved && ::ioctl(fd(), TCSETS2, &savedTio) != 0)
        traceText("nativeClose()", QStringLiteral("function: restoreOldSettings() returned: "
                                                  "false. Error! "));
    settingsSaved = false;
    return closeDescriptor();
}

void NativeSerialEnginePrivate::detectDefaultCurrentSettings()
{
    inputBaudRate = int(tio.c_ispeed);
    outputBaudRate = int(tio.c_ospeed);
    if (outputBaudRate == 0)
        traceText("detectDefaultBaudRate()", QStringLiteral("undefined baud rate, speed is: 0 "));

    switch (tio.c_cflag & CSIZE) {
    case CS5:
        dataBitsValue = AbstractSerial::DataBits5;
        break;
    case CS6:
        dataBitsValue = AbstractSerial::DataBits6;
        break;
    case CS7:
        dataBitsValue = AbstractSerial::DataBits7;
        break;
    default:
        dataBitsValue = AbstractSerial::DataBits8;
        break;
    }

    if (!(tio.c_cflag & PARENB))
        parityValue = AbstractSerial::ParityNone;
    else if (tio.c_cflag & CMSPAR)
        parityValue =
            (tio.c_cflag & PARODD) ? AbstractSerial::ParityMark : AbstractSerial::ParitySpace;
    else
        parityValue =
            (tio.c_cflag & PARODD) ? AbstractSerial::ParityOdd : AbstractSerial::ParityEven;

    // With 5 data bits a UART sends one and a half stop bits for CSTOPB.
    if (!(tio.c_cflag & CSTOPB))
        stopBitsValue = AbstractSerial::StopBits1;
    else if (dataBitsValue == AbstractSerial::DataBits5)
        stopBitsValue = AbstractSerial::StopBits1_5;
    else
        stopBitsValue = AbstractSerial::StopBits2;

    const bool hardware = tio.c_cflag & CRTSCTS;
    const bool inX = tio.c_iflag & IXOFF;
    const bool outX = tio.c_iflag & IXON;
    if (hardware && !inX && !outX)
        flowValue = AbstractSerial::FlowControlHardware;
    else if (!hardware && inX && outX)
        flowValue = AbstractSerial::FlowControlXonXoff;
    else if (!hardware && !inX && !outX)
        flowValue = AbstractSerial::FlowControlOff;
    else
        flowValue = AbstractSerial::FlowControlUndefined;
}

bool NativeSerialEnginePrivate::writeSettings(const struct termios2 &wanted, tcflag_t cflagMask,
                                              tcflag_t iflagMask, bool checkSpeed)
{
    if (fd() < 0)
        return false;
    if (::ioctl(fd(), TCSETS2, &wanted) != 0) {
        trace("writeSettings()", "::ioctl(TCSETS2)", errno);
        return false;
    }
    // The call succeeds when any part was taken, so look at what the driver kept.
    struct termios2 got = {};
    if (::ioctl(fd(), TCGETS2, &got) != 0) {
        trace("writeSettings()", "::ioctl(TCGETS2)", errno);
        return false;
    }
    const bool taken = ((got.c_cflag ^ wanted.c_cflag) & cflagMask) == 0 &&
                       ((got.c_iflag ^ wanted.c_iflag) & iflagMask) == 0 &&
                       (!checkSpeed || (rateClose(got.c_ospeed, int(wanted.c_ospeed)) &&
                                        rateClose(got.c_ispeed, int(wanted.c_ispeed))));
    if (!taken) {
        traceText("writeSettings()",
                  QStringLiteral("the driver did not take the setting. Error! "));
        ::ioctl(fd(), TCSETS2, &tio);
        return false;
    }
    tio = got;
    return true;
}

bool NativeSerialEnginePrivate::nativeSetBaudRate(int baudRate,
                                                  AbstractSerial::BaudDirection direction)
{
    if (direction != AbstractSerial::BaudBoth || baudRate <= 0)
        return false;
    struct termios2 wanted = tio;
    wanted.c_cflag &= ~tcflag_t(CBAUD | (CBAUD << IBSHIFT));
    tcflag_t code = BOTHER;
    for (const auto &entry : standardRates) {
        if (entry.rate == baudRate)
            code = entry.code;
    }
    wanted.c_cflag |= code;
    wanted.c_ispeed = speed_t(baudRate);
    wanted.c_ospeed = speed_t(baudRate);
    if (!writeSettings(wanted, 0, 0, true))
        return false;
    inputBaudRate = baudRate;
    outputBaudRate = baudRate;
    updateAutoReadConstant();
    return true;
}

bool NativeSerialEnginePrivate::nativeSetDataBits(AbstractSerial::DataBits dataBits)
{
    if (!AbstractSerialEngine::acceptsDataBits(dataBits, stopBitsValue)) {
        qCDebug(lcSerialEngine) << "Linux: NativeSerialEnginePrivate::nativeSetDataBits"
                                   "(AbstractSerial::DataBits dataBits) \n -> refused:"
                                << dataBits << "with" << stopBitsValue;
        return false;
    }
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    struct termios2 wanted = tio;
    wanted.c_cflag = (wanted.c_cflag & ~tcflag_t(CSIZE)) | sizes[dataBits];
    if (!writeSettings(wanted, CSIZE, 0, false))
        return false;
    dataBitsValue = dataBits;
    updateAutoReadConstant();
    return true;
}

bool NativeSerialEnginePrivate::nativeSetParity(AbstractSerial::Parity parity)
{
    tcflag_t bits = 0;
    switch (parity) {
    case AbstractSerial::ParityNone:
        break;
    case AbstractSerial::ParityOdd:
        bits = PARENB | PARODD;
        break;
    case AbstractSerial::ParityEven:
        bits = PARENB;
        break;
    case AbstractSerial::ParityMark:
        bits = PARENB | CMSPAR | PARODD;
        break;
    case AbstractSerial::ParitySpace:
        bits = PARENB | CMSPAR;
        break;
    default:
        qCDebug(lcSerialEngine) << "Linux: NativeSerialEnginePrivate::nativeSetParity"
                                   "(AbstractSerial::Parity parity) \n -> parity:"
                                << parity << "is not supported. Error! ";
        return false;
    }
    struct termios2 wanted = tio;
    wanted.c_cflag = (wanted.c_cflag & ~tcflag_t(PARENB | PARODD | CMSPAR)) | bits;
    // Without parity the odd and stick bits mean nothing, so only PARENB must hold.
    const tcflag_t mask = bits ? tcflag_t(PARENB | PARODD | CMSPAR) : tcflag_t(PARENB);
    if (!writeSettings(wanted, mask, 0, false))
        return false;
    parityValue = parity;
    updateAutoReadConstant();
    return true;
}

bool NativeSerialEnginePrivate::nativeSetStopBits(AbstractSerial::StopBits stopBits)
{
    if (!AbstractSerialEngine::acceptsStopBits(stopBits, dataBitsValue)) {
        qCDebug(lcSerialEngine) << "Linux: NativeSerialEnginePrivate::nativeSetStopBits"
                                   "(AbstractSerial::StopBits stopBits) \n -> refused:"
                                << stopBits << "with" << dataBitsValue;
        return false;
    }
    struct termios2 wanted = tio;
    if (stopBits == AbstractSerial::StopBits1)
        wanted.c_cflag &= ~tcflag_t(CSTOPB);
    else
        wanted.c_cflag |= CSTOPB;
    if (!writeSettings(wanted, CSTOPB, 0, false))
        return false;
    stopBitsValue = stopBits;
    updateAutoReadConstant();
    return true;
}

bool NativeSerialEnginePrivate::nativeSetFlowControl(AbstractSerial::Flow flow)
{
    struct termios2 wanted = tio;
    wanted.c_cflag &= ~tcflag_t(CRTSCTS);
    wanted.c_iflag &= ~tcflag_t(IXON | IXOFF | IXANY);
    switch (flow) {
    case AbstractSerial::FlowControlOff:
        break;
    case AbstractSerial::FlowControlHardware:
        wanted.c_cflag |= CRTSCTS;
        break;
    case AbstractSerial::FlowControlXonXoff:
        wanted.c_iflag |= IXON | IXOFF;
        break;
    default:
        qCDebug(lcSerialEngine) << "Linux: NativeSerialEnginePrivate::nativeSetFlowControl"
                                   "(AbstractSerial::Flow flow) \n -> flow:"
                                << flow << "is not supported. Error! ";
        return false;
    }
    if (!writeSettings(wanted, CRTSCTS, IXON | IXOFF | IXANY, false))
        return false;
    flowValue = flow;
    return true;
}

void NativeSerialEnginePrivate::updateAutoReadConstant()
{
    if (!autoTotalReadConstant || inputBaudRate != outputBaudRate || inputBaudRate <= 0)
        return;
    readTotalConstant = AbstractSerialEngine::autoReadTotalConstant(
        inputBaudRate, dataBitsValue, parityValue, stopBitsValue, charIntervalValue);
}

bool NativeSerialEnginePrivate::setModemLine(int line, bool set)
{
    if (fd() < 0)
        return false;
    if (::ioctl(fd(), set ? TIOCMBIS : TIOCMBIC, &line) != 0) {
        trace(line == TIOCM_DTR ? "nativeSetDtr(bool set)" : "nativeSetRts(bool set)",
              set ? "::ioctl(TIOCMBIS)" : "::ioctl(TIOCMBIC)", errno);
        return false;
    }
    return true;
}

bool NativeSerialEnginePrivate::nativeSetDtr(bool set)
{
    if (!setModemLine(TIOCM_DTR, set))
        return false;
    dtrWanted = set;
    return true;
}

bool NativeSerialEnginePrivate::nativeSetRts(bool set)
{
    if (!setModemLine(TIOCM_RTS, set))
        return false;
    rtsWanted = set;
    return true;
}

quint16 NativeSerialEnginePrivate::nativeLineStatus() const
{
    int lines = 0;
    if (fd() < 0 || ::ioctl(fd(), TIOCMGET, &lines) != 0)
        return AbstractSerial::LineError;
    static const struct
    {
        int bit;
        int flag;
    } map[] = {{TIOCM_LE, AbstractSerial::LineLE},   {TIOCM_DTR, AbstractSerial::LineDTR},
               {TIOCM_RTS, AbstractSerial::LineRTS}, {TIOCM_ST, AbstractSerial::LineST},
               {TIOCM_SR, AbstractSerial::LineSR},   {TIOCM_CTS, AbstractSerial::LineCTS},
               {TIOCM_CAR, AbstractSerial::LineDCD}, {TIOCM_RNG, AbstractSerial::LineRI},
               {TIOCM_DSR, AbstractSerial::LineDSR}};
    quint16 word = 0;
    for (const auto &entry : map) {
        if (lines & entry.bit)
            word |= quint16(entry.flag);
    }
    return word;
}

bool NativeSerialEnginePrivate::nativeSetBreak(bool set)
{
    if (fd() < 0)
        return false;
    if (::ioctl(fd(), set ? TIOCSBRK : TIOCCBRK) != 0) {
        trace("nativeSetBreak(bool set)", set ? "::ioctl(TIOCSBRK)" : "::ioctl(TIOCCBRK)", errno);
        return false;
    }
    return true;
}

bool NativeSerialEnginePrivate::nativeSendBreak(int duration)
{
    if (!nativeSetBreak(true))
        return false;
    sleepMsecs(std::max(duration, 0));
    return nativeSetBreak(false);
}

bool NativeSerialEnginePrivate::nativeFlush()
{
    // tcdrain() could wait for ever behind flow control; give up like a transfer does.
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        int queued = 0;
        if (fd() < 0 || ::ioctl(fd(), TIOCOUTQ, &queued) != 0) {
            trace("nativeFlush()", "::ioctl(TIOCOUTQ)", errno);
            return false;
        }
        if (queued == 0)
            return true;
        if (clock.elapsed() >= transferWaitMsecs) {
            traceText("nativeFlush()", QStringLiteral("output did not drain. Error! "));
            return false;
        }
        sleepMsecs(1);
    }
}

bool NativeSerialEnginePrivate::nativeReset()
{
    if (fd() < 0 || ::ioctl(fd(), TCFLSH, TCIOFLUSH) != 0) {
        trace("nativeReset()", "::ioctl(TCFLSH, TCIOFLUSH)", errno);
        return false;
    }
    return true;
}

qint64 NativeSerialEnginePrivate::lineErrorCount() const
{
    struct serial_icounter_struct counts = {};
    if (fd() < 0 || ::ioctl(fd(), TIOCGICOUNT, &counts) != 0)
        return -1;
    return qint64(counts.frame) + counts.overrun + counts.parity + counts.brk + counts.buf_overrun;
}

void NativeSerialEnginePrivate::baselineLineErrors()
{
    // Pseudo-terminals and some adapters keep no counters; then none is asked for.
    const qint64 count = lineErrorCount();
    lineErrorsCounted = count >= 0;
    lineErrorsSeenByRead = lineErrorsSeenByNotifier = quint64(std::max<qint64>(count, 0));
}

bool NativeSerialEnginePrivate::takeNotifierLineError()
{
    if (!lineErrorsCounted)
        return false;
    const qint64 count = lineErrorCount();
    if (count < 0 || quint64(count) == lineErrorsSeenByNotifier)
        return false;
    lineErrorsSeenByNotifier = quint64(count);
    return true;
}

qint64 NativeSerialEnginePrivate::nativeBytesAvailable()
{
    if (fd() < 0)
        return -1;
    int waiting = 0;
    if (::ioctl(fd(), FIONREAD, &waiting) != 0) {
        const int error = errno;
        trace("nativeBytesAvailable(bool wait)", "::ioctl(FIONREAD)", error);
        if (isHangUpError(error))
            portHungUp();
        return -1;
    }
    if (waiting == 0 && hangUpSeen) {
        portHungUp();
        return -1;
    }
    if (lineErrorsCounted) {
        const qint64 count = lineErrorCount();
        if (count >= 0 && quint64(count) != lineErrorsSeenByRead) {
            lineErrorsSeenByRead = quint64(count);
            traceText("nativeBytesAvailable(bool wait)",
                      QStringLiteral("line error, errors counted: %1. Error! ").arg(count));
            return -1;
        }
    }
    return waiting;
}

qint64 NativeSerialEnginePrivate::nativeRead(char *data, qint64 len)
{
    if (fd() < 0)
        return -1;
    const int wait = std::min(std::max(readTotalConstant, 0), transferWaitMsecs);
    QElapsedTimer clock;
    clock.start();
    qint64 got = 0;
    while (got < len) {
        const ssize_t n = ::read(fd(), data + got, size_t(len - got));
        if (n > 0) {
            got += n;
            continue;
        }
        const int error = n == 0 ? EIO : errno;
        if (n < 0 && error == EINTR)
            continue;
        if (n < 0 && error == EAGAIN) {
            const qint64 left = wait - clock.elapsed();
            short revents = 0;
            if (left <= 0 || pollFor(fd(), POLLIN, int(left), &revents) <= 0)
                break;
            if ((revents & (POLLHUP | POLLERR)) && checkHangUp())
                break;
            continue;
        }
        // In raw mode with VMIN 1 a read of 0 bytes only happens on a hung-up tty.
        trace("nativeRead(char *data, qint64 len)", "::read(...)", error);
        if (isHangUpError(error))
            portHungUp();
        break;
    }
    return got > 0 ? got : (fd() < 0 ? -1 : 0);
}

qint64 NativeSerialEnginePrivate::nativeWrite(const char *data, qint64 len)
{
    if (fd() < 0)
        return -1;
    QElapsedTimer clock;
    clock.start();
    qint64 written = 0;
    while (written < len) {
        const ssize_t n = ::write(fd(), data + written, size_t(len - written));
        if (n > 0) {
            written += n;
            continue;
        }
        const int error = n == 0 ? EIO : errno;
        if (n < 0 && error == EINTR)
            continue;
        if (n < 0 && error == EAGAIN) {
            const qint64 left = transferWaitMsecs - clock.elapsed();
            short revents = 0;
            if (left <= 0 || pollFor(fd(), POLLOUT, int(left), &revents) <= 0) {
                traceText("nativeWrite(const char *data, qint64 len)",
                          QStringLiteral("function: ::poll(POLLOUT, 5000) timed out. Error! "));
                break;
            }
            if ((revents & (POLLHUP | POLLERR)) && checkHangUp())
                break;
            continue;
        }
        trace("nativeWrite(const char *data, qint64 len)", "::write(...)", error);
        if (isHangUpError(error))
            portHungUp();
        break;
    }
    return written > 0 ? written : -1;
}

int NativeSerialEnginePrivate::nativeSelect(int msecs, bool checkRead, bool checkWrite,
                                            bool *readyToRead, bool *readyToWrite)
{
    if (checkRead && nativeBytesAvailable() > 0) {
        *readyToRead = true;
        return 1;
    }
    if (fd() < 0)
        return -1;
    const short events = short((checkRead ? POLLIN : 0) | (checkWrite ? POLLOUT : 0));
    short revents = 0;
    const int n = pollFor(fd(), events, std::max(msecs, 0), &revents);
    if (n < 0) {
        trace("nativeSelect(...)", "::poll(...)", errno);
        return -1;
    }
    if (n == 0)
        return 0;
    if ((revents & (POLLHUP | POLLERR | POLLNVAL)) && checkHangUp())
        return -1;
    *readyToRead = checkRead && (revents & POLLIN) && nativeBytesAvailable() != 0;
    *readyToWrite = checkWrite && (revents & POLLOUT);
    return 1;
}

bool NativeSerialEnginePrivate::checkHangUp()
{
    if (portLost)
        return true;
    if (fd() < 0)
        return false;
    hangUpSeen = true;
    int waiting = 0;
    if (::ioctl(fd(), FIONREAD, &waiting) == 0 && waiting > 0)
        return false; // what arrived before the hang-up is read first
    portHungUp();
    return true;
}

void NativeSerialEnginePrivate::portHungUp()
{
    if (portLost || fd() < 0)
        return;
    traceText("portHungUp()",
              QStringLiteral("device %1 went away; waiting for it to come back. ").arg(path));
    // Let go of the node at once: a USB adapter plugged in again only gets the
    // same name once nobody holds the old one.
    closeDescriptor();
    settingsSaved = false;
    portLost = true;
    hangUpSeen = false;
    if (!reopenTimer) {
        reopenTimer = new QTimer(q);
        reopenTimer->setInterval(reopenIntervalMsecs);
        QObject::connect(reopenTimer, &QTimer::timeout, q, [this] { tryReopen(); });
    }
    reopenTimer->start();
    // The modem lines fell with the port; tell the device from the event loop,
    // not from inside whatever call found the hang-up.
    QMetaObject::invokeMethod(
        q,
        [engine = q] {
            if (engine->isLineNotificationEnabled())
                engine->lineNotification();
        },
        Qt::QueuedConnection);
}

void NativeSerialEnginePrivate::tryReopen()
{
    if (!portLost) {
        reopenTimer->stop();
        return;
    }
    struct stat info = {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return;
    // Quiet: a node that is there but not ready yet is tried again shortly.
    const int handle = openExclusive(path, openMode, true);
    if (handle < 0)
        return;
    struct termios2 found = {};
    if (::ioctl(handle, TCGETS2, &found) != 0 || ::ioctl(handle, TCSETS2, &tio) != 0) {
        closeExclusive(handle);
        return;
    }
    descriptor = handle;
    savedTio = found;
    settingsSaved = true;
    portLost = false;
    reopenTimer->stop();
    if (dtrWanted >= 0)
        setModemLine(TIOCM_DTR, dtrWanted);
    if (rtsWanted >= 0)
        setModemLine(TIOCM_RTS, rtsWanted);
    ::ioctl(descriptor, TCFLSH, TCIFLUSH);
    baselineLineErrors();
    traceText("tryReopen()",
              QStringLiteral("device %1 is back, line settings applied again. ").arg(path));
    if (notifier) {
        notifier->attach(descriptor);
        if (notifier->isLineNotificationEnabled())
            q->lineNotification();
    }
}
