#pragma once

#include "publisherconfig.h"
#include "station.h"

#include <QJsonValue>
#include <QObject>
#include <QPointer>

#include <memory>

class QLabel;
class Velunor;

// Publishes the station to the plant's MQTT broker, as Grelvix.conf beside Monitor.ini sets it
// up: the readings of every completed poll cycle, every alarm edge and the station's presence.
// Does nothing at all while the file names no broker. Its state shows in the status bar.
class StationPublisher : public QObject
{
    Q_OBJECT

public:
    explicit StationPublisher(Velunor &station,
                              const QString &configPath = QStringLiteral("Grelvix.conf"));
    // An orderly end: the presence goes "offline", waiting briefly for the broker to take it.
    ~StationPublisher() override;

    bool isEnabled() const { return m_client != nullptr; }
    const PublisherConfig &config() const { return m_config; }
    MqttClient *client() const { return m_client.get(); }

    // A reading as the plant sees it: the logged text as a number; no reading is null.
    static QJsonValue readingValue(const QString &logged);

private:
    void publishReadings();
    void publishAlarmEdges();
    void publishAlarmReset();
    void publishAlarm(int channel, const QString &state);
    void publishJson(const QString &leaf, const QJsonObject &object);
    void warn(const QString &message);
    void showState();

    Velunor &m_station;
    PublisherConfig m_config;
    std::unique_ptr<MqttClient> m_client;
    QPointer<QLabel> m_label;
    bool m_alarm[Station::ChannelCount] = {};
};
