#pragma once

#include "mqttclient.h"

#include <QString>
#include <QStringList>

// Publishing to the plant's MQTT broker as Grelvix.conf sets it up: QSettings INI, group
// [mqtt], beside Monitor.ini. Off while the file names no host. The station only reads it.
struct PublisherConfig
{
    bool enabled = false;
    MqttOptions client;
    QString prefix = QStringLiteral("grelvix");
    QString station;
    int qos = 1;
    // What was wrong in the file, for people; never a password.
    QStringList warnings;
    // The file holds a password and users other than its owner may read it.
    bool passwordExposed = false;

    static PublisherConfig read(const QString &path);
    // "<prefix>/<station>/<leaf>"
    QByteArray topic(const QString &leaf) const;
};
