#pragma once

#include "devicesimulator.h"
#include "stationcore.h"

#include <QDateTime>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A night at a furnace hall, played on the simulated bus against a station whose journal keeps
// the night's own clock, from 21:58 to 07:10: the furnace (T2) goes into alarm and is reset while
// it lasts, a device falls silent, the USB adapter is pulled out and put back, the cold store
// (T3) alarms while the sound plays its passes out, the dryer (T5) is still in alarm at the
// morning reset. What the journal screenshot shows.
class NightShift
{
public:
    NightShift();
    NightShift(const NightShift &) = delete;
    NightShift &operator=(const NightShift &) = delete;

    // False, with a word on standard error, when the bus or the station did not play along.
    bool play();
    StationCore &station() { return *core; }
    // The journal the night was written to.
    QString journalPath() const;

private:
    // The night's clock moves on to this time of day, "hh:mm:ss", the next day when earlier.
    void at(const QString &time);
    bool cycle();
    bool settle();
    bool portTold(bool lost);
    void reading(int channel, double value);

    QTemporaryDir work;
    DeviceSimulator bus;
    std::unique_ptr<StationCore> core;
    QDateTime now;
    qint64 sent = 0;
    qint64 heard = 0;
    qint64 received = 0;
    qint64 answered = 0;
};
