#pragma once

// The device setup and registry calls of the Windows port enumerator; on Linux the stand-in's
// simulated devices and registry (tests/serial/win32).
#include "win32.h"

#if defined(GRELVIX_WIN32_STANDIN)
#include "setupapistandin.h"
#else
#include <setupapi.h>

#include <QOperatingSystemVersion>

inline int windowsMajorVersion()
{
    return QOperatingSystemVersion::current().majorVersion();
}
#endif
