#include "mqttclient.h"
#include "loopbackname.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QHostInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>

#include <mosquitto.h>

Q_LOGGING_CATEGORY(lcMqtt, "grelvix.mqtt", QtInfoMsg)

namespace {
constexpr int firstRetryMs = 1000;
constexpr int lastRetryMs = 60000;
constexpr int connectTimeoutMs = 20000;
// Messages handed to the library and not yet acknowledged.
constexpr int window = 64;

struct Library
{
    Library() { mosquitto_lib_init(); }
    ~Library() { mosquitto_lib_cleanup(); }
};

void useLibrary()
{
    static Library library;
}

QString errorText(int rc)
{
    return QString::fromUtf8(mosquitto_strerror(rc));
}
} // namespace

MqttClient::MqttClient(const MqttOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_queue(options.maxQueuedMessages, options.maxQueuedBytes)
{
    useLibrary();
    m_miscTimer.setInterval(1000);
    connect(&m_miscTimer, &QTimer::timeout, this, [this] {
        if (m_mosq)
            afterLoop(mosquitto_loop_misc(m_mosq));
    });
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &MqttClient::start);
    m_connectTimeout.setSingleShot(true);
    m_connectTimeout.setInterval(connectTimeoutMs);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        dropConnection(
            QStringLiteral("no answer from the broker within %1 s").arg(connectTimeoutMs / 1000));
    });
}

MqttClient::~MqttClient()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    teardown();
}

void MqttClient::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void MqttClient::start()
{
    if (m_state == Closed || m_state == Connecting || m_state == Connected ||
        m_options.host.isEmpty())
        return;
    setState(Resolving);
    if (isLoopbackName(m_options.host)) {
        // A root without /etc/hosts would ask DNS, which may not know localhost at all.
        QHostInfo loopback;
        loopback.setAddresses(
            {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)});
        hostFound(loopback);
        return;
    }
    m_lookupId = QHostInfo::lookupHost(m_options.host, this, &MqttClient::hostFound);
}

void MqttClient::hostFound(const QHostInfo &info)
{
    m_lookupId = -1;
    if (m_state != Resolving)
        return;
    const QList<QHostAddress> addresses = info.addresses();
    if (info.error() != QHostInfo::NoError || addresses.isEmpty()) {
        fail(QStringLiteral("cannot find broker host %1: %2")
                 .arg(m_options.host, info.errorString()));
        return;
    }
    // A host with several addresses is tried at each in turn.
    connectTo(addresses.at(m_attempts % addresses.size()).toString());
}

bool MqttClient::prepareInstance()
{
    const QByteArray id = m_options.clientId.toUtf8();
    m_mosq = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    if (!m_mosq) {
        fail(QStringLiteral("cannot create an MQTT client: %1").arg(errorText(MOSQ_ERR_ERRNO)));
        return false;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_int_option(m_mosq, MOSQ_OPT_SEND_MAXIMUM, window);
    mosquitto_connect_callback_set(m_mosq, onConnect);
    mosquitto_disconnect_callback_set(m_mosq, onDisconnect);
    mosquitto_publish_callback_set(m_mosq, onPublish);
    if (lcMqtt().isDebugEnabled())
        mosquitto_log_callback_set(m_mosq, onLog);
    const QByteArray &offline = m_options.offlinePayload;
    if (!m_options.presenceTopic.isEmpty())
        mosquitto_will_set(m_mosq, m_options.presenceTopic.constData(), int(offline.size()),
                           offline.constData(), 1, true);
    if (!m_options.user.isEmpty()) {
        const QByteArray user = m_options.user.toUtf8();
        const QByteArray password = m_options.password.toUtf8();
        mosquitto_username_pw_set(m_mosq, user.constData(),
                                  m_options.password.isEmpty() ? nullptr : password.constData());
    }
    if (m_options.tls.caFile.isEmpty())
        return true;
    m_tls = std::make_unique<TlsContext>(m_options.tls, m_options.host);
    if (!m_tls->isValid()) {
        fail(m_tls->errorString());
        return false;
    }
    // Only our context's checks apply: the library would compare the certificate with the
    // address it is given instead of the host.
    mosquitto_int_option(m_mosq, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0);
    mosquitto_void_option(m_mosq, MOSQ_OPT_SSL_CTX, m_tls->handle());
    return true;
}

void MqttClient::connectTo(const QString &address)
{
    ++m_attempts;
    if (!prepareInstance())
        return;
    qCDebug(lcMqtt).noquote() << "connecting to" << m_options.host << "at" << address << "port"
                              << m_options.port;
    const int rc = mosquitto_connect_async(m_mosq, address.toLatin1().constData(), m_options.port,
                                           m_options.keepAliveSeconds);
    const int fd = mosquitto_socket(m_mosq);
    if (rc != MOSQ_ERR_SUCCESS || fd < 0) {
        // On a fast loopback the whole handshake can happen in this call, and a certificate
        // refused here must be named as one refused later is.
        dropConnection(QStringLiteral("cannot connect to broker %1 port %2: %3")
                           .arg(m_options.host)
                           .arg(m_options.port)
                           .arg(rc == MOSQ_ERR_ERRNO ? qt_error_string(errno) : errorText(rc)));
        return;
    }
    m_readNotifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    m_writeNotifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Write, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this,
            [this] { afterLoop(mosquitto_loop_read(m_mosq, 1)); });
    connect(m_writeNotifier, &QSocketNotifier::activated, this,
            [this] { afterLoop(mosquitto_loop_write(m_mosq, 1)); });
    m_miscTimer.start();
    m_connectTimeout.start();
    setState(Connecting);
    watchWrites();
}

