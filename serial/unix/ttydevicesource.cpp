#include "ttydevicesource.h"

#include <QFile>

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

int serialCoreType(const QString &typeAttribute, const TtyDevice &device)
{
    bool ok = false;
    const int type = typeAttribute.trimmed().toInt(&ok);
    if (ok)
        return type;
    if (!device.sysName.startsWith(QLatin1String("ttyS")) || device.devNode.isEmpty())
        return -1;
    // The serial core refuses to open a port without a UART: nothing behind it either.
    const int handle = ::open(QFile::encodeName(device.devNode).constData(),
                              O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (handle < 0)
        return 0;
    struct serial_struct info = {};
    const int result = ::ioctl(handle, TIOCGSERIAL, &info);
    ::close(handle);
    return result == 0 ? info.type : 0;
}
