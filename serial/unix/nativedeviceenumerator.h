#pragma once

#include "serialdeviceenumeratorengine_p.h"
#include "ttydevicesource.h"

#include <memory>

class QSocketNotifier;

// Ports on Linux: the tty nodes with serial hardware behind them, watched through the
// source's monitor from the event loop.
class NativeDeviceEnumerator : public SerialDeviceEnumeratorEngine
{
    Q_OBJECT

public:
    explicit NativeDeviceEnumerator(std::unique_ptr<TtyDeviceSource> source);
    ~NativeDeviceEnumerator() override;

    // udev where its daemon runs, sysfs otherwise (said once on the debug output).
    static std::unique_ptr<TtyDeviceSource> systemSource();
    // A port's record; false for a tty that is no serial port.
    static bool describe(const TtyDevice &tty, SerialDeviceInfo *info);

    SerialDeviceMap enumerate() override;
    bool setWatching(bool enable) override;
    bool isWatching() const override;
    bool isInUse(const QString &name) override;

private:
    std::unique_ptr<TtyDeviceSource> source;
    QSocketNotifier *notifier = nullptr;
};
