#include "networkserialengine.h"
#include "networkserialengine_p.h"
#include "networkserialnotifier.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

Q_LOGGING_CATEGORY(lcNetworkSerial, "grelvix.serial.network")

namespace {
// Line state bits that are line errors: break, framing, parity, overrun.
constexpr quint8 lineErrorMask = 0x1E;
// Modem state bits lineStatus() reports: DCD, RI, DSR, CTS.
constexpr quint8 modemLineMask = 0xF0;

const quint8 settingCommand[] = {TelnetCodec::SetBaudRate, TelnetCodec::SetDataSize,
                                 TelnetCodec::SetParity, TelnetCodec::SetStopSize,
                                 TelnetCodec::SetControl};
const int settingSize[] = {4, 1, 1, 1, 1};

QByteArray byteValue(int value)
{
    return QByteArray(1, char(value));
}

// Answers to SET-CONTROL share one code; the value tells which control they are about.
int answerKey(quint8 command, const QByteArray &value)
{
    if (command != TelnetCodec::SetControl)
        return command;
    const int v = value.isEmpty() ? 0 : quint8(value.at(0));
    if (v <= 3 || v == 17 || v == 19)
        return 100; // outbound flow control
    if (v <= 6)
        return 101; // break
    if (v <= 9)
        return 102; // DTR
    if (v <= 12)
        return 103; // RTS
    return 104;     // inbound flow control
}

// RFC 6761: such names are loopback, and a minimal system has no hosts file to say so.
bool isLocalhost(QString host)
{
    if (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    return host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0 ||
           host.endsWith(QLatin1String(".localhost"), Qt::CaseInsensitive);
}
} // namespace

NetworkSerialEnginePrivate::NetworkSerialEnginePrivate(NetworkSerialEngine *engine)
    : q(engine)
    , socket(std::make_unique<QTcpSocket>())
    , retryTimer(std::make_unique<QTimer>())
    , connectTimer(std::make_unique<QTimer>())
{
    retryTimer->setSingleShot(true);
    connectTimer->setSingleShot(true);
}

NetworkSerialEnginePrivate::~NetworkSerialEnginePrivate()
{
    socket->disconnect();
    socket->abort();
}

// Not in the constructor: the engine, the context of these connections, is not built yet.
void NetworkSerialEnginePrivate::init()
{
    QTcpSocket *s = socket.get();
    QObject::connect(s, &QTcpSocket::connected, q, [this] { onConnected(); });
    QObject::connect(s, &QTcpSocket::readyRead, q, [this] { onReadyRead(); });
    QObject::connect(s, &QTcpSocket::disconnected, q,
                     [this] { linkLost(QStringLiteral("the server closed the connection")); });
    QObject::connect(s, &QAbstractSocket::errorOccurred, q, [this](QAbstractSocket::SocketError e) {
        // A wait of ours that timed out is no fault of the connection.
        if (e != QAbstractSocket::SocketTimeoutError)
            linkLost(socket->errorString());
    });
    QObject::connect(retryTimer.get(), &QTimer::timeout, q, [this] {
        if (link == Link::Waiting)
            connectNow();
    });
    QObject::connect(connectTimer.get(), &QTimer::timeout, q, [this] {
        if (link == Link::Connecting)
            linkLost(QStringLiteral("no connection within %1 s").arg(connectTimeoutMsecs / 1000));
    });
}

void NetworkSerialEnginePrivate::trace(const QString &text) const
{
    qCDebug(lcNetworkSerial).noquote().nospace() << "Network: " << deviceName << ": " << text;
}

bool NetworkSerialEnginePrivate::nativeOpen(const QIODevice::OpenMode &)
{
    if (!parseName(deviceName, &mode, &host, &port)) {
        trace(QStringLiteral("not a line name: rfc2217://HOST:PORT or tcp://HOST:PORT. Error! "));
        return false;
    }
    inputBaudRate = outputBaudRate = 9600;
    dataBitsValue = AbstractSerial::DataBits8;
    parityValue = AbstractSerial::ParityNone;
    stopBitsValue = AbstractSerial::StopBits1;
    flowValue = AbstractSerial::FlowControlOff;
    std::fill(std::begin(chosen), std::end(chosen), false);
    dtrWanted = rtsWanted = -1;
    autoTotalReadConstant = false;
    readTotalConstant = 0;
    retryMsecs = firstRetryMsecs;
    error.clear();
    connectNow();
    return true;
}

bool NetworkSerialEnginePrivate::nativeClose()
{
    link = Link::Closed;
    retryTimer->stop();
    connectTimer->stop();
    socket->abort();
    received.clear();
    return true;
}

void NetworkSerialEnginePrivate::connectNow()
{
    ++attempt;
    socket->abort();
    codec.reset();
    received.clear();
    pending.clear();
    answers.clear();
    settingsSent = false;
    modemState = 0;
    link = Link::Connecting;
    connectTimer->start(connectTimeoutMsecs);
    if (isLocalhost(host))
        socket->connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    else
        socket->connectToHost(host, port); // looked up without blocking
}

void NetworkSerialEnginePrivate::onConnected()
{
    if (link != Link::Connecting)
        return;
    // Frames are small and wanted at once; a dead link must end the connection, so that the
    // line is reopened instead of waiting on a peer that is gone.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    const int fd = int(socket->socketDescriptor());
    const int idleSecs = 5;
    const int intervalSecs = 2;
    const int probes = 3;
    const unsigned int unackedMsecs = 15000;
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idleSecs, sizeof idleSecs);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &intervalSecs, sizeof intervalSecs);
    setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &unackedMsecs, sizeof unackedMsecs);
