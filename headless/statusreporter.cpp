#include "statusreporter.h"

#include "stationcore.h"

#include <cmath>

namespace {
QByteArray value(float celsius)
{
    return std::isnan(celsius) ? QByteArrayLiteral("no reading")
                               : LogRecorder::LoggedValue(celsius).toUtf8();
}
} // namespace

StatusReporter::StatusReporter(const StationCore &core, QObject *parent)
    : QObject(parent)
    , station(core)
{
    const DeviceLink &link = station.link();
    connect(&link, &DeviceLink::portStateChanged, this, &StatusReporter::portChanged);
    connect(&link, &DeviceLink::openFailed, this, &StatusReporter::portFailed);
    connect(&link, &DeviceLink::deviceFellSilent, this, &StatusReporter::deviceSilent);
    connect(&link, &DeviceLink::deviceAnswered, this, &StatusReporter::deviceAnswered);
    connect(&link, &DeviceLink::searchStarted, this, [this] { silent.clear(); });
    const LogRecorder &recorder = station.recorder();
    connect(&recorder, &LogRecorder::fileStarted, this, &StatusReporter::fileStarted);
    connect(&recorder, &LogRecorder::recordingChanged, this, [](bool recording) {
        if (!recording)
            qInfo("Recording stopped");
    });
    connect(&station.alarms(), &AlarmMonitor::alarmChanged, this, &StatusReporter::alarmChanged);
}

void StatusReporter::reportNoSound()
{
    const QString file = station.soundFile().trimmed();
    if (file.isEmpty())
        qInfo("No alarm sound without a window: alarms are logged as warnings");
    else
        qInfo("No alarm sound without a window (%s is not played): alarms are logged as warnings",
              qUtf8Printable(file));
}

void StatusReporter::portChanged(bool open)
{
    const DeviceLink &link = station.link();
    if (open)
        qInfo("Port %s open at %d bit/s, %d devices known", qUtf8Printable(link.portName()),
              link.speed(), link.deviceCount());
    else
        qInfo("Port %s closed", qUtf8Printable(link.portName()));
}

void StatusReporter::portFailed(const QString &name, const QString &reason)
{
    qCritical("Port %s cannot be opened (%s); trying again every second", qUtf8Printable(name),
              qUtf8Printable(reason));
}

void StatusReporter::deviceSilent(quint8 address)
{
    const DeviceLink &link = station.link();
    silent.insert(address);
    qWarning("Device %d does not answer: %d requests without an answer (port %s, %d bit/s)",
             address, LinkHealth::SilenceLimit, qUtf8Printable(link.portName()), link.speed());
}

void StatusReporter::deviceAnswered(quint8 address)
{
    if (silent.remove(address))
        qInfo("Device %d answers again", address);
}

void StatusReporter::fileStarted(const QString &path, bool forNewDevices)
{
    if (forNewDevices)
        qInfo("Recording into a new file for the devices found: %s", qUtf8Printable(path));
    else
        qInfo("Recording into %s", qUtf8Printable(path));
}

void StatusReporter::alarmChanged(int channel, bool inAlarm, float celsius)
{
    const ChannelSettings settings = station.alarms().channel(channel);
    if (inAlarm)
        qWarning("Alarm on T%d %s: %s, limits %s to %s", channel,
                 qUtf8Printable(settings.ChannelName), value(celsius).constData(),
                 value(settings.LowerLimit).constData(), value(settings.UpperLimit).constData());
    else
        qWarning("Alarm over on T%d %s: %s", channel, qUtf8Printable(settings.ChannelName),
                 value(celsius).constData());
}
