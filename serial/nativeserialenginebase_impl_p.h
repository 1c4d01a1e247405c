#pragma once

#include "abstractserialnotifier.h"
#include "nativeserialenginebase_p.h"

#include <QAbstractEventDispatcher>
#include <QThread>

template<typename Private>
NativeSerialEngineBase<Private>::NativeSerialEngineBase(Private *state, QObject *parent)
    : AbstractSerialEngine(state, parent)
{}

template<typename Private>
bool NativeSerialEngineBase<Private>::open(const QIODevice::OpenMode &mode)
{
    Private *d = d_func();
    if (d->isOpen())
        return false;
    if (d->nativeOpen(mode))
        return true;
    d->nativeClose();
    return false;
}

template<typename Private>
bool NativeSerialEngineBase<Private>::close()
{
    return d_func()->nativeClose();
}

template<typename Private>
bool NativeSerialEngineBase<Private>::setBaudRate(int baudRate,
                                                  const AbstractSerial::BaudDirection &direction)
{
    return d_func()->nativeSetBaudRate(baudRate, direction);
}

template<typename Private>
bool NativeSerialEngineBase<Private>::setDataBits(AbstractSerial::DataBits dataBits)
{
    return d_func()->nativeSetDataBits(dataBits);
}

template<typename Private>
bool NativeSerialEngineBase<Private>::setParity(AbstractSerial::Parity parity)
{
    return d_func()->nativeSetParity(parity);
}

template<typename Private>
bool NativeSerialEngineBase<Private>::setStopBits(AbstractSerial::StopBits stopBits)
{
    return d_func()->nativeSetStopBits(stopBits);
}

template<typename Private>
bool NativeSerialEngineBase<Private>::setFlowControl(AbstractSerial::Flow flow)
{
    return d_func()->nativeSetFlowControl(flow);
}

template<typename Private>
void NativeSerialEngineBase<Private>::setCharIntervalTimeout(int usecs)
{
    d_func()->charIntervalValue = usecs;
    d_func()->updateAutoReadConstant();
}

template<typename Private>
int NativeSerialEngineBase<Private>::charIntervalTimeout() const
{
    return d_func()->charIntervalValue;
}

template<typename Private>
void NativeSerialEngineBase<Private>::setTotalReadConstantTimeout(int msecs)
{
    d_func()->setTotalReadConstant(msecs);
}

template<typename Private>
int NativeSerialEngineBase<Private>::totalReadConstantTimeout() const
{
    return d_func()->totalReadConstant();
}

template<typename Private>
bool NativeSerialEngineBase<Private>::setDtr(bool set)
{
    return d_func()->nativeSetDtr(set);
}

template<typename Private>
bool NativeSerialEngineBase<Private>::setRts(bool set)
{
    return d_func()->nativeSetRts(set);
}

template<typename Private>
quint16 NativeSerialEngineBase<Private>::lineStatus()
{
    return d_func()->nativeLineStatus();
}

template<typename Private>
bool NativeSerialEngineBase<Private>::sendBreak(int duration)
{
    return d_func()->nativeSendBreak(duration);
}

template<typename Private>
bool NativeSerialEngineBase<Private>::setBreak(bool set)
{
    return d_func()->nativeSetBreak(set);
}

template<typename Private>
bool NativeSerialEngineBase<Private>::flush()
{
    return d_func()->nativeFlush();
}

template<typename Private>
bool NativeSerialEngineBase<Private>::reset()
{
    return d_func()->nativeReset();
}

template<typename Private>
qint64 NativeSerialEngineBase<Private>::bytesAvailable()
{
    return d_func()->nativeBytesAvailable();
}

template<typename Private>
qint64 NativeSerialEngineBase<Private>::read(char *data, qint64 maxSize)
{
    Private *d = d_func();
    return readInChunks(data, maxSize,
                        [d](char *chunk, qint64 len) { return d->nativeRead(chunk, len); });
}

template<typename Private>
qint64 NativeSerialEngineBase<Private>::write(const char *data, qint64 maxSize)
{
    Private *d = d_func();
    return writeInChunks(data, maxSize,
                         [d](const char *chunk, qint64 len) { return d->nativeWrite(chunk, len); });
}

template<typename Private>
bool NativeSerialEngineBase<Private>::select(bool *readyToRead, bool *readyToWrite, bool checkRead,
                                             bool checkWrite, int msecs)
{
    return d_func()->nativeSelect(msecs, checkRead, checkWrite, readyToRead, readyToWrite) > 0;
}

template<typename Private>
const AbstractSerialNotifier *NativeSerialEngineBase<Private>::notifier() const
{
    return d_func()->notifier;
}

template<typename Private>
bool NativeSerialEngineBase<Private>::isReadNotificationEnabled() const
{
    return notifier() && notifier()->isReadNotificationEnabled();
}

template<typename Private>
void NativeSerialEngineBase<Private>::setReadNotificationEnabled(bool enable, bool release)
{
    switchNotification(&AbstractSerialNotifier::setReadNotificationEnabled, enable, release);
}

template<typename Private>
bool NativeSerialEngineBase<Private>::isWriteNotificationEnabled() const
{
    return notifier() && notifier()->isWriteNotificationEnabled();
}

template<typename Private>
void NativeSerialEngineBase<Private>::setWriteNotificationEnabled(bool enable, bool release)
{
    switchNotification(&AbstractSerialNotifier::setWriteNotificationEnabled, enable, release);
}

template<typename Private>
bool NativeSerialEngineBase<Private>::isExceptionNotificationEnabled() const
{
    return notifier() && notifier()->isExceptionNotificationEnabled();
}

template<typename Private>
void NativeSerialEngineBase<Private>::setExceptionNotificationEnabled(bool enable, bool release)
{
    switchNotification(&AbstractSerialNotifier::setExceptionNotificationEnabled, enable, release);
}

template<typename Private>
bool NativeSerialEngineBase<Private>::isLineNotificationEnabled() const
{
    return notifier() && notifier()->isLineNotificationEnabled();
}

template<typename Private>
void NativeSerialEngineBase<Private>::setLineNotificationEnabled(bool enable, bool release)
{
    switchNotification(&AbstractSerialNotifier::setLineNotificationEnabled, enable, release);
}

// Release destroys the notifier; the first enabling after it, with an event loop to watch
// from, makes a new one.
template<typename Private>
void NativeSerialEngineBase<Private>::switchNotification(void (AbstractSerialNotifier::*set)(bool),
                                                         bool enable, bool release)
{
    Private *d = d_func();
    if (release)
        enable = false;
    if (d->notifier) {
        (d->notifier->*set)(enable);
    } else if (enable && QAbstractEventDispatcher::instance(thread())) {
        d->createNotifier();
        (d->notifier->*set)(enable);
    }
    // A write notification delivered above may have released the notifier already.
    if (release)
        d->releaseNotifier();
}
