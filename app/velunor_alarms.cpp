// Alarm evaluation: plausibility filter, thresholds, blinking displays and the alarm sound.
#include "ui_velunor.h"
#include "velunor.h"

#include "abstractserial.h"
#include "settings.h"
#include "soundoutput.h"

#include <cmath>

// No reading until a device answers: a channel is not judged on a value it never measured.
float AcceptedTemp[Velunor::ChannelCount] = {
    Velunor::NoReading, Velunor::NoReading, Velunor::NoReading, Velunor::NoReading,
    Velunor::NoReading, Velunor::NoReading, Velunor::NoReading, Velunor::NoReading,
    Velunor::NoReading, Velunor::NoReading, Velunor::NoReading, Velunor::NoReading,
};
int OutOfRangeCount[Velunor::ChannelCount] = {};

namespace {
constexpr float plausibleHigh = 124.0f;
constexpr float plausibleLow = -54.0f;
// Ticks an implausible reading is held back before it is believed (32.5 s at 650 ms).
constexpr int implausibleTicks = 50;

const QString normalStyle = QStringLiteral("color: rgb(0, 255, 0);background-color: rgb(0, 0, 0);");
const QString alarmLitStyle =
    QStringLiteral("color: rgb(255, 0, 0);background-color: rgb(0, 0, 0);");
const QString alarmDarkStyle =
    QStringLiteral("color: rgb(0, 0, 0);background-color: rgb(0, 0, 0);");
} // namespace

bool Velunor::MonitoringActive() const
{
    return SerialDevice->isOpen() && ui->NumberOfDevices->intValue() > 0;
}

void Velunor::SetAlarmStyle(int channel, bool alarm)
{
    QLCDNumber *lcd = display(channel);
    if (!lcd)
        return;
    const QString &style = !alarm ? normalStyle : BlinkPhase != 0 ? alarmLitStyle : alarmDarkStyle;
    // Setting a style sheet re-polishes the widget even when nothing changes.
    if (lcd->styleSheet() != style)
        lcd->setStyleSheet(style);
}

void Velunor::UpdateChannelLabels()
{
    for (int n = 0; n < ChannelCount; ++n)
        channelButton(n)->setText(QStringLiteral("T%1 ").arg(n) +
                                  SettingsWindow->Channel[n].ChannelName);
}

void Velunor::ControlTermoAlarm()
{
    if (SettingsWindow->SettingsChanged != 0) {
        SettingsWindow->SettingsChanged = 0;
        UpdateChannelLabels();
    }

    if (!MonitoringActive())
        return;

    for (int n = 0; n < ChannelCount; ++n) {
        const float t = CurrentTemp[n];
        // Written so that no reading at all (NaN) is implausible too.
        if (!(t >= plausibleLow && t <= plausibleHigh)) {
            ++OutOfRangeCount[n];
            if (OutOfRangeCount[n] > implausibleTicks)
                AcceptedTemp[n] = t;
        } else {
            AcceptedTemp[n] = t;
            OutOfRangeCount[n] = 0;
        }
    }

    for (int n = 0; n < ChannelCount; ++n) {
        ChannelSettings &channel = SettingsWindow->Channel[n];
        bool alarm = false;
        if (channel.ChannelEnabled != 0) {
            channel.AlarmStatePrev = channel.AlarmState;
            const float t = AcceptedTemp[n];
            // Nothing accepted yet and not yet given up on: the channel waits for its first
            // reading. One that stays away for 50 ticks is a dead sensor: in alarm.
            const bool judged = !std::isnan(t) || OutOfRangeCount[n] > implausibleTicks;
            alarm = judged && (std::isnan(t) || t > channel.UpperLimit || t < channel.LowerLimit);
        }
        if (alarm) {
            SetAlarmStyle(n, true);
            channel.AlarmState = 1;
        } else {
            channel.AlarmState = 0;
            SetAlarmStyle(n, false);
        }
    }

    BlinkPhase = ~BlinkPhase;

    for (const ChannelSettings &channel : SettingsWindow->Channel) {
        if (channel.AlarmStatePrev == 0 && channel.AlarmState == 1 && AlarmSoundStarted == 0) {
            AlarmSoundStarted = 1;
            if (SettingsWindow->AlarmSound)
                SettingsWindow->AlarmSound->play();
        }
    }
    emit alarmsEvaluated();
}

void Velunor::on_AlarmReset_clicked()
{
    AlarmSoundStarted = 0;
    if (SettingsWindow->AlarmSound)
        SettingsWindow->AlarmSound->stop();
    emit alarmReset();
}

void Velunor::on_SettingAlarm_clicked()
{
    SettingsWindow->show();
}
