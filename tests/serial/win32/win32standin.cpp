#include "win32standin.h"

#include "simulatedcomport.h"
#include "simulatedmachine_p.h"

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>

namespace {

using Win32StandIn::PendingOperation;
using Win32StandIn::SimulatedComPort;

struct Object
{
    bool isEvent = false;
    bool manualReset = false;
    bool signalled = false;
    QList<QWinEventNotifier *> watchers;
    SimulatedComPort *port = nullptr;
};

struct MachineState
{
    std::map<quintptr, Object> objects;
    quintptr nextHandle = 4;
    std::vector<std::unique_ptr<SimulatedComPort>> ports;
    qint64 clock = 0;
    DWORD lastError = ERROR_SUCCESS;
};

MachineState &machine()
{
    static MachineState instance;
    return instance;
}

Object *object(HANDLE handle)
{
    const auto found = machine().objects.find(reinterpret_cast<quintptr>(handle));
    return found == machine().objects.end() ? nullptr : &found->second;
}

HANDLE addObject(const Object &added)
{
    MachineState &m = machine();
    const quintptr handle = m.nextHandle;
    m.nextHandle += 4;
    m.objects.emplace(handle, added);
    return reinterpret_cast<HANDLE>(handle);
}

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

// The port behind a file handle, also after it went away (cancelling and closing still work).
SimulatedComPort *anyPort(HANDLE file)
{
    Object *found = object(file);
    return found && !found->isEvent ? found->port : nullptr;
}

// The port behind a file handle for a call that needs the device; sets the error otherwise.
SimulatedComPort *port(HANDLE file, const char *call)
{
    SimulatedComPort *found = anyPort(file);
    if (!found)
        SetLastError(ERROR_INVALID_HANDLE);
    else if (found->gone)
        SetLastError(found->goneError);
    else if (found->fails(call))
        SetLastError(ERROR_GEN_FAILURE);
    else
        return found;
    return nullptr;
}

// Lets virtual time pass, finishing every operation that ends on the way.
void advanceTo(qint64 until)
{
    MachineState &m = machine();
    for (;;) {
        qint64 next = -1;
        for (const auto &p : m.ports) {
            for (const PendingOperation &operation : p->pending) {
                if (operation.deadline >= 0 && operation.deadline <= until &&
                    (next < 0 || operation.deadline < next))
                    next = operation.deadline;
            }
        }
        if (next < 0)
            break;
        m.clock = std::max(m.clock, next);
        for (const auto &p : m.ports)
            p->completeDue(m.clock);
    }
    m.clock = std::max(m.clock, until);
}

// Operations that end "soon" (from another thread on a real system) end from the event loop
// here, unless a wait gets to them first.
void settleSoon()
{
    if (QCoreApplication::instance())
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { advanceTo(machine().clock); }, Qt::QueuedConnection);
}

// An operation that finished inside the call: the record and the event say so too.
void finishedAtOnce(OVERLAPPED *overlapped, DWORD moved)
{
    overlapped->Internal = ERROR_SUCCESS;
    overlapped->InternalHigh = moved;
    SetEvent(overlapped->hEvent);
}

BOOL startPending(SimulatedComPort *port, const PendingOperation &operation)
{
    operation.overlapped->Internal = STATUS_PENDING;
    port->addPending(operation);
    return fail(ERROR_IO_PENDING);
}

bool frameAccepted(const DCB &dcb)
{
    if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS)
        return false;
    if (dcb.ByteSize == 5)
        return dcb.StopBits != TWOSTOPBITS;
    return dcb.StopBits != ONE5STOPBITS;
}

} // namespace

namespace Win32StandIn {

SimulatedComPort *addPort(const QString &name)
{
    machine().ports.push_back(std::make_unique<SimulatedComPort>(name));
    return machine().ports.back().get();
}

SimulatedComPort *findPort(const QString &name)
{
    for (const auto &p : machine().ports) {
        if (!p->gone && p->name.compare(name, Qt::CaseInsensitive) == 0)
            return p.get();
    }
    return nullptr;
}

void reset()
{
    MachineState &m = machine();
    m.objects.clear();
    m.ports.clear();
    m.nextHandle = 4;
    m.clock = 0;
    m.lastError = ERROR_SUCCESS;
    Machine::resetDevices();
}

int openHandles()
{
    return int(machine().objects.size());
}

qint64 now()
{
    return machine().clock;
}

bool Machine::takeSignal(HANDLE event)
{
    Object *found = object(event);
    if (!found || !found->isEvent || !found->signalled)
        return false;
    if (!found->manualReset)
        found->signalled = false;
    return true;
}

void Machine::watch(HANDLE event, QWinEventNotifier *notifier)
{
    if (Object *found = object(event))
        found->watchers.append(notifier);
}

void Machine::unwatch(HANDLE event, QWinEventNotifier *notifier)
{
    if (Object *found = object(event))
        found->watchers.removeAll(notifier);
}

HANDLE Machine::newHandle()
{
    return addObject(Object());
}

void Machine::releaseHandle(HANDLE handle)
{
    machine().objects.erase(reinterpret_cast<quintptr>(handle));
}

} // namespace Win32StandIn

