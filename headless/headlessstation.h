#pragma once

#include "stationtimer.h"

#include <QObject>

#include <memory>

class ServiceNotifier;
class StationCore;
class StationPublisher;
class StatusReporter;

// The station without a window, in the current directory: the core started from Monitor.ini,
// publishing as Grelvix.conf says, its status bar and alarms as log lines, and systemd told
// how it is. A port missing at start is tried again until it comes.
class HeadlessStation final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HeadlessStation)

public:
    // The end when there is no Monitor.ini to start from: sysexits' EX_CONFIG. The service does
    // not restart on it, since nothing would change.
    static constexpr int NoConfiguration = 78;

    explicit HeadlessStation(StationTimer::Mode timers = StationTimer::Mode::Running,
                             QObject *parent = nullptr);
    ~HeadlessStation() override;

    // 0 once running; NoConfiguration, with nothing written, when Monitor.ini is missing or
    // unreadable. `record` starts recording as a press of the record button would.
    int start(bool record);
    // An orderly end: systemd told, Monitor.ini and the state file saved, the broker told.
    void finish();

private:
    std::unique_ptr<StationCore> core;
    StatusReporter *reporter;
    ServiceNotifier *notifier;
#if GRELVIX_HAVE_MQTT
    std::unique_ptr<StationPublisher> publisher;
#endif
};
