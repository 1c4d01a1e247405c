#pragma once

#include "win32standin.h"

class QWinEventNotifier;

// What the stand-in's parts share behind the Win32 functions.
namespace Win32StandIn::Machine {

// An auto-reset event is consumed by whoever sees it signalled.
bool takeSignal(HANDLE event);
void watch(HANDLE event, QWinEventNotifier *notifier);
void unwatch(HANDLE event, QWinEventNotifier *notifier);

} // namespace Win32StandIn::Machine
