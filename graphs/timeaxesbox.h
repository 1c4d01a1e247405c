#pragma once

#include <QSharedPointer>

class QCPAxisTickerDateTime;
class QCustomPlot;

// Frames the plot with all four axes: local clock times "hh:mm:ss" along the bottom, and the top
// and right axes following the bottom and left ones. The ticker is shared with the top axis so
// its ticks line up with the labelled ones.
void setupTimeAxesBox(QCustomPlot *plot, const QSharedPointer<QCPAxisTickerDateTime> &ticker);