DWORD GetLastError()
{
    return machine().lastError;
}

void SetLastError(DWORD error)
{
    machine().lastError = error;
}

BOOL CloseHandle(HANDLE handle)
{
    Object *found = object(handle);
    if (!found)
        return fail(ERROR_INVALID_HANDLE);
    if (found->port)
        found->port->closed(handle);
    machine().objects.erase(reinterpret_cast<quintptr>(handle));
    return TRUE;
}

HANDLE CreateEventW(SECURITY_ATTRIBUTES *, BOOL manualReset, BOOL initialState, LPCWSTR)
{
    Object event;
    event.isEvent = true;
    event.manualReset = manualReset;
    event.signalled = initialState;
    return addObject(event);
}

BOOL SetEvent(HANDLE event)
{
    Object *found = object(event);
    if (!found || !found->isEvent)
        return fail(ERROR_INVALID_HANDLE);
    found->signalled = true;
    for (QWinEventNotifier *notifier : std::as_const(found->watchers))
        notifier->signalled();
    return TRUE;
}

BOOL ResetEvent(HANDLE event)
{
    Object *found = object(event);
    if (!found || !found->isEvent)
        return fail(ERROR_INVALID_HANDLE);
    found->signalled = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE event, DWORD msecs)
{
    Object *found = object(event);
    if (!found || !found->isEvent) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    using Win32StandIn::Machine::takeSignal;
    MachineState &m = machine();
    advanceTo(m.clock);
    if (takeSignal(event))
        return WAIT_OBJECT_0;
    const qint64 limit =
        msecs == INFINITE ? std::numeric_limits<qint64>::max() : m.clock + qint64(msecs);
    qint64 next = -1;
    for (const auto &p : m.ports) {
        const qint64 candidate = p->nextDeadline(event);
        if (candidate >= 0 && (next < 0 || candidate < next))
            next = candidate;
    }
    if (next >= 0 && next <= limit) {
        advanceTo(next);
        if (takeSignal(event))
            return WAIT_OBJECT_0;
    }
    if (msecs == INFINITE)
        qFatal("Win32 stand-in: endless wait for an event that nothing will signal");
    advanceTo(limit);
    return takeSignal(event) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void Sleep(DWORD msecs)
{
    advanceTo(machine().clock + qint64(msecs));
}

ULONGLONG GetTickCount64()
{
    return ULONGLONG(machine().clock);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD, SECURITY_ATTRIBUTES *, DWORD disposition,
                   DWORD flags, HANDLE)
{
    const QString path = QString::fromUtf16(name);
    const QString prefix = QStringLiteral("\\\\.\\");
    SimulatedComPort *found =
        path.startsWith(prefix) ? Win32StandIn::findPort(path.mid(prefix.size())) : nullptr;
    if (!found || disposition != OPEN_EXISTING) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (found->openedAs || found->fails("CreateFileW")) {
        SetLastError(ERROR_ACCESS_DENIED); // a COM port opens once, without sharing
        return INVALID_HANDLE_VALUE;
    }
    Object file;
    file.port = found;
    found->openedAs = addObject(file);
    found->openedAccess = access;
    found->openedFlags = flags;
    return found->openedAs;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD length, LPDWORD read, OVERLAPPED *overlapped)
{
    SimulatedComPort *p = port(file, "ReadFile");
    if (!p || !overlapped)
        return overlapped ? FALSE : fail(ERROR_INVALID_PARAMETER);
    p->readSizes.append(length);
    ResetEvent(overlapped->hEvent);
    PendingOperation operation;
    operation.kind = PendingOperation::Read;
    operation.file = file;
    operation.overlapped = overlapped;
    operation.buffer = static_cast<char *>(buffer);
    operation.length = length;
    operation.moved = DWORD(std::min<qsizetype>(length, p->input.size()));
    std::memcpy(buffer, p->input.constData(), operation.moved);
    p->input.remove(0, operation.moved);

    const COMMTIMEOUTS &t = p->timeouts;
    const bool atOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                        t.ReadTotalTimeoutConstant == 0;
    const bool firstByte = t.ReadIntervalTimeout == MAXDWORD &&
                           t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                           t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < MAXDWORD;
    if (operation.moved == length || atOnce || (firstByte && operation.moved > 0)) {
        finishedAtOnce(overlapped, operation.moved);
        if (read)
            *read = operation.moved;
        return TRUE;
    }
    const qint64 total =
        firstByte ? qint64(t.ReadTotalTimeoutConstant)
                  : qint64(t.ReadTotalTimeoutMultiplier) * length + t.ReadTotalTimeoutConstant;
    operation.totalDeadline = total > 0 ? Win32StandIn::now() + total : -1;
    operation.deadline = operation.totalDeadline;
    startPending(p, operation);
    p->completeReads(); // starts the interval time-out for bytes taken above
    return FALSE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD length, LPDWORD written, OVERLAPPED *overlapped)
{
    SimulatedComPort *p = port(file, "WriteFile");
    if (!p || !overlapped)
        return overlapped ? FALSE : fail(ERROR_INVALID_PARAMETER);
    p->writeSizes.append(length);
    ResetEvent(overlapped->hEvent);
    if (p->writeCompletesAfter == 0) {
        p->output.append(static_cast<const char *>(buffer), length);
        finishedAtOnce(overlapped, length);
        if (written)
            *written = length;
        p->raiseEvents(EV_TXEMPTY);
        return TRUE;
    }
    PendingOperation operation;
    operation.kind = PendingOperation::Write;
    operation.file = file;
    operation.overlapped = overlapped;
    operation.buffer = static_cast<char *>(const_cast<void *>(buffer));
    operation.length = length;
    if (p->writeCompletesAfter > 0)
        operation.deadline = Win32StandIn::now() + p->writeCompletesAfter;
    return startPending(p, operation);
}

BOOL GetOverlappedResult(HANDLE, OVERLAPPED *overlapped, LPDWORD transferred, BOOL wait)
{
    if (overlapped->Internal == STATUS_PENDING) {
        if (!wait)
            return fail(ERROR_IO_INCOMPLETE);
        WaitForSingleObject(overlapped->hEvent, INFINITE);
        if (overlapped->Internal == STATUS_PENDING)
            return fail(ERROR_IO_INCOMPLETE);
    }
    *transferred = DWORD(overlapped->InternalHigh);
    if (overlapped->Internal != ERROR_SUCCESS)
        return fail(DWORD(overlapped->Internal));
    return TRUE;
}

BOOL CancelIo(HANDLE file)
{
    SimulatedComPort *p = anyPort(file);
    if (!p)
        return fail(ERROR_INVALID_HANDLE);
    p->cancel(file, nullptr, ERROR_OPERATION_ABORTED);
    return TRUE;
}

BOOL CancelIoEx(HANDLE file, OVERLAPPED *overlapped)
{
    SimulatedComPort *p = anyPort(file);
    if (!p)
        return fail(ERROR_INVALID_HANDLE);
    return p->cancel(file, overlapped, ERROR_OPERATION_ABORTED) ? TRUE : fail(ERROR_NOT_FOUND);
}

BOOL FlushFileBuffers(HANDLE file)
{
    return port(file, "FlushFileBuffers") ? TRUE : FALSE;
}

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID, DWORD, LPVOID out, DWORD outSize,
                     LPDWORD returned, OVERLAPPED *)
{
    SimulatedComPort *p = port(device, "DeviceIoControl");
    if (!p)
        return FALSE;
    if (code != IOCTL_SERIAL_GET_DTRRTS || outSize < sizeof(DWORD))
        return fail(ERROR_INVALID_PARAMETER);
    const DWORD lines = (p->dtr ? 0x1 : 0) | (p->rts ? 0x2 : 0);
    std::memcpy(out, &lines, sizeof(lines));
    *returned = sizeof(lines);
    return TRUE;
}

