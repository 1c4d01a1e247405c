#include "publisherlabel.h"

#include "stationpublisher.h"

#include <QStatusBar>

PublisherLabel::PublisherLabel(const StationPublisher &stationPublisher, QStatusBar *statusBar)
    : QLabel(statusBar)
    , publisher(stationPublisher)
    , bar(statusBar)
{
    bar->addPermanentWidget(this);
    connect(&publisher, &StationPublisher::stateChanged, this, &PublisherLabel::showState);
    connect(&publisher, &StationPublisher::message, bar,
            [this](const QString &text) { bar->showMessage(text); });
}

void PublisherLabel::showState()
{
    const MqttClient *client = publisher.client();
    const MqttClient::State state = client->state();
    const bool up = state == MqttClient::Connected;
    if (up && bar->currentMessage().startsWith(QLatin1String("MQTT: ")))
        bar->clearMessage();
    setText(up                                    ? tr("MQTT: связь с брокером")
            : state == MqttClient::WaitingToRetry ? tr("MQTT: нет связи с брокером")
                                                  : tr("MQTT: подключение…"));
    setStyleSheet(up ? QString() : QStringLiteral("QLabel { color : rgb(200, 0, 0); }"));
    const PublisherConfig &config = publisher.config();
    QString tip = tr("Брокер %1, порт %2, станция %3\nВ очереди: %4, потеряно: %5")
                      .arg(config.client.host)
                      .arg(config.client.port)
                      .arg(config.station)
                      .arg(client->queued())
                      .arg(client->dropped());
    if (!up && !client->errorString().isEmpty())
        tip += QLatin1Char('\n') + client->errorString();
    setToolTip(tip);
}
