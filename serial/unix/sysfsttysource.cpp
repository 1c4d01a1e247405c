#include "sysfsttysource.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString readAttribute(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).trimmed();
}

// The name a sysfs link points to: the subsystem or driver of a device.
QString linkName(const QString &path)
{
    const QString target = QFileInfo(path).symLinkTarget();
    return target.isEmpty() ? QString() : QFileInfo(target).fileName();
}

} // namespace

SysfsTtySource::SysfsTtySource(const QString &sysRoot)
    : root(QFileInfo(sysRoot).canonicalFilePath())
{}

QList<TtyDevice> SysfsTtySource::devices()
{
    QList<TtyDevice> found;
    const QDir ttys(root + QStringLiteral("/class/tty"));
    for (const QString &name :
         ttys.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        found.append(describe(name));
    return found;
}

TtyDevice SysfsTtySource::describe(const QString &name) const
{
    TtyDevice tty;
    tty.sysName = name;
    tty.sysPath = QFileInfo(root + QStringLiteral("/class/tty/") + name).canonicalFilePath();
    const QStringList uevent =
        readAttribute(tty.sysPath + QStringLiteral("/uevent")).split(QLatin1Char('\n'));
    for (const QString &line : uevent) {
        if (line.startsWith(QLatin1String("DEVNAME=")))
            tty.devNode = QStringLiteral("/dev/") + line.mid(8);
    }
    const QFileInfo device(tty.sysPath + QStringLiteral("/device"));
    if (device.exists())
        describeHardware(device.canonicalFilePath(), &tty);
    tty.serialType = serialCoreType(readAttribute(tty.sysPath + QStringLiteral("/type")), tty);
    return tty;
}

void SysfsTtySource::describeHardware(const QString &devicePath, TtyDevice *tty) const
{
    // Past the serial core's port and controller devices (Linux 6.5 on) to the hardware.
    QString hardware = devicePath;
    while (linkName(hardware + QStringLiteral("/subsystem")) == QLatin1String("serial-base"))
        hardware = QFileInfo(hardware).path();
    tty->subsystem = linkName(hardware + QStringLiteral("/subsystem"));
    tty->driver = linkName(hardware + QStringLiteral("/driver"));
    tty->modalias = readAttribute(hardware + QStringLiteral("/modalias"));

    // A USB port: the identifiers that udev would have given, from the USB device above it.
    const QString top = root + QStringLiteral("/devices");
    for (QString dir = hardware; dir.startsWith(top + QLatin1Char('/'));
         dir = QFileInfo(dir).path()) {
        if (!QFileInfo::exists(dir + QStringLiteral("/idVendor")))
            continue;
        const auto attribute = [&dir](const char *name) {
            return readAttribute(dir + QLatin1Char('/') + QLatin1String(name));
        };
        tty->properties.insert(QStringLiteral("ID_BUS"), QStringLiteral("usb"));
        tty->properties.insert(QStringLiteral("ID_VENDOR_ID"), attribute("idVendor"));
        tty->properties.insert(QStringLiteral("ID_MODEL_ID"), attribute("idProduct"));
        tty->properties.insert(QStringLiteral("ID_VENDOR"), attribute("manufacturer"));
        tty->properties.insert(QStringLiteral("ID_MODEL"), attribute("product"));
        break;
    }
}