BOOL GetCommState(HANDLE file, DCB *dcb)
{
    SimulatedComPort *p = port(file, "GetCommState");
    if (!p)
        return FALSE;
    *dcb = p->dcb;
    return TRUE;
}

BOOL SetCommState(HANDLE file, DCB *dcb)
{
    SimulatedComPort *p = port(file, "SetCommState");
    if (!p)
        return FALSE;
    ++p->setCommStateCalls;
    if (!frameAccepted(*dcb) || p->refusedBaudRates.contains(dcb->BaudRate))
        return fail(ERROR_INVALID_PARAMETER);
    p->dcb = *dcb;
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS *timeouts)
{
    SimulatedComPort *p = port(file, "GetCommTimeouts");
    if (!p)
        return FALSE;
    *timeouts = p->timeouts;
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE file, COMMTIMEOUTS *timeouts)
{
    SimulatedComPort *p = port(file, "SetCommTimeouts");
    if (!p)
        return FALSE;
    p->timeouts = *timeouts;
    return TRUE;
}

BOOL GetCommMask(HANDLE file, LPDWORD mask)
{
    SimulatedComPort *p = port(file, "GetCommMask");
    if (!p)
        return FALSE;
    *mask = p->mask;
    return TRUE;
}

// A new mask ends the pending wait, with an empty event word, soon after the call.
BOOL SetCommMask(HANDLE file, DWORD mask)
{
    SimulatedComPort *p = port(file, "SetCommMask");
    if (!p)
        return FALSE;
    p->mask = mask;
    p->history = 0;
    p->endWait();
    settleSoon();
    return TRUE;
}

