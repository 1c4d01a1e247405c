#pragma once

#include "channelsettings.h"
#include "station.h"

#include <QList>
#include <QObject>
#include <QString>

#include <array>

// The alarm configuration of the twelve channels and its evaluation: a plausibility filter that
// holds back a reading outside the sensors' band for 50 ticks, strict upper and lower
// thresholds, and one start of the alarm sound per alarm until the operator resets it.
class AlarmMonitor final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AlarmMonitor)

public:
    // Ticks an implausible reading is held back before it is believed (32.5 s at 650 ms).
    static constexpr int ImplausibleTicks = 50;

    explicit AlarmMonitor(QObject *parent = nullptr);

    // An empty record for a channel outside 0 to 11.
    ChannelSettings channel(int channel) const;
    QStringList channelNames() const;
    // The operator's edit of a channel: name and thresholds together. The captions follow on the
    // next tick.
    void setChannel(int channel, const QString &name, float upper, float lower);
    // Non-zero watches the channel; the value is kept as given, since the file keeps it.
    void setChannelEnabled(int channel, int enabled);
    // A stored record: name, thresholds and enable; the alarm state is the evaluation's.
    void restoreChannel(int channel, const ChannelSettings &stored);

    // The captions are due: a name or threshold changed since the last call.
    bool takeSettingsChanged();
    // One evaluating tick over the latest reading of every channel.
    void evaluate(const Station::Readings &CurrentTemp);
    // The channels now belong to other devices: none is judged before it has a reading.
    void forgetReadings();
    // The operator silenced the alarm: the sound stops, and a new alarm may start it again.
    void AlarmReset();

    bool soundStarted() const { return AlarmSoundStarted; }
    // What the filter last believed of a channel.
    float acceptedValue(int channel) const;

signals:
    // Every evaluating tick: which channels are in alarm, and whether alarms show lit or dark.
    void alarmsEvaluated(const QList<bool> &inAlarm, bool lit);
    // A channel entered or left alarm at this accepted value.
    void alarmChanged(int channel, bool inAlarm, float value);
    void alarmSoundRequested(bool play);
    void alarmReset(const QList<int> &inAlarm);

private:
    bool isChannel(int channel) const { return channel >= 0 && channel < Station::ChannelCount; }
    void filter(const Station::Readings &CurrentTemp);

    ChannelSettings Channel[Station::ChannelCount];
    // The last reading of each channel the filter believed, and for how many ticks it doubted.
    Station::Readings AcceptedTemp;
    std::array<int, Station::ChannelCount> OutOfRangeCount{};
    bool SettingsChanged = true;
    bool AlarmSoundStarted = false;
    int BlinkPhase = 0;
};
