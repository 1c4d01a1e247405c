#include "devicelink.h"

#include "abstractserial.h"
#include "modbus.h"

#include <QDateTime>
#include <QDebug>

#include <algorithm>

namespace {
constexpr int requestIntervalMs = 1000;
constexpr int firstRequestDelayMs = 100;
constexpr int requestPacingMs = 45;
constexpr int reopenIntervalMs = 1000;
constexpr unsigned int noAnswerLimit = 20;
constexpr quint8 searchEnd = 255;
constexpr int shortestInterval = 1;
constexpr int longestInterval = 10;
} // namespace

DeviceLink::DeviceLink(StationTimer::Mode timers, QObject *parent)
    : QObject(parent)
    , SerialDevice(std::make_unique<AbstractSerial>())
    , TimerRequest(new StationTimer(QStringLiteral("TimerRequest"), timers, this))
    , TimerCommunication(new StationTimer(QStringLiteral("TimerCommunication"), timers, this))
    , TimerReopen(new StationTimer(QStringLiteral("TimerReopen"), timers, this))
{
    // No device has answered yet; a believable 0.0 would be logged and watched as measured.
    CurrentTemp.fill(Station::NoReading);
    connect(SerialDevice.get(), &QIODevice::readyRead, this, &DeviceLink::serialRecieve);
    connect(SerialDevice.get(), &AbstractSerial::portLostChanged, this,
            &DeviceLink::portLostChanged);
    connect(TimerRequest, &StationTimer::timeout, this, &DeviceLink::SendRequestReadTemperature);
    connect(TimerCommunication, &StationTimer::timeout, this, &DeviceLink::ProccessCommunication);
    connect(TimerReopen, &StationTimer::timeout, this, &DeviceLink::RetryOpen);
}

DeviceLink::~DeviceLink()
{
    if (SerialDevice->isOpen())
        SerialDevice->close();
}

bool DeviceLink::open(const QString &name, const QString &speed)
{
    SerialDevice->setDeviceName(name);
    if (!SerialDevice->open(QIODevice::ReadWrite)) {
        qDebug() << "Error opened serial device " << SerialDevice->deviceName();
        if (!TimerReopen->isActive())
            emit openFailed(name, SerialDevice->errorString());
        return false;
    }
    TimerReopen->stop();
    qDebug() << "Порт " << SerialDevice->deviceName() << " открыт в режиме "
             << SerialDevice->openMode();
    SerialDevice->setBaudRate(speed, AbstractSerial::BaudBoth);
    SerialDevice->setDataBits(AbstractSerial::DataBits8);
    SerialDevice->setParity(AbstractSerial::ParityNone);
    SerialDevice->setStopBits(AbstractSerial::StopBits1);
    SerialDevice->setFlowControl(AbstractSerial::FlowControlOff);
    TimerRequest->start(requestIntervalMs);
    TimerCommunication->start(firstRequestDelayMs);
    emit portStateChanged(true);
    return true;
}

bool DeviceLink::keepOpening(const QString &name, const QString &speed)
{
    if (open(name, speed))
        return true;
    reopenSpeed = speed;
    TimerReopen->start(reopenIntervalMs);
    return false;
}

void DeviceLink::RetryOpen()
{
    if (!open(SerialDevice->deviceName(), reopenSpeed))
        emit heartbeat();
}

void DeviceLink::close()
{
    // A port still being waited for was never opened: there is nothing else to close.
    if (TimerReopen->isActive()) {
        TimerReopen->stop();
        return;
    }
    SerialDevice->close();
    TimerRequest->stop();
    TimerCommunication->stop();
    emit portStateChanged(false);
}

bool DeviceLink::isOpen() const
{
    return SerialDevice->isOpen();
}

QString DeviceLink::portName() const
{
    return SerialDevice->deviceName();
}

int DeviceLink::speed() const
{
    return qMax(0,
                AbstractSerial::baudRateFromText(SerialDevice->baudRate(AbstractSerial::BaudBoth)));
}

void DeviceLink::setDevices(const QList<quint8> &addresses)
{
    DeviceCount = int(qMin(addresses.size(), qsizetype(MaxDevices)));
    std::copy_n(addresses.cbegin(), DeviceCount, DeviceAddress);
    announced = DeviceCount;
    emit devicesChanged(DeviceCount);
}

QList<quint8> DeviceLink::devices() const
{
    return QList<quint8>(DeviceAddress, DeviceAddress + DeviceCount);
}

void DeviceLink::setPollInterval(int seconds)
{
    SensorsReadInterval = qBound(shortestInterval, seconds, longestInterval);
}

float DeviceLink::reading(int channel) const
{
    return channel >= 0 && channel < Station::ChannelCount ? CurrentTemp[channel]
                                                           : Station::NoReading;
}

void DeviceLink::setStatus(DeviceStatus shown)
{
    if (shown == status)
        return;
    status = shown;
    emit statusChanged(status);
}

void DeviceLink::SendRequest(const QByteArray &body)
{
    answer.clear();
    SerialDevice->write(Modbus::withCrc(body));
}

void DeviceLink::SendRequestReadTemperature()
{
    const bool cycleRunning = PollActive;
    ++RequestTicks;
    if (RequestTicks >= SensorsReadInterval && DeviceCount > 0) {
        RequestTicks = 0;
        // Restarting a running cycle would starve every device after a slow or silent one.
        if (PollActive)
            PollDue = true;
        else
            StartPollCycle();
    }
    if (!cycleRunning)
        emit heartbeat();
}

void DeviceLink::StartPollCycle()
{
    PollIndex = 0;
    PollActive = true;
}