#endif
    if (mode == Mode::Raw)
        becomeUp();
    else
        send(codec.start());
}

void NetworkSerialEnginePrivate::onReadyRead()
{
    if (pump() && notifier)
        notifier->dataArrived(waitDepth > 0);
}

// Takes what the socket holds; true when line bytes were added to `received`.
bool NetworkSerialEnginePrivate::pump()
{
    if (link != Link::Connecting && link != Link::Up)
        return false;
    const QByteArray bytes = socket->readAll();
    if (bytes.isEmpty())
        return false;
    QByteArray data;
    if (mode == Mode::Raw) {
        data = bytes;
    } else {
        TelnetCodec::Output out;
        codec.receive(bytes.constData(), bytes.size(), &out);
        if (!out.reply.isEmpty())
            send(out.reply);
        for (const TelnetCodec::Message &message : std::as_const(out.messages))
            handleMessage(message);
        if (codec.error() != TelnetCodec::Error::None) {
            linkLost(QStringLiteral("protocol error: %1").arg(codec.errorText()));
            return false;
        }
        if (link == Link::Connecting)
            advanceNegotiation();
        data = out.data;
    }
    // Before the line is up the bytes are the server's greeting, not the line's.
    if (link != Link::Up || data.isEmpty())
        return false;
    received += data;
    if (received.size() > receiveLimit) {
        trace(QStringLiteral("nobody reads; received bytes dropped. Error! "));
        received.truncate(receiveLimit);
    }
    return true;
}

void NetworkSerialEnginePrivate::handleMessage(const TelnetCodec::Message &message)
{
    const quint8 code = quint8(message.code - TelnetCodec::serverOffset);
    const quint8 first = message.value.isEmpty() ? 0 : quint8(message.value.at(0));
    switch (code) {
    case TelnetCodec::NotifyLineState:
        if ((first & lineErrorMask) && notifier)
            notifier->lineError();
        return;
    case TelnetCodec::NotifyModemState: {
        const bool changed = (first ^ modemState) & modemLineMask;
        modemState = first;
        if (changed)
            tellLines();
        return;
    }
    case TelnetCodec::Signature:
        trace(QStringLiteral("the server is %1").arg(QString::fromLatin1(message.value)));
        return;
    case TelnetCodec::FlowControlSuspend:
    case TelnetCodec::FlowControlResume:
        trace(QStringLiteral("the server asks to suspend or resume sending; not heeded"));
        return;
    default:
        break;
    }
    const int key = answerKey(code, message.value);
    answers[key] = message.value;
    int &count = pending[key];
    if (count > 0)
        --count;
    if (link != Link::Connecting || count > 0)
        return;
    for (int s = 0; s < SettingCount; ++s) {
        if (key == answerKey(settingCommand[s], byteValue(1)))
            takeConnectAnswer(Setting(s), message.value);
    }
}

// What the server applied at connection is the line's setting from now on.
void NetworkSerialEnginePrivate::takeConnectAnswer(Setting setting, const QByteArray &applied)
{
    if (chosen[setting] && applied != settingValue(setting))
        trace(QStringLiteral("the server applied %1 instead of %2 (command %3). Error! ")
                  .arg(QString::fromLatin1(applied.toHex()),
                       QString::fromLatin1(settingValue(setting).toHex()))
                  .arg(settingCommand[setting]));
    takeSetting(setting, applied);
}

