#include "abstractserial.h"

#include "abstractserial_p.h"
#include "abstractserialengine.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {
// One control of the port through its engine: refused while closed, reported as done or failed.
template<typename Control>
bool controlOpenPort(const AbstractSerial &device, AbstractSerialPrivate &d,
                     AbstractSerial::Status done, AbstractSerial::Status failed, Control control)
{
    if (!device.isOpen()) {
        d.reportStatus(AbstractSerial::ErrorNotOpen);
        return false;
    }
    const bool ok = control(*d.engine);
    d.reportStatus(ok ? done : failed);
    return ok;
}
} // namespace

AbstractSerial::AbstractSerial(QObject *parent)
    : QIODevice(parent)
    , d(std::make_unique<AbstractSerialPrivate>(this))
{
    if (d->initEngine(SerialEngineKind::Native))
        d->fillTables();
}

AbstractSerial::~AbstractSerial()
{
    close();
    d->engine.reset();
    d.reset();
}

void AbstractSerial::setDeviceName(const QString &deviceName)
{
    if (isOpen())
        return;
    // A remote line's name calls for another engine than a local port's.
    const SerialEngineKind kind = serialEngineKind(deviceName);
    if (kind != d->engineKind)
        d->initEngine(kind);
    if (d->engine)
        d->engine->setDeviceName(deviceName);
}

QString AbstractSerial::deviceName() const
{
    return d->engine ? d->engine->deviceName() : QString();
}

bool AbstractSerial::open(OpenMode mode)
{
    if (isOpen()) {
        d->reportStatus(ErrorAlreadyOpen);
        return false;
    }
    if (mode == NotOpen || (mode & (Append | Truncate | Text))) {
        d->reportStatus(ErrorOpenModeUnsupported);
        return false;
    }
    if (!d->engine || !d->engine->open(mode)) {
        d->reportStatus(ErrorOpen);
        return false;
    }
    d->clearBuffers();
    d->portLost = false;
    if (mode & ReadOnly)
        d->engine->setReadNotificationEnabled(true);
    if (mode & WriteOnly)
        d->engine->setWriteNotificationEnabled(true);
    d->engine->setLineNotificationEnabled(true);
    d->reportStatus(StatusOpened);
    d->isBuffered = !(mode & Unbuffered);
    return QIODevice::open(mode);
}

void AbstractSerial::close()
{
    if (!isOpen()) {
        d->reportStatus(ErrorClose);
        return;
    }
    d->engine->setReadNotificationEnabled(false, true);
    d->engine->setWriteNotificationEnabled(false, true);
    d->engine->setLineNotificationEnabled(false, true);
    d->clearBuffers();
    d->engine->close();
    QIODevice::close();
    d->reportStatus(StatusClosed);
}

bool AbstractSerial::isSequential() const
{
    return true;
}

bool AbstractSerial::setBaudRate(int baudRate, BaudDirection direction)
{
    if (!isOpen()) {
        d->reportStatus(ErrorNotOpen);
        return false;
    }
    if (baudRate <= 0) {
        d->reportStatus(ErrorSetBaudRate);
        return false;
    }
    const bool ok = d->engine->setBaudRate(baudRate, direction);
    d->reportStatus(ok ? StatusBaudRateSet : ErrorSetBaudRate);
    return ok;
}

bool AbstractSerial::setBaudRate(BaudRate baudRate, BaudDirection direction)
{
    return setBaudRate(baudRateValue(baudRate), direction);
}

bool AbstractSerial::setBaudRate(const QString &baudRate, BaudDirection direction)
{
    return setBaudRate(baudRateFromText(baudRate), direction);
}

bool AbstractSerial::setDataBits(DataBits dataBits)
{
    return controlOpenPort(
        *this, *d, StatusDataBitsSet, ErrorSetDataBits,
        [&](AbstractSerialEngine &engine) { return engine.setDataBits(dataBits); });
}

bool AbstractSerial::setDataBits(const QString &dataBits)
{
    return setDataBits(DataBits(AbstractSerialPrivate::valueOfText(d->dataBitsTable, dataBits)));
}

bool AbstractSerial::setParity(Parity parity)
{
    return controlOpenPort(*this, *d, StatusParitySet, ErrorSetParity,
                           [&](AbstractSerialEngine &engine) { return engine.setParity(parity); });
}

bool AbstractSerial::setParity(const QString &parity)
{
    return setParity(Parity(AbstractSerialPrivate::valueOfText(d->parityTable, parity)));
}

