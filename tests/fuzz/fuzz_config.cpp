// Any bytes as Monitor.ini: reading them must not crash, hang or overflow a table, and what the
// station saves of them must read back whole, to the same file: a station never takes its own
// file for damaged.
#include "stationconfig.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_LOGGING_RULES", "*.warning=false");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const StationConfig config =
        StationConfig::parse(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (config.devices.size() > StationConfig::MaxDevices || config.speedIndex < -1 ||
        config.speedIndex >= StationConfig::SpeedCount || config.pollInterval < 1 ||
        config.pollInterval > 10)
        __builtin_trap();
    const QByteArray saved = config.format();
    bool whole = false;
    if (StationConfig::parse(saved, &whole).format() != saved || !whole)
        __builtin_trap();
    return 0;
}