void DeviceLink::FinishPollCycle()
{
    PollActive = false;
    emit cycleFinished();
    if (PollDue) {
        PollDue = false;
        StartPollCycle();
    }
}

void DeviceLink::ForgetReadings(int device)
{
    if (device < 0 || device >= ShownDevices)
        return;
    for (int channel : {2 * device, 2 * device + 1}) {
        CurrentTemp[channel] = Station::NoReading;
        emit readingArrived(channel, Station::NoReading);
    }
}

void DeviceLink::ProccessCommunication()
{
    if (NoAnswerCount > noAnswerLimit) {
        setStatus(StatusNoLink);
        NoAnswerCount = 0;
        if (PollActive) {
            ForgetReadings(PollIndex);
            if (PollIndex >= 0 && PollIndex < DeviceCount) {
                const quint8 address = DeviceAddress[PollIndex];
                settled(address, counts.timedOut(address));
            }
            ++PollIndex;
            if (PollIndex >= DeviceCount)
                FinishPollCycle();
        }
    }

    if (SearchActive) {
        ++SearchAddress;
        if (SearchAddress == searchEnd) {
            FinishSearch();
        } else {
            SendRequest(Modbus::probeRequest(SearchAddress));
            emit searchProgress(SearchAddress, DeviceCount);
            TimerCommunication->start(requestPacingMs);
        }
        emit heartbeat();
    } else if (PollActive) {
        // A search can shrink the table under a pending cycle; its remaining places are gone.
        if (PollIndex < 0 || PollIndex >= DeviceCount) {
            PollActive = false;
            PollDue = false;
            return;
        }
        const quint8 address = DeviceAddress[PollIndex];
        SendRequest(Modbus::temperatureRequest(address));
        settled(address, counts.requestSent(address));
        emit requestSent(address);
        TimerCommunication->start(requestPacingMs);
        ++NoAnswerCount;
        setStatus(StatusRequest);
    }
}

void DeviceLink::FinishSearch()
{
    SearchActive = false;
    announced = DeviceCount;
    emit devicesChanged(DeviceCount);
    // Channels now belong to the devices found; none of them has answered a poll yet.
    CurrentTemp.fill(Station::NoReading);
    for (int device = 0; device < qMin(DeviceCount, int(ShownDevices)); ++device)
        ForgetReadings(device);
    setStatus(StatusWaiting);
    emit searchFinished();
    TimerRequest->start(requestIntervalMs);
    TimerCommunication->start(requestPacingMs);
}

void DeviceLink::StartSearch()
{
    DeviceCount = 0;
    SearchAddress = 1;
    TimerRequest->stop();
    SearchActive = true;
    setStatus(StatusSearch);
    counts.reset();
    emit searchStarted();
    updateRate();
}

void DeviceLink::updateRate()
{
    const int rate = counts.answerRate();
    if (rate != shownRate) {
        shownRate = rate;
        emit answerRateChanged(rate);
    }
}

void DeviceLink::settled(quint8 address, bool fellSilent)
{
    updateRate();
    if (fellSilent)
        emit deviceFellSilent(address);
}

void DeviceLink::serialRecieve()
{
    const quint16 waiting = quint16(SerialDevice->bytesAvailable());
    qDebug() << "Recieved bytes: " << waiting;
    // A block of this size is read with the bytes that follow it.
    if (waiting >= 28 && waiting <= 36)
        return;
    qDebug() << "Recieved bytes: " << SerialDevice->bytesAvailable();
    const QByteArray block = SerialDevice->readAll();
    emit bytesReceived(block.size());
    ProcessAnswer(block);
}

void DeviceLink::ProcessAnswer(const QByteArray &block)
{
    if (PollActive && !SearchActive && !block.isEmpty())
        counts.bytesArrived();
    const QByteArray frame = answer.add(block);
    if (frame.isEmpty())
        return;
    qDebug() << "Recieved bytes checked paket: " << frame.size();

    const quint8 address = quint8(frame[0]);
    const quint8 function = quint8(frame[1]);
    if (SearchActive) {
        // A device that answers one probe twice is still one device.
        const bool known = DeviceCount > 0 && DeviceAddress[DeviceCount - 1] == SearchAddress;
        if (address == SearchAddress && function == Modbus::ReadHoldingRegisters && !known &&
            DeviceCount < MaxDevices) {
            DeviceAddress[DeviceCount] = SearchAddress;
            ++DeviceCount;
        }
        return;
    }
    if (!PollActive || PollIndex < 0 || PollIndex >= DeviceCount)
        return;
    if (address != DeviceAddress[PollIndex] || function != Modbus::ReadHoldingRegisters ||
        quint8(frame[2]) != 4 || frame.size() != Modbus::TemperatureAnswerSize)
        return;
    TakeAnswer(frame);
}

void DeviceLink::TakeAnswer(const QByteArray &frame)
{
    const quint8 address = quint8(frame[0]);
    if (PollIndex < ShownDevices) {
        const int channel = 2 * PollIndex;
        CurrentTemp[channel] = Modbus::temperatureAt(frame, 3);
        CurrentTemp[channel + 1] = Modbus::temperatureAt(frame, 5);
        emit readingArrived(channel, CurrentTemp[channel]);
        emit readingArrived(channel + 1, CurrentTemp[channel + 1]);
    }
    counts.answered(address, QDateTime::currentDateTime());
    updateRate();
    emit deviceAnswered(address);
    NoAnswerCount = 0;
    ++PollIndex;
    if (PollIndex >= DeviceCount) {
        setStatus(StatusWaiting);
        FinishPollCycle();
    }
}
