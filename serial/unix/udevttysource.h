#pragma once

#include "ttydevicesource.h"

struct udev;
struct udev_monitor;

// The tty subsystem through libudev, with a monitor for ports that come and go.
class UdevTtySource : public TtyDeviceSource
{
public:
    UdevTtySource();
    ~UdevTtySource() override;

    // Whether udev's daemon runs here: without it udev has no properties and sends no events.
    static bool isRunning();

    QList<TtyDevice> devices() override;
    int startMonitor() override;
    void stopMonitor() override;
    void takeEvents() override;

private:
    struct udev *context;
    struct udev_monitor *monitor = nullptr;
};
