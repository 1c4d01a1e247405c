#pragma once

#include <array>
#include <limits>

// Facts of the station that every layer shares.
namespace Station {

// Six devices of two sensors each give the channels T0 to T11.
constexpr int ChannelCount = 12;

// The sensors measure between -55 and 125 degrees, both excluded; any other value is no
// reading. A float reading converts to double exactly, so both compare alike.
constexpr double LowestTemperature = -55.0;
constexpr double HighestTemperature = 125.0;

constexpr bool isValidTemperature(double celsius)
{
    return celsius > LowestTemperature && celsius < HighestTemperature;
}

// What a channel holds while its device gives no answer at all: not a number, so that it is
// never taken for a measured value. Logs record it as "nan", which their readers skip.
constexpr float NoReading = std::numeric_limits<float>::quiet_NaN();

// One value per channel.
using Readings = std::array<float, ChannelCount>;

} // namespace Station