void NetworkSerialEnginePrivate::advanceNegotiation()
{
    if (codec.binaryRefused()) {
        linkLost(QStringLiteral("the server refuses binary transmission, which RTU frames need"));
        return;
    }
    const TelnetCodec::State comPort = codec.local(TelnetCodec::ComPort);
    if (comPort == TelnetCodec::State::Yes && !settingsSent)
        sendLineState();
    if (!codec.binaryBothWays() || comPort == TelnetCodec::State::Asked)
        return;
    if (comPort != TelnetCodec::State::Yes) {
        trace(QStringLiteral("the server refuses COM-PORT-OPTION; the line keeps its settings"));
        becomeUp();
        return;
    }
    for (int s = 0; s < SettingCount; ++s) {
        if (pending.value(answerKey(settingCommand[s], byteValue(1))) > 0)
            return;
    }
    becomeUp();
}

// Everything the line had, told again at every connection: the device server may have been
// restarted with other settings. Settings the caller never chose are asked for instead.
void NetworkSerialEnginePrivate::sendLineState()
{
    settingsSent = true;
    QByteArray out;
    const auto queue = [&](quint8 code, const QByteArray &value, bool answered) {
        if (answered)
            ++pending[answerKey(code, value)];
        out += TelnetCodec::comPortCommand(code, value);
    };
    if (dtrWanted >= 0)
        queue(TelnetCodec::SetControl, byteValue(dtrWanted ? 8 : 9), true);
    if (rtsWanted >= 0)
        queue(TelnetCodec::SetControl, byteValue(rtsWanted ? 11 : 12), true);
    // Servers answer the masks with the states themselves, not with an echo.
    queue(TelnetCodec::SetLineStateMask, byteValue(lineErrorMask), false);
    queue(TelnetCodec::SetModemStateMask, byteValue(modemLineMask), false);
    for (int s = 0; s < SettingCount; ++s) {
        const QByteArray value =
            chosen[s] ? settingValue(Setting(s)) : QByteArray(settingSize[s], '\0');
        queue(settingCommand[s], value, true);
    }
    send(out);
}

void NetworkSerialEnginePrivate::becomeUp()
{
    link = Link::Up;
    connectTimer->stop();
    retryMsecs = firstRetryMsecs;
    trace(QStringLiteral("connected to %1 port %2").arg(host).arg(port));
    tellLines();
}

void NetworkSerialEnginePrivate::linkLost(const QString &why)
{
    if (link != Link::Connecting && link != Link::Up)
        return;
    const bool wasUp = link == Link::Up;
    link = Link::Waiting;
    error = why;
    connectTimer->stop();
    received.clear();
    pending.clear();
    answers.clear();
    modemState = 0;
    // Not from inside the socket's own signal or wait; a newer attempt keeps its socket.
    const quint64 lost = attempt;
    QMetaObject::invokeMethod(
        q,
        [this, lost] {
            if (attempt == lost && link == Link::Waiting)
                socket->abort();
        },
        Qt::QueuedConnection);
    trace(QStringLiteral("%1; trying again in %2 s. ").arg(why).arg(retryMsecs / 1000));
    retryTimer->start(retryMsecs);
    retryMsecs = std::min(retryMsecs * 2, lastRetryMsecs);
    if (wasUp)
        tellLines();
}

void NetworkSerialEnginePrivate::tellLines()
{
    if (notifier)
        notifier->linesChanged();
}

void NetworkSerialEnginePrivate::send(const QByteArray &bytes)
{
    socket->write(bytes);
    socket->flush();
}

bool NetworkSerialEnginePrivate::waitUntil(const std::function<bool()> &done, int msecs)
{
    QElapsedTimer clock;
    clock.start();
    ++waitDepth;
    while (!done() && link == Link::Up) {
        const qint64 left = msecs - clock.elapsed();
        if (left <= 0)
            break;
        const bool ready = socket->waitForReadyRead(int(left));
        pump();
        if (!ready) {
            if (socket->state() != QAbstractSocket::ConnectedState)
                linkLost(socket->errorString());
            break;
        }
    }
    --waitDepth;
    return done();
}

