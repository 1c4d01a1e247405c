#pragma once

// The Win32 calls of the Windows engine. On Linux the same source builds against a stand-in
// that simulates COM ports (tests/serial/win32, GRELVIX_WIN32_STANDIN), so that its logic is
// tested there; its classes then live in the namespace Win32StandIn, beside the Linux engine
// of the same names.
#include <QtGlobal>

#if defined(GRELVIX_WIN32_STANDIN)
#include "win32standin.h"
#else
#include <qt_windows.h>
#include <winioctl.h>

#include <QWinEventNotifier>
#ifndef IOCTL_SERIAL_GET_DTRRTS
#define IOCTL_SERIAL_GET_DTRRTS                                                                    \
    CTL_CODE(FILE_DEVICE_SERIAL_PORT, 30, METHOD_BUFFERED, FILE_ANY_ACCESS)
#endif
#endif
