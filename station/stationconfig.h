#pragma once

#include "channelsettings.h"
#include "station.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

// What Monitor.ini holds, in file order: one line of tab-terminated values.
struct StationConfig
{
    // The speeds the station offers, in the order the file stores their index.
    static constexpr int SpeedCount = 5;
    static constexpr int Speeds[SpeedCount] = {9600, 19200, 28800, 57600, 115200};
    // The device table has room for this many; a larger stored count is cut to it.
    static constexpr int MaxDevices = 256;

    QString port = QStringLiteral("COM12");
    // Index into Speeds; -1 for none.
    int speedIndex = 0;
    QString directory;
    int pollInterval = 5;
    QList<quint8> devices;
    // Name, thresholds and enable of each channel; the alarm states are not stored.
    std::array<ChannelSettings, Station::ChannelCount> channels;
    QString soundFile;

    // The speed's text as the port takes it: "9600"; empty for none.
    static QString speedText(int index);

    // A file's content, decoded as a Windows station's or ours. Every value is applied in file
    // order, a missing one as empty text or 0, as the station always read it. `whole` tells
    // whether saving it back would write what was read: nothing missing, left over, a word where
    // a number belongs, or out of range.
    static StationConfig parse(const QByteArray &content, bool *whole = nullptr);
    // The file's content, in the system's encoding.
    QByteArray format() const;
};
