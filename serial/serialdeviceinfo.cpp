#include "serialdeviceinfo_p.h"

#include <QRegularExpression>

bool SerialDeviceInfo::operator==(const SerialDeviceInfo &other) const
{
    return name == other.name && bus == other.bus && description == other.description &&
           friendlyName == other.friendlyName && hardwareID == other.hardwareID &&
           locationInfo == other.locationInfo && manufacturer == other.manufacturer &&
           deviceClass == other.deviceClass && service == other.service && driver == other.driver &&
           physicalObjectName == other.physicalObjectName && vendorID == other.vendorID &&
           productID == other.productID;
}

bool SerialDeviceInfo::isSkippedName(const QString &name)
{
    return name.isEmpty() || name.contains(QLatin1String("LPT"));
}

bool SerialDeviceInfo::parseVendorProduct(const QString &hardwareId, int windowsMajorVersion,
                                          QString *vendor, QString *product)
{
    // Every version after 7 writes the identifiers as Vista does.
    static const QRegularExpression before6(QStringLiteral("Vid_(\\w+)&Pid_(\\w+)"));
    static const QRegularExpression since6(QStringLiteral("VID_(\\w+)&PID_(\\w+)"));
    const QRegularExpressionMatch match =
        (windowsMajorVersion < 6 ? before6 : since6).match(hardwareId);
    if (!match.hasMatch())
        return false;
    *vendor = match.captured(1);
    *product = match.captured(2);
    return true;
}

void insertSerialDevice(SerialDeviceMap &map, const SerialDeviceInfo &info)
{
    if (!SerialDeviceInfo::isSkippedName(info.name))
        map.insert(info.name, info);
}
