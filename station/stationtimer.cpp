#include "stationtimer.h"

StationTimer::StationTimer(const QString &name, Mode timerMode, QObject *parent)
    : QObject(parent)
    , mode(timerMode)
{
    setObjectName(name);
    connect(&timer, &QTimer::timeout, this, &StationTimer::timeout);
}

void StationTimer::start(int milliseconds)
{
    period = milliseconds;
    active = true;
    if (mode == Mode::Running)
        timer.start(milliseconds);
}

void StationTimer::stop()
{
    active = false;
    timer.stop();
}
