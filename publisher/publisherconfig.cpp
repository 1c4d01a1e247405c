#include "publisherconfig.h"

#include "station.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QSysInfo>

namespace {
// At least a day of readings of every channel at the fastest poll period (1 s), with room for
// the alarms of that day; the byte limit only matters for very long channel names.
constexpr qsizetype queuedMessages = qsizetype(24 * 3600 * Station::ChannelCount) * 11 / 10;
constexpr qsizetype queuedBytes = qsizetype(256) << 20;

class Reader
{
public:
    explicit Reader(const QString &path)
        : settings(path, QSettings::IniFormat)
    {
        settings.beginGroup(QStringLiteral("mqtt"));
    }

    // A value with a comma comes back from QSettings as a list.
    QString text(const char *key, const QString &fallback = QString()) const
    {
        const QVariant value = settings.value(QLatin1String(key));
        if (!value.isValid())
            return fallback;
        return value.typeId() == QMetaType::QStringList
                   ? value.toStringList().join(QLatin1Char(','))
                   : value.toString();
    }

    int number(const char *key, int fallback, int low, int high, QStringList &warnings) const
    {
        const QString given = text(key);
        if (given.isEmpty())
            return fallback;
        bool ok = false;
        const int value = given.toInt(&ok);
        if (ok && value >= low && value <= high)
            return value;
        warnings << QStringLiteral("Grelvix.conf: %1 = %2 is not %3 to %4, using %5")
                        .arg(QLatin1String(key), given)
                        .arg(low)
                        .arg(high)
                        .arg(fallback);
        return fallback;
    }

private:
    QSettings settings;
};

// Wildcards cannot be published to; a station name is one topic level.
QString topicSafe(QString text, const char *key, bool oneLevel, QStringList &warnings)
{
    const QString before = text;
    text.replace(QLatin1Char('+'), QLatin1Char('_')).replace(QLatin1Char('#'), QLatin1Char('_'));
    if (oneLevel)
        text.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (text != before)
        warnings << QStringLiteral("Grelvix.conf: %1 \"%2\" cannot be used in topics, using \"%3\"")
                        .arg(QLatin1String(key), before, text);
    return text;
}
} // namespace

PublisherConfig PublisherConfig::read(const QString &path)
{
    PublisherConfig config;
    const QFileInfo file(path);
    if (!file.exists())
        return config;
    const Reader in(path);
    MqttOptions &client = config.client;
    client.host = in.text("host").trimmed();
    config.enabled = !client.host.isEmpty();
    if (!config.enabled)
        return config;

    const QDir beside = file.absoluteDir();
    const auto filePath = [&](const char *key) {
        const QString name = in.text(key);
        return name.isEmpty() ? name : beside.absoluteFilePath(name);
    };
    client.tls = {filePath("caFile"), filePath("certFile"), filePath("keyFile")};
    const int defaultPort = client.tls.caFile.isEmpty() ? 1883 : 8883;
    client.port = quint16(in.number("port", defaultPort, 1, 65535, config.warnings));
    config.qos = in.number("qos", 1, 0, 1, config.warnings);

    QString station = in.text("station", QSysInfo::machineHostName());
    if (station.isEmpty())
        station = QStringLiteral("station");
    config.station = topicSafe(station, "station", true, config.warnings);
    config.prefix = topicSafe(in.text("prefix", config.prefix), "prefix", false, config.warnings);
    client.clientId = in.text("clientId", QStringLiteral("grelvix-") + config.station);
    client.user = in.text("user");
    client.password = in.text("password");
    if (!client.password.isEmpty()) {
        if (client.user.isEmpty())
            config.warnings << QStringLiteral(
                "Grelvix.conf: a password without a user is not sent");
        config.passwordExposed =
            file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther);
    }

    client.presenceTopic = config.topic(QStringLiteral("status"));
    client.lossTopic = config.topic(QStringLiteral("dropped"));
    client.maxQueuedMessages = queuedMessages;
    client.maxQueuedBytes = queuedBytes;
    return config;
}

QByteArray PublisherConfig::topic(const QString &leaf) const
{
    QString topic = station + QLatin1Char('/') + leaf;
    if (!prefix.isEmpty())
        topic = prefix + QLatin1Char('/') + topic;
    return topic.toUtf8();
}
