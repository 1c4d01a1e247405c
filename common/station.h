#pragma once

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

} // namespace Station
