#include "timeaxesbox.h"

#include <qcustomplot.h>

void setupTimeAxesBox(QCustomPlot *plot, const QSharedPointer<QCPAxisTickerDateTime> &ticker)
{
    ticker->setDateTimeFormat(QStringLiteral("hh:mm:ss"));
    plot->xAxis->setTicker(ticker);
    plot->axisRect()->setupFullAxesBox(false);
    plot->xAxis2->setTicker(ticker);

    QObject::connect(plot->xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), plot->xAxis2,
                     qOverload<const QCPRange &>(&QCPAxis::setRange));
    QObject::connect(plot->yAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), plot->yAxis2,
                     qOverload<const QCPRange &>(&QCPAxis::setRange));
}
