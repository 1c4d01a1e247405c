#pragma once

// Recorded udev devices for the Linux port enumerator, with a monitor that a test triggers by
// adding and removing devices.
#include "unix/ttydevicesource.h"

#include <fcntl.h>
#include <unistd.h>

class FakeTtySource : public TtyDeviceSource
{
public:
    explicit FakeTtySource(const QList<TtyDevice> &initial = {})
        : present(initial)
    {}
    ~FakeTtySource() override { stopMonitor(); }

    // What udev says of an FTDI adapter, a UART found by ACPI (pnp) and a legacy ttyS slot
    // with no UART behind it.
    static TtyDevice usbAdapter(const QString &name = QStringLiteral("ttyUSB0"))
    {
        TtyDevice tty = recorded(name, QStringLiteral("usb-serial"), QStringLiteral("ftdi_sio"));
        tty.sysPath = QStringLiteral("/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/") +
                      name + QStringLiteral("/tty/") + name;
        tty.links = {
            QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"),
            QStringLiteral("/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0")};
        tty.modalias = QStringLiteral("usb:v0403p6001d0600dc00dsc00dp00icFFiscFFipFFin00");
        tty.properties = {
            {QStringLiteral("ID_BUS"), QStringLiteral("usb")},
            {QStringLiteral("ID_VENDOR"), QStringLiteral("FTDI")},
            {QStringLiteral("ID_VENDOR_ENC"), QStringLiteral("FTDI")},
            {QStringLiteral("ID_VENDOR_ID"), QStringLiteral("0403")},
            {QStringLiteral("ID_VENDOR_FROM_DATABASE"),
             QStringLiteral("Future Technology Devices International, Ltd")},
            {QStringLiteral("ID_MODEL"), QStringLiteral("FT232R_USB_UART")},
            {QStringLiteral("ID_MODEL_ENC"), QStringLiteral("FT232R\\x20USB\\x20UART")},
            {QStringLiteral("ID_MODEL_ID"), QStringLiteral("6001")},
            {QStringLiteral("ID_USB_DRIVER"), QStringLiteral("ftdi_sio")}};
        return tty;
    }
    static TtyDevice pnpUart()
    {
        TtyDevice tty =
            recorded(QStringLiteral("ttyS0"), QStringLiteral("pnp"), QStringLiteral("serial"));
        tty.sysPath = QStringLiteral("/sys/devices/pnp0/00:00/00:00:0/00:00:0.0/tty/ttyS0");
        tty.links = {QStringLiteral("/dev/serial/by-path/pnp-0-0-port0")};
        tty.serialType = 4; // 16550A
        return tty;
    }
    static TtyDevice phantomSlot()
    {
        TtyDevice tty = recorded(QStringLiteral("ttyS1"), QStringLiteral("platform"),
                                 QStringLiteral("serial8250"));
        tty.sysPath = QStringLiteral("/sys/devices/platform/serial8250/tty/ttyS1");
        tty.serialType = 0;
        return tty;
    }
    static TtyDevice console()
    {
        TtyDevice tty = recorded(QStringLiteral("tty0"), QString(), QString());
        tty.sysPath = QStringLiteral("/sys/devices/virtual/tty/tty0");
        return tty;
    }

    // The devices now present, announced on the monitor as udev would.
    void set(const QList<TtyDevice> &devices)
    {
        present = devices;
        if (pipeFds[1] >= 0)
            (void)!::write(pipeFds[1], "x", 1);
    }
    // Monitor readings so far; each is followed by an enumeration.
    int eventsTaken = 0;

    QList<TtyDevice> devices() override { return present; }
    int startMonitor() override
    {
        if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_NONBLOCK | O_CLOEXEC) != 0)
            return -1;
        return pipeFds[0];
    }
    void stopMonitor() override
    {
        for (int &fd : pipeFds) {
            if (fd >= 0)
                ::close(fd);
            fd = -1;
        }
    }
    void takeEvents() override
    {
        char buffer[64];
        while (pipeFds[0] >= 0 && ::read(pipeFds[0], buffer, sizeof(buffer)) > 0)
            ++eventsTaken;
    }

private:
    static TtyDevice recorded(const QString &name, const QString &subsystem, const QString &driver)
    {
        TtyDevice tty;
        tty.sysName = name;
        tty.devNode = QStringLiteral("/dev/") + name;
        tty.subsystem = subsystem;
        tty.driver = driver;
        tty.properties.insert(QStringLiteral("DEVNAME"), tty.devNode);
        return tty;
    }
    QList<TtyDevice> present;
    int pipeFds[2] = {-1, -1};
};
