#include "linkhealth.h"

void LinkHealth::reset()
{
    *this = LinkHealth();
}

LinkHealth::Device &LinkHealth::entry(quint8 address)
{
    for (Device &device : known) {
        if (device.address == address)
            return device;
    }
    Device added;
    added.address = address;
    known.append(added);
    return known.last();
}

const LinkHealth::Device *LinkHealth::device(quint8 address) const
{
    for (const Device &device : known) {
        if (device.address == address)
            return &device;
    }
    return nullptr;
}

bool LinkHealth::requestSent(quint8 address)
{
    const bool silent = settleUnanswered(address);
    ++entry(address).requests;
    pending[address] = Pending::Waiting;
    lastAsked = address;
    return silent;
}

void LinkHealth::bytesArrived()
{
    if (lastAsked >= 0 && pending[lastAsked] == Pending::Waiting)
        pending[lastAsked] = Pending::Garbled;
}

void LinkHealth::answered(quint8 address, const QDateTime &at)
{
    if (pending[address] == Pending::None)
        return;
    pending[address] = Pending::None;
    Device &device = entry(address);
    ++device.answers;
    device.lastAnswer = at;
    device.unansweredInRow = 0;
    record(true);
}

bool LinkHealth::timedOut(quint8 address)
{
    return settleUnanswered(address);
}

bool LinkHealth::settleUnanswered(quint8 address)
{
    const Pending fate = pending[address];
    if (fate == Pending::None)
        return false;
    pending[address] = Pending::None;
    Device &device = entry(address);
    ++device.missing;
    if (fate == Pending::Garbled)
        ++device.checkFailures;
    ++device.unansweredInRow;
    record(false);
    return device.unansweredInRow == SilenceLimit;
}

void LinkHealth::record(bool answeredInTime)
{
    if (outcomeCount == RateWindow)
        answeredInWindow -= outcomes[outcomeNext] ? 1 : 0;
    else
        ++outcomeCount;
    outcomes[outcomeNext] = answeredInTime;
    answeredInWindow += answeredInTime ? 1 : 0;
    outcomeNext = (outcomeNext + 1) % RateWindow;
}

int LinkHealth::answerRate() const
{
    if (outcomeCount == 0)
        return -1;
    return answeredInWindow * 100 / outcomeCount;
}
