#include "servicenotifier.h"

#include "stationcore.h"

#if GRELVIX_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

ServiceNotifier::ServiceNotifier(const StationCore &core, QObject *parent)
    : QObject(parent)
    , station(core)
{
#if GRELVIX_HAVE_SYSTEMD
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        watchdogUsec = usec;
#endif
    const DeviceLink &link = station.link();
    connect(&link, &DeviceLink::cycleFinished, this, &ServiceNotifier::ping);
    connect(&link, &DeviceLink::heartbeat, this, &ServiceNotifier::heartbeat);
    connect(&link, &DeviceLink::cycleFinished, this, &ServiceNotifier::updateStatus);
    connect(&link, &DeviceLink::searchStarted, this, &ServiceNotifier::updateStatus);
    connect(&link, &DeviceLink::searchFinished, this, &ServiceNotifier::updateStatus);
    connect(&link, &DeviceLink::portStateChanged, this, &ServiceNotifier::updateStatus);
    connect(&link, &DeviceLink::devicesChanged, this, &ServiceNotifier::updateStatus);
    connect(&link, &DeviceLink::openFailed, this, &ServiceNotifier::updateStatus);
    connect(&station.recorder(), &LogRecorder::recordingChanged, this,
            &ServiceNotifier::updateStatus);
}

void ServiceNotifier::ready()
{
    isReady = true;
    shownStatus = statusText();
    sincePing.start();
    notify("READY=1\nSTATUS=" + shownStatus.toUtf8());
}

void ServiceNotifier::stopping()
{
    isReady = false;
    notify("STOPPING=1\nSTATUS=stopping");
}

QString ServiceNotifier::statusText() const
{
    const DeviceLink &link = station.link();
    const int devices = link.deviceCount();
    QString text;
    if (link.isReopening())
        text = QStringLiteral("waiting for port %1").arg(link.portName());
    else if (!link.isOpen())
        text = QStringLiteral("port closed");
    else if (link.isSearching())
        text = QStringLiteral("searching the bus");
    else if (devices == 0)
        text = QStringLiteral("port %1 open, no devices").arg(link.portName());
    else {
        const int rate = link.health().answerRate();
        text = QStringLiteral("polling %1 device%2, answers %3")
                   .arg(devices)
                   .arg(devices == 1 ? QString() : QStringLiteral("s"))
                   .arg(rate < 0 ? QStringLiteral("—") : QStringLiteral("%1 %").arg(rate));
    }
    if (station.recorder().isRecording())
        return text + QStringLiteral(", recording");
    if (station.recordingWanted())
        return text + QStringLiteral(", to record once polling");
    return text + QStringLiteral(", not recording");
}

void ServiceNotifier::ping()
{
    if (!isReady || watchdogUsec == 0)
        return;
    sincePing.start();
    notify("WATCHDOG=1");
}

void ServiceNotifier::heartbeat()
{
    if (sincePing.isValid() && quint64(sincePing.nsecsElapsed() / 1000) >= watchdogUsec / 4)
        ping();
}

void ServiceNotifier::updateStatus()
{
    if (!isReady)
        return;
    const QString text = statusText();
    if (text == shownStatus)
        return;
    shownStatus = text;
    notify("STATUS=" + text.toUtf8());
}

void ServiceNotifier::notify([[maybe_unused]] const QByteArray &state)
{
#if GRELVIX_HAVE_SYSTEMD
    sd_notify(0, state.constData());
#endif
}
