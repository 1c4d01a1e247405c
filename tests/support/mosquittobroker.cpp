#include "mosquittobroker.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <mosquitto.h>

#include <pwd.h>
#include <unistd.h>

namespace {
quint16 freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

QString userName()
{
    const passwd *entry = getpwuid(geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QStringLiteral("root");
}
} // namespace

MosquittoBroker::MosquittoBroker(const Options &options)
    : m_options(options)
    , m_port(freePort())
{
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    QStringList config{
        QStringLiteral("listener %1 127.0.0.1").arg(m_port),
        // Run as root, Mosquitto would otherwise switch to its own user and lose the files.
        QStringLiteral("user %1").arg(userName()),
        QStringLiteral("persistence true"),
        QStringLiteral("persistence_location %1/").arg(m_dir.path()),
        QStringLiteral("max_queued_messages 100000"),
        QStringLiteral("log_dest file %1/mosquitto.log").arg(m_dir.path()),
    };
    if (m_options.user.isEmpty()) {
        config << QStringLiteral("allow_anonymous true");
    } else {
        const QString passwords = filePath(QStringLiteral("passwords"));
        run({QStringLiteral("mosquitto_passwd"), QStringLiteral("-c"), QStringLiteral("-b"),
             passwords, m_options.user, m_options.password});
        config << QStringLiteral("allow_anonymous false")
               << QStringLiteral("password_file %1").arg(passwords);
    }
    if (!m_options.tlsName.isEmpty() && makeCertificates(m_options.tlsName)) {
        config << QStringLiteral("cafile %1").arg(caFile())
               << QStringLiteral("certfile %1").arg(filePath(QStringLiteral("server.crt")))
               << QStringLiteral("keyfile %1").arg(filePath(QStringLiteral("server.key")));
    }
    QFile file(filePath(QStringLiteral("mosquitto.conf")));
    if (file.open(QIODevice::WriteOnly))
        file.write(config.join(QLatin1Char('\n')).toUtf8() + '\n');
}

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

bool MosquittoBroker::run(const QStringList &command)
{
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.first(), command.mid(1));
    const bool finished = process.waitForFinished(10000);
    const bool done =
        finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!done)
        qWarning().noquote() << command.first()
                             << (finished ? "failed:" : "did not finish within 10 s:")
                             << process.readAll();
    if (!finished) {
        process.kill();
        process.waitForFinished(1000);
    }
    return done;
}

bool MosquittoBroker::makeCertificates(const QString &name)
{
    const QString script = QStringLiteral(
        "key='-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2' && "
        "openssl req -x509 $key -keyout ca.key -out ca.crt -subj '/CN=Grelvix test CA' && "
        "openssl req $key -keyout server.key -out server.csr -subj \"/CN=$0\" "
        "-addext \"subjectAltName=DNS:$0\" && "
        "openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial "
        "-copy_extensions copyall -days 2 -out server.crt");
    return run({QStringLiteral("sh"), QStringLiteral("-c"), script, name});
}

bool MosquittoBroker::start()
{
    if (m_port == 0)
        return false;
    m_process.start(QStringLiteral("mosquitto"),
                    {QStringLiteral("-c"), filePath(QStringLiteral("mosquitto.conf"))});
    if (!m_process.waitForStarted(5000)) {
        qWarning().noquote() << "mosquitto did not start:" << m_process.errorString();
        return false;
    }
    const bool listening = QTest::qWaitFor(
        [this] {
            if (m_process.state() != QProcess::Running)
                return true;
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            return probe.waitForConnected(200);
        },
        10000);
    if (m_process.state() != QProcess::Running) {
        qWarning() << "mosquitto ended at its start with status" << m_process.exitCode();
        return false;
    }
    if (!listening)
        qWarning() << "mosquitto did not listen on port" << m_port << "within 10 s";
    return listening;
}

void MosquittoBroker::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (m_process.waitForFinished(5000))
        return;
    qWarning() << "mosquitto did not end within 5 s of SIGTERM: killed";
    m_process.kill();
    m_process.waitForFinished(5000);
}

BrokerSubscriber::BrokerSubscriber(quint16 port, const QByteArray &filter)
    : m_filter(filter)
{
    mosquitto_lib_init();
    static int count = 0;
    const QByteArray id =
        "test-subscriber-" + QByteArray::number(getpid()) + '-' + QByteArray::number(++count);
    m_mosq = mosquitto_new(id.constData(), false, this);
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(m_mosq, onConnect);
    mosquitto_subscribe_callback_set(m_mosq, onSubscribe);
    mosquitto_message_callback_set(m_mosq, onMessage);
    mosquitto_reconnect_delay_set(m_mosq, 1, 1, false);
    mosquitto_connect_async(m_mosq, "127.0.0.1", port, 10);
    mosquitto_loop_start(m_mosq);
}

BrokerSubscriber::~BrokerSubscriber()
{
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, true);
    mosquitto_destroy(m_mosq);
}

void BrokerSubscriber::onConnect(mosquitto *mosq, void *self, int rc)
{
    auto *subscriber = static_cast<BrokerSubscriber *>(self);
    if (rc == 0)
        mosquitto_subscribe(mosq, nullptr, subscriber->m_filter.constData(), 1);
}

void BrokerSubscriber::onSubscribe(mosquitto *, void *self, int, int, const int *)
{
    auto *subscriber = static_cast<BrokerSubscriber *>(self);
    QMutexLocker lock(&subscriber->m_mutex);
    subscriber->m_subscribed = true;
}

void BrokerSubscriber::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *subscriber = static_cast<BrokerSubscriber *>(self);
    QMutexLocker lock(&subscriber->m_mutex);
    subscriber->m_messages.append(
        {QByteArray(message->topic),
         QByteArray(static_cast<const char *>(message->payload), message->payloadlen),
         message->retain});
}

bool BrokerSubscriber::isSubscribed() const
{
    QMutexLocker lock(&m_mutex);
    return m_subscribed;
}

QList<BrokerSubscriber::Message> BrokerSubscriber::messages() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

QList<QByteArray> BrokerSubscriber::payloads(const QByteArray &topic) const
{
    QList<QByteArray> found;
    for (const Message &message : messages())
        if (message.topic == topic)
            found.append(message.payload);
    return found;
}
