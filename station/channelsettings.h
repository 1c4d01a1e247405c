#pragma once

#include <QString>

// Alarm configuration and state of one channel.
struct ChannelSettings
{
    QString ChannelName;
    float UpperLimit = 0;
    float LowerLimit = 0;
    int ChannelEnabled = 0;
    int AlarmState = 0;
    int AlarmStatePrev = 0;
};
