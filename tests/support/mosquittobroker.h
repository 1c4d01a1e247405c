#pragma once

// Debian's Mosquitto for a test: a broker of its own on a free loopback port, configured by a
// file in a scratch directory; and a subscriber that misses nothing while the broker is away.

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

struct mosquitto;

class MosquittoBroker
{
public:
    struct Options
    {
        QString user; // when set, only this user with this password may connect
        QString password;
        QString tlsName; // when set, the listener speaks TLS with a certificate for this name
    };

    explicit MosquittoBroker(const Options &options = {});
    ~MosquittoBroker();

    // Starts on the same port each time; false, with a warning, if it does not listen within
    // 10 s.
    bool start();
    // An orderly stop: retained messages and persistent sessions are saved for the next start.
    void stop();
    quint16 port() const { return m_port; }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    // The CA that signed the TLS listener's certificate.
    QString caFile() const { return filePath(QStringLiteral("ca.crt")); }

private:
    bool run(const QStringList &command);
    bool makeCertificates(const QString &name);

    Options m_options;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};

// Subscribes with a persistent session at QoS 1 on libmosquitto's own thread, and reconnects
// on its own after the broker restarts.
class BrokerSubscriber
{
public:
    struct Message
    {
        QByteArray topic;
        QByteArray payload;
        bool retained = false;
    };

    BrokerSubscriber(quint16 port, const QByteArray &filter);
    ~BrokerSubscriber();

    bool isSubscribed() const;
    QList<Message> messages() const;
    QList<QByteArray> payloads(const QByteArray &topic) const;

private:
    static void onConnect(mosquitto *, void *self, int rc);
    static void onSubscribe(mosquitto *, void *self, int, int, const int *);
    static void onMessage(mosquitto *, void *self, const struct mosquitto_message *message);

    QByteArray m_filter;
    mosquitto *m_mosq = nullptr;
    mutable QMutex m_mutex;
    bool m_subscribed = false;
    QList<Message> m_messages;
};
