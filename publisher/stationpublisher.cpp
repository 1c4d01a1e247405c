#include "stationpublisher.h"

#include "logrecorder.h"
#include "stationcore.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
QString channelName(int channel)
{
    return QStringLiteral("T%1").arg(channel);
}
} // namespace

StationPublisher::StationPublisher(const StationCore &station, const QString &configPath)
    : m_station(station)
    , m_config(PublisherConfig::read(configPath))
{
    if (!m_config.enabled)
        return;
    m_client = std::make_unique<MqttClient>(m_config.client);
    connect(m_client.get(), &MqttClient::stateChanged, this, &StationPublisher::stateChanged);
    connect(m_client.get(), &MqttClient::errorOccurred, this, [this](const QString &error) {
        emit message(QStringLiteral("MQTT: ") + error);
        emit stateChanged();
    });
    connect(&station, &StationCore::pollCycleFinished, this, &StationPublisher::publishReadings);
    const AlarmMonitor &alarms = station.alarms();
    connect(&alarms, &AlarmMonitor::alarmChanged, this, [this](int n, bool on, float value) {
        m_alarm[n] = on;
        publishAlarm(n, on ? QStringLiteral("on") : QStringLiteral("off"), value);
    });
    connect(&alarms, &AlarmMonitor::alarmReset, this, [this](const QList<int> &inAlarm) {
        for (int n : inAlarm)
            publishAlarm(n, QStringLiteral("reset"), m_station.alarms().acceptedValue(n));
    });
    connect(&station.journal(), &AlarmJournal::recorded, this,
            [this](const QString &, const JournalEntry &entry) { publishEvent(entry); });
}

StationPublisher::~StationPublisher()
{
    if (m_client)
        m_client->close();
}

void StationPublisher::start()
{
    if (!m_client)
        return;
    for (const QString &warning : std::as_const(m_config.warnings)) {
        qWarning().noquote() << warning;
        emit message(warning);
    }
    if (m_config.passwordExposed) {
        qWarning("Grelvix.conf holds a password and users other than its owner can read it");
        emit message(
            tr("Grelvix.conf с паролем доступен другим пользователям: chmod 600 Grelvix.conf"));
    }
    emit stateChanged();
    m_client->start();
}

QJsonValue StationPublisher::readingValue(const QString &logged)
{
    bool ok = false;
    const double value = logged.toDouble(&ok);
    return ok && Station::isValidTemperature(value) ? QJsonValue(value) : QJsonValue();
}

void StationPublisher::publishJson(const QString &leaf, const QJsonObject &object)
{
    m_client->publish(m_config.topic(leaf), QJsonDocument(object).toJson(QJsonDocument::Compact),
                      m_config.qos);
}

void StationPublisher::publishReadings(const QList<float> &values)
{
    const qint64 time = QDateTime::currentSecsSinceEpoch();
    for (int n = 0; n < values.size(); ++n) {
        publishJson(channelName(n),
                    {{QStringLiteral("time"), time},
                     {QStringLiteral("value"), readingValue(LogRecorder::LoggedValue(values[n]))},
                     {QStringLiteral("name"), m_station.alarms().channel(n).ChannelName},
                     {QStringLiteral("alarm"), m_alarm[n]}});
    }
    emit stateChanged();
}

void StationPublisher::publishEvent(const JournalEntry &entry)
{
    const bool link = entry.event == QLatin1String(JournalEntry::LinkLost) ||
                      entry.event == QLatin1String(JournalEntry::LinkBack);
    const bool port = entry.event == QLatin1String(JournalEntry::PortLost) ||
                      entry.event == QLatin1String(JournalEntry::PortBack);
    if (!link && !port)
        return;
    QJsonObject object{{QStringLiteral("time"), qint64(entry.time)},
                       {QStringLiteral("event"), entry.event},
                       {QStringLiteral("details"), entry.details}};
    if (link)
        object.insert(QStringLiteral("address"), entry.source.toInt());
    else
        object.insert(QStringLiteral("port"), entry.source);
    publishJson(QStringLiteral("event"), object);
}

void StationPublisher::publishAlarm(int channel, const QString &state, float value)
{
    publishJson(QStringLiteral("alarm"),
                {{QStringLiteral("time"), QDateTime::currentSecsSinceEpoch()},
                 {QStringLiteral("channel"), channelName(channel)},
                 {QStringLiteral("name"), m_station.alarms().channel(channel).ChannelName},
                 {QStringLiteral("value"), readingValue(LogRecorder::LoggedValue(value))},
                 {QStringLiteral("state"), state}});
}
