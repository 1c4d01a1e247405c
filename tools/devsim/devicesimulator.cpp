#include "devicesimulator.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError(const QString &what)
{
    return QStringLiteral("%1: %2").arg(what, qt_error_string(errno));
}

speed_t speedCode(int baudRate)
{
    switch (baudRate) {
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    default:
        return B0;
    }
}

// Raw 8N1 without flow control: every byte passes unchanged in both directions.
bool makeRaw(int fd, speed_t speed)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) < 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD | CS8;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (speed != B0 && (::cfsetispeed(&tio, speed) < 0 || ::cfsetospeed(&tio, speed) < 0))
        return false;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

void closeFd(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

DeviceSimulator::DeviceSimulator(QObject *parent)
    : QObject(parent)
    , m_random(QRandomGenerator::global()->generate())
{
    m_clock.start();
    m_sendTimer.setSingleShot(true);
    m_sendTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_sendTimer, &QTimer::timeout, this, &DeviceSimulator::sendDue);
    connect(&m_driftTimer, &QTimer::timeout, this, &DeviceSimulator::driftStep);
}

DeviceSimulator::~DeviceSimulator()
{
    close();
}

bool DeviceSimulator::openPty()
{
    close();
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) < 0) {
        fail(systemError(QStringLiteral("Cannot create a pseudo-terminal")));
        return false;
    }
    // The line discipline sits on the slave side; setting it through both ends covers kernels
    // that do not forward the master's settings.
    const char *name = ::ttyname(slave);
    if (!name || !makeRaw(slave, B0) || !makeRaw(master, B0)) {
        fail(systemError(QStringLiteral("Cannot set up the pseudo-terminal")));
        ::close(master);
        ::close(slave);
        return false;
    }
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    // Our own slave descriptor stays open: without it the master reports a hang-up (and polls
    // as readable without end) whenever the station has closed the port.
    m_slaveFd = slave;
    return setUp(master, QString::fromLocal8Bit(name));
}

bool DeviceSimulator::openPort(const QString &path, int baudRate)
{
    close();
    const speed_t speed = speedCode(baudRate);
    if (speed == B0) {
        fail(QStringLiteral("Unsupported speed %1").arg(baudRate));
        return false;
    }
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail(systemError(QStringLiteral("Cannot open %1").arg(path)));
        return false;
    }
    if (!makeRaw(fd, speed)) {
        fail(systemError(QStringLiteral("Cannot set up %1").arg(path)));
        ::close(fd);
        return false;
    }
    return setUp(fd, path);
}

bool DeviceSimulator::setUp(int fd, const QString &name)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) {
        fail(systemError(QStringLiteral("Cannot set up %1").arg(name)));
        ::close(fd);
        closeFd(m_slaveFd);
        return false;
    }
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    m_fd = fd;
    m_portName = name;
    m_error.clear();
    m_bus.clearInput();
    m_readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &DeviceSimulator::readLine);
    m_writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &DeviceSimulator::flushOutput);
    setDriftInterval(m_driftInterval);
    return true;
}

void DeviceSimulator::close()
{
    ++m_session;
    m_sendTimer.stop();
    m_driftTimer.stop();
    m_queue.clear();
    m_output.clear();
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        if (!notifier)
            continue;
        // close() may run inside the notifier's own signal.
        notifier->setEnabled(false);
        notifier->deleteLater();
    }
    m_readNotifier = m_writeNotifier = nullptr;
    removeLink();
    closeFd(m_fd);
    closeFd(m_slaveFd);
    m_portName.clear();
}

void DeviceSimulator::fail(const QString &message)
{
    m_error = message;
    emit errorOccurred(message);
}