// RFC 2217's value for a setting, from the rate or the AbstractSerial enum value.
QByteArray NetworkSerialEnginePrivate::encode(Setting setting, int value)
{
    switch (setting) {
    case Baud: {
        char bytes[4];
        qToBigEndian(quint32(std::max(value, 0)), bytes);
        return QByteArray(bytes, 4);
    }
    case DataSize:
        return byteValue(5 + value);
    case ParityValue:
        return byteValue(1 + value);
    case StopSize: // the enum orders them 1, 1.5, 2
        return byteValue(value == AbstractSerial::StopBits1_5 ? 3
                         : value == AbstractSerial::StopBits2 ? 2
                                                              : 1);
    case Flow:
        return byteValue(value == AbstractSerial::FlowControlHardware  ? 3
                         : value == AbstractSerial::FlowControlXonXoff ? 2
                                                                       : 1);
    case SettingCount:
        break;
    }
    return QByteArray();
}

QByteArray NetworkSerialEnginePrivate::settingValue(Setting setting) const
{
    const int values[] = {outputBaudRate, dataBitsValue, parityValue, stopBitsValue, flowValue};
    return encode(setting, values[setting]);
}

void NetworkSerialEnginePrivate::takeSetting(Setting setting, const QByteArray &applied)
{
    const int v = applied.isEmpty() ? 0 : quint8(applied.at(0));
    switch (setting) {
    case Baud:
        if (applied.size() == 4 && qFromBigEndian<quint32>(applied.constData()) > 0)
            inputBaudRate = outputBaudRate = int(qFromBigEndian<quint32>(applied.constData()));
        break;
    case DataSize:
        dataBitsValue =
            v >= 5 && v <= 8 ? AbstractSerial::DataBits(v - 5) : AbstractSerial::DataBitsUndefined;
        break;
    case ParityValue:
        parityValue =
            v >= 1 && v <= 5 ? AbstractSerial::Parity(v - 1) : AbstractSerial::ParityUndefined;
        break;
    case StopSize:
        stopBitsValue = v == 1   ? AbstractSerial::StopBits1
                        : v == 2 ? AbstractSerial::StopBits2
                        : v == 3 ? AbstractSerial::StopBits1_5
                                 : AbstractSerial::StopBitsUndefined;
        break;
    case Flow:
        flowValue = v == 1   ? AbstractSerial::FlowControlOff
                    : v == 2 ? AbstractSerial::FlowControlXonXoff
                    : v == 3 ? AbstractSerial::FlowControlHardware
                             : AbstractSerial::FlowControlUndefined;
        break;
    case SettingCount:
        break;
    }
    updateAutoReadConstant();
}

bool NetworkSerialEnginePrivate::rawSetting()
{
    if (!rawNoteGiven) {
        rawNoteGiven = true;
        trace(QStringLiteral("raw TCP: the device server's own line settings apply; settings "
                             "made here are only kept here"));
    }
    return true;
}

// Sends a COM-PORT command and waits for the server's answer: the value it applied, or
// nothing when no answer came in time.
std::optional<QByteArray> NetworkSerialEnginePrivate::command(quint8 code, const QByteArray &value)
{
    const int key = answerKey(code, value);
    answers.remove(key);
    pending[key] = 1;
    send(TelnetCodec::comPortCommand(code, value));
    waitUntil([&] { return pending.value(key) == 0; }, answerWaitMsecs);
    if (pending.value(key) != 0 || !answers.contains(key)) {
        pending.remove(key);
        return std::nullopt;
    }
    return answers.value(key);
}

// A change of the line. While the connection is down it is kept and told at the next one;
// while up, the server's answer decides, and a different value is taken back as a driver that
// refuses a setting leaves the old one.
bool NetworkSerialEnginePrivate::apply(quint8 code, const QByteArray &value,
                                       const QByteArray &previous)
{
    if (mode == Mode::Raw)
        return rawSetting();
    if (link != Link::Up) {
        // A connection in negotiation was told the old value already.
        if (link == Link::Connecting && settingsSent) {
            ++pending[answerKey(code, value)];
            send(TelnetCodec::comPortCommand(code, value));
        }
        return true;
    }
    if (codec.local(TelnetCodec::ComPort) != TelnetCodec::State::Yes) {
        trace(QStringLiteral("the server refuses COM-PORT-OPTION; command %1 not sent. Error! ")
                  .arg(code));
        return false;
    }
    const std::optional<QByteArray> applied = command(code, value);
    if (!applied) {
        trace(QStringLiteral("no answer to command %1 within %2 ms. Error! ")
                  .arg(code)
                  .arg(answerWaitMsecs));
        return false;
    }
    if (*applied != value) {
        trace(QStringLiteral("the server applied %1 instead of %2 (command %3). Error! ")
                  .arg(QString::fromLatin1(applied->toHex()), QString::fromLatin1(value.toHex()))
                  .arg(code));
        if (!previous.isEmpty())
            command(code, previous);
        return false;
    }
    return true;
}

