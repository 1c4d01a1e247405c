#pragma once

#include "ttydevicesource.h"

// The tty subsystem read from sysfs, where no udev daemon runs (containers, CI): no links,
// the USB identifiers from the device's own attributes, and no watch.
class SysfsTtySource : public TtyDeviceSource
{
public:
    explicit SysfsTtySource(const QString &sysRoot = QStringLiteral("/sys"));

    QList<TtyDevice> devices() override;
    int startMonitor() override { return -1; }
    void stopMonitor() override {}
    void takeEvents() override {}

private:
    TtyDevice describe(const QString &name) const;
    void describeHardware(const QString &devicePath, TtyDevice *tty) const;

    QString root;
};
