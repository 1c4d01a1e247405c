#pragma once

#include "win32standin.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>
#include <vector>

namespace Win32StandIn {

// One overlapped operation the simulated driver has not finished yet.
struct PendingOperation
{
    enum Kind { Read, Write, WaitEvent };
    Kind kind = Read;
    HANDLE file = nullptr;
    OVERLAPPED *overlapped = nullptr;
    char *buffer = nullptr;
    DWORD length = 0;
    DWORD moved = 0;
    DWORD *eventWord = nullptr;
    DWORD events = 0;          // what a wait reports when it ends
    qint64 deadline = -1;      // virtual ms when it ends on its own; -1 never
    qint64 totalDeadline = -1; // a read's total time-out, which later bytes do not move
    DWORD result = ERROR_SUCCESS;
};

// A COM port of the simulated machine and the device behind it, as its driver sees them.
// A test scripts the device side (bytes arriving, modem lines, line errors, the port going
// away) and the driver's refusals, and reads back what the engine did to the port.
class SimulatedComPort
{
public:
    explicit SimulatedComPort(const QString &name);

    QString name;
    // The driver's state.
    DCB dcb = {};
    COMMTIMEOUTS timeouts = {};
    DWORD mask = 0;
    DWORD modemStatus = 0; // MS_ bits
    bool dtr = false;
    bool rts = false;
    bool breakOn = false;
    DWORD lineErrors = 0; // CE_ bits; ClearCommError reports and clears them
    QByteArray input;     // received, not yet read
    QByteArray output;    // sent on the line
    HANDLE openedAs = nullptr;
    DWORD openedAccess = 0;
    DWORD openedFlags = 0;
    bool gone = false;

    // Script.
    QSet<DWORD> refusedBaudRates;      // SetCommState refuses them
    QSet<QByteArray> failingCalls;     // Win32 functions (by name) that fail on this port
    int writeCompletesAfter = 0;       // ms a write stays pending; -1: until cancelled
    DWORD goneError = ERROR_NOT_READY; // what Wine answers once a pty is hung up

    // Record.
    QList<DWORD> writeSizes;
    QList<DWORD> readSizes;
    QList<DWORD> purges;
    int setCommStateCalls = 0;
    int abortedByClose = 0; // operations still pending when their handle was closed

    // The device side.
    void receive(const QByteArray &bytes);
    void setModemStatus(DWORD status);
    void raiseLineError(DWORD errors);
    // The port goes away (adapter unplugged): pending operations fail, so does every later
    // call on its handle, and the name is no longer there to open.
    void vanish();
    int pendingOperations() const;
    // A wait for events is pending and not about to end.
    bool isWatched() const;

    // For the stand-in's functions.
    bool fails(const char *call) const;
    void raiseEvents(DWORD events);
    void endWait(); // the mask changed
    void addPending(const PendingOperation &operation);
    void complete(PendingOperation &operation, DWORD result);
    void completeReads();
    bool completeDue(qint64 now);
    qint64 nextDeadline(HANDLE event) const;
    bool cancel(HANDLE file, OVERLAPPED *overlapped, DWORD result);
    void closed(HANDLE file);
    void dropFinished();

    DWORD history = 0; // events seen while no wait was pending
    std::vector<PendingOperation> pending;
};

// The simulated machine: its ports, its objects and its clock.
SimulatedComPort *addPort(const QString &name);
SimulatedComPort *findPort(const QString &name);
// Forgets every port and object and sets the clock back to 0.
void reset();
// Handles open now (files and events).
int openHandles();
// Virtual milliseconds since reset(); waits and Sleep move them, nothing else.
qint64 now();

} // namespace Win32StandIn
