#include "fakeserialengine.h"

#include "abstractserialengine_p.h"
#include "serialenginefactory_p.h"

#include <QPointer>

#include <algorithm>
#include <cstring>

namespace {
QPointer<FakeSerialEngine> lastEngine;

AbstractSerialEngine *createFake(AbstractSerial *owner)
{
    auto *engine = new FakeSerialEngine(owner);
    lastEngine = engine;
    return engine;
}
} // namespace

FakeSerialEngine::FakeSerialEngine(QObject *parent)
    : AbstractSerialEngine(parent)
{
    d_ptr->deviceName = QStringLiteral("COM1");
}

void FakeSerialEngine::install()
{
    setSerialEngineCreator(&createFake);
}

void FakeSerialEngine::uninstall()
{
    setSerialEngineCreator(nullptr);
}

FakeSerialEngine *FakeSerialEngine::last()
{
    return lastEngine.data();
}

void FakeSerialEngine::setRates(int input, int output)
{
    d_ptr->inputBaudRate = input;
    d_ptr->outputBaudRate = output;
}

bool FakeSerialEngine::open(const QIODevice::OpenMode &mode)
{
    ++openCalls;
    lastOpenMode = mode;
    return openResult;
}

bool FakeSerialEngine::close()
{
    ++closeCalls;
    return true;
}

bool FakeSerialEngine::setBaudRate(int baudRate, const AbstractSerial::BaudDirection &direction)
{
    baudRates.append(baudRate);
    if (!settingResult)
        return false;
    if (direction & AbstractSerial::BaudInput)
        d_ptr->inputBaudRate = baudRate;
    if (direction & AbstractSerial::BaudOutput)
        d_ptr->outputBaudRate = baudRate;
    return true;
}

bool FakeSerialEngine::setDataBits(AbstractSerial::DataBits dataBits)
{
    dataBitsCalls.append(dataBits);
    if (!settingResult || !acceptsDataBits(dataBits, d_ptr->stopBitsValue))
        return false;
    d_ptr->dataBitsValue = dataBits;
    return true;
}

bool FakeSerialEngine::setParity(AbstractSerial::Parity parity)
{
    parityCalls.append(parity);
    if (!settingResult || parity < AbstractSerial::ParityNone ||
        parity > AbstractSerial::ParitySpace)
        return false;
    d_ptr->parityValue = parity;
    return true;
}

bool FakeSerialEngine::setStopBits(AbstractSerial::StopBits stopBits)
{
    stopBitsCalls.append(stopBits);
    if (!settingResult || !acceptsStopBits(stopBits, d_ptr->dataBitsValue))
        return false;
    d_ptr->stopBitsValue = stopBits;
    return true;
}

bool FakeSerialEngine::setFlowControl(AbstractSerial::Flow flow)
{
    flowCalls.append(flow);
    if (!settingResult || flow < AbstractSerial::FlowControlOff ||
        flow > AbstractSerial::FlowControlXonXoff)
        return false;
    d_ptr->flowValue = flow;
    return true;
}

void FakeSerialEngine::setCharIntervalTimeout(int usecs)
{
    charInterval = usecs;
}

int FakeSerialEngine::charIntervalTimeout() const
{
    return charInterval;
}

void FakeSerialEngine::setTotalReadConstantTimeout(int msecs)
{
    readConstant = msecs;
}

int FakeSerialEngine::totalReadConstantTimeout() const
{
    return readConstant;
}

bool FakeSerialEngine::setDtr(bool)
{
    return controlResult;
}

bool FakeSerialEngine::setRts(bool)
{
    return controlResult;
}

quint16 FakeSerialEngine::lineStatus()
{
    return lines;
}

bool FakeSerialEngine::sendBreak(int duration)
{
    breakDurations.append(duration);
    return controlResult;
}

bool FakeSerialEngine::setBreak(bool)
{
    return controlResult;
}

bool FakeSerialEngine::flush()
{
    ++flushCalls;
    return controlResult;
}

bool FakeSerialEngine::reset()
{
    ++resetCalls;
    incoming.clear();
    return controlResult;
}

qint64 FakeSerialEngine::bytesAvailable()
{
    if (bytesAvailableOverride > -2) {
        const qint64 value = bytesAvailableOverride;
        bytesAvailableOverride = -2; // a line error is reported once
        return value;
    }
    return incoming.size();
}

qint64 FakeSerialEngine::read(char *data, qint64 maxSize)
{
    const qint64 n = std::min<qint64>(maxSize, incoming.size());
    std::memcpy(data, incoming.constData(), size_t(n));
    incoming.remove(0, n);
    return n;
}

qint64 FakeSerialEngine::write(const char *data, qint64 maxSize)
{
    writeCalls.append(QByteArray(data, maxSize));
    if (writeFails || maxSize <= 0)
        return -1;
    const qint64 n = writeLimit >= 0 ? std::min(writeLimit, maxSize) : maxSize;
    written.append(data, n);
    return n;
}

bool FakeSerialEngine::select(bool *readyToRead, bool *readyToWrite, bool checkRead,
                              bool checkWrite, int)
{
    ++selectCalls;
    if (!selectResult)
        return false;
    *readyToRead = checkRead && !incoming.isEmpty();
    *readyToWrite = checkWrite && selectReadyWrite;
    return true;
}

void FakeSerialEngine::setReadNotificationEnabled(bool enable, bool release)
{
    releases += release;
    readOn = enable && !release;
}

void FakeSerialEngine::setWriteNotificationEnabled(bool enable, bool release)
{
    releases += release;
    writeOn = enable && !release;
    if (writeOn && immediateWriteNotification)
        writeNotification();
}

void FakeSerialEngine::setExceptionNotificationEnabled(bool enable, bool release)
{
    releases += release;
    exceptionOn = enable && !release;
}

void FakeSerialEngine::setLineNotificationEnabled(bool enable, bool release)
{
    releases += release;
    lineOn = enable && !release;
}