bool AbstractSerial::setStopBits(StopBits stopBits)
{
    return controlOpenPort(
        *this, *d, StatusStopBitsSet, ErrorSetStopBits,
        [&](AbstractSerialEngine &engine) { return engine.setStopBits(stopBits); });
}

bool AbstractSerial::setStopBits(const QString &stopBits)
{
    return setStopBits(StopBits(AbstractSerialPrivate::valueOfText(d->stopBitsTable, stopBits)));
}

bool AbstractSerial::setFlowControl(Flow flow)
{
    return controlOpenPort(
        *this, *d, StatusFlowSet, ErrorSetFlowControl,
        [&](AbstractSerialEngine &engine) { return engine.setFlowControl(flow); });
}

bool AbstractSerial::setFlowControl(const QString &flow)
{
    return setFlowControl(Flow(AbstractSerialPrivate::valueOfText(d->flowTable, flow)));
}

QString AbstractSerial::baudRate(BaudDirection direction) const
{
    return d->baudRateText(d->engine ? d->engine->baudRate(direction) : 0);
}

QString AbstractSerial::dataBits() const
{
    return d->dataBitsTable.value(d->engine ? int(d->engine->dataBits()) : -1);
}

QString AbstractSerial::parity() const
{
    return d->parityTable.value(d->engine ? int(d->engine->parity()) : -1);
}

QString AbstractSerial::stopBits() const
{
    return d->stopBitsTable.value(d->engine ? int(d->engine->stopBits()) : -1);
}

QString AbstractSerial::flowControl() const
{
    return d->flowTable.value(d->engine ? int(d->engine->flowControl()) : -1);
}

void AbstractSerial::setCharIntervalTimeout(int usecs)
{
    if (!isOpen()) {
        d->reportStatus(ErrorNotOpen);
        return;
    }
    d->engine->setCharIntervalTimeout(usecs);
}

int AbstractSerial::charIntervalTimeout() const
{
    return d->engine ? d->engine->charIntervalTimeout() : 0;
}

void AbstractSerial::setTotalReadConstantTimeout(int msecs)
{
    if (!isOpen()) {
        d->reportStatus(ErrorNotOpen);
        return;
    }
    d->engine->setTotalReadConstantTimeout(msecs);
}

int AbstractSerial::totalReadConstantTimeout() const
{
    return d->engine ? d->engine->totalReadConstantTimeout() : 0;
}

bool AbstractSerial::setDtr(bool set)
{
    return controlOpenPort(*this, *d, StatusDtrChanged, ErrorSetDtr,
                           [&](AbstractSerialEngine &engine) { return engine.setDtr(set); });
}

bool AbstractSerial::setRts(bool set)
{
    return controlOpenPort(*this, *d, StatusRtsChanged, ErrorSetRts,
                           [&](AbstractSerialEngine &engine) { return engine.setRts(set); });
}

quint16 AbstractSerial::lineStatus()
{
    if (!isOpen()) {
        d->reportStatus(ErrorNotOpen);
        return LineError;
    }
    const quint16 lines = d->engine->lineStatus();
    d->reportStatus((lines & LineError) ? ErrorLineStatus : StatusLinesRead);
    return lines;
}

bool AbstractSerial::sendBreak(int duration)
{
    return controlOpenPort(
        *this, *d, StatusBreakSent, ErrorSendBreak,
        [&](AbstractSerialEngine &engine) { return engine.sendBreak(std::max(duration, 0)); });
}

bool AbstractSerial::setBreak(bool set)
{
    return controlOpenPort(*this, *d, StatusBreakSet, ErrorSetBreak,
                           [&](AbstractSerialEngine &engine) { return engine.setBreak(set); });
}

bool AbstractSerial::flush()
{
    if (!isOpen()) {
        d->reportStatus(ErrorNotOpen);
        return false;
    }
    if (!d->flushWriteBuffer() && !d->engine->flush()) {
        d->reportStatus(ErrorFlush);
        return false;
    }
    d->reportStatus(StatusFlushed);
    return true;
}

bool AbstractSerial::reset()
{
    if (!isOpen()) {
        d->reportStatus(ErrorNotOpen);
        return false;
    }
    d->clearBuffers();
    const bool ok = d->engine->reset();
    d->emittedReadyRead = false;
    d->reportStatus(ok ? StatusReset : ErrorReset);
    return ok;
}

qint64 AbstractSerial::bytesAvailable() const
{
    qint64 waiting = 0;
    if (d->isBuffered)
        waiting = d->readBuffer.size();
    else if (d->engine && isOpen())
        waiting = std::max<qint64>(d->engine->bytesAvailable(), 0);
    return QIODevice::bytesAvailable() + waiting;
}

