#pragma once

#include "win32standin.h"

class QWinEventNotifier;

// What the stand-in's parts share behind the Win32 functions.
namespace Win32StandIn::Machine {

// An auto-reset event is consumed by whoever sees it signalled.
bool takeSignal(HANDLE event);
void watch(HANDLE event, QWinEventNotifier *notifier);
void unwatch(HANDLE event, QWinEventNotifier *notifier);
// Handles for the objects of the simulated devices and registry, counted by openHandles().
HANDLE newHandle();
void releaseHandle(HANDLE handle);
// Forgets the devices, the registry and its watches (part of reset()).
void resetDevices();

} // namespace Win32StandIn::Machine
