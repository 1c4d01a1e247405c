#pragma once

#include <QByteArray>
#include <QtGlobal>

// What another process has used so far, from /proc: for the soak and the benchmarks, which
// measure the station as a separate program.
class ProcessUsage
{
public:
    // User and system time in clock ticks (fields 14 and 15 of /proc/PID/stat); -1 when gone.
    static qint64 cpuTicks(qint64 pid);
    // A line of /proc/PID/status in KB, such as "VmRSS" or "VmHWM"; -1 when gone.
    static qint64 statusKb(qint64 pid, const QByteArray &key);
};
