#pragma once

#include "qcustomplot.h"

// Date-time tick labels at a fixed step in seconds, counted from the epoch, so a
// time span shows the same number of ticks whatever range the axis holds.
class FixedStepDateTimeTicker : public QCPAxisTickerDateTime
{
public:
    explicit FixedStepDateTimeTicker(double tickStep);

    double tickStep() const { return step; }
    // A step that is not a positive finite number would never reach the end of the
    // range; it is ignored.
    void setTickStep(double tickStep);

protected:
    double getTickStep(const QCPRange &range) override;

private:
    double step;
};
