#pragma once

#include "messagequeue.h"
#include "tlscontext.h"

#include <QLoggingCategory>
#include <QObject>
#include <QTimer>

#include <memory>
#include <set>
#include <unordered_map>

Q_DECLARE_LOGGING_CATEGORY(lcMqtt)

struct mosquitto;
class QHostInfo;
class QSocketNotifier;

struct MqttOptions
{
    QString host;
    quint16 port = 1883;
    QString clientId;
    QString user;
    QString password;
    TlsContext::Files tls; // TLS when tls.caFile is set
    int keepAliveSeconds = 30;
    // Presence: the online payload is published retained on every connect; the offline one is
    // left with the broker as the will and published by close().
    QByteArray presenceTopic;
    QByteArray onlinePayload = "online";
    QByteArray offlinePayload = "offline";
    // Where the count of messages dropped from a full queue goes on reconnect; empty: nowhere.
    QByteArray lossTopic;
    qsizetype maxQueuedMessages = 100000;
    qsizetype maxQueuedBytes = 64 << 20;
};

// An MQTT 3.1.1 publisher over libmosquitto, driven by the Qt event loop of its thread: the
// socket is watched by notifiers (for writing only while output is pending), keep-alive runs on
// a one-second timer, and nothing ever waits on the network. The host name is looked up with
// QHostInfo and the connection goes to the address, since libmosquitto would look it up with a
// blocking call; "localhost" and its subdomains are the loopback addresses without a look-up.
// Every message goes through a bounded queue and leaves it only when the broker has
// acknowledged it (QoS 1) or it was written (QoS 0); whatever a lost connection left
// unacknowledged is sent again, in order, on the next one. Each connection is a fresh
// libmosquitto instance with a clean session, so the queue is the only place messages wait.
// Failed attempts are retried after 1 s, doubling up to 60 s.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    enum State { Idle, Resolving, Connecting, Connected, WaitingToRetry, Closed };
    Q_ENUM(State)

    explicit MqttClient(const MqttOptions &options, QObject *parent = nullptr);
    // Drops the connection without a word: the broker publishes the will.
    ~MqttClient() override;

    void start();
    // Queues a message for sending; false if it cannot be queued at all.
    bool publish(const QByteArray &topic, const QByteArray &payload, int qos = 1);
    // An orderly end: publishes the offline presence and disconnects, waiting at most waitMs
    // (blocking) for the broker to take it and whatever is still queued.
    void close(int waitMs = 2000);

    State state() const { return m_state; }
    // The last failure, for people; empty while connected.
    QString errorString() const { return m_error; }
    int connectAttempts() const { return m_attempts; }
    // Before the next attempt after a failure, in ms.
    int retryDelay() const { return m_retryDelay; }
    qsizetype queued() const { return m_queue.size(); }
    quint64 dropped() const { return m_queue.dropped(); }
    quint64 delivered() const { return m_delivered; }

signals:
    void stateChanged(MqttClient::State state);
    // A failure to reach or to stay with the broker, once per new kind of failure.
    void errorOccurred(const QString &message);

private:
    static void onConnect(mosquitto *, void *self, int rc);
    static void onDisconnect(mosquitto *, void *self, int rc);
    static void onPublish(mosquitto *, void *self, int mid);
    static void onLog(mosquitto *, void *self, int level, const char *text);

    void hostFound(const QHostInfo &info);
    void connectTo(const QString &address);
    bool prepareInstance();
    void connected(int rc);
    void acknowledged(int mid);
    void afterLoop(int rc);
    void pump();
    void publishLossReport();
    void watchWrites();
    void dropConnection(const QString &reason);
    void teardown();
    void fail(const QString &reason);
    void setState(State state);
    int publishNow(const QByteArray &topic, const QByteArray &payload, int qos, bool retain);

    MqttOptions m_options;
    MessageQueue m_queue;
    State m_state = Idle;
    QString m_error;
    int m_lookupId = -1;
    int m_attempts = 0;
    int m_retryDelay = 1000;

    mosquitto *m_mosq = nullptr;
    std::unique_ptr<TlsContext> m_tls;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer m_miscTimer;
    QTimer m_retryTimer;
    QTimer m_connectTimeout;
    // Set by libmosquitto's callbacks; acted on once the library call has returned.
    QString m_lostReason;

    quint64 m_sent = 0;                          // next sequence number to hand to the library
    std::unordered_map<int, quint64> m_inflight; // message id -> sequence number
    std::set<quint64> m_acked;                   // acknowledged, but behind an older one
    quint64 m_delivered = 0;
    quint64 m_lossReported = 0;
    quint64 m_lossInFlight = 0;
    int m_lossMid = 0;
};
