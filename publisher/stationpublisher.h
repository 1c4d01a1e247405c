#pragma once

#include "journalentry.h"
#include "publisherconfig.h"
#include "station.h"

#include <QJsonValue>
#include <QList>
#include <QObject>

#include <memory>

class StationCore;

// Publishes the station to the plant's MQTT broker, as Grelvix.conf beside Monitor.ini sets it
// up: the readings of every completed poll cycle, every alarm edge, the link and port events of
// the journal and the station's presence.
// Does nothing at all while the file names no broker. It has no widgets: a window shows its
// state, a service logs it.
class StationPublisher final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StationPublisher)

public:
    explicit StationPublisher(const StationCore &station,
                              const QString &configPath = QStringLiteral("Grelvix.conf"));
    // An orderly end: the presence goes "offline", waiting briefly for the broker to take it.
    ~StationPublisher() override;

    bool isEnabled() const { return m_client != nullptr; }
    const PublisherConfig &config() const { return m_config; }
    MqttClient *client() const { return m_client.get(); }

    // A reading as the plant sees it: the logged text as a number; no reading is null.
    static QJsonValue readingValue(const QString &logged);

    // Says what the file holds that is wrong, once the listeners are connected.
    void start();

signals:
    // For the operator: a warning about Grelvix.conf, or the broker's error ("MQTT: ...").
    void message(const QString &text);
    // The link to the broker or its queue changed.
    void stateChanged();

private:
    void publishReadings(const QList<float> &values);
    void publishAlarm(int channel, const QString &state, float value);
    void publishEvent(const JournalEntry &entry);
    void publishJson(const QString &leaf, const QJsonObject &object);

    const StationCore &m_station;
    PublisherConfig m_config;
    std::unique_ptr<MqttClient> m_client;
    bool m_alarm[Station::ChannelCount] = {};
};
