#include "ser2netserver.h"

#include <QFile>
#include <QTcpServer>
#include <QTest>

namespace {
quint16 freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}
} // namespace

Ser2NetServer::Ser2NetServer(const QString &devicePath, Mode mode, bool charDelay)
    : m_mode(mode)
    , m_port(freePort())
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    const QString accepter =
        mode == Mode::Rfc2217 ? QStringLiteral("telnet(rfc2217),tcp") : QStringLiteral("tcp");
    // kickolduser: a reconnection after a lost link must not find the line still taken.
    const QString config =
        QStringLiteral("connection: &line\n"
                       "  accepter: %1,127.0.0.1,%2\n"
                       "  connector: serialdev,%3,9600n81,local\n"
                       "  options:\n"
                       "    kickolduser: true\n"
                       "    chardelay: %4\n")
            .arg(accepter)
            .arg(m_port)
            .arg(devicePath, charDelay ? QStringLiteral("true") : QStringLiteral("false"));
    QFile file(m_dir.filePath(QStringLiteral("ser2net.yaml")));
    if (file.open(QIODevice::WriteOnly))
        file.write(config.toUtf8());
}

Ser2NetServer::~Ser2NetServer()
{
    kill();
}

QString Ser2NetServer::lineName() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(m_mode == Mode::Rfc2217 ? QStringLiteral("rfc2217") : QStringLiteral("tcp"))
        .arg(m_port);
}

bool Ser2NetServer::start()
{
    if (m_port == 0 || isRunning())
        return false;
    m_process.start(QStringLiteral("ser2net"),
                    {QStringLiteral("-n"), QStringLiteral("-c"),
                     m_dir.filePath(QStringLiteral("ser2net.yaml")), QStringLiteral("-P"),
                     m_dir.filePath(QStringLiteral("ser2net.pid"))});
    if (!m_process.waitForStarted(10000))
        return false;
    return QTest::qWaitFor([this] { return !isRunning() || isListening(m_port); }, 10000) &&
           isRunning();
}

void Ser2NetServer::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
    m_output += m_process.readAll();
}

QString Ser2NetServer::output()
{
    m_output += m_process.readAll();
    return QString::fromLocal8Bit(m_output);
}

bool Ser2NetServer::isListening(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return false;
    // "sl local_address rem_address st ...": 127.0.0.1 is 0100007F, state 0A is LISTEN.
    const QByteArray local =
        "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields.at(1) == local && fields.at(3) == "0A")
            return true;
    }
    return false;
}
