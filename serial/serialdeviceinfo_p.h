#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// What the enumerator knows of one port. The fields are Windows' device properties; each
// platform fills what it has.
struct SerialDeviceInfo
{
    QString name;         // what to open: "COM3", "/dev/ttyUSB0"
    QString bus;          // enumerator: "USB", "FTDIBUS", "ACPI"; "usb", "pnp" on Linux
    QString description;  // "USB Serial Port"
    QString friendlyName; // "USB Serial Port (COM3)"
    QStringList hardwareID;
    QString locationInfo;
    QString manufacturer;
    QString deviceClass;
    QString service;            // the driver's name
    QString driver;             // where the driver lives
    QString physicalObjectName; // "\Device\VCP0"; the sysfs path on Linux
    QString vendorID;
    QString productID;

    bool operator==(const SerialDeviceInfo &other) const;
    bool operator!=(const SerialDeviceInfo &other) const { return !(*this == other); }

    // Printer ports share the class with serial ones and are no use to a serial line.
    static bool isSkippedName(const QString &name);
    // Vendor and product from a hardware identifier. Windows before Vista writes
    // "Vid_0403&Pid_6001", later ones "VID_0403&PID_6001".
    static bool parseVendorProduct(const QString &hardwareId, int windowsMajorVersion,
                                   QString *vendor, QString *product);
};

// An enumeration: the ports by name, so the names come out in ascending order.
using SerialDeviceMap = QMap<QString, SerialDeviceInfo>;

// Adds a port unless its name is empty or skipped.
void insertSerialDevice(SerialDeviceMap &map, const SerialDeviceInfo &info);