void MqttClient::onConnect(mosquitto *, void *self, int rc)
{
    static_cast<MqttClient *>(self)->connected(rc);
}

void MqttClient::onDisconnect(mosquitto *, void *self, int rc)
{
    auto *client = static_cast<MqttClient *>(self);
    if (client->m_lostReason.isEmpty())
        client->m_lostReason =
            QStringLiteral("connection to the broker lost: %1")
                .arg(rc == MOSQ_ERR_ERRNO ? qt_error_string(errno) : errorText(rc));
}

void MqttClient::onPublish(mosquitto *, void *self, int mid)
{
    static_cast<MqttClient *>(self)->acknowledged(mid);
}

void MqttClient::onLog(mosquitto *, void *, int, const char *text)
{
    qCDebug(lcMqtt, "libmosquitto: %s", text);
}

void MqttClient::connected(int rc)
{
    if (rc != 0) {
        m_lostReason = QStringLiteral("broker %1 refused the connection: %2")
                           .arg(m_options.host, QString::fromUtf8(mosquitto_connack_string(rc)));
        return;
    }
    m_connectTimeout.stop();
    m_retryDelay = firstRetryMs;
    m_error.clear();
    m_inflight.clear();
    m_acked.clear();
    m_sent = m_queue.firstSeq();
    qCInfo(lcMqtt).noquote() << "connected to broker" << m_options.host << "port" << m_options.port;
    if (!m_options.presenceTopic.isEmpty())
        publishNow(m_options.presenceTopic, m_options.onlinePayload, 1, true);
    publishLossReport();
    setState(Connected);
}

void MqttClient::publishLossReport()
{
    const quint64 unreported = m_queue.dropped() - m_lossReported;
    if (m_options.lossTopic.isEmpty() || unreported == 0)
        return;
    const QJsonObject report{{QStringLiteral("time"), QDateTime::currentSecsSinceEpoch()},
                             {QStringLiteral("dropped"), qint64(unreported)}};
    m_lossMid = publishNow(m_options.lossTopic,
                           QJsonDocument(report).toJson(QJsonDocument::Compact), 1, false);
    m_lossInFlight = m_lossMid ? unreported : 0;
}

void MqttClient::acknowledged(int mid)
{
    if (mid != 0 && mid == m_lossMid) {
        m_lossReported += m_lossInFlight;
        m_lossMid = 0;
        return;
    }
    const auto found = m_inflight.find(mid);
    if (found == m_inflight.end())
        return;
    if (found->second >= m_queue.firstSeq())
        m_acked.insert(found->second);
    m_inflight.erase(found);
    while (!m_acked.empty() && *m_acked.begin() == m_queue.firstSeq()) {
        m_acked.erase(m_acked.begin());
        m_queue.popFront();
        ++m_delivered;
    }
}

