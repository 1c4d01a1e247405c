#include "fixedstepdatetimeticker.h"

FixedStepDateTimeTicker::FixedStepDateTimeTicker(double tickStep)
    : step(1.0)
{
    setTickStep(tickStep);
}

void FixedStepDateTimeTicker::setTickStep(double tickStep)
{
    if (tickStep > 0 && qIsFinite(tickStep))
        step = tickStep;
}

double FixedStepDateTimeTicker::getTickStep(const QCPRange &range)
{
    Q_UNUSED(range)
    // The base class would otherwise align ticks to calendar units on its own.
    mDateStrategy = dsNone;
    return step;
}
