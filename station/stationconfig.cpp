#include "stationconfig.h"

#include "configtokens.h"
#include "textcodecs.h"

#include <QTextStream>

QString StationConfig::speedText(int index)
{
    return index >= 0 && index < SpeedCount ? QString::number(Speeds[index]) : QString();
}

StationConfig StationConfig::parse(const QByteArray &content, bool *whole)
{
    StationConfig config;
    ConfigTokens in(decodeStationText(content));
    config.port = in.text();
    const int speed = in.integer();
    config.speedIndex = speed >= 0 && speed < SpeedCount ? speed : -1;
    config.directory = in.text();
    const int interval = in.integer();
    config.pollInterval = qBound(1, interval, 10);

    const int stored = in.integer();
    const int kept = qBound(0, stored, MaxDevices);
    if (kept != stored)
        qWarning("Monitor.ini: device count %d out of range, using %d", stored, kept);
    // Every stored address is consumed, kept or not, so the values after them stay in place.
    for (int i = 0; i < stored && !in.atEnd(); ++i) {
        const int address = in.integer();
        if (i < kept)
            config.devices << quint8(address);
    }
    // A table cut short still counts as many devices as the file says.
    while (config.devices.size() < kept)
        config.devices << 0;

    for (ChannelSettings &channel : config.channels) {
        channel.ChannelName = in.text();
        channel.UpperLimit = in.real();
        channel.LowerLimit = in.real();
        channel.ChannelEnabled = in.integer();
    }
    config.soundFile = in.text();

    if (whole) {
        *whole = in.intact() && in.atEnd() && kept == stored && config.speedIndex == speed &&
                 config.pollInterval == interval;
    }
    return config;
}

QByteArray StationConfig::format() const
{
    QByteArray bytes;
    QTextStream out(&bytes);
    out.setEncoding(QStringConverter::System);
    const QChar tab = QLatin1Char('\t');
    out << port << tab << speedIndex << tab << directory << tab << pollInterval << tab
        << devices.size() << tab;
    for (quint8 address : devices)
        out << int(address) << tab;
    for (const ChannelSettings &channel : channels) {
        out << channel.ChannelName << tab << channel.UpperLimit << tab << channel.LowerLimit << tab
            << channel.ChannelEnabled << tab;
    }
    out << soundFile << tab;
    out.flush();
    return bytes;
}
