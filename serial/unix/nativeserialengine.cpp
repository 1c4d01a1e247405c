#include "nativeserialengine.h"

#include "nativeserialengine_p.h"
#include "nativeserialenginebase_impl_p.h"
#include "nativeserialnotifier.h"

#include <QFile>
#include <QRegularExpression>

NativeSerialEngine::NativeSerialEngine(QObject *parent)
    : NativeSerialEngineBase(new NativeSerialEnginePrivate(this), parent)
{}

NativeSerialEngine::~NativeSerialEngine()
{
    d_func()->nativeClose();
}

QString NativeSerialEngine::portPath(const QString &deviceName)
{
    if (deviceName.isEmpty() || deviceName.contains(QLatin1Char('/')))
        return deviceName;
    static const QRegularExpression comName(QStringLiteral("^COM(\\d+)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comName.match(deviceName);
    if (match.hasMatch()) {
        bool ok = false;
        const int number = match.captured(1).toInt(&ok);
        if (ok && number >= 1)
            return QStringLiteral("/dev/ttyS%1").arg(number - 1);
    }
    return QStringLiteral("/dev/") + deviceName;
}

bool NativeSerialEngine::isPortLost() const
{
    return d_func()->portLost;
}

void NativeSerialEnginePrivate::setTotalReadConstant(int msecs)
{
    if (msecs == -1) {
        autoTotalReadConstant = true;
        updateAutoReadConstant();
    } else {
        autoTotalReadConstant = false;
        readTotalConstant = msecs;
    }
}

void NativeSerialEnginePrivate::createNotifier()
{
    notifier = new NativeSerialNotifier(q, this);
    if (fd() >= 0)
        notifier->attach(fd());
}

void NativeSerialEnginePrivate::releaseNotifier()
{
    delete notifier;
    notifier = nullptr;
}

template class NativeSerialEngineBase<NativeSerialEnginePrivate>;
