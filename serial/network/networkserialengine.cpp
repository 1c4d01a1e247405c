#include "networkserialengine.h"

#include "nativeserialenginebase_impl_p.h"
#include "networkserialengine_p.h"
#include "networkserialnotifier.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>

#include <cstring>

NetworkSerialEngine::NetworkSerialEngine(QObject *parent)
    : NativeSerialEngineBase(new NetworkSerialEnginePrivate(this), parent)
{
    d_func()->init();
}

NetworkSerialEngine::~NetworkSerialEngine()
{
    d_func()->nativeClose();
}

bool NetworkSerialEngine::isLinkUp() const
{
    return d_func()->link == NetworkSerialEnginePrivate::Link::Up;
}

bool NetworkSerialEngine::isPortLost() const
{
    return d_func()->link == NetworkSerialEnginePrivate::Link::Waiting;
}

QString NetworkSerialEngine::linkError() const
{
    return d_func()->error;
}

bool NetworkSerialEngine::isNetworkName(const QString &deviceName)
{
    return deviceName.startsWith(QLatin1String("rfc2217://"), Qt::CaseInsensitive) ||
           deviceName.startsWith(QLatin1String("tcp://"), Qt::CaseInsensitive);
}

bool NetworkSerialEnginePrivate::parseName(const QString &name, Mode *lineMode, QString *hostName,
                                           quint16 *portNumber)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(rfc2217|tcp)://(\\[[0-9A-Fa-f:.]+\\]|[^:/\\[\\]\\s]+):(\\d{1,5})$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch())
        return false;
    const int number = match.captured(3).toInt();
    if (number < 1 || number > 65535)
        return false;
    QString hostPart = match.captured(2);
    if (hostPart.startsWith(QLatin1Char('[')))
        hostPart = hostPart.mid(1, hostPart.size() - 2);
    *lineMode = match.captured(1).compare(QLatin1String("tcp"), Qt::CaseInsensitive) == 0
                    ? Mode::Raw
                    : Mode::Rfc2217;
    *hostName = hostPart;
    *portNumber = quint16(number);
    return true;
}

void NetworkSerialEnginePrivate::setTotalReadConstant(int msecs)
{
    if (msecs == -1) {
        autoTotalReadConstant = true;
        updateAutoReadConstant();
    } else {
        autoTotalReadConstant = false;
        readTotalConstant = msecs;
    }
}

void NetworkSerialEnginePrivate::updateAutoReadConstant()
{
    if (!autoTotalReadConstant || inputBaudRate != outputBaudRate || inputBaudRate <= 0)
        return;
    readTotalConstant = AbstractSerialEngine::autoReadTotalConstant(
        inputBaudRate, dataBitsValue, parityValue, stopBitsValue, charIntervalValue);
}

void NetworkSerialEnginePrivate::createNotifier()
{
    notifier = new NetworkSerialNotifier(q, this);
}

void NetworkSerialEnginePrivate::releaseNotifier()
{
    delete notifier;
    notifier = nullptr;
}

quint16 NetworkSerialEnginePrivate::nativeLineStatus() const
{
    if (link != Link::Up)
        return AbstractSerial::LineError;
    if (mode == Mode::Raw)
        return 0;
    static const struct
    {
        quint8 bit;
        int flag;
    } map[] = {{0x80, AbstractSerial::LineDCD},
               {0x40, AbstractSerial::LineRI},
               {0x20, AbstractSerial::LineDSR},
               {0x10, AbstractSerial::LineCTS}};
    quint16 word = 0;
    for (const auto &entry : map) {
        if (modemState & entry.bit)
            word |= quint16(entry.flag);
    }
    if (dtrWanted == 1)
        word |= AbstractSerial::LineDTR;
    if (rtsWanted == 1)
        word |= AbstractSerial::LineRTS;
    return word;
}

qint64 NetworkSerialEnginePrivate::nativeBytesAvailable()
{
    if (link != Link::Up)
        return -1;
    pump();
    return link == Link::Up ? received.size() : -1;
}

qint64 NetworkSerialEnginePrivate::nativeRead(char *data, qint64 len)
{
    if (link != Link::Up)
        return -1;
    pump();
    const int wait = std::min(std::max(readTotalConstant, 0), transferWaitMsecs);
    if (received.size() < len && wait > 0)
        waitUntil([&] { return received.size() >= len; }, wait);
    const qint64 got = std::min<qint64>(len, received.size());
    if (got > 0) {
        std::memcpy(data, received.constData(), size_t(got));
        received.remove(0, qsizetype(got));
    }
    return got > 0 ? got : (link == Link::Up ? 0 : -1);
}

qint64 NetworkSerialEnginePrivate::nativeWrite(const char *data, qint64 len)
{
    if (link != Link::Up)
        return -1;
    // A server that stopped reading must not make us buffer without end.
    constexpr qint64 backlog = 64 * 1024;
    if (socket->bytesToWrite() > backlog && !socket->waitForBytesWritten(transferWaitMsecs)) {
        trace(QStringLiteral("the server takes no more data. Error! "));
        return -1;
    }
    send(mode == Mode::Raw ? QByteArray(data, qsizetype(len)) : TelnetCodec::escape(data, len));
    return link == Link::Up ? len : -1;
}

int NetworkSerialEnginePrivate::nativeSelect(int msecs, bool checkRead, bool checkWrite,
                                             bool *readyToRead, bool *readyToWrite)
{
    if (link != Link::Up)
        return -1;
    pump();
    // The socket takes every write at once.
    *readyToWrite = checkWrite;
    if (checkRead && !checkWrite)
        waitUntil([this] { return !received.isEmpty(); }, std::max(msecs, 0));
    *readyToRead = checkRead && !received.isEmpty();
    if (link != Link::Up)
        return -1;
    return (*readyToRead || *readyToWrite) ? 1 : 0;
}

bool NetworkSerialEnginePrivate::nativeFlush()
{
    if (link != Link::Up)
        return false;
    QElapsedTimer clock;
    clock.start();
    while (socket->bytesToWrite() > 0) {
        const qint64 left = transferWaitMsecs - clock.elapsed();
        if (left <= 0 || !socket->waitForBytesWritten(int(left))) {
            trace(QStringLiteral("output did not drain. Error! "));
            return false;
        }
    }
    return link == Link::Up;
}

template class NativeSerialEngineBase<NetworkSerialEnginePrivate>;