qint64 AbstractSerial::bytesToWrite() const
{
    return d->writeBuffer.size();
}

bool AbstractSerial::canReadLine() const
{
    return d->readBuffer.indexOf('\n') >= 0 || QIODevice::canReadLine();
}

bool AbstractSerial::waitForReadyRead(int msecs)
{
    if (!isOpen()) {
        d->reportStatus(ErrorNotOpen);
        return false;
    }
    if (d->isBuffered && !d->readBuffer.isEmpty())
        return true;
    if (d->engine->isReadNotificationEnabled())
        d->engine->setReadNotificationEnabled(false);

    QElapsedTimer stopWatch;
    stopWatch.start();
    for (;;) {
        const int wait = msecs == -1 ? -1 : int(std::max<qint64>(msecs - stopWatch.elapsed(), 0));
        bool readyToRead = false;
        bool readyToWrite = false;
        if (!d->engine->select(&readyToRead, &readyToWrite, true, !d->writeBuffer.isEmpty(),
                               wait)) {
            d->reportStatus(ErrorWaitReadyReadTimeout);
            return false;
        }
        if (readyToRead && d->handleReadNotification())
            return true;
        if (readyToWrite)
            d->handleWriteNotification();
    }
}

bool AbstractSerial::waitForBytesWritten(int msecs)
{
    if (!isOpen()) {
        d->reportStatus(ErrorNotOpen);
        return false;
    }
    if (d->isBuffered && d->writeBuffer.isEmpty())
        return false;

    QElapsedTimer stopWatch;
    stopWatch.start();
    for (;;) {
        const int wait = msecs == -1 ? -1 : int(std::max<qint64>(msecs - stopWatch.elapsed(), 0));
        bool readyToRead = false;
        bool readyToWrite = false;
        if (!d->engine->select(&readyToRead, &readyToWrite, true, !d->writeBuffer.isEmpty(),
                               wait)) {
            d->reportStatus(ErrorWaitBytesWrittenTimeout);
            return false;
        }
        if (readyToRead && !d->handleReadNotification())
            return false;
        if (readyToWrite && d->handleWriteNotification())
            return true;
    }
}

qint64 AbstractSerial::readBufferSize() const
{
    return d->readBufferMaxSize;
}

void AbstractSerial::setReadBufferSize(qint64 size)
{
    if (size == d->readBufferMaxSize)
        return;
    d->readBufferMaxSize = size;
    if (!d->readNotifierCalled && d->engine && (size == 0 || size > d->readBuffer.size()))
        d->engine->setReadNotificationEnabled(true);
}

bool AbstractSerial::isStatusSignalEnabled() const
{
    return d->statusSignalEnabled;
}

void AbstractSerial::setStatusSignalEnabled(bool enable)
{
    d->statusSignalEnabled = enable;
}

qint64 AbstractSerial::readData(char *data, qint64 maxSize)
{
    if (!isOpen()) {
        d->reportStatus(ErrorNotOpen);
        return -1;
    }
    if (!isReadable()) {
        d->reportStatus(ErrorReadIo);
        return -1;
    }
    if (!d->engine->isReadNotificationEnabled() && d->isBuffered)
        d->engine->setReadNotificationEnabled(true);

    if (!d->isBuffered) {
        const qint64 got = d->engine->read(data, maxSize);
        if (got < 0)
            d->reportStatus(ErrorReadIo);
        return got;
    }
    if (d->readBuffer.isEmpty())
        return 0;
    if (maxSize == 1) {
        *data = char(d->readBuffer.getChar());
        return 1;
    }
    return d->readBuffer.read(data, maxSize);
}

qint64 AbstractSerial::writeData(const char *data, qint64 maxSize)
{
    if (!isOpen()) {
        d->reportStatus(ErrorNotOpen);
        return -1;
    }
    if (!isWritable()) {
        d->reportStatus(ErrorWriteIo);
        return -1;
    }
    if (d->isBuffered) {
        d->writeBuffer.append(data, maxSize);
        if (!d->writeBuffer.isEmpty())
            d->engine->setWriteNotificationEnabled(true);
        return maxSize;
    }
    const qint64 written = d->engine->write(data, maxSize);
    if (written < 0) {
        d->reportStatus(ErrorWriteIo);
        return written;
    }
    if (!d->writeBuffer.isEmpty())
        d->engine->setWriteNotificationEnabled(true);
    emit bytesWritten(written);
    return written;
}
