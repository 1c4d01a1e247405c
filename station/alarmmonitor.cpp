#include "alarmmonitor.h"

#include <cmath>

namespace {
constexpr float plausibleHigh = 124.0f;
constexpr float plausibleLow = -54.0f;
} // namespace

AlarmMonitor::AlarmMonitor(QObject *parent)
    : QObject(parent)
{
    for (ChannelSettings &channel : Channel) {
        channel.ChannelName = tr("Датчик");
        channel.UpperLimit = 40.0f;
        channel.LowerLimit = 10.0f;
    }
    forgetReadings();
}

ChannelSettings AlarmMonitor::channel(int channel) const
{
    return isChannel(channel) ? Channel[channel] : ChannelSettings();
}

QStringList AlarmMonitor::channelNames() const
{
    QStringList names;
    for (const ChannelSettings &channel : Channel)
        names << channel.ChannelName;
    return names;
}

void AlarmMonitor::setChannel(int channel, const QString &name, float upper, float lower)
{
    if (!isChannel(channel))
        return;
    Channel[channel].ChannelName = name;
    Channel[channel].UpperLimit = upper;
    Channel[channel].LowerLimit = lower;
    SettingsChanged = true;
}

void AlarmMonitor::setChannelEnabled(int channel, int enabled)
{
    if (isChannel(channel))
        Channel[channel].ChannelEnabled = enabled;
}

void AlarmMonitor::restoreChannel(int channel, const ChannelSettings &stored)
{
    if (!isChannel(channel))
        return;
    Channel[channel].ChannelName = stored.ChannelName;
    Channel[channel].UpperLimit = stored.UpperLimit;
    Channel[channel].LowerLimit = stored.LowerLimit;
    Channel[channel].ChannelEnabled = stored.ChannelEnabled;
}

bool AlarmMonitor::takeSettingsChanged()
{
    const bool changed = SettingsChanged;
    SettingsChanged = false;
    return changed;
}

float AlarmMonitor::acceptedValue(int channel) const
{
    return isChannel(channel) ? AcceptedTemp[channel] : Station::NoReading;
}

void AlarmMonitor::forgetReadings()
{
    AcceptedTemp.fill(Station::NoReading);
    OutOfRangeCount.fill(0);
}

void AlarmMonitor::filter(const Station::Readings &CurrentTemp)
{
    for (int n = 0; n < Station::ChannelCount; ++n) {
        const float t = CurrentTemp[n];
        // Written so that no reading at all (NaN) is implausible too.
        if (!(t >= plausibleLow && t <= plausibleHigh)) {
            ++OutOfRangeCount[n];
            if (OutOfRangeCount[n] > ImplausibleTicks)
                AcceptedTemp[n] = t;
        } else {
            AcceptedTemp[n] = t;
            OutOfRangeCount[n] = 0;
        }
    }
}

void AlarmMonitor::evaluate(const Station::Readings &CurrentTemp)
{
    filter(CurrentTemp);
    QList<bool> inAlarm(Station::ChannelCount, false);
    for (int n = 0; n < Station::ChannelCount; ++n) {
        ChannelSettings &channel = Channel[n];
        const int before = channel.AlarmState;
        if (channel.ChannelEnabled != 0) {
            channel.AlarmStatePrev = channel.AlarmState;
            const float t = AcceptedTemp[n];
            // Nothing accepted yet and not yet given up on: the channel waits for its first
            // reading. One that stays away for 50 ticks is a dead sensor: in alarm.
            const bool judged = !std::isnan(t) || OutOfRangeCount[n] > ImplausibleTicks;
            inAlarm[n] =
                judged && (std::isnan(t) || t > channel.UpperLimit || t < channel.LowerLimit);
        }
        channel.AlarmState = inAlarm[n] ? 1 : 0;
        if (channel.AlarmState != before)
            emit alarmChanged(n, inAlarm[n], AcceptedTemp[n]);
    }
    // The displays show the phase from before this tick: dark first, then lit.
    emit alarmsEvaluated(inAlarm, BlinkPhase != 0);
    BlinkPhase = ~BlinkPhase;

    for (const ChannelSettings &channel : Channel) {
        if (channel.AlarmStatePrev == 0 && channel.AlarmState == 1 && !AlarmSoundStarted) {
            AlarmSoundStarted = true;
            emit alarmSoundRequested(true);
        }
    }
}

void AlarmMonitor::AlarmReset()
{
    AlarmSoundStarted = false;
    emit alarmSoundRequested(false);
    QList<int> inAlarm;
    for (int n = 0; n < Station::ChannelCount; ++n) {
        if (Channel[n].AlarmState != 0)
            inAlarm << n;
    }
    emit alarmReset(inAlarm);
}
