#include "scriptedcomportserver.h"

#include "network/telnetcodec.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

namespace {
QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}
} // namespace

ScriptedComPortServer::ScriptedComPortServer(const QByteArray &greeting)
    : m_context(new QObject)
    , m_greeting(greeting)
{
    m_context->moveToThread(&m_thread);
    m_thread.start();
    QMetaObject::invokeMethod(
        m_context,
        [this] {
            m_listener = new QTcpServer(m_context);
            m_listener->listen(QHostAddress::LocalHost, 0);
            m_port = m_listener->serverPort();
            auto *clock = new QElapsedTimer;
            clock->start();
            QObject::connect(m_listener, &QObject::destroyed, [clock] { delete clock; });
            QObject::connect(m_listener, &QTcpServer::newConnection, m_context, [this, clock] {
                while (QTcpSocket *socket = m_listener->nextPendingConnection()) {
                    delete m_client;
                    m_client = socket;
                    {
                        QMutexLocker lock(&m_mutex);
                        m_connectionTimes << clock->elapsed();
                        m_received.clear();
                        m_parsed = 0;
                    }
                    QObject::connect(socket, &QTcpSocket::readyRead, m_context,
                                     [this, socket] { take(socket->readAll()); });
                    socket->write(m_greeting);
                }
            });
        },
        Qt::BlockingQueuedConnection);
}

ScriptedComPortServer::~ScriptedComPortServer()
{
    QMetaObject::invokeMethod(
        m_context, [this] { delete m_context; }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

QByteArray ScriptedComPortServer::agreeingGreeting()
{
    return hex("fffd2c fffd00 fffb00 fffd03 fffb03");
}

QString ScriptedComPortServer::lineName(const char *scheme) const
{
    return QStringLiteral("%1://127.0.0.1:%2").arg(QLatin1String(scheme)).arg(m_port);
}

void ScriptedComPortServer::send(const QByteArray &bytes)
{
    QMetaObject::invokeMethod(
        m_context,
        [this, bytes] {
            if (m_client)
                m_client->write(bytes);
        },
        Qt::BlockingQueuedConnection);
}

void ScriptedComPortServer::answerNext(int command, const QByteArray &answer)
{
    QMutexLocker lock(&m_mutex);
    m_nextAnswers.insert(command, answer);
}

QByteArrayList ScriptedComPortServer::commands() const
{
    QMutexLocker lock(&m_mutex);
    return m_commands;
}

QByteArray ScriptedComPortServer::received() const
{
    QMutexLocker lock(&m_mutex);
    return m_received;
}

QList<qint64> ScriptedComPortServer::connectionTimes() const
{
    QMutexLocker lock(&m_mutex);
    return m_connectionTimes;
}

// Runs on the server's thread.
void ScriptedComPortServer::take(const QByteArray &bytes)
{
    QByteArray reply;
    {
        QMutexLocker lock(&m_mutex);
        m_received += bytes;
        for (;;) {
            const qsizetype begin = m_received.indexOf(hex("fffa2c"), m_parsed);
            const qsizetype end = begin < 0 ? -1 : m_received.indexOf(hex("fff0"), begin + 3);
            if (end < 0)
                break;
            const QByteArray command =
                m_received.mid(begin + 3, end - begin - 3).replace(hex("ffff"), hex("ff"));
            m_parsed = end + 2;
            if (command.isEmpty())
                continue;
            m_commands << command;
            const QByteArray answer = answerTo(command);
            if (!answer.isEmpty())
                reply += TelnetCodec::comPortCommand(quint8(command.at(0) + 100), answer);
        }
    }
    if (m_client && !reply.isEmpty())
        m_client->write(reply);
}

// Called with the mutex held.
QByteArray ScriptedComPortServer::answerTo(const QByteArray &command)
{
    const int code = quint8(command.at(0));
    if (m_nextAnswers.contains(code))
        return m_nextAnswers.take(code);
    const QByteArray value = command.mid(1);
    if (value.count('\0') < value.size())
        return value;
    // An ask: the line as a fresh device server has it.
    switch (code) {
    case TelnetCodec::SetBaudRate:
        return hex("00002580");
    case TelnetCodec::SetDataSize:
        return hex("08");
    case TelnetCodec::SetParity:
    case TelnetCodec::SetStopSize:
    case TelnetCodec::SetControl:
        return hex("01");
    default:
        return value;
    }
}
