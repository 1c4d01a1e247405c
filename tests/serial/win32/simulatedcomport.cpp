#include "simulatedcomport.h"

#include <algorithm>
#include <cstring>

namespace Win32StandIn {

namespace {
bool finished(const PendingOperation &operation)
{
    return operation.file == nullptr;
}
} // namespace

// What a Windows driver reports for a port nobody has set up: 9600 8N1, DTR and RTS on.
SimulatedComPort::SimulatedComPort(const QString &portName)
    : name(portName)
{
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.fBinary = TRUE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
}

void SimulatedComPort::receive(const QByteArray &bytes)
{
    input.append(bytes);
    completeReads();
    raiseEvents(EV_RXCHAR);
}

void SimulatedComPort::setModemStatus(DWORD status)
{
    const DWORD changed = modemStatus ^ status;
    modemStatus = status;
    raiseEvents(((changed & MS_CTS_ON) ? EV_CTS : 0) | ((changed & MS_DSR_ON) ? EV_DSR : 0) |
                ((changed & MS_RING_ON) ? EV_RING : 0) | ((changed & MS_RLSD_ON) ? EV_RLSD : 0));
}

void SimulatedComPort::raiseLineError(DWORD errors)
{
    lineErrors |= errors;
    raiseEvents(EV_ERR);
}

void SimulatedComPort::vanish()
{
    gone = true;
    for (PendingOperation &operation : pending)
        complete(operation, goneError);
    pending.clear();
}

void SimulatedComPort::dropFinished()
{
    pending.erase(std::remove_if(pending.begin(), pending.end(), finished), pending.end());
}

int SimulatedComPort::pendingOperations() const
{
    return int(pending.size());
}

bool SimulatedComPort::isWatched() const
{
    return std::any_of(pending.begin(), pending.end(), [](const PendingOperation &operation) {
        return operation.kind == PendingOperation::WaitEvent && operation.deadline < 0;
    });
}

bool SimulatedComPort::fails(const char *call) const
{
    return failingCalls.contains(QByteArray(call));
}

void SimulatedComPort::raiseEvents(DWORD events)
{
    events &= mask;
    if (!events)
        return;
    for (PendingOperation &operation : pending) {
        if (operation.kind == PendingOperation::WaitEvent) {
            operation.events = events;
            complete(operation, ERROR_SUCCESS);
            dropFinished();
            return;
        }
    }
    history |= events;
}

// As under Wine, a wait ends shortly after the mask changed (from another thread there),
// with an empty event word, and not inside the call.
void SimulatedComPort::endWait()
{
    for (PendingOperation &operation : pending) {
        if (operation.kind == PendingOperation::WaitEvent) {
            operation.deadline = now();
            operation.events = 0;
            operation.result = ERROR_OPERATION_ABORTED;
        }
    }
}

void SimulatedComPort::addPending(const PendingOperation &operation)
{
    pending.push_back(operation);
}

// The driver writes the result into the caller's record (and, for a write, takes the bytes
// from the caller's buffer now), then signals the record's event.
void SimulatedComPort::complete(PendingOperation &operation, DWORD result)
{
    if (operation.kind == PendingOperation::Write && result == ERROR_SUCCESS) {
        output.append(operation.buffer, operation.length);
        operation.moved = operation.length;
    }
    if (operation.kind == PendingOperation::WaitEvent)
        *operation.eventWord = operation.events;
    operation.overlapped->Internal = result;
    operation.overlapped->InternalHigh = operation.moved;
    operation.file = nullptr;
    SetEvent(operation.overlapped->hEvent);
}

// Bytes in the input queue go to pending reads first; a read that got some bytes but not all
// ends after the interval time-out, one that got all ends at once.
void SimulatedComPort::completeReads()
{
    const bool interval =
        timeouts.ReadIntervalTimeout != 0 && timeouts.ReadIntervalTimeout != MAXDWORD;
    const bool firstByte =
        timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == MAXDWORD;
    for (PendingOperation &operation : pending) {
        if (operation.kind != PendingOperation::Read || finished(operation))
            continue;
        const DWORD taken =
            DWORD(std::min<qsizetype>(operation.length - operation.moved, input.size()));
        std::memcpy(operation.buffer + operation.moved, input.constData(), taken);
        input.remove(0, taken);
        operation.moved += taken;
        if (operation.moved == operation.length || (firstByte && operation.moved > 0)) {
            complete(operation, ERROR_SUCCESS);
        } else if (interval && operation.moved > 0) {
            const qint64 idle = now() + timeouts.ReadIntervalTimeout;
            operation.deadline =
                operation.totalDeadline >= 0 ? std::min(operation.totalDeadline, idle) : idle;
        }
    }
    dropFinished();
}

bool SimulatedComPort::completeDue(qint64 time)
{
    bool any = false;
    bool written = false;
    for (PendingOperation &operation : pending) {
        if (operation.deadline >= 0 && operation.deadline <= time) {
            written |=
                operation.kind == PendingOperation::Write && operation.result == ERROR_SUCCESS;
            complete(operation, operation.result);
            any = true;
        }
    }
    dropFinished();
    if (written)
        raiseEvents(EV_TXEMPTY);
    return any;
}

qint64 SimulatedComPort::nextDeadline(HANDLE event) const
{
    qint64 next = -1;
    for (const PendingOperation &operation : pending) {
        if (operation.overlapped->hEvent == event && operation.deadline >= 0 &&
            (next < 0 || operation.deadline < next))
            next = operation.deadline;
    }
    return next;
}

// A cancelled operation ends when the thread that asked next waits, not inside the call.
// Waits for events cannot be cancelled (Wine's run outside its cancellable operations).
bool SimulatedComPort::cancel(HANDLE file, OVERLAPPED *overlapped, DWORD result)
{
    bool any = false;
    for (PendingOperation &operation : pending) {
        if (operation.file == file && operation.kind != PendingOperation::WaitEvent &&
            (!overlapped || operation.overlapped == overlapped)) {
            operation.deadline = now();
            operation.result = result;
            any = true;
        }
    }
    return any;
}

void SimulatedComPort::closed(HANDLE file)
{
    for (PendingOperation &operation : pending) {
        if (operation.file == file) {
            complete(operation, ERROR_OPERATION_ABORTED);
            ++abortedByClose;
        }
    }
    dropFinished();
    if (openedAs == file)
        openedAs = nullptr;
}

} // namespace Win32StandIn
