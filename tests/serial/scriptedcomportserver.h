#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QThread>

class QTcpServer;
class QTcpSocket;

// A device server scripted by a test, for what ser2net never does: answers of its own choosing,
// garbage, silence. It runs on a thread of its own, since a setting waits for its answer
// without an event loop. Each connection gets the greeting; COM-PORT commands are recorded
// (code, then value) and answered with the value they carried, an ask with 9600 8N1 and no
// flow control.
class ScriptedComPortServer
{
public:
    explicit ScriptedComPortServer(const QByteArray &greeting);
    ~ScriptedComPortServer();
    ScriptedComPortServer(const ScriptedComPortServer &) = delete;
    ScriptedComPortServer &operator=(const ScriptedComPortServer &) = delete;

    // The greeting of a server that agrees to everything a client asks.
    static QByteArray agreeingGreeting();

    quint16 port() const { return m_port; }
    QString lineName(const char *scheme) const;
    // Sent to the current connection.
    void send(const QByteArray &bytes);
    // The next command with this code is answered with `answer` instead; empty: not at all.
    void answerNext(int command, const QByteArray &answer);
    QByteArrayList commands() const;
    // Every byte the current connection brought.
    QByteArray received() const;
    // Milliseconds from the server's start to each connection.
    QList<qint64> connectionTimes() const;

private:
    void take(const QByteArray &bytes);
    QByteArray answerTo(const QByteArray &command);

    QThread m_thread;
    QObject *m_context = nullptr; // lives on m_thread, as do the sockets
    QTcpServer *m_listener = nullptr;
    QTcpSocket *m_client = nullptr;
    quint16 m_port = 0;
    QByteArray m_greeting;
    mutable QMutex m_mutex;
    QHash<int, QByteArray> m_nextAnswers;
    QByteArray m_received;
    qsizetype m_parsed = 0;
    QByteArrayList m_commands;
    QList<qint64> m_connectionTimes;
};
