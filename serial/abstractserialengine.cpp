#include "abstractserialengine.h"

#include "abstractserialengine_p.h"
#include "abstractserialenginereceiver.h"

AbstractSerialEngine::AbstractSerialEngine(QObject *parent)
    : AbstractSerialEngine(new AbstractSerialEnginePrivate, parent)
{}

AbstractSerialEngine::AbstractSerialEngine(AbstractSerialEnginePrivate *state, QObject *parent)
    : QObject(parent)
    , d_ptr(state)
{}

AbstractSerialEngine::~AbstractSerialEngine() = default;

void AbstractSerialEngine::setDeviceName(const QString &deviceName)
{
    d_ptr->deviceName = deviceName;
}

QString AbstractSerialEngine::deviceName() const
{
    return d_ptr->deviceName;
}

int AbstractSerialEngine::baudRate(AbstractSerial::BaudDirection direction) const
{
    switch (direction) {
    case AbstractSerial::BaudInput:
        return d_ptr->inputBaudRate;
    case AbstractSerial::BaudOutput:
        return d_ptr->outputBaudRate;
    case AbstractSerial::BaudBoth:
        return d_ptr->inputBaudRate == d_ptr->outputBaudRate ? d_ptr->inputBaudRate : 0;
    }
    return 0;
}

AbstractSerial::DataBits AbstractSerialEngine::dataBits() const
{
    return d_ptr->dataBitsValue;
}

AbstractSerial::Parity AbstractSerialEngine::parity() const
{
    return d_ptr->parityValue;
}

AbstractSerial::StopBits AbstractSerialEngine::stopBits() const
{
    return d_ptr->stopBitsValue;
}

AbstractSerial::Flow AbstractSerialEngine::flowControl() const
{
    return d_ptr->flowValue;
}

void AbstractSerialEngine::setReceiver(AbstractSerialEngineReceiver *receiver)
{
    d_ptr->receiver = receiver;
}

bool AbstractSerialEngine::acceptsDataBits(AbstractSerial::DataBits value,
                                           AbstractSerial::StopBits stopBits)
{
    switch (value) {
    case AbstractSerial::DataBits5:
        return stopBits != AbstractSerial::StopBits2;
    case AbstractSerial::DataBits6:
    case AbstractSerial::DataBits7:
    case AbstractSerial::DataBits8:
        return stopBits != AbstractSerial::StopBits1_5;
    default:
        return false;
    }
}

bool AbstractSerialEngine::acceptsStopBits(AbstractSerial::StopBits value,
                                           AbstractSerial::DataBits dataBits)
{
    switch (value) {
    case AbstractSerial::StopBits1:
        return true;
    case AbstractSerial::StopBits1_5:
        return dataBits == AbstractSerial::DataBits5;
    case AbstractSerial::StopBits2:
        return dataBits != AbstractSerial::DataBits5;
    default:
        return false;
    }
}

int AbstractSerialEngine::autoReadTotalConstant(int baudRate, AbstractSerial::DataBits dataBits,
                                                AbstractSerial::Parity parity,
                                                AbstractSerial::StopBits stopBits,
                                                int charIntervalUsecs)
{
    if (baudRate <= 0)
        return 0;
    quint32 bits = 8;
    if (dataBits >= AbstractSerial::DataBits5 && dataBits <= AbstractSerial::DataBits8)
        bits = 5 + quint32(dataBits);
    if (parity != AbstractSerial::ParityNone)
        bits += 1;
    bits += stopBits == AbstractSerial::StopBits2 ? 2 : 1;
    bits += 1; // start bit
    const quint32 characters = bits * 256000u / quint32(baudRate);
    const qint64 intervals = qint64(charIntervalUsecs) * 255 / 1000;
    return int(characters + intervals);
}

void AbstractSerialEngine::readNotification()
{
    if (d_ptr->receiver)
        d_ptr->receiver->handleReadNotification();
}

void AbstractSerialEngine::writeNotification()
{
    if (d_ptr->receiver)
        d_ptr->receiver->handleWriteNotification();
}

void AbstractSerialEngine::exceptionNotification()
{
    if (d_ptr->receiver)
        d_ptr->receiver->handleExceptionNotification();
}

void AbstractSerialEngine::lineNotification()
{
    if (d_ptr->receiver)
        d_ptr->receiver->handleLineNotification();
}