int MqttClient::publishNow(const QByteArray &topic, const QByteArray &payload, int qos, bool retain)
{
    int mid = 0;
    const int rc = mosquitto_publish(m_mosq, &mid, topic.constData(), int(payload.size()),
                                     payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS && m_lostReason.isEmpty())
        m_lostReason = QStringLiteral("cannot publish: %1").arg(errorText(rc));
    return rc == MOSQ_ERR_SUCCESS ? mid : 0;
}

bool MqttClient::publish(const QByteArray &topic, const QByteArray &payload, int qos)
{
    if (!m_queue.push({topic, payload, qBound(0, qos, 1)}))
        return false;
    if (m_state == Connected) {
        pump();
        watchWrites();
    }
    return true;
}

void MqttClient::pump()
{
    m_sent = qMax(m_sent, m_queue.firstSeq());
    while (m_state == Connected && m_lostReason.isEmpty() && int(m_inflight.size()) < window &&
           m_sent < m_queue.endSeq()) {
        const MessageQueue::Message message = m_queue.at(m_sent);
        const int mid = publishNow(message.topic, message.payload, message.qos, false);
        if (mid == 0)
            return;
        m_inflight.emplace(mid, m_sent);
        ++m_sent;
    }
}

void MqttClient::afterLoop(int rc)
{
    if (!m_mosq)
        return;
    if (m_lostReason.isEmpty() && rc != MOSQ_ERR_SUCCESS &&
        !(rc == MOSQ_ERR_NO_CONN && m_state == Connecting))
        m_lostReason = QStringLiteral("connection to the broker lost: %1")
                           .arg(rc == MOSQ_ERR_ERRNO ? qt_error_string(errno) : errorText(rc));
    if (!m_lostReason.isEmpty()) {
        dropConnection(m_lostReason);
        return;
    }
    pump();
    watchWrites();
}

void MqttClient::watchWrites()
{
    if (m_writeNotifier)
        m_writeNotifier->setEnabled(m_mosq && mosquitto_want_write(m_mosq));
}

void MqttClient::teardown()
{
    // The library closes the socket; nothing may watch it any more by then.
    for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_readNotifier = m_writeNotifier = nullptr;
    m_miscTimer.stop();
    m_connectTimeout.stop();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
    m_mosq = nullptr;
    m_tls.reset();
    m_inflight.clear();
    m_acked.clear();
    m_lossMid = 0;
    m_lostReason.clear();
}

void MqttClient::dropConnection(const QString &reason)
{
    QString why = reason;
    if (m_tls && !m_tls->verifyFailure().isEmpty())
        why = QStringLiteral("certificate of broker %1 refused: %2")
                  .arg(m_options.host, m_tls->verifyFailure());
    teardown();
    fail(why);
}

void MqttClient::fail(const QString &reason)
{
    if (reason != m_error) {
        m_error = reason;
        qCWarning(lcMqtt).noquote() << reason << "- retrying in" << m_retryDelay / 1000 << "s";
        emit errorOccurred(reason);
    } else {
        qCDebug(lcMqtt).noquote() << reason;
    }
    teardown();
    setState(WaitingToRetry);
    m_retryTimer.start(m_retryDelay);
    m_retryDelay = qMin(2 * m_retryDelay, lastRetryMs);
}

void MqttClient::close(int waitMs)
{
    m_retryTimer.stop();
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    m_lookupId = -1;
    if (m_state == Connected && m_mosq) {
        for (QSocketNotifier *notifier : {m_readNotifier, m_writeNotifier})
            notifier->setEnabled(false);
        const QDeadlineTimer deadline(waitMs);
        while (!m_queue.isEmpty() && m_lostReason.isEmpty() && !deadline.hasExpired()) {
            pump();
            if (mosquitto_loop(m_mosq, 50, 1) != MOSQ_ERR_SUCCESS)
                break;
        }
        if (!m_options.presenceTopic.isEmpty())
            publishNow(m_options.presenceTopic, m_options.offlinePayload, 1, true);
        mosquitto_disconnect(m_mosq);
        while (mosquitto_socket(m_mosq) >= 0 && !deadline.hasExpired())
            if (mosquitto_loop(m_mosq, 50, 1) != MOSQ_ERR_SUCCESS)
                break;
    }
    if (!m_queue.isEmpty())
        qCWarning(lcMqtt) << m_queue.size() << "messages not delivered to the broker at the end";
    teardown();
    setState(Closed);
}