bool DeviceSimulator::createLink(const QString &linkPath)
{
    if (!isOpen()) {
        fail(QStringLiteral("No port to link to"));
        return false;
    }
    const QFileInfo info(linkPath);
    if (info.exists() && !info.isSymLink()) {
        fail(QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath));
        return false;
    }
    removeLink();
    // A new link under a temporary name renamed over the old one: the path never disappears.
    const QByteArray target = QFile::encodeName(m_portName);
    const QByteArray path = QFile::encodeName(linkPath);
    const QByteArray temporary = path + ".tmp" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(target.constData(), temporary.constData()) < 0 ||
        ::rename(temporary.constData(), path.constData()) < 0) {
        fail(systemError(QStringLiteral("Cannot create the link %1").arg(linkPath)));
        ::unlink(temporary.constData());
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void DeviceSimulator::removeLink()
{
    if (m_linkPath.isEmpty())
        return;
    // Someone may have pointed it elsewhere meanwhile; then it is theirs.
    if (QFile::symLinkTarget(m_linkPath) == QFileInfo(m_portName).absoluteFilePath())
        QFile::remove(m_linkPath);
    m_linkPath.clear();
}

SimulatedDevice *DeviceSimulator::addDevice(quint8 address)
{
    return m_bus.addDevice(address);
}

bool DeviceSimulator::removeDevice(quint8 address)
{
    return m_bus.removeDevice(address);
}

void DeviceSimulator::setDriftInterval(int ms)
{
    m_driftInterval = qMax(0, ms);
    if (isOpen() && m_driftInterval > 0)
        m_driftTimer.start(m_driftInterval);
    else
        m_driftTimer.stop();
}

void DeviceSimulator::driftStep()
{
    for (quint8 address : m_bus.addresses())
        m_bus.device(address)->driftStep(m_random);
}

void DeviceSimulator::readLine()
{
    QByteArray bytes;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // End of file or EIO: the device behind a real port is gone.
        m_readNotifier->setEnabled(false);
        fail(n == 0 ? QStringLiteral("%1: hang-up").arg(m_portName)
                    : systemError(QStringLiteral("Cannot read %1").arg(m_portName)));
        break;
    }
    const quint64 session = m_session;
    const QList<ModbusSlave::Exchange> exchanges = m_bus.receive(bytes);
    for (const ModbusSlave::Exchange &exchange : exchanges) {
        emit requestReceived(exchange.address, exchange.kind, exchange.request);
        if (session != m_session)
            return;
        if (!exchange.answer.isEmpty())
            enqueue(exchange);
    }
    sendDue();
}

void DeviceSimulator::enqueue(const ModbusSlave::Exchange &exchange)
{
    PendingAnswer answer;
    answer.address = exchange.address;
    answer.bytes = exchange.answer;
    answer.dueMs = m_clock.elapsed() + exchange.delayMs;
    answer.gapMs = exchange.gapMs;
    // One answer on the line at a time, in the order they fall due; one already under way
    // keeps the line to its last byte.
    auto it = m_queue.begin();
    if (it != m_queue.end() && it->sent > 0)
        ++it;
    while (it != m_queue.end() && it->dueMs <= answer.dueMs)
        ++it;
    m_queue.insert(it, answer);
}

void DeviceSimulator::sendDue()
{
    m_sendTimer.stop();
    const quint64 session = m_session;
    while (isOpen() && !m_queue.empty()) {
        const qint64 now = m_clock.elapsed();
        if (m_queue.front().dueMs > now) {
            m_sendTimer.start(static_cast<int>(m_queue.front().dueMs - now));
            return;
        }
        const qsizetype count =
            m_queue.front().gapMs < 0 ? m_queue.front().bytes.size() - m_queue.front().sent : 1;
        write(m_queue.front().bytes.mid(m_queue.front().sent, count));
        if (session != m_session)
            return;
        PendingAnswer &answer = m_queue.front();
        answer.sent += count;
        if (answer.sent < answer.bytes.size()) {
            answer.dueMs = now + answer.gapMs;
            m_sendTimer.start(answer.gapMs);
            return;
        }
        const quint8 address = answer.address;
        const QByteArray bytes = answer.bytes;
        m_queue.pop_front();
        ++m_answers[address];
        emit answerWritten(address, bytes);
        if (session != m_session)
            return;
    }
}

void DeviceSimulator::write(const QByteArray &bytes)
{
    m_output.append(bytes);
    flushOutput();
}

void DeviceSimulator::flushOutput()
{
    while (isOpen() && !m_output.isEmpty()) {
        const ssize_t n = ::write(m_fd, m_output.constData(), static_cast<size_t>(m_output.size()));
        if (n > 0) {
            m_output.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // Nobody reads the other side for now; go on when there is room.
            m_writeNotifier->setEnabled(true);
            return;
        }
        m_output.clear();
        fail(systemError(QStringLiteral("Cannot write %1").arg(m_portName)));
        return;
    }
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(false);
}
