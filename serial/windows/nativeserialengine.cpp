#include "nativeserialengine.h"

#include "nativeserialengine_p.h"
#include "nativeserialnotifier.h"

#include <QAbstractEventDispatcher>
#include <QThread>

#ifdef GRELVIX_WIN32_STANDIN
namespace Win32StandIn {
#endif

NativeSerialEngine::NativeSerialEngine(QObject *parent)
    : AbstractSerialEngine(new NativeSerialEnginePrivate(this), parent)
{}

NativeSerialEngine::~NativeSerialEngine()
{
    d_func()->nativeClose();
}

NativeSerialEnginePrivate *NativeSerialEngine::d_func() const
{
    return static_cast<NativeSerialEnginePrivate *>(d_ptr.get());
}

bool NativeSerialEngine::open(const QIODevice::OpenMode &mode)
{
    NativeSerialEnginePrivate *d = d_func();
    if (d->isOpen())
        return false;
    if (d->nativeOpen(mode))
        return true;
    d->nativeClose();
    return false;
}

bool NativeSerialEngine::close()
{
    return d_func()->nativeClose();
}

bool NativeSerialEngine::setBaudRate(int baudRate, const AbstractSerial::BaudDirection &direction)
{
    return d_func()->nativeSetBaudRate(baudRate, direction);
}

bool NativeSerialEngine::setDataBits(AbstractSerial::DataBits dataBits)
{
    return d_func()->nativeSetDataBits(dataBits);
}

bool NativeSerialEngine::setParity(AbstractSerial::Parity parity)
{
    return d_func()->nativeSetParity(parity);
}

bool NativeSerialEngine::setStopBits(AbstractSerial::StopBits stopBits)
{
    return d_func()->nativeSetStopBits(stopBits);
}

bool NativeSerialEngine::setFlowControl(AbstractSerial::Flow flow)
{
    return d_func()->nativeSetFlowControl(flow);
}

void NativeSerialEngine::setCharIntervalTimeout(int usecs)
{
    NativeSerialEnginePrivate *d = d_func();
    d->charIntervalValue = usecs;
    d->updateAutoReadConstant();
}

int NativeSerialEngine::charIntervalTimeout() const
{
    return d_func()->charIntervalValue;
}

void NativeSerialEngine::setTotalReadConstantTimeout(int msecs)
{
    d_func()->setTotalReadConstant(msecs);
}

int NativeSerialEngine::totalReadConstantTimeout() const
{
    return int(d_func()->commTimeouts.ReadTotalTimeoutConstant);
}

bool NativeSerialEngine::setDtr(bool set)
{
    return d_func()->nativeSetDtr(set);
}

bool NativeSerialEngine::setRts(bool set)
{
    return d_func()->nativeSetRts(set);
}

quint16 NativeSerialEngine::lineStatus()
{
    return d_func()->nativeLineStatus();
}

bool NativeSerialEngine::sendBreak(int duration)
{
    return d_func()->nativeSendBreak(duration);
}

bool NativeSerialEngine::setBreak(bool set)
{
    return d_func()->nativeSetBreak(set);
}

bool NativeSerialEngine::flush()
{
    return d_func()->nativeFlush();
}

bool NativeSerialEngine::reset()
{
    return d_func()->nativeReset();
}

qint64 NativeSerialEngine::bytesAvailable()
{
    return d_func()->nativeBytesAvailable();
}

qint64 NativeSerialEngine::read(char *data, qint64 maxSize)
{
    NativeSerialEnginePrivate *d = d_func();
    return readInChunks(data, maxSize,
                        [d](char *chunk, qint64 len) { return d->nativeRead(chunk, len); });
}

qint64 NativeSerialEngine::write(const char *data, qint64 maxSize)
{
    NativeSerialEnginePrivate *d = d_func();
    return writeInChunks(data, maxSize,
                         [d](const char *chunk, qint64 len) { return d->nativeWrite(chunk, len); });
}

bool NativeSerialEngine::select(bool *readyToRead, bool *readyToWrite, bool checkRead,
                                bool checkWrite, int msecs)
{
    return d_func()->nativeSelect(msecs, checkRead, checkWrite, readyToRead, readyToWrite) > 0;
}

bool NativeSerialEngine::isReadNotificationEnabled() const
{
    const NativeSerialNotifier *notifier = d_func()->notifier;
    return notifier && notifier->isReadNotificationEnabled();
}

void NativeSerialEngine::setReadNotificationEnabled(bool enable, bool release)
{
    d_func()->switchNotification(&AbstractSerialNotifier::setReadNotificationEnabled, enable,
                                 release);
}

bool NativeSerialEngine::isWriteNotificationEnabled() const
{
    const NativeSerialNotifier *notifier = d_func()->notifier;
    return notifier && notifier->isWriteNotificationEnabled();
}

void NativeSerialEngine::setWriteNotificationEnabled(bool enable, bool release)
{
    d_func()->switchNotification(&AbstractSerialNotifier::setWriteNotificationEnabled, enable,
                                 release);
}

bool NativeSerialEngine::isExceptionNotificationEnabled() const
{
    const NativeSerialNotifier *notifier = d_func()->notifier;
    return notifier && notifier->isExceptionNotificationEnabled();
}

void NativeSerialEngine::setExceptionNotificationEnabled(bool enable, bool release)
{
    d_func()->switchNotification(&AbstractSerialNotifier::setExceptionNotificationEnabled, enable,
                                 release);
}

bool NativeSerialEngine::isLineNotificationEnabled() const
{
    const NativeSerialNotifier *notifier = d_func()->notifier;
    return notifier && notifier->isLineNotificationEnabled();
}

void NativeSerialEngine::setLineNotificationEnabled(bool enable, bool release)
{
    d_func()->switchNotification(&AbstractSerialNotifier::setLineNotificationEnabled, enable,
                                 release);
}

void NativeSerialEnginePrivate::switchNotification(void (AbstractSerialNotifier::*set)(bool),
                                                   bool enable, bool release)
{
    if (release)
        enable = false;
    if (notifier) {
        (notifier->*set)(enable);
    } else if (enable && QAbstractEventDispatcher::instance(q->thread())) {
        notifier = new NativeSerialNotifier(q, this);
        (notifier->*set)(enable);
    }
    // A write notification delivered above may have released the notifier already.
    if (release)
        releaseNotifier();
}

void NativeSerialEnginePrivate::releaseNotifier()
{
    delete notifier;
    notifier = nullptr;
}

#ifdef GRELVIX_WIN32_STANDIN
} // namespace Win32StandIn
#endif
