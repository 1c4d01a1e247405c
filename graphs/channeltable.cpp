#include "channeltable.h"

#include "station.h"

namespace {
struct ChannelColors
{
    Qt::GlobalColor line;
    int fillRed, fillGreen, fillBlue;
};

// Two channels per device share a hue: the first light, the second dark.
constexpr ChannelColors table[] = {
    {Qt::blue, 173, 216, 230},    {Qt::darkBlue, 173, 216, 230},
    {Qt::red, 255, 228, 225},     {Qt::darkRed, 255, 228, 225},
    {Qt::green, 240, 255, 240},   {Qt::darkGreen, 240, 255, 240},
    {Qt::yellow, 255, 250, 205},  {Qt::darkYellow, 255, 250, 205},
    {Qt::cyan, 224, 255, 255},    {Qt::darkCyan, 224, 255, 255},
    {Qt::magenta, 255, 187, 255}, {Qt::darkMagenta, 255, 187, 255},
};
constexpr int tableSize = int(sizeof(table) / sizeof(table[0]));
static_assert(tableSize == Station::ChannelCount, "one colour pair per channel");
} // namespace

QColor channelLineColor(int channel)
{
    if (channel < 0 || channel >= tableSize)
        return {};
    return QColor(table[channel].line);
}

QColor channelFillColor(int channel)
{
    if (channel < 0 || channel >= tableSize)
        return {};
    const ChannelColors &c = table[channel];
    return QColor(c.fillRed, c.fillGreen, c.fillBlue);
}
