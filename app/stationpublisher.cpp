#include "stationpublisher.h"

#include "settings.h"
#include "velunor.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QStatusBar>
#include <QTextStream>

namespace {
QString channelName(int channel)
{
    return QStringLiteral("T%1").arg(channel);
}

QString floatText(float value)
{
    QString text;
    QTextStream(&text) << value;
    return text;
}
} // namespace

StationPublisher::StationPublisher(Velunor &station, const QString &configPath)
    : m_station(station)
    , m_config(PublisherConfig::read(configPath))
{
    if (!m_config.enabled)
        return;
    for (const QString &warning : std::as_const(m_config.warnings))
        warn(warning);
    if (m_config.passwordExposed) {
        qWarning("Grelvix.conf holds a password and users other than its owner can read it");
        station.statusBar()->showMessage(
            tr("Grelvix.conf с паролем доступен другим пользователям: chmod 600 Grelvix.conf"));
    }

    m_client = std::make_unique<MqttClient>(m_config.client);
    m_label = new QLabel(station.statusBar());
    station.statusBar()->addPermanentWidget(m_label);
    connect(m_client.get(), &MqttClient::stateChanged, this, &StationPublisher::showState);
    connect(m_client.get(), &MqttClient::errorOccurred, this, [this](const QString &error) {
        m_station.statusBar()->showMessage(QStringLiteral("MQTT: ") + error);
        showState();
    });
    connect(&station, &Velunor::pollCycleFinished, this, &StationPublisher::publishReadings);
    connect(&station, &Velunor::alarmsEvaluated, this, &StationPublisher::publishAlarmEdges);
    connect(&station, &Velunor::alarmReset, this, &StationPublisher::publishAlarmReset);
    showState();
    m_client->start();
}

StationPublisher::~StationPublisher()
{
    if (m_client)
        m_client->close();
    delete m_label;
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

void StationPublisher::publishReadings()
{
    const qint64 time = QDateTime::currentSecsSinceEpoch();
    const int channels = 2 * qBound(0, m_station.DeviceCount, int(Velunor::ShownDevices));
    for (int n = 0; n < channels; ++n) {
        const ChannelSettings &channel = m_station.SettingsWindow->Channel[n];
        publishJson(channelName(n),
                    {{QStringLiteral("time"), time},
                     {QStringLiteral("value"), readingValue(m_station.LoggedValue(n))},
                     {QStringLiteral("name"), channel.ChannelName},
                     {QStringLiteral("alarm"), channel.AlarmState != 0}});
    }
    showState();
}

void StationPublisher::publishAlarm(int channel, const QString &state)
{
    publishJson(QStringLiteral("alarm"),
                {{QStringLiteral("time"), QDateTime::currentSecsSinceEpoch()},
                 {QStringLiteral("channel"), channelName(channel)},
                 {QStringLiteral("name"), m_station.SettingsWindow->Channel[channel].ChannelName},
                 {QStringLiteral("value"), readingValue(floatText(AcceptedTemp[channel]))},
                 {QStringLiteral("state"), state}});
}

void StationPublisher::publishAlarmEdges()
{
    for (int n = 0; n < Station::ChannelCount; ++n) {
        const bool alarm = m_station.SettingsWindow->Channel[n].AlarmState != 0;
        if (alarm != m_alarm[n])
            publishAlarm(n, alarm ? QStringLiteral("on") : QStringLiteral("off"));
        m_alarm[n] = alarm;
    }
}

void StationPublisher::publishAlarmReset()
{
    for (int n = 0; n < Station::ChannelCount; ++n)
        if (m_alarm[n])
            publishAlarm(n, QStringLiteral("reset"));
}

void StationPublisher::warn(const QString &message)
{
    qWarning().noquote() << message;
    m_station.statusBar()->showMessage(message);
}

void StationPublisher::showState()
{
    if (!m_label)
        return;
    const MqttClient::State state = m_client->state();
    const bool up = state == MqttClient::Connected;
    QStatusBar *bar = m_station.statusBar();
    if (up && bar->currentMessage().startsWith(QLatin1String("MQTT: ")))
        bar->clearMessage();
    m_label->setText(up ? tr("MQTT: связь с брокером")
                     : state == MqttClient::WaitingToRetry ? tr("MQTT: нет связи с брокером")
                                                           : tr("MQTT: подключение…"));
    m_label->setStyleSheet(up ? QString() : QStringLiteral("QLabel { color : rgb(200, 0, 0); }"));
    QString tip = tr("Брокер %1, порт %2, станция %3\nВ очереди: %4, потеряно: %5")
                      .arg(m_config.client.host)
                      .arg(m_config.client.port)
                      .arg(m_config.station)
                      .arg(m_client->queued())
                      .arg(m_client->dropped());
    if (!up && !m_client->errorString().isEmpty())
        tip += QLatin1Char('\n') + m_client->errorString();
    m_label->setToolTip(tip);
}
