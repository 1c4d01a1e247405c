#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// One node of the tty subsystem as udev (or sysfs) describes it.
struct TtyDevice
{
    QString sysPath;                    // /sys/devices/.../ttyUSB0
    QString sysName;                    // ttyUSB0
    QString devNode;                    // /dev/ttyUSB0
    QStringList links;                  // /dev/serial/by-id/..., /dev/serial/by-path/...
    QHash<QString, QString> properties; // udev's: ID_BUS, ID_VENDOR_ID, ID_MODEL, ...
    // The hardware behind the node; empty for a virtual one (consoles, ptmx).
    QString subsystem; // usb-serial, usb, pnp, platform, pci
    QString driver;    // ftdi_sio, cdc_acm, serial, serial8250
    QString modalias;
    // The UART type of a serial-core port (0: no UART behind it), -1 for other drivers.
    int serialType = -1;
};

// Where the Linux enumerator learns of ttys: udev, sysfs, or a test's recorded devices.
class TtyDeviceSource
{
public:
    virtual ~TtyDeviceSource() = default;

    virtual QList<TtyDevice> devices() = 0;
    // A descriptor that turns readable when ttys come or go; -1 when this source cannot tell.
    virtual int startMonitor() = 0;
    virtual void stopMonitor() = 0;
    // Reads what the monitor has to say, so that the descriptor is quiet again.
    virtual void takeEvents() = 0;
};

// The UART type of a serial-core port from its sysfs "type" attribute, or where that is
// missing (old kernels) from TIOCGSERIAL on a ttyS node, which needs the port opened.
int serialCoreType(const QString &typeAttribute, const TtyDevice &device);
