#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

class StationCore;

// Tells systemd how the station is (sd_notify(3)): READY=1 once it has started, a one-line
// STATUS= as it changes, WATCHDOG=1 from the poll path and STOPPING=1 at the end. Outside a
// service (no NOTIFY_SOCKET), or built without libsystemd, it tells nothing.
//
// The watchdog is pinged by the end of every poll cycle, and by the link's heartbeat (its
// one-second tick between cycles, a search step, a try to open a missing port) once a quarter of
// the interval has passed without a ping. No timer of its own pings: a station whose poll cycle
// or event loop hangs falls silent and is restarted.
class ServiceNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ServiceNotifier)

public:
    explicit ServiceNotifier(const StationCore &station, QObject *parent = nullptr);

    void ready();
    void stopping();
    // "polling 3 devices, answers 98 %, recording"
    QString statusText() const;

private:
    void ping();
    void heartbeat();
    void updateStatus();
    void notify(const QByteArray &state);

    const StationCore &station;
    quint64 watchdogUsec = 0;
    QElapsedTimer sincePing;
    QString shownStatus;
    bool isReady = false;
};
