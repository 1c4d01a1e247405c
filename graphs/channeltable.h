#pragma once

#include <QColor>

// Per-channel colours: the line colour is the channel button's text and its graph's curve,
// the fill colour the area under that curve.
QColor channelLineColor(int channel);
QColor channelFillColor(int channel);