// One wait at a time; events that came while none was pending end the next one at once.
BOOL WaitCommEvent(HANDLE file, LPDWORD events, OVERLAPPED *overlapped)
{
    SimulatedComPort *p = port(file, "WaitCommEvent");
    if (!p)
        return FALSE;
    const bool waiting = std::any_of(p->pending.begin(), p->pending.end(), [](const auto &o) {
        return o.kind == PendingOperation::WaitEvent;
    });
    if (!overlapped || p->mask == 0 || waiting)
        return fail(ERROR_INVALID_PARAMETER);
    // Wine refuses line changes on a port without modem lines (a pseudo-terminal).
    if (p->fails("GetCommModemStatus") && (p->mask & (EV_CTS | EV_DSR | EV_RING | EV_RLSD)))
        return fail(ERROR_NOT_SUPPORTED);
    ResetEvent(overlapped->hEvent);
    if (p->history) {
        *events = p->history;
        p->history = 0;
        finishedAtOnce(overlapped, sizeof(DWORD));
        return TRUE;
    }
    PendingOperation operation;
    operation.kind = PendingOperation::WaitEvent;
    operation.file = file;
    operation.overlapped = overlapped;
    operation.eventWord = events;
    return startPending(p, operation);
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, COMSTAT *status)
{
    SimulatedComPort *p = port(file, "ClearCommError");
    if (!p)
        return FALSE;
    *errors = p->lineErrors;
    p->lineErrors = 0;
    *status = COMSTAT();
    status->cbInQue = DWORD(p->input.size());
    for (const PendingOperation &operation : p->pending) {
        if (operation.kind == PendingOperation::Write)
            status->cbOutQue += operation.length;
    }
    return TRUE;
}

BOOL GetCommModemStatus(HANDLE file, LPDWORD status)
{
    SimulatedComPort *p = port(file, "GetCommModemStatus");
    if (!p)
        return FALSE;
    *status = p->modemStatus;
    return TRUE;
}

BOOL EscapeCommFunction(HANDLE file, DWORD function)
{
    SimulatedComPort *p = port(file, "EscapeCommFunction");
    if (!p)
        return FALSE;
    switch (function) {
    case SETDTR:
    case CLRDTR:
        p->dtr = function == SETDTR;
        return TRUE;
    case SETRTS:
    case CLRRTS:
        p->rts = function == SETRTS;
        return TRUE;
    case SETBREAK:
    case CLRBREAK:
        p->breakOn = function == SETBREAK;
        return TRUE;
    default:
        return fail(ERROR_INVALID_PARAMETER);
    }
}

BOOL SetCommBreak(HANDLE file)
{
    SimulatedComPort *p = port(file, "SetCommBreak");
    if (p)
        p->breakOn = true;
    return p ? TRUE : FALSE;
}

BOOL ClearCommBreak(HANDLE file)
{
    SimulatedComPort *p = port(file, "ClearCommBreak");
    if (p)
        p->breakOn = false;
    return p ? TRUE : FALSE;
}

BOOL PurgeComm(HANDLE file, DWORD flags)
{
    SimulatedComPort *p = port(file, "PurgeComm");
    if (!p)
        return FALSE;
    p->purges.append(flags);
    for (PendingOperation &operation : p->pending) {
        if ((operation.kind == PendingOperation::Read && (flags & PURGE_RXABORT)) ||
            (operation.kind == PendingOperation::Write && (flags & PURGE_TXABORT)))
            p->complete(operation, ERROR_OPERATION_ABORTED);
    }
    p->dropFinished();
    if (flags & PURGE_RXCLEAR)
        p->input.clear();
    return TRUE;
}
