#include "nativedeviceenumerator.h"

#include "nativeserialengine.h"
#include "nativeserialengine_p.h"
#include "sysfsttysource.h"
#include "udevttysource.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

Q_LOGGING_CATEGORY(lcSerialEnumerator, "grelvix.serial.enumerator")

namespace {

// udev escapes what it took from the device's descriptors: "FT232R\x20USB\x20UART".
QString unescaped(const QString &encoded)
{
    const QByteArray in = encoded.toUtf8();
    QByteArray out;
    for (qsizetype i = 0; i < in.size(); ++i) {
        bool ok = false;
        const int value = i + 3 < in.size() && in.at(i) == '\\' && in.at(i + 1) == 'x'
                              ? in.mid(i + 2, 2).toInt(&ok, 16)
                              : 0;
        if (ok) {
            out += char(value);
            i += 3;
        } else {
            out += in.at(i);
        }
    }
    return QString::fromUtf8(out).trimmed();
}

// The first of udev's properties that is there: the database's names before the device's.
QString firstOf(const TtyDevice &tty, const char *fromDatabase, const char *encoded,
                const char *plain)
{
    const QString named = tty.properties.value(QLatin1String(fromDatabase));
    if (!named.isEmpty())
        return named;
    const QString decoded = unescaped(tty.properties.value(QLatin1String(encoded)));
    if (!decoded.isEmpty())
        return decoded;
    return tty.properties.value(QLatin1String(plain));
}

} // namespace

NativeDeviceEnumerator::NativeDeviceEnumerator(std::unique_ptr<TtyDeviceSource> ttySource)
    : source(std::move(ttySource))
{}

NativeDeviceEnumerator::~NativeDeviceEnumerator()
{
    setWatching(false);
}

std::unique_ptr<TtyDeviceSource> NativeDeviceEnumerator::systemSource()
{
    if (UdevTtySource::isRunning())
        return std::make_unique<UdevTtySource>();
    static bool told = false;
    if (!told) {
        told = true;
        qCDebug(lcSerialEnumerator) << "udev is not running: serial ports are read from "
                                       "/sys/class/tty and not watched";
    }
    return std::make_unique<SysfsTtySource>();
}

bool NativeDeviceEnumerator::describe(const TtyDevice &tty, SerialDeviceInfo *info)
{
    // Consoles and ptmx have no hardware; a legacy ttyS slot without a UART is no port.
    if (tty.subsystem.isEmpty() || tty.devNode.isEmpty() || tty.serialType == 0)
        return false;
    const auto property = [&tty](const char *name) {
        return tty.properties.value(QLatin1String(name));
    };
    info->name = tty.devNode;
    info->bus = property("ID_BUS");
    if (info->bus.isEmpty())
        info->bus = tty.subsystem;
    info->description = firstOf(tty, "ID_MODEL_FROM_DATABASE", "ID_MODEL_ENC", "ID_MODEL");
    info->friendlyName = info->description.isEmpty()
                             ? tty.sysName
                             : QStringLiteral("%1 (%2)").arg(info->description, tty.sysName);
    if (!tty.modalias.isEmpty())
        info->hardwareID = QStringList{tty.modalias};
    QStringList locations;
    for (const QString &link : tty.links) {
        if (link.contains(QLatin1String("/by-id/")) || link.contains(QLatin1String("/by-path/")))
            locations.append(link);
    }
    info->locationInfo = locations.join(QLatin1String("; "));
    info->manufacturer = firstOf(tty, "ID_VENDOR_FROM_DATABASE", "ID_VENDOR_ENC", "ID_VENDOR");
    info->deviceClass = QStringLiteral("tty");
    info->service = property("ID_USB_DRIVER");
    if (info->service.isEmpty())
        info->service = tty.driver;
    if (!tty.driver.isEmpty())
        info->driver = QStringLiteral("/sys/bus/%1/drivers/%2").arg(tty.subsystem, tty.driver);
    info->physicalObjectName = tty.sysPath;
    info->vendorID = property("ID_VENDOR_ID");
    info->productID = property("ID_MODEL_ID");
    return true;
}

SerialDeviceMap NativeDeviceEnumerator::enumerate()
{
    SerialDeviceMap found;
    for (const TtyDevice &tty : source->devices()) {
        SerialDeviceInfo info;
        if (describe(tty, &info))
            insertSerialDevice(found, info);
    }
    return found;
}

bool NativeDeviceEnumerator::setWatching(bool enable)
{
    if (!enable) {
        delete notifier;
        notifier = nullptr;
        source->stopMonitor();
        return false;
    }
    if (!notifier) {
        const int descriptor = source->startMonitor();
        if (descriptor < 0)
            return false;
        notifier = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] {
            source->takeEvents();
            emit changed();
        });
    }
    notifier->setEnabled(true);
    return true;
}

bool NativeDeviceEnumerator::isWatching() const
{
    return notifier && notifier->isEnabled();
}

bool NativeDeviceEnumerator::isInUse(const QString &name)
{
    const int handle = NativeSerialEnginePrivate::openExclusive(NativeSerialEngine::portPath(name),
                                                                QIODevice::ReadWrite, true);
    if (handle < 0)
        return true;
    NativeSerialEnginePrivate::closeExclusive(handle);
    return false;
}