bool NetworkSerialEnginePrivate::setSetting(Setting setting, int value)
{
    if (!apply(settingCommand[setting], encode(setting, value), settingValue(setting)))
        return false;
    chosen[setting] = true;
    return true;
}

bool NetworkSerialEnginePrivate::nativeSetBaudRate(int baudRate,
                                                   AbstractSerial::BaudDirection direction)
{
    if (direction != AbstractSerial::BaudBoth || baudRate <= 0)
        return false;
    if (!setSetting(Baud, baudRate))
        return false;
    inputBaudRate = outputBaudRate = baudRate;
    updateAutoReadConstant();
    return true;
}

bool NetworkSerialEnginePrivate::nativeSetDataBits(AbstractSerial::DataBits dataBits)
{
    if (!AbstractSerialEngine::acceptsDataBits(dataBits, stopBitsValue)) {
        trace(QStringLiteral("refused: data bits %1 with stop bits %2")
                  .arg(int(dataBits))
                  .arg(int(stopBitsValue)));
        return false;
    }
    if (!setSetting(DataSize, dataBits))
        return false;
    dataBitsValue = dataBits;
    updateAutoReadConstant();
    return true;
}

bool NetworkSerialEnginePrivate::nativeSetParity(AbstractSerial::Parity parity)
{
    if (parity < AbstractSerial::ParityNone || parity > AbstractSerial::ParitySpace) {
        trace(QStringLiteral("parity %1 is not supported. Error! ").arg(int(parity)));
        return false;
    }
    if (!setSetting(ParityValue, parity))
        return false;
    parityValue = parity;
    updateAutoReadConstant();
    return true;
}

bool NetworkSerialEnginePrivate::nativeSetStopBits(AbstractSerial::StopBits stopBits)
{
    if (!AbstractSerialEngine::acceptsStopBits(stopBits, dataBitsValue)) {
        trace(QStringLiteral("refused: stop bits %1 with data bits %2")
                  .arg(int(stopBits))
                  .arg(int(dataBitsValue)));
        return false;
    }
    if (!setSetting(StopSize, stopBits))
        return false;
    stopBitsValue = stopBits;
    updateAutoReadConstant();
    return true;
}

bool NetworkSerialEnginePrivate::nativeSetFlowControl(AbstractSerial::Flow flow)
{
    if (flow != AbstractSerial::FlowControlOff && flow != AbstractSerial::FlowControlXonXoff &&
        flow != AbstractSerial::FlowControlHardware) {
        trace(QStringLiteral("flow %1 is not supported. Error! ").arg(int(flow)));
        return false;
    }
    if (!setSetting(Flow, flow))
        return false;
    flowValue = flow;
    return true;
}

bool NetworkSerialEnginePrivate::nativeSetDtr(bool set)
{
    if (!apply(TelnetCodec::SetControl, byteValue(set ? 8 : 9), QByteArray()))
        return false;
    dtrWanted = set;
    return true;
}

bool NetworkSerialEnginePrivate::nativeSetRts(bool set)
{
    if (!apply(TelnetCodec::SetControl, byteValue(set ? 11 : 12), QByteArray()))
        return false;
    rtsWanted = set;
    return true;
}

bool NetworkSerialEnginePrivate::nativeSetBreak(bool set)
{
    if (link != Link::Up)
        return false;
    if (mode == Mode::Raw) {
        trace(QStringLiteral("raw TCP carries no break. Error! "));
        return false;
    }
    return apply(TelnetCodec::SetControl, byteValue(set ? 5 : 6), QByteArray());
}

bool NetworkSerialEnginePrivate::nativeSendBreak(int duration)
{
    if (!nativeSetBreak(true))
        return false;
    // Bytes arriving meanwhile are kept; the wait only ends early when the link goes.
    waitUntil([] { return false; }, std::max(duration, 0));
    return nativeSetBreak(false);
}

bool NetworkSerialEnginePrivate::nativeReset()
{
    received.clear();
    if (link != Link::Up)
        return false;
    if (mode == Mode::Raw || codec.local(TelnetCodec::ComPort) != TelnetCodec::State::Yes)
        return true;
    const QByteArray both = byteValue(3);
    const std::optional<QByteArray> answer = command(TelnetCodec::PurgeData, both);
    if (!answer || *answer != both) {
        trace(QStringLiteral("the server did not purge its buffers. Error! "));
        return false;
    }
    return true;
}
