#include "udevttysource.h"

#include <QFileInfo>

#include <fcntl.h>
#include <libudev.h>

namespace {

QString text(const char *value)
{
    return value ? QString::fromUtf8(value) : QString();
}

// The device that holds the port: the serial core's own port and controller devices
// stand between a UART's tty and it since Linux 6.5.
struct udev_device *hardwareOf(struct udev_device *tty)
{
    struct udev_device *parent = udev_device_get_parent(tty);
    while (parent && text(udev_device_get_subsystem(parent)) == QLatin1String("serial-base"))
        parent = udev_device_get_parent(parent);
    return parent;
}

TtyDevice describe(struct udev_device *device)
{
    TtyDevice tty;
    tty.sysPath = text(udev_device_get_syspath(device));
    tty.sysName = text(udev_device_get_sysname(device));
    tty.devNode = text(udev_device_get_devnode(device));
    struct udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_device_get_devlinks_list_entry(device))
        tty.links.append(text(udev_list_entry_get_name(entry)));
    udev_list_entry_foreach(entry, udev_device_get_properties_list_entry(device))
        tty.properties.insert(text(udev_list_entry_get_name(entry)),
                              text(udev_list_entry_get_value(entry)));
    if (struct udev_device *hardware = hardwareOf(device)) {
        tty.subsystem = text(udev_device_get_subsystem(hardware));
        tty.driver = text(udev_device_get_driver(hardware));
        tty.modalias = text(udev_device_get_property_value(hardware, "MODALIAS"));
    }
    tty.serialType = serialCoreType(text(udev_device_get_sysattr_value(device, "type")), tty);
    return tty;
}

} // namespace

UdevTtySource::UdevTtySource()
    : context(udev_new())
{}

UdevTtySource::~UdevTtySource()
{
    stopMonitor();
    if (context)
        udev_unref(context);
}

bool UdevTtySource::isRunning()
{
    return QFileInfo::exists(QStringLiteral("/run/udev/control"));
}

QList<TtyDevice> UdevTtySource::devices()
{
    QList<TtyDevice> found;
    struct udev_enumerate *enumerate = context ? udev_enumerate_new(context) : nullptr;
    if (!enumerate)
        return found;
    udev_enumerate_add_match_subsystem(enumerate, "tty");
    udev_enumerate_scan_devices(enumerate);
    struct udev_list_entry *entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate))
    {
        struct udev_device *device =
            udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (!device)
            continue; // gone since the scan
        found.append(describe(device));
        udev_device_unref(device);
    }
    udev_enumerate_unref(enumerate);
    return found;
}

int UdevTtySource::startMonitor()
{
    if (!monitor && context) {
        monitor = udev_monitor_new_from_netlink(context, "udev");
        if (monitor &&
            (udev_monitor_filter_add_match_subsystem_devtype(monitor, "tty", nullptr) < 0 ||
             udev_monitor_enable_receiving(monitor) < 0)) {
            udev_monitor_unref(monitor);
            monitor = nullptr;
        }
    }
    if (!monitor)
        return -1;
    const int descriptor = udev_monitor_get_fd(monitor);
    // Draining must never block the event loop.
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
    return descriptor;
}

void UdevTtySource::stopMonitor()
{
    if (monitor)
        udev_monitor_unref(monitor);
    monitor = nullptr;
}

void UdevTtySource::takeEvents()
{
    while (struct udev_device *device = monitor ? udev_monitor_receive_device(monitor) : nullptr)
        udev_device_unref(device);
}
