#include "nativedeviceenumerator.h"

#include <QVariant>

#include <cstring>
#include <iterator>

#ifdef GRELVIX_WIN32_STANDIN
namespace Win32StandIn {
#endif

namespace {

// Ports, multiport serial adapters, modems.
const GUID deviceClasses[] = {
    {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}},
    {0xDF799E12, 0x3C56, 0x421B, {0xB2, 0x98, 0xB6, 0xD3, 0x64, 0x2B, 0xC8, 0x78}},
    {0x4D36E96D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}},
};

LPCWSTR wide(const QString &text)
{
    return reinterpret_cast<LPCWSTR>(text.utf16());
}

// Text values become text, multi-strings a list, double words a number.
QVariant fromRegistry(DWORD type, const QByteArray &bytes)
{
    const QString text =
        QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()), bytes.size() / 2);
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
        return text.section(QChar(u'\0'), 0, 0);
    case REG_MULTI_SZ:
        return text.split(QChar(u'\0'), Qt::SkipEmptyParts);
    case REG_DWORD:
        if (bytes.size() >= qsizetype(sizeof(DWORD))) {
            DWORD value = 0;
            std::memcpy(&value, bytes.constData(), sizeof(value));
            return uint(value);
        }
        break;
    }
    return QVariant();
}

QVariant registryValue(HKEY key, const QString &name)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, wide(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return QVariant();
    QByteArray bytes(qsizetype(size), '\0');
    if (RegQueryValueExW(key, wide(name), nullptr, &type, reinterpret_cast<LPBYTE>(bytes.data()),
                         &size) != ERROR_SUCCESS)
        return QVariant();
    return fromRegistry(type, bytes.left(size));
}

// A string value only: what else a value of that name holds is no name.
QString registryText(HKEY key, const QString &name)
{
    const QVariant value = registryValue(key, name);
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

// The port name lives in the device's hardware key, under a value whose name holds "PortName".
QString portNameOf(HDEVINFO set, SP_DEVINFO_DATA *device)
{
    const HKEY key = SetupDiOpenDevRegKey(set, device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == static_cast<HKEY>(INVALID_HANDLE_VALUE))
        return QString();
    QString port;
    WCHAR name[256]; // longer value names are not the one looked for
    for (DWORD index = 0; port.isEmpty(); ++index) {
        DWORD length = DWORD(std::size(name));
        const LSTATUS result =
            RegEnumValueW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            break;
        const QString valueName =
            QString::fromUtf16(reinterpret_cast<const char16_t *>(name), length);
        if (valueName.contains(QLatin1String("PortName")))
            port = registryText(key, valueName);
    }
    RegCloseKey(key);
    return port;
}

QVariant deviceProperty(HDEVINFO set, SP_DEVINFO_DATA *device, DWORD property)
{
    DWORD type = 0;
    DWORD size = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, device, property, &type, nullptr, 0, &size) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return QVariant();
    QByteArray bytes(qsizetype(size), '\0');
    if (!SetupDiGetDeviceRegistryPropertyW(set, device, property, &type,
                                           reinterpret_cast<PBYTE>(bytes.data()), size, nullptr))
        return QVariant();
    return fromRegistry(type, bytes);
}

QString driverImagePath(const QString &service)
{
    if (service.isEmpty())
        return QString();
    const QString path = QStringLiteral("SYSTEM\\CurrentControlSet\\services\\") + service;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(path), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return QString();
    const QString image = registryText(key, QStringLiteral("ImagePath"));
    RegCloseKey(key);
    return image;
}

SerialDeviceInfo describe(HDEVINFO set, SP_DEVINFO_DATA *device, const QString &port)
{
    const auto text = [&](DWORD property) {
        return deviceProperty(set, device, property).toString();
    };
    SerialDeviceInfo info;
    info.name = port;
    info.bus = text(SPDRP_ENUMERATOR_NAME);
    info.description = text(SPDRP_DEVICEDESC);
    info.friendlyName = text(SPDRP_FRIENDLYNAME);
    info.hardwareID = deviceProperty(set, device, SPDRP_HARDWAREID).toStringList();
    info.locationInfo = text(SPDRP_LOCATION_INFORMATION);
    info.manufacturer = text(SPDRP_MFG);
    info.deviceClass = text(SPDRP_CLASS);
    info.service = text(SPDRP_SERVICE);
    info.physicalObjectName = text(SPDRP_PHYSICAL_DEVICE_OBJECT_NAME);
    info.driver = driverImagePath(info.service);
    if (!info.hardwareID.isEmpty())
        SerialDeviceInfo::parseVendorProduct(info.hardwareID.first(), windowsMajorVersion(),
                                             &info.vendorID, &info.productID);
    return info;
}

} // namespace

NativeDeviceEnumerator::NativeDeviceEnumerator()
    : eventHandle(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    const QString services = QStringLiteral("SYSTEM\\CurrentControlSet\\services");
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(services), 0, KEY_NOTIFY, &key) == ERROR_SUCCESS)
        servicesKey = key;
}

NativeDeviceEnumerator::~NativeDeviceEnumerator()
{
    delete notifier;
    if (eventHandle)
        CloseHandle(eventHandle);
    if (servicesKey)
        RegCloseKey(servicesKey);
}

SerialDeviceMap NativeDeviceEnumerator::enumerate()
{
    SerialDeviceMap found;
    for (const GUID &deviceClass : deviceClasses) {
        const HDEVINFO set = SetupDiGetClassDevsW(&deviceClass, nullptr, nullptr, DIGCF_PRESENT);
        if (set == INVALID_HANDLE_VALUE)
            continue;
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof(device);
        for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
            const QString port = portNameOf(set, &device);
            if (!SerialDeviceInfo::isSkippedName(port))
                insertSerialDevice(found, describe(set, &device, port));
        }
        SetupDiDestroyDeviceInfoList(set);
    }
    return found;
}

bool NativeDeviceEnumerator::setWatching(bool enable)
{
    if (!eventHandle || !servicesKey)
        return false;
    if (!notifier && enable) {
        notifier = new QWinEventNotifier(eventHandle, this);
        connect(notifier, &QWinEventNotifier::activated, this, [this] {
            armed = false; // the registry tells once per request
            emit changed();
        });
    }
    if (notifier)
        notifier->setEnabled(enable);
    return isWatching();
}

bool NativeDeviceEnumerator::isWatching() const
{
    return notifier && notifier->isEnabled();
}

void NativeDeviceEnumerator::rearm()
{
    if (armed || !servicesKey || !eventHandle)
        return;
    armed = RegNotifyChangeKeyValue(servicesKey, TRUE, REG_NOTIFY_CHANGE_LAST_SET, eventHandle,
                                    TRUE) == ERROR_SUCCESS;
}

bool NativeDeviceEnumerator::isInUse(const QString &name)
{
    const QString path = QStringLiteral("\\\\.\\") + name;
    const HANDLE file = CreateFileW(wide(path), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return true;
    CancelIo(file);
    CloseHandle(file);
    return false;
}

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif
